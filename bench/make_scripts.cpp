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

void printRecv(std::FILE* out, std::span<const std::uint8_t> datagram) {
    std::fprintf(out, "{\"recv\":{\"from\":\"127.0.0.1:%u\",\"hex\":\"", static_cast<unsigned>(kPeer.port));
    for (std::uint8_t byte : datagram) std::fprintf(out, "%02x", byte);
    std::fprintf(out, "\"}}\n");
}

void printRecord(std::FILE* out, const JoystickRecord& record) {
    std::fprintf(out, "{\"x\":%d,\"y\":%d,\"z\":%d,\"rx\":%d,\"ry\":%d,\"rz\":%d,\"buttons\":[", record.lX,
                 record.lY, record.lZ, record.lRx, record.lRy, record.lRz);
    const char* separator = "";
    for (int i = 0; i < 128; ++i) {
        if (!isPressed(record.rgbButtons[i])) continue;
        std::fprintf(out, "%s%d", separator, i);
        separator = ",";
    }
    std::fprintf(out, "]}");
}

void writeScript(std::FILE* out, const Script& script) {
    std::fprintf(out, "{\"config\":{\"gamepad\":true,\"gamepadName\":\"Bench pad\"}}\n{\"activate\":true}\n");
    for (int i = 0; i < script.locomotionPresses; ++i) std::fprintf(out, "{\"command\":%d}\n", control::kNextLocomotionMode);
    for (int i = 0; i < script.vjoyPresses; ++i) std::fprintf(out, "{\"command\":%d}\n", control::kNextVjoyMode);
    for (std::span<const std::uint8_t> datagram : kSetUpDatagrams) printRecv(out, datagram);
    JoystickRecord deck{};
    JoystickRecord pad{};
    std::uint64_t now = kStartMs;
    for (int tick = 0; tick < kTicks; ++tick) {
        now += kTickPeriodMs;
        moveInputs(deck, pad, vjoyModes()[static_cast<std::size_t>(script.vjoyPresses)].mode, now);
        if (remoteInputsArrive(now)) printRecv(out, remoteInputs(pad));
        std::fprintf(out, "{\"tick\":{\"t\":%llu,\"deck\":", static_cast<unsigned long long>(now));
        printRecord(out, deck);
        std::fprintf(out, ",\"pad\":");
        printRecord(out, pad);
        std::fprintf(out, "}}\n");
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
