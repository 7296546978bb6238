// Recording must not bring the heap back into the tick: a timer message of a
// hub that records (its datagrams, its decorators, the lines it builds and
// appends) allocates nothing, while the writer thread writes the lines out.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "counting_new.h"
#include "recorded_hub.h"
#include "steady_use.h"

namespace hub::alloc {
namespace {

class CountingFile final : public RecordingFile {
public:
    std::atomic<std::uint64_t> bytes{0};
    std::size_t write(std::span<const char> written) override {
        bytes += written.size();
        return written.size();
    }
    bool flush() override { return true; }
    bool truncate(std::uint64_t) override { return true; }
    std::string failure() override { return {}; }
};

TEST(HeapAllocation, NonePerTimerMessageOfAHubThatRecords) {
    using namespace testing;
    CountingFile file;
    auto recorded = std::make_unique<RecordedHub>(&file);
    RecordedHub& r = *recorded;
    r.platform.controllers = {stepdeckController(1), gamepadController(2, "Bench pad")};
    r.socket.keep = false;
    r.window.keep = false;
    r.begin();
    r.hub.state.dialog.vjoyMode = VjoyMode::FlightSim;
    for (std::span<const std::uint8_t> datagram : kSetUpDatagrams) r.hub.state.received.push(datagram, kPeer);
    std::uint64_t now = kStartMs;
    r.timer(now);
    constexpr int kTicks = 10000;
    AllocationCounter counter;
    for (int i = 0; i < kTicks; ++i) {
        now += kTickPeriodMs;
        moveInputs(r.deck.record, r.pad.record, VjoyMode::FlightSim, now);
        if (remoteInputsArrive(now)) r.hub.state.received.push(remoteInputs(r.pad.record), kPeer);
        r.timer(now);
    }
    const std::uint64_t allocations = counter.count();
    r.writer->close();
    EXPECT_EQ(allocations, 0u);
    EXPECT_GT(file.bytes, 100u * kTicks) << "the ticks were not recorded";
    EXPECT_EQ(r.writer->stoppedEarly(), std::nullopt);
}

}  // namespace
}  // namespace hub::alloc
