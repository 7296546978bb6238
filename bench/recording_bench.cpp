// What recording adds to a timer message: the same steady use in a hub
// composed as hub.exe composes it, once with the recorder idle (hub.exe
// without -record) and once writing every line to a file that keeps nothing.
#include <benchmark/benchmark.h>

#include <memory>

#include "recorded_hub.h"

namespace hub {
namespace {

void runTimerMessages(benchmark::State& state, RecordingFile* file) {
    auto steady = std::make_unique<testing::SteadyRecordedHub>(file);
    for (auto _ : state) steady->timerOnce();
    benchmark::DoNotOptimize(steady->socket.bytes + steady->window.textBytes);
}

void BM_TimerMessage(benchmark::State& state) { runTimerMessages(state, nullptr); }
BENCHMARK(BM_TimerMessage);

void BM_TimerMessageRecorded(benchmark::State& state) {
    testing::CountingRecordingFile file;
    runTimerMessages(state, &file);
}
BENCHMARK(BM_TimerMessageRecorded);

}  // namespace
}  // namespace hub
