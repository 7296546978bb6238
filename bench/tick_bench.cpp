// The core's tick on edges that record nothing: what one 33 ms timer message
// costs the hub itself, in every locomotion mode and every vJoy mode.
#include <benchmark/benchmark.h>

#include "steady_use.h"

namespace hub {
namespace {

void runTicks(benchmark::State& state, LocomotionMode locomotionMode, VjoyMode vjoyMode) {
    testing::SteadyHub steady(locomotionMode, vjoyMode);
    for (auto _ : state) benchmark::DoNotOptimize(steady.tickOnce());
    benchmark::DoNotOptimize(steady.socket.bytes + steady.window.textBytes);
}

void BM_TickLocomotionMode(benchmark::State& state) {
    runTicks(state, static_cast<LocomotionMode>(state.range(0)), kFirstVjoyMode);
}
BENCHMARK(BM_TickLocomotionMode)->DenseRange(1, 4)->ArgName("locomotionMode");

void BM_TickVjoyMode(benchmark::State& state) {
    runTicks(state, LocomotionMode::Normal, vjoyModes()[static_cast<std::size_t>(state.range(0))].mode);
}
BENCHMARK(BM_TickVjoyMode)->DenseRange(0, static_cast<int>(vjoyModes().size()) - 1)->ArgName("vjoyModeRow");

}  // namespace
}  // namespace hub
