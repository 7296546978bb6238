// The XInput filter: with the switch noxinput, game controllers that also
// speak XInput are hidden from the device set-up. Their USB vendor and product
// ids come from the Plug and Play device ids that mark them as XInput devices
// ("IG_"); the scan of one id and the switch parsing live here, the platform
// only lists the ids.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace hub {

// True when the argument is exactly "-noxinput" or "/noxinput", the letters
// in any case (nine UTF-16 units, nothing after them).
bool isNoXInputSwitch(std::u16string_view argument);

// True when any argument after argument 0 (the program, never examined) is
// the switch.
bool noXInputSwitchGiven(std::span<const std::u16string_view> arguments);

// Reads one Plug and Play device id. For an XInput device (it contains "IG_")
// returns product id * 65536 + vendor id, the layout of the first field of a
// DirectInput product GUID; an id without "VID_" or "PID_" leaves that half 0.
std::optional<std::uint32_t> xinputProductOf(std::u16string_view deviceId);

// The vendor and product ids of the XInput devices found, for the two device
// choices of the set-up.
class XInputDeviceList {
public:
    void examine(std::u16string_view deviceId);
    bool contains(std::uint32_t vendorAndProduct) const;
    std::size_t size() const { return products_.size(); }

private:
    std::vector<std::uint32_t> products_;
};

}  // namespace hub
