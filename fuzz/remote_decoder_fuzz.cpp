// The listener's decoder on any sequence of datagrams from any sender, with
// the tick letting the connection lapse in between. Each datagram lies in a
// buffer of exactly its length, so a read past it is an AddressSanitizer
// finding. After every datagram the remote-app state must keep its promises.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "links/remote_link.h"

namespace {

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

struct Snapshot {
    bool connected, feederEnabled, registered, queryPending;
    hub::Endpoint appEndpoint;
    float steering;
    std::uint8_t buttons, axis3, axis4;
    std::uint32_t digits;

    explicit Snapshot(const hub::RemoteState& remote)
        : connected(remote.connected.load()),
          feederEnabled(remote.feederEnabled.load()),
          registered(remote.registeredPortValid.load()),
          queryPending(remote.portQueryPending.load()),
          appEndpoint(remote.appEndpoint.load(std::memory_order_relaxed)),
          steering(remote.inputs.steering.load()),
          buttons(remote.inputs.buttons.load()),
          axis3(remote.inputs.axis3.load()),
          axis4(remote.inputs.axis4.load()),
          digits(remote.registeredPortDigits.load()) {}

    bool operator==(const Snapshot&) const = default;
};

void checkAfter(const Snapshot& before, const hub::RemoteState& remote, std::size_t length) {
    const Snapshot after(remote);
    if (length > hub::wire::kReceiveBufferSize) require(after == before, "a datagram too long for the buffer changed nothing");
    require(!before.feederEnabled || after.feederEnabled, "the feeder enable is never lowered");
    if (before.connected) {
        require(after.appEndpoint == before.appEndpoint, "the endpoint never changes while connected");
    }
    if (after.connected) require(after.appEndpoint.port != 0, "a connected remote app never has port 0");
    const float steering = after.steering;
    require(std::isfinite(steering) && steering >= -1.0f && steering <= 0.9921875f,
            "steering within -1 ... 127/128");
    require(steering * 128.0f == std::floor(steering * 128.0f), "steering a whole number of 1/128");
    if (after.registered) {
        const auto digit = [&](int shift) { return static_cast<std::uint8_t>(after.digits >> shift); };
        require(hub::portFromDigits(digit(16), digit(8), digit(0)) != 0, "no registration of port 0");
    }
    if (after.queryPending) require(remote.portQueryReplyPort.load() != 0, "no query reply to port 0");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    hub::RemoteState remote;
    while (input.remaining_bytes() > 0) {
        if (input.ConsumeBool()) remote.connected.store(false);  // the tick's time-out
        remote.latestTickNow.store(input.ConsumeIntegral<std::uint64_t>());
        const hub::Endpoint from{input.ConsumeIntegral<std::uint32_t>(), input.ConsumeIntegral<std::uint16_t>()};
        const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 600);
        const std::vector<std::uint8_t> datagram = input.ConsumeBytes<std::uint8_t>(length);
        const Snapshot before(remote);
        hub::applyRemoteDatagram(remote, datagram.data(), datagram.size(), from);
        checkAfter(before, remote, datagram.size());
    }
    return 0;
}
