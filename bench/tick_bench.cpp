// The core's tick on fake edges that record nothing: what one 33 ms timer
// message costs the hub itself.
#include <benchmark/benchmark.h>

#include <cmath>

#include "engine/hub.h"

namespace hub {
namespace {

class NullDevice final : public InputDevice {
public:
    JoystickRecord record{};
    HResult poll() override { return 0; }
    HResult acquire() override { return 0; }
    HResult getState(JoystickRecord& out) override {
        out = record;
        return 0;
    }
};

class StepClock final : public Clock {
public:
    std::uint64_t now = 1000;
    std::uint64_t nowMs() override { return now; }
};

class NullSocket final : public DatagramSocket {
public:
    bool sendTo(const Endpoint&, std::span<const std::uint8_t> bytes) override {
        benchmark::DoNotOptimize(bytes.data());
        return true;
    }
};

class NullWindow final : public Window {
public:
    void setText(int, std::string_view text) override { benchmark::DoNotOptimize(text.data()); }
    void enable(int, bool) override {}
    void messageBox(std::string_view, std::string_view) override {}
    void stopTimer() override {}
    void endDialog(int) override {}
};

class NullLauncher final : public Launcher {
public:
    std::string_view programPath() override { return "C:\\Hub\\hub.exe"; }
    void start(std::string_view) override {}
};

class NullProcess final : public Process {
public:
    [[noreturn]] void exitNow(int) override { std::abort(); }
};

// Walking motion on the Stepdeck: the stick sways, the feet tilt and twist,
// the touch pairs alternate every half second.
void moveDeck(JoystickRecord& deck, std::uint64_t now) {
    const double phase = static_cast<double>(now) * 0.001 * 2.0 * 3.14159265358979323846;
    deck.lX = static_cast<std::int32_t>(300 * std::sin(phase * 0.3));
    deck.lY = static_cast<std::int32_t>(-600 + 200 * std::sin(phase));
    deck.lZ = static_cast<std::int32_t>(400 * std::sin(phase * 0.5));
    deck.lRz = static_cast<std::int32_t>(250 * std::sin(phase));
    deck.lRy = static_cast<std::int32_t>(-400 * std::sin(phase * 0.5));
    deck.lRx = static_cast<std::int32_t>(-250 * std::sin(phase));
    const bool leftUp = (now / 500) % 2 == 0;
    deck.rgbButtons[0] = deck.rgbButtons[1] = leftUp ? 0 : 0x80;
    deck.rgbButtons[2] = deck.rgbButtons[3] = leftUp ? 0x80 : 0;
}

void runTicks(benchmark::State& state, int locomotionMode, int vjoyMode) {
    NullDevice deck;
    NullDevice pad;
    StepClock clock;
    NullSocket socket;
    NullWindow window;
    NullLauncher launcher;
    NullProcess process;
    Hub hub(HubEdges{clock, socket, window, launcher, process});
    hub.devices.deck = &deck;
    hub.devices.gamepad = &pad;
    hub.state.dialog.locomotionMode = locomotionMode;
    hub.state.dialog.vjoyMode = vjoyMode;
    hub.state.remote.feederEnabled.store(true);
    startUp(hub);
    for (auto _ : state) {
        clock.now += 33;
        moveDeck(deck.record, clock.now);
        benchmark::DoNotOptimize(inputTick(hub));
    }
}

void BM_TickLocomotionMode(benchmark::State& state) {
    runTicks(state, static_cast<int>(state.range(0)), 2);
}
BENCHMARK(BM_TickLocomotionMode)->DenseRange(1, 4)->ArgName("locomotionMode");

void BM_TickVjoyMode(benchmark::State& state) { runTicks(state, 1, static_cast<int>(state.range(0))); }
BENCHMARK(BM_TickVjoyMode)->Arg(2)->Arg(5)->Arg(6)->Arg(7)->Arg(9)->ArgName("vjoyMode");

}  // namespace
}  // namespace hub
