#include "links/remote_link.h"

#include <span>

#include "engine/controls.h"
#include "engine/hub.h"
#include "links/feeder_link.h"

namespace hub {

namespace {

constexpr std::uint64_t kRemoteTimeoutMs = 10000;
constexpr std::uint64_t kStatusRepeatMs = 3500;
constexpr std::uint64_t kRegistrationLapseMs = 10000;
constexpr std::uint64_t kKeepAliveMs = 5000;

constexpr std::uint8_t kStatusTag = 31;
constexpr int kStatusExactIndex = 6;  // touchMask, byte 7 of the status datagram

// Message bytes 0 and 1.
constexpr std::uint8_t kControl = 1;
constexpr std::uint8_t kFeederEnable = 1;
constexpr std::uint8_t kHello = 2;
constexpr std::uint8_t kHelloWithPort = 3;
constexpr std::uint8_t kKeepAlive = 21;
constexpr std::uint8_t kInputs = 32;
constexpr std::uint8_t kPortMessage = 21;
constexpr std::uint8_t kRegistration = 1;
constexpr std::uint8_t kQuery = 2;

// A received datagram whose bytes beyond its length read as 0.
class Message {
public:
    Message(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}
    std::uint8_t operator[](std::size_t i) const { return i < length_ ? bytes_[i] : 0; }
    std::size_t length() const { return length_; }
    std::uint16_t port() const { return portFromDigits((*this)[2], (*this)[3], (*this)[4]); }
    std::uint32_t packedDigits() const {
        return (std::uint32_t{(*this)[2]} << 16) | (std::uint32_t{(*this)[3]} << 8) | (*this)[4];
    }

private:
    const std::uint8_t* bytes_;
    std::size_t length_;
};

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

void applyInputs(RemoteState& remote, const Message& message) {
    remote.steering.store(static_cast<float>(message[1] - 128) * 0.0078125f, std::memory_order_relaxed);
    remote.buttons.store(message[2], std::memory_order_relaxed);
    if (message.length() >= 9) {
        remote.axis3.store(message[5], std::memory_order_relaxed);
        remote.axis4.store(message[6], std::memory_order_relaxed);
    }
    keepConnected(remote);
}

void applyControlMessage(RemoteState& remote, const Message& message, const Endpoint& from) {
    switch (message[1]) {
        case kFeederEnable: remote.feederEnabled.store(true, std::memory_order_release); break;
        case kHello:
            connectByHello(remote, {from.address, static_cast<std::uint16_t>(from.port + 1)});
            break;
        case kHelloWithPort:
            if (message.length() >= 5) connectByHello(remote, {from.address, message.port()});
            break;
        case kKeepAlive: keepConnected(remote); break;
        default: break;
    }
}

void applyPortMessage(RemoteState& remote, const Message& message) {
    if (message.port() == 0) return;  // nothing can be sent to port 0
    switch (message[1]) {
        case kRegistration:
            remote.registeredPortDigits.store(message.packedDigits(), std::memory_order_relaxed);
            remote.registeredPortLastSeen.store(remote.latestTickNow.load(std::memory_order_relaxed),
                                                std::memory_order_relaxed);
            remote.registeredPortValid.store(true, std::memory_order_release);
            break;
        case kQuery:
            remote.portQueryReplyPort.store(message.port(), std::memory_order_relaxed);
            remote.portQueryPending.store(true, std::memory_order_release);
            break;
        default: break;
    }
}

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
    static constexpr std::array<std::uint8_t, 2> kKeepAliveDatagram{kPortMessage, kRegistration};
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
    const std::array<std::uint8_t, 5> reply{kPortMessage, kQuery, digit(digits, 16), digit(digits, 8),
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
    return {kStatusTag,
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
    if (length < 1 || length > kReceiveBufferSize) return;
    const Message message(bytes, length);
    switch (message[0]) {
        case kControl: applyControlMessage(remote, message, from); break;
        case kInputs: applyInputs(remote, message); break;
        case kPortMessage: applyPortMessage(remote, message); break;
        default: break;
    }
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
        static constexpr std::array<std::uint8_t, 2> kConnectionReply{kControl, kHello};
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
