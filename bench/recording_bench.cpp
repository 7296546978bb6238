// What recording adds to a timer message: the same steady use (a remote app,
// a gamepad, the feeder enabled, Flight Sim, the busiest vJoy mode) in a hub
// composed as hub.exe composes it, once with the recorder idle (hub.exe
// without -record) and once writing every line to a file that keeps nothing.
#include <benchmark/benchmark.h>

#include <memory>

#include "recorded_hub.h"
#include "steady_use.h"

namespace hub {
namespace {

class NullFile final : public RecordingFile {
public:
    std::size_t write(std::span<const char> bytes) override { return bytes.size(); }
    bool flush() override { return true; }
    bool truncate(std::uint64_t) override { return true; }
    std::string failure() override { return {}; }
};

void runTimerMessages(benchmark::State& state, RecordingFile* file) {
    using namespace testing;
    auto recorded = std::make_unique<RecordedHub>(file);
    RecordedHub& r = *recorded;
    r.platform.controllers = {stepdeckController(1), gamepadController(2, "Bench pad")};
    r.socket.keep = false;
    r.window.keep = false;
    r.begin();
    r.hub.state.dialog.vjoyMode = VjoyMode::FlightSim;
    for (std::span<const std::uint8_t> datagram : kSetUpDatagrams) r.hub.state.received.push(datagram, kPeer);
    std::uint64_t now = kStartMs;
    for (auto _ : state) {
        now += kTickPeriodMs;
        moveInputs(r.deck.record, r.pad.record, VjoyMode::FlightSim, now);
        if (remoteInputsArrive(now)) r.hub.state.received.push(remoteInputs(r.pad.record), kPeer);
        r.timer(now);
    }
    benchmark::DoNotOptimize(r.socket.bytes + r.window.textBytes);
}

void BM_TimerMessage(benchmark::State& state) { runTimerMessages(state, nullptr); }
BENCHMARK(BM_TimerMessage);

void BM_TimerMessageRecorded(benchmark::State& state) {
    NullFile file;
    runTimerMessages(state, &file);
}
BENCHMARK(BM_TimerMessageRecorded);

}  // namespace
}  // namespace hub
