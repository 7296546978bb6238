// hub-bench-scripts DIR: writes the replay scripts that bench/callgrind.sh
// measures, one per locomotion mode and one per vJoy mode (the start modes,
// Normal and 4-way-mov, share one). Each is 1000 ticks of exactly the motion
// the benchmarks run (steady_use.h), with the same peers: a gamepad attached,
// the feeder enabled, a remote app connected and sending inputs every fourth
// tick, a port registration. The dialog's buttons switch to the mode first.
// The build runs it; the scripts are never kept in the tree.
#include <cstdio>
#include <span>
#include <string>

#include "base/controls.h"
#include "engine/recording_lines.h"
#include "steady_use.h"

namespace hub::testing {
namespace {

constexpr int kTicks = 1000;

struct Script {
    const char* name;
    int locomotionPresses;  // of 1034: Normal -> Advanced -> Seated -> Seated 2
    int vjoyPresses;        // of 1029: the rows of the vJoy mode table in turn
};

constexpr Script kScripts[] = {
    {"normal-4way", 0, 0},        {"locomotion-advanced", 1, 0}, {"locomotion-seated", 2, 0},
    {"locomotion-seated2", 3, 0}, {"vjoy-skate", 0, 1},          {"vjoy-pedal", 0, 2},
    {"vjoy-flightsim", 0, 3},     {"vjoy-biking", 0, 4},
};

// Each line as a recording writes it.
template <typename Encode>
void print(std::FILE* out, Encode encode) {
    EventLine line;
    encode(line);
    std::fprintf(out, "%.*s\n", static_cast<int>(line.text().size()), line.text().data());
}

void writeScript(std::FILE* out, const Script& script) {
    const RecordedConfig config{true, {ObjectType::XAxis, ObjectType::YAxis, ObjectType::ZAxis, ObjectType::RxAxis,
                                       ObjectType::RyAxis, ObjectType::RzAxis},
                                true, "Bench pad", "C:\\Hub\\hub.exe"};
    std::fprintf(out, "%s\n", encodeConfig(config).c_str());
    print(out, [](EventLine& line) { encodeActivate(true, line); });
    for (int i = 0; i < script.locomotionPresses; ++i) {
        print(out, [](EventLine& line) { encodeCommand({control::kNextLocomotionMode}, line); });
    }
    for (int i = 0; i < script.vjoyPresses; ++i) {
        print(out, [](EventLine& line) { encodeCommand({control::kNextVjoyMode}, line); });
    }
    const auto printRecv = [out](std::span<const std::uint8_t> datagram) {
        print(out, [&](EventLine& line) { encodeRecv(kPeer, datagram, line); });
    };
    for (std::span<const std::uint8_t> datagram : kSetUpDatagrams) printRecv(datagram);
    RecordedTick tick;
    tick.t = kStartMs;
    for (int i = 0; i < kTicks; ++i) {
        tick.t += kTickPeriodMs;
        moveInputs(tick.deck, tick.pad, vjoyModes()[static_cast<std::size_t>(script.vjoyPresses)].mode, tick.t);
        if (remoteInputsArrive(tick.t)) printRecv(remoteInputs(tick.pad));
        print(out, [&](EventLine& line) { encodeTick(tick, line); });
    }
}

}  // namespace
}  // namespace hub::testing

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hub-bench-scripts DIR\n");
        return 2;
    }
    for (const auto& script : hub::testing::kScripts) {
        const std::string path = std::string(argv[1]) + "/" + script.name + ".jsonl";
        std::FILE* out = std::fopen(path.c_str(), "w");
        if (out == nullptr) {
            std::fprintf(stderr, "hub-bench-scripts: cannot write %s\n", path.c_str());
            return 1;
        }
        hub::testing::writeScript(out, script);
        std::fclose(out);
    }
    return 0;
}
