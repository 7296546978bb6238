// The search on a worker thread: what it hands over, one enumeration at a
// time, and a stop that waits for the enumeration running and for nothing
// more. Run under ThreadSanitizer as well (the tsan preset).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/background_search.h"
#include "scripted_devices.h"

namespace hub {
namespace {

using testing::gamepadController;
using testing::stepdeckController;

// Enumerations that wait until the test lets them end, as a slow one does.
struct HeldEnumerations {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int begun = 0;
    int running = 0, mostAtOnce = 0;
    std::vector<ControllerInfo> attached;

    HResult enumerate(std::vector<ControllerInfo>& out) {
        std::unique_lock lock(mutex);
        ++begun;
        mostAtOnce = std::max(mostAtOnce, ++running);
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
        --running;
        out = attached;
        return kOk;
    }
    void waitBegun(int count) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return begun >= count; });
    }
    void letEnd() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

SearchOutcome waitForOutcome(BackgroundSearch& search, DeviceRole role) {
    while (true) {
        if (auto outcome = search.takeFinished(role)) return *outcome;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::vector<std::uint32_t> instances(const SearchOutcome& outcome) {
    std::vector<std::uint32_t> numbers;
    for (const ControllerInfo& candidate : outcome.candidates) numbers.push_back(candidate.instance.data1);
    return numbers;
}

TEST(BackgroundSearch, HandsOverOnceWhatTheChoiceKeepsWhenTheEnumerationHasEnded) {
    // Pins: an outcome handed over before the enumeration ended, or twice,
    // and a worker that forgets the XInput filter's list.
    HeldEnumerations held;
    held.attached = {gamepadController(1, "vJoy Device").info, stepdeckController(2).info,
                     gamepadController(3, "XInput Pad").info, gamepadController(4, "Pad", 0x1234, 0x5678).info};
    std::optional<XInputDeviceList> hidden{std::in_place};
    hidden->examine(u"USB\\VID_045E&PID_028E&IG_00\\7");
    BackgroundSearch search([&](std::vector<ControllerInfo>& out) { return held.enumerate(out); }, hidden);
    search.start(DeviceRole::Gamepad);
    held.waitBegun(1);
    EXPECT_FALSE(search.takeFinished(DeviceRole::Gamepad));
    held.letEnd();
    EXPECT_EQ(instances(waitForOutcome(search, DeviceRole::Gamepad)), (std::vector<std::uint32_t>{4}));
    EXPECT_FALSE(search.takeFinished(DeviceRole::Gamepad));
    search.start(DeviceRole::Stepdeck);
    EXPECT_EQ(instances(waitForOutcome(search, DeviceRole::Stepdeck)), (std::vector<std::uint32_t>{2}));
}

TEST(BackgroundSearch, RunsOneEnumerationAtATimeAndStopWaitsOnlyForTheOneRunning) {
    // Pins: enumerations that overlap, and a stop that returns while one runs
    // or runs the searches not yet begun.
    HeldEnumerations held;
    const std::optional<XInputDeviceList> noFilter;
    BackgroundSearch search([&](std::vector<ControllerInfo>& out) { return held.enumerate(out); }, noFilter);
    search.start(DeviceRole::Stepdeck);
    held.waitBegun(1);
    search.start(DeviceRole::Gamepad);
    std::atomic<bool> stopped{false};
    std::thread stopping([&] {
        search.stop();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(stopped);
    held.letEnd();
    stopping.join();
    std::lock_guard lock(held.mutex);
    EXPECT_EQ(held.begun, 1);
    EXPECT_EQ(held.mostAtOnce, 1);
}

}  // namespace
}  // namespace hub
