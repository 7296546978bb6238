// The core's tick on edges that record nothing: what one 33 ms timer message
// costs the hub itself, in every locomotion mode and every vJoy mode.
#include <benchmark/benchmark.h>

#include "quiet_hub.h"

namespace hub {
namespace {

void runTicks(benchmark::State& state, int locomotionMode, int vjoyMode) {
    quiet::QuietHub quiet(locomotionMode, vjoyMode);
    for (auto _ : state) benchmark::DoNotOptimize(quiet::tickOnce(quiet));
    benchmark::DoNotOptimize(quiet.socket.bytes + quiet.window.texts);
}

void BM_TickLocomotionMode(benchmark::State& state) {
    runTicks(state, static_cast<int>(state.range(0)), 2);
}
BENCHMARK(BM_TickLocomotionMode)->DenseRange(1, 4)->ArgName("locomotionMode");

void BM_TickVjoyMode(benchmark::State& state) { runTicks(state, 1, static_cast<int>(state.range(0))); }
BENCHMARK(BM_TickVjoyMode)->Arg(2)->Arg(5)->Arg(6)->Arg(7)->Arg(9)->ArgName("vjoyMode");

}  // namespace
}  // namespace hub
