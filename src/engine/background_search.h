// The search for a lost device off the tick's thread: the tick's thread
// starts a search and takes its outcome at a later timer message; a worker
// thread of its own runs the enumerations, one at a time, and keeps the
// controllers that pass the set-up's choice rules. An enumeration can take
// tens of milliseconds on a real PC, and seconds with a faulty driver: the
// tick never waits for one.
#pragma once

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/device_setup.h"

namespace hub {

// The worker is created at the first search and runs until stop(): most runs
// never lose a device, and one that does searches every few seconds. It
// touches nothing but this object's own members, the copy of the XInput
// filter's list taken at the first search, and what `enumerate` touches.
class BackgroundSearch final : public DeviceSearch {
public:
    // Lists the attached game controllers in the platform's order; returns
    // the enumeration's code. Runs on the worker thread only.
    using Enumerate = std::function<HResult(std::vector<ControllerInfo>& attached)>;

    // hidden: the XInput filter's list as the set-up leaves it, copied at the
    // first search.
    BackgroundSearch(Enumerate enumerate, const std::optional<XInputDeviceList>& hidden)
        : enumerate_(std::move(enumerate)), hidden_(hidden) {}
    BackgroundSearch(const BackgroundSearch&) = delete;
    BackgroundSearch& operator=(const BackgroundSearch&) = delete;
    ~BackgroundSearch() override { stop(); }

    void start(DeviceRole role) override;
    std::optional<SearchOutcome> takeFinished(DeviceRole role) override;

    // Tells the worker to end and waits for it: at most for the one
    // enumeration it runs. Searches not yet begun are dropped, and none
    // starts after.
    void stop();

private:
    static std::size_t slot(DeviceRole role) { return role == DeviceRole::Stepdeck ? 0 : 1; }
    void work();
    // One enumeration serves every role asked for when it begins.
    void search(std::array<bool, 2> roles);

    Enumerate enumerate_;
    const std::optional<XInputDeviceList>& hidden_;  // the tick's thread's: read at the first search only
    std::optional<XInputDeviceList> workerHidden_;    // the worker's copy

    std::mutex mutex_;  // guards the members below; never held during an enumeration
    std::condition_variable wake_;
    std::array<bool, 2> requested_{};
    std::array<std::optional<SearchOutcome>, 2> finished_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace hub
