// The monitor dialog's handlers: its initialisation, its activation and its
// buttons. The Windows dialog procedure and the replay tool both call them;
// the timer message is onTimer (hub.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/device_setup.h"

namespace hub {

struct Hub;

// Initialisation: the device set-up; a failed set-up is reported and ends
// the dialog. The caller starts the timer afterwards.
void initialiseDialog(Hub& hub, DevicePlatform& platform, bool filterXInputDevices);

// Activation (active) acquires the devices and shows the gamepad's name;
// deactivation does nothing.
void onActivate(Hub& hub, bool active);

// Windows reported that the devices changed (a device node was added or
// removed): a lost device is searched for again.
void onDevicesChanged(Hub& hub);

// A command by its id: cancel (2), the mode and speed buttons, the feeder
// launch; any other id does nothing.
void onCommand(Hub& hub, int commandId);

// The feeder's full path: feeder\vJoyFeeder.exe in the folder of the program
// at programPath. Empty when programPath has no folder or the result would be
// longer than the platform's 259-character path limit (UTF-16 units).
std::optional<std::string> feederPathFor(std::string_view programPath);

// The number of UTF-16 units the UTF-8 text takes.
std::size_t utf16Length(std::string_view utf8);

}  // namespace hub
