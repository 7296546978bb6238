#include "links/peer_datagrams.h"

#include <algorithm>
#include <bit>

#include "links/remote_link.h"
#include "links/wire.h"

namespace hub {

namespace {

// A datagram whose bytes beyond its length read as 0.
class Bytes {
public:
    explicit Bytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint8_t operator[](std::size_t i) const { return i < bytes_.size() ? bytes_[i] : 0; }
    std::size_t size() const { return bytes_.size(); }
    std::array<std::uint8_t, 3> digits() const { return {(*this)[2], (*this)[3], (*this)[4]}; }
    std::uint16_t port() const { return portFromDigits((*this)[2], (*this)[3], (*this)[4]); }
    std::uint32_t u32(std::size_t at) const {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{(*this)[at + i]} << (8 * i);
        return value;
    }
    bool startsWith(std::span<const std::uint8_t> head) const {
        return bytes_.size() >= head.size() && std::equal(head.begin(), head.end(), bytes_.begin());
    }
    bool is(std::span<const std::uint8_t> exact) const { return bytes_.size() == exact.size() && startsWith(exact); }

private:
    std::span<const std::uint8_t> bytes_;
};

HubMessage decodeControlMessage(const Bytes& message) {
    switch (message[1]) {
        case wire::kFeederEnable: return FeederEnableMessage{};
        case wire::kHello: return HelloMessage{};
        case wire::kHelloWithPort:
            if (message.size() < 5 || message.port() == 0) return std::monostate{};
            return HelloWithPortMessage{message.port()};
        case wire::kKeepAlive: return KeepAliveMessage{};
        default: return std::monostate{};
    }
}

HubMessage decodePortMessage(const Bytes& message) {
    if (message.port() == 0) return std::monostate{};  // nothing can be sent to port 0
    switch (message[1]) {
        case wire::kRegistration: return PortRegistrationMessage{message.digits(), message.port()};
        case wire::kQuery: return PortQueryMessage{message.port()};
        default: return std::monostate{};
    }
}

bool isXdrv(const Bytes& datagram) {
    if (datagram.size() != wire::kXdrvLength || !datagram.startsWith(wire::kXdrvMagic)) return false;
    if (datagram.u32(4) != wire::kXdrvVersion || datagram.u32(wire::kXdrvTrailerOffset) != wire::kXdrvTrailer) {
        return false;
    }
    return datagram.u32(16) == 0 && datagram.u32(20) == 0;
}

HubDatagram decodeTwoBytes(const Bytes& datagram) {
    if (datagram.is(wire::kFeederAcknowledgement)) return FeederAcknowledgementDatagram{};
    if (datagram.is(wire::kConnectionReply)) return ConnectionReplyDatagram{};
    if (datagram.is(wire::kFeederStop)) return FeederStopDatagram{};
    if (datagram.is(wire::kRegistrationKeepAlive)) return RegistrationKeepAliveDatagram{};
    return std::monostate{};
}

template <std::size_t N>
std::array<std::uint8_t, N> bytesFrom(const Bytes& datagram, std::size_t first) {
    std::array<std::uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = datagram[first + i];
    return out;
}

}  // namespace

HubMessage decodeHubMessage(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > wire::kReceiveBufferSize) return std::monostate{};
    const Bytes message(bytes);
    switch (message[0]) {
        case wire::kControl: return decodeControlMessage(message);
        case wire::kInputs:
            return InputsMessage{message[1], message[2], message.size() >= wire::kInputsWithAxesLength, message[5],
                                 message[6]};
        case wire::kPortMessage: return decodePortMessage(message);
        default: return std::monostate{};
    }
}

float steeringFromByte(std::uint8_t byte) { return static_cast<float>(byte - 128) * 0.0078125f; }

HubDatagram decodeHubDatagram(std::span<const std::uint8_t> bytes) {
    const Bytes datagram(bytes);
    if (datagram.is(wire::kGreeting)) return GreetingDatagram{};
    if (isXdrv(datagram)) {
        return XdrvPosition{std::bit_cast<float>(datagram.u32(8)), std::bit_cast<float>(datagram.u32(12))};
    }
    switch (datagram.size()) {
        case 2: return decodeTwoBytes(datagram);
        case wire::kStickLength:  // also wire::kQueryReplyLength
            if (datagram[0] == wire::kStickXTag && datagram[2] == wire::kStickYTag && datagram[4] == 0) {
                return StickPosition{datagram[1], datagram[3]};
            }
            if (datagram[0] == wire::kPortMessage && datagram[1] == wire::kQuery) {
                return QueryReplyValues{datagram.digits(), datagram.port()};
            }
            return std::monostate{};
        case wire::kFourWayLength:
            if (!datagram.startsWith(wire::kFourWayTag)) return std::monostate{};
            return FourWayValues{datagram[2], datagram[3], datagram[4], datagram[5], datagram[6]};
        case wire::kJoystickStateLength:  // also wire::kStatusLength
            if (datagram[0] == wire::kJoystickStateTag) return JoystickStateValues{bytesFrom<7>(datagram, 1)};
            if (datagram[0] == wire::kStatusTag) {
                const auto v = bytesFrom<7>(datagram, 1);
                return StatusValues{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
            }
            return std::monostate{};
        default: return std::monostate{};
    }
}

float decodedValue(wire::ByteEncoding encoding, std::uint8_t byte) {
    using wire::ByteEncoding;
    switch (encoding) {
        case ByteEncoding::Centred: return static_cast<float>(byte - 128) / 127.0f;
        case ByteEncoding::Unit: return static_cast<float>(byte) / 255.0f;
        case ByteEncoding::Offset: return static_cast<float>(byte) / 128.0f - 1.0f;
        case ByteEncoding::Raw:
        case ByteEncoding::Fixed: break;
    }
    return static_cast<float>(byte);
}

std::array<std::uint8_t, 3> portDigits(std::uint16_t port) {
    return {static_cast<std::uint8_t>(port / 10000), static_cast<std::uint8_t>(port / 100 % 100),
            static_cast<std::uint8_t>(port % 100)};
}

namespace {

std::array<std::uint8_t, 5> withPort(std::uint8_t first, std::uint8_t second, std::uint16_t port) {
    const auto digits = portDigits(port);
    return {first, second, digits[0], digits[1], digits[2]};
}

}  // namespace

std::array<std::uint8_t, 2> buildFeederEnable() { return {wire::kControl, wire::kFeederEnable}; }
std::array<std::uint8_t, 5> buildHelloWithPort(std::uint16_t replyPort) {
    return withPort(wire::kControl, wire::kHelloWithPort, replyPort);
}
std::array<std::uint8_t, 2> buildKeepAlive() { return {wire::kControl, wire::kKeepAlive}; }
std::array<std::uint8_t, 9> buildInputs(std::uint8_t steeringByte, std::uint8_t buttons, std::uint8_t axis3,
                                        std::uint8_t axis4) {
    return {wire::kInputs, steeringByte, buttons, 0, 0, axis3, axis4, 0, 0};
}
std::array<std::uint8_t, 5> buildPortRegistration(std::uint16_t port) {
    return withPort(wire::kPortMessage, wire::kRegistration, port);
}
std::array<std::uint8_t, 5> buildPortQuery(std::uint16_t replyPort) {
    return withPort(wire::kPortMessage, wire::kQuery, replyPort);
}

}  // namespace hub
