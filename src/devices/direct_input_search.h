// The search for a lost device off the dialog's thread: a worker thread with
// a DirectInput object of its own lists the attached game controllers and
// keeps those that pass the role's choice; the dialog's thread takes the
// outcome at its next timer message and creates the device itself. An
// enumeration can take tens of milliseconds on a real PC, and seconds with a
// faulty driver: the tick never waits for one.
#pragma once

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <dinput.h>

#include <array>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/device_setup.h"

namespace hub::windows {

// The worker thread and its DirectInput object are created at the first
// search and live until stop(): most runs never lose a device, and a run that
// does searches every few seconds. The worker touches nothing but this
// object's own members, its DirectInput object and the copy of the XInput
// filter's list it took at the first search.
class DirectInputSearch final : public DeviceSearch {
public:
    // hidden: the XInput filter's list as the set-up leaves it, copied at the
    // first search.
    DirectInputSearch(HINSTANCE module, const std::optional<XInputDeviceList>& hidden)
        : module_(module), hidden_(hidden) {}
    DirectInputSearch(const DirectInputSearch&) = delete;
    DirectInputSearch& operator=(const DirectInputSearch&) = delete;
    ~DirectInputSearch() override { stop(); }

    void start(DeviceRole role) override;
    std::optional<SearchOutcome> takeFinished(DeviceRole role) override;

    // Tells the worker to end and waits for it: at most for the one
    // enumeration it is running. Searches not yet begun are dropped.
    void stop();

private:
    static std::size_t slot(DeviceRole role) { return role == DeviceRole::Stepdeck ? 0 : 1; }
    void work();
    // One enumeration for every role asked for when it begins.
    void search(std::array<bool, 2> roles, IDirectInput8W*& directInput);

    HINSTANCE module_;
    const std::optional<XInputDeviceList>& hidden_;  // the dialog's thread's: read at the first search only
    std::optional<XInputDeviceList> workerHidden_;    // the worker's copy

    std::mutex mutex_;  // guards the members below; never held during an enumeration
    std::condition_variable wake_;
    std::array<bool, 2> requested_{};
    std::array<std::optional<SearchOutcome>, 2> finished_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace hub::windows
