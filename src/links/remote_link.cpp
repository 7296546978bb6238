#include "links/remote_link.h"

#include <span>

#include "engine/controls.h"
#include "engine/hub.h"
#include "links/feeder_link.h"
#include "links/peer_datagrams.h"

namespace hub {

namespace {

constexpr std::uint64_t kRemoteTimeoutMs = 10000;
constexpr std::uint64_t kStatusRepeatMs = 3500;
constexpr std::uint64_t kRegistrationLapseMs = 10000;
constexpr std::uint64_t kKeepAliveMs = 5000;

constexpr int kStatusExactIndex = 6;  // touchMask, byte 7 of the status datagram

// A hello connects only a disconnected hub, and never to port 0 (a later send
// there would fail).
void connectByHello(RemoteState& remote, Endpoint replyTo) {
    if (replyTo.port == 0 || remote.connected.load(std::memory_order_acquire)) return;
    remote.appEndpoint.store(replyTo, std::memory_order_relaxed);
    remote.connected.store(true, std::memory_order_release);
}

void keepConnected(RemoteState& remote) {
    remote.lastSeen.store(remote.latestTickNow.load(std::memory_order_relaxed), std::memory_order_relaxed);
    remote.connected.store(true, std::memory_order_release);
}

void applyInputs(RemoteState& remote, const InputsMessage& inputs) {
    remote.steering.store(steeringFromByte(inputs.steeringByte), std::memory_order_relaxed);
    remote.buttons.store(inputs.buttons, std::memory_order_relaxed);
    if (inputs.hasAxes) {
        remote.axis3.store(inputs.axis3, std::memory_order_relaxed);
        remote.axis4.store(inputs.axis4, std::memory_order_relaxed);
    }
    keepConnected(remote);
}

void applyRegistration(RemoteState& remote, const PortRegistrationMessage& registration) {
    const auto& d = registration.digits;
    remote.registeredPortDigits.store((std::uint32_t{d[0]} << 16) | (std::uint32_t{d[1]} << 8) | d[2],
                                      std::memory_order_relaxed);
    remote.registeredPortLastSeen.store(remote.latestTickNow.load(std::memory_order_relaxed),
                                        std::memory_order_relaxed);
    remote.registeredPortValid.store(true, std::memory_order_release);
}

void applyQuery(RemoteState& remote, const PortQueryMessage& query) {
    remote.portQueryReplyPort.store(query.replyPort, std::memory_order_relaxed);
    remote.portQueryPending.store(true, std::memory_order_release);
}

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::uint8_t digit(std::uint32_t packedDigits, int shift) {
    return static_cast<std::uint8_t>(packedDigits >> shift);
}

std::uint16_t registeredPort(const RemoteState& remote) {
    const std::uint32_t digits = remote.registeredPortDigits.load(std::memory_order_relaxed);
    return portFromDigits(digit(digits, 16), digit(digits, 8), digit(digits, 0));
}

void lapseRegistration(RemoteState& remote) {
    remote.registeredPortValid.store(false, std::memory_order_release);
}

void serveRegistration(Hub& hub) {
    RemoteState& remote = hub.state.remote;
    if (!remote.registeredPortValid.load(std::memory_order_acquire)) return;
    const std::uint64_t now = hub.state.tick.now;
    if (now - remote.registeredPortLastSeen.load(std::memory_order_relaxed) > kRegistrationLapseMs) {
        lapseRegistration(remote);
        return;
    }
    if (now - remote.keepAliveTime <= kKeepAliveMs) return;
    remote.keepAliveTime = now;
    static constexpr std::array<std::uint8_t, 2> kKeepAliveDatagram{wire::kPortMessage, wire::kRegistration};
    if (!hub.edges.socket.sendTo({kLoopback, registeredPort(remote)}, kKeepAliveDatagram)) {
        lapseRegistration(remote);
    }
}

void answerPortQuery(Hub& hub) {
    RemoteState& remote = hub.state.remote;
    if (!remote.portQueryPending.exchange(false, std::memory_order_acq_rel)) return;
    const std::uint32_t digits = remote.registeredPortValid.load(std::memory_order_acquire)
                                     ? remote.registeredPortDigits.load(std::memory_order_relaxed)
                                     : 0;
    const std::array<std::uint8_t, 5> reply{wire::kPortMessage, wire::kQuery, digit(digits, 16), digit(digits, 8),
                                            digit(digits, 0)};
    const Endpoint to{kLoopback, remote.portQueryReplyPort.load(std::memory_order_relaxed)};
    (void)hub.edges.socket.sendTo(to, reply);  // a lost reply is the querier's to repeat
}

// The connection ends as on a time-out; the remote app's next message
// connects it again.
void dropRemoteApp(Hub& hub) {
    hub.state.remote.connected.store(false, std::memory_order_release);
    hub.state.remote.announced = false;
    hub.edges.window.setText(control::kRemoteStatus, "Status: no remote app connected");
}

std::array<std::uint8_t, 8> buildStatusDatagram(const TickValues& tick) {
    return {wire::kStatusTag,
            static_cast<std::uint8_t>(tick.stickXByte),
            static_cast<std::uint8_t>(tick.stickYByte),
            static_cast<std::uint8_t>(tick.headingRFByte),
            static_cast<std::uint8_t>(tick.tiltRFByte),
            static_cast<std::uint8_t>(tick.headingLFByte),
            static_cast<std::uint8_t>(tick.tiltLFByte),
            tick.touchMask};
}

// Sends the status datagram when it changed or is due for its repeat; only a
// datagram that went out counts as sent.
void sendStatus(Hub& hub, const Endpoint& to) {
    RemoteState& remote = hub.state.remote;
    const std::uint64_t now = hub.state.tick.now;
    const auto status = buildStatusDatagram(hub.state.tick);
    const bool changed = bytesMoved(std::span(status).subspan(1), std::span(remote.lastStatus).subspan(1),
                                    kStatusExactIndex);
    if (!changed && now - remote.statusTime <= kStatusRepeatMs) return;
    if (!hub.edges.socket.sendTo(to, status)) {
        dropRemoteApp(hub);
        return;
    }
    remote.statusTime = now;
    remote.lastStatus = status;
}

}  // namespace

std::uint16_t portFromDigits(std::uint8_t d1, std::uint8_t d2, std::uint8_t d3) {
    const auto asSigned = [](std::uint8_t byte) { return static_cast<int>(static_cast<std::int8_t>(byte)); };
    return static_cast<std::uint16_t>((asSigned(d1) * 100 + asSigned(d2)) * 100 + asSigned(d3));
}

void applyRemoteDatagram(RemoteState& remote, const std::uint8_t* bytes, std::size_t length,
                         const Endpoint& from) {
    std::visit(Overloaded{
                   [](const std::monostate&) {},
                   [&](const FeederEnableMessage&) { remote.feederEnabled.store(true, std::memory_order_release); },
                   [&](const HelloMessage&) {
                       connectByHello(remote, {from.address, static_cast<std::uint16_t>(from.port + 1)});
                   },
                   [&](const HelloWithPortMessage& hello) { connectByHello(remote, {from.address, hello.replyPort}); },
                   [&](const KeepAliveMessage&) { keepConnected(remote); },
                   [&](const InputsMessage& inputs) { applyInputs(remote, inputs); },
                   [&](const PortRegistrationMessage& registration) { applyRegistration(remote, registration); },
                   [&](const PortQueryMessage& query) { applyQuery(remote, query); },
               },
               decodeHubMessage({bytes, length}));
}

void runRemoteStageA(Hub& hub) {
    serveRegistration(hub);
    answerPortQuery(hub);
    acknowledgeFeeder(hub);
}

void runRemoteStageB(Hub& hub) {
    RemoteState& remote = hub.state.remote;
    const std::uint64_t now = hub.state.tick.now;
    bool connected = remote.connected.load(std::memory_order_acquire);
    if (connected && !remote.announced) {
        remote.lastSeen.store(now, std::memory_order_relaxed);
        static constexpr std::array<std::uint8_t, 2> kConnectionReply{wire::kControl, wire::kHello};
        if (!hub.edges.socket.sendTo(remote.appEndpoint.load(std::memory_order_relaxed), kConnectionReply)) {
            dropRemoteApp(hub);
            return;
        }
        remote.announced = true;
        hub.edges.window.setText(control::kRemoteStatus, "Status: remote app connected");
    } else if (remote.announced && now - remote.lastSeen.load(std::memory_order_relaxed) > kRemoteTimeoutMs) {
        dropRemoteApp(hub);
        connected = false;
    }
    if (connected) sendStatus(hub, remote.appEndpoint.load(std::memory_order_relaxed));
}

}  // namespace hub
