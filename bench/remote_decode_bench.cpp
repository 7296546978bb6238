// The listener's decoding of one datagram on port 45041, on the mix a remote
// app and its neighbours send: mostly input messages, some keep-alives, now
// and then a hello, a port registration, a port query, a feeder enable, a
// stray datagram and one longer than the receive buffer.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "engine/hub.h"

namespace hub {
namespace {

std::vector<std::vector<std::uint8_t>> realisticMix() {
    std::vector<std::vector<std::uint8_t>> mix;
    for (int i = 0; i < 80; ++i) {
        const auto steering = static_cast<std::uint8_t>(64 + i);
        mix.push_back({32, steering, static_cast<std::uint8_t>(i & 0x3F), 0, 0, 100, 156, 0, 0});
    }
    for (int i = 0; i < 10; ++i) mix.push_back({1, 21});
    mix.push_back({1, 2});
    mix.push_back({1, 3, 4, 50, 50});
    mix.push_back({21, 1, 5, 5, 0});
    mix.push_back({21, 2, 5, 5, 1});
    mix.push_back({1, 1});
    mix.push_back({32});
    mix.push_back({7, 7, 7});
    mix.push_back({});
    mix.push_back(std::vector<std::uint8_t>(513, 32));
    mix.push_back({32, 128, 5, 255, 0});
    return mix;
}

void BM_DecodeRemoteDatagram(benchmark::State& state) {
    const auto mix = realisticMix();
    RemoteState remote;
    const Endpoint from{0xC0000207, 50000};  // 192.0.2.7
    std::size_t next = 0;
    for (auto _ : state) {
        const auto& datagram = mix[next];
        applyRemoteDatagram(remote, datagram.data(), datagram.size(), from);
        next = next + 1 == mix.size() ? 0 : next + 1;
        // The tick lets the connection lapse now and then, so hellos keep
        // taking their connecting path too.
        if (next == 0) remote.connected.store(false);
    }
    benchmark::DoNotOptimize(remote.inputs.steering.load());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeRemoteDatagram);

}  // namespace
}  // namespace hub
