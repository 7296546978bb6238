// search-cost: what one search for a lost device costs on the dialog's
// thread, through the real DirectInput edge. It sets the devices up as the
// hub does, then times searches that find the Stepdeck again (release, list,
// create, configure, acquire) and searches that find nothing (a gamepad
// search with no gamepad attached: release and list), and prints for each the
// median, the 99th percentile and the longest in milliseconds, as JSON.
//
//   search-cost [SEARCHES]      (default 1000 of each)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "devices/direct_input_platform.h"
#include "devices/direct_input_search.h"
#include "engine/device_setup.h"
#include "scripted_edges.h"

namespace {

double nowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticksPerMs;
}

// The dialog's thread's share of `searches` searches for the role, sorted;
// check(found) judges each.
template <typename Check>
std::vector<double> time(int searches, hub::DeviceRole role, hub::Devices& devices, hub::Window& window, Check check) {
    std::vector<double> costs;
    for (int i = 0; i < searches; ++i) {
        const double start = nowMs();
        hub::startSearch(devices, role);
        const double started = nowMs();
        std::optional<hub::SearchOutcome> outcome;
        while (!(outcome = devices.search->takeFinished(role))) Sleep(0);
        const double finished = nowMs();
        check(hub::takeSearchOutcome(devices, role, *outcome, window));
        costs.push_back(started - start + nowMs() - finished);
    }
    std::sort(costs.begin(), costs.end());
    return costs;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "search-cost: %s\n", what);
    std::exit(1);
}

void print(const char* name, const std::vector<double>& sorted, bool last) {
    const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    std::printf("  \"%s\": {\"searches\": %zu, \"median_ms\": %.4f, \"p99_ms\": %.4f, \"max_ms\": %.4f}%s\n", name,
                sorted.size(), sorted[sorted.size() / 2], p99, sorted.back(), last ? "" : ",");
}

}  // namespace

int main(int argc, char** argv) {
    const int searches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const HWND window = CreateWindowExW(0, L"STATIC", L"search-cost", 0, 0, 0, 10, 10, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "search-cost: cannot create a window (is there a display?)\n");
        return 1;
    }
    hub::testing::ScriptedHub scripted(hub::testing::ScriptedHub::Attached::Nothing);
    scripted.keepNothing();
    hub::windows::DirectInputPlatform platform(GetModuleHandleW(nullptr), window);
    hub::Devices& devices = scripted.hub.devices;
    hub::windows::DirectInputSearch search(GetModuleHandleW(nullptr), devices.xinputDevices);
    devices.search = &search;
    if (hub::failed(hub::setUpDevices(scripted.hub, platform, false)) || devices.deck == nullptr) {
        std::fprintf(stderr, "search-cost: no Stepdeck was set up\n");
        return 1;
    }
    const auto found = time(searches, hub::DeviceRole::Stepdeck, devices, scripted.window, [](bool foundOne) {
        if (!foundOne) fail("a search did not find the Stepdeck");
    });
    const auto none = time(searches, hub::DeviceRole::Gamepad, devices, scripted.window, [](bool foundOne) {
        if (foundOne) fail("a search found a gamepad");
    });
    std::printf("{\n");
    print("finds_the_stepdeck", found, false);
    print("finds_nothing", none, true);
    std::printf("}\n");
    devices = {};
    platform.shutDown();
    search.stop();
    return 0;
}
