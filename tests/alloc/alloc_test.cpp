// The tick must never reach for the heap: a stall in the allocator is a
// dropped tick under the user's feet. Each mode runs 10,000 ticks of realistic
// motion after its first tick (which may set things up), with the feeder
// enabled, a remote app connected and sending inputs through the listener's
// decoder, and a gamepad attached; not one allocation is allowed.
#include <gtest/gtest.h>

#include <memory>

#include "counting_new.h"
#include "steady_use.h"

namespace hub::alloc {
namespace {

constexpr int kTicks = 10000;

// Allocations over kTicks ticks after the first one; the hub stays on the
// heap of the test, outside the count.
std::uint64_t allocationsInSteadyTicks(LocomotionMode locomotionMode, VjoyMode vjoyMode) {
    auto steady = std::make_unique<testing::SteadyHub>(locomotionMode, vjoyMode);
    steady->tickOnce();
    const std::uint64_t sentBefore = steady->socket.datagrams;
    AllocationCounter counter;
    for (int i = 0; i < kTicks; ++i) steady->tickOnce();
    const std::uint64_t allocations = counter.count();
    // Every tick sends at least its two locomotion datagrams: the ticks ran.
    EXPECT_GE(steady->socket.datagrams - sentBefore, 2u * kTicks);
    return allocations;
}

TEST(HeapAllocation, CounterSeesAnAllocation) {
    AllocationCounter counter;
    auto allocated = std::make_unique<int>(7);
    EXPECT_EQ(counter.count(), 1u) << "operator new is not the counting one";
}

TEST(HeapAllocation, NonePerTickInAnyLocomotionMode) {
    for (const LocomotionMode mode : testing::kLocomotionModes) {
        EXPECT_EQ(allocationsInSteadyTicks(mode, kFirstVjoyMode), 0u) << "locomotion mode " << static_cast<int>(mode);
    }
}

TEST(HeapAllocation, NonePerTickInAnyVjoyMode) {
    for (const VjoyModeRow& mode : vjoyModes()) {
        EXPECT_EQ(allocationsInSteadyTicks(LocomotionMode::Normal, mode.mode), 0u) << mode.label;
    }
}

}  // namespace
}  // namespace hub::alloc
