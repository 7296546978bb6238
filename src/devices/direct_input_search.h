// The search for a lost device in hub.exe: the core's background search,
// whose worker thread enumerates on a DirectInput object of its own.
#pragma once

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <dinput.h>

#include <optional>
#include <vector>

#include "engine/background_search.h"

namespace hub::windows {

class DirectInputSearch final : public DeviceSearch {
public:
    // hidden: the XInput filter's list as the set-up leaves it.
    DirectInputSearch(HINSTANCE module, const std::optional<XInputDeviceList>& hidden)
        : module_(module), search_([this](std::vector<ControllerInfo>& attached) { return enumerate(attached); }, hidden) {}
    DirectInputSearch(const DirectInputSearch&) = delete;
    DirectInputSearch& operator=(const DirectInputSearch&) = delete;
    ~DirectInputSearch() override;

    void start(DeviceRole role) override { search_.start(role); }
    std::optional<SearchOutcome> takeFinished(DeviceRole role) override { return search_.takeFinished(role); }
    // Waits at most for the enumeration running.
    void stop() { search_.stop(); }

private:
    // On the worker thread: creates the DirectInput object at the first
    // enumeration (again after a failed creation), then lists.
    HResult enumerate(std::vector<ControllerInfo>& attached);

    HINSTANCE module_;
    IDirectInput8W* directInput_ = nullptr;  // the worker's; released once the worker has ended
    BackgroundSearch search_;
};

}  // namespace hub::windows
