// Recording must not bring the heap back into the tick: a timer message of a
// hub that records (its datagrams, its decorators, the lines it builds and
// appends) allocates nothing, while the writer thread writes the lines out.
#include <gtest/gtest.h>

#include <memory>

#include "counting_new.h"
#include "recorded_hub.h"

namespace hub::alloc {
namespace {

TEST(HeapAllocation, NonePerTimerMessageOfAHubThatRecords) {
    testing::CountingRecordingFile file;
    auto steady = std::make_unique<testing::SteadyRecordedHub>(&file);
    steady->timerOnce();
    constexpr int kTicks = 10000;
    AllocationCounter counter;
    for (int i = 0; i < kTicks; ++i) steady->timerOnce();
    const std::uint64_t allocations = counter.count();
    steady->writer->close();
    EXPECT_EQ(allocations, 0u);
    EXPECT_GT(file.bytes, 100u * kTicks) << "the ticks were not recorded";
    EXPECT_EQ(steady->writer->stoppedEarly(), std::nullopt);
}

}  // namespace
}  // namespace hub::alloc
