#include "links/remote_link.h"

#include <span>

#include "base/controls.h"
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
    remote.inputs.steering.store(steeringFromByte(inputs.steeringByte), std::memory_order_relaxed);
    remote.inputs.buttons.store(inputs.buttons, std::memory_order_relaxed);
    if (inputs.hasAxes) {
        remote.inputs.axis3.store(inputs.axis3, std::memory_order_relaxed);
        remote.inputs.axis4.store(inputs.axis4, std::memory_order_relaxed);
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

void lapseRegistration(RemoteState& remote) {
    remote.registeredPortValid.store(false, std::memory_order_release);
}

// The connection ends as on a time-out; the remote app's next message
// connects it again.
void dropRemoteApp(RemoteState& remote, RemoteReplyState& replies, Window& window) {
    remote.connected.store(false, std::memory_order_release);
    replies.announced = false;
    window.setText(control::kRemoteStatus, "Status: no remote app connected");
}

// Sends the status datagram when it changed or is due for its repeat; only a
// datagram that went out counts as sent.
void sendStatus(RemoteState& remote, RemoteReplyState& replies, const StatusValues& values, std::uint64_t now,
                DatagramSocket& socket, Window& window) {
    const auto status = buildStatusDatagram(values);
    const bool changed = bytesMoved(std::span(status).subspan(1), std::span(replies.lastStatus).subspan(1),
                                    kStatusExactIndex);
    if (!changed && now - replies.statusTime <= kStatusRepeatMs) return;
    if (!socket.sendTo(remote.appEndpoint.load(std::memory_order_relaxed), status)) {
        dropRemoteApp(remote, replies, window);
        return;
    }
    replies.statusTime = now;
    replies.lastStatus = status;
}

}  // namespace

std::uint16_t portFromDigits(std::uint8_t d1, std::uint8_t d2, std::uint8_t d3) {
    const auto asSigned = [](std::uint8_t byte) { return static_cast<int>(static_cast<std::int8_t>(byte)); };
    return static_cast<std::uint16_t>((asSigned(d1) * 100 + asSigned(d2)) * 100 + asSigned(d3));
}

std::uint16_t registeredPort(const RemoteState& remote) {
    const std::uint32_t digits = remote.registeredPortDigits.load(std::memory_order_relaxed);
    return portFromDigits(digit(digits, 16), digit(digits, 8), digit(digits, 0));
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

std::array<std::uint8_t, wire::kStatusLength> buildStatusDatagram(const StatusValues& values) {
    return {wire::kStatusTag, values.stickX,  values.stickY, values.headingRF,
            values.tiltRF,    values.headingLF, values.tiltLF, values.touchMask};
}

void serveRegistration(RemoteState& remote, RemoteReplyState& replies, std::uint64_t now, DatagramSocket& socket) {
    if (!remote.registeredPortValid.load(std::memory_order_acquire)) return;
    if (now - remote.registeredPortLastSeen.load(std::memory_order_relaxed) > kRegistrationLapseMs) {
        lapseRegistration(remote);
        return;
    }
    if (now - replies.keepAliveTime <= kKeepAliveMs) return;
    replies.keepAliveTime = now;
    if (!socket.sendTo({kLoopback, registeredPort(remote)}, wire::kRegistrationKeepAlive)) lapseRegistration(remote);
}

void answerPortQuery(RemoteState& remote, DatagramSocket& socket) {
    if (!remote.portQueryPending.exchange(false, std::memory_order_acq_rel)) return;
    const std::uint32_t digits = remote.registeredPortValid.load(std::memory_order_acquire)
                                     ? remote.registeredPortDigits.load(std::memory_order_relaxed)
                                     : 0;
    const std::array<std::uint8_t, wire::kQueryReplyLength> reply{
        wire::kPortMessage, wire::kQuery, digit(digits, 16), digit(digits, 8), digit(digits, 0)};
    const Endpoint to{kLoopback, remote.portQueryReplyPort.load(std::memory_order_relaxed)};
    (void)socket.sendTo(to, reply);  // a lost reply is the querier's to repeat
}

void serveRemoteApp(RemoteState& remote, RemoteReplyState& replies, const StatusValues& status, std::uint64_t now,
                    DatagramSocket& socket, Window& window) {
    bool connected = remote.connected.load(std::memory_order_acquire);
    if (connected && !replies.announced) {
        remote.lastSeen.store(now, std::memory_order_relaxed);
        if (!socket.sendTo(remote.appEndpoint.load(std::memory_order_relaxed), wire::kConnectionReply)) {
            dropRemoteApp(remote, replies, window);
            return;
        }
        replies.announced = true;
        window.setText(control::kRemoteStatus, "Status: remote app connected");
    } else if (replies.announced && now - remote.lastSeen.load(std::memory_order_relaxed) > kRemoteTimeoutMs) {
        dropRemoteApp(remote, replies, window);
        connected = false;
    }
    if (connected) sendStatus(remote, replies, status, now, socket, window);
}

}  // namespace hub
