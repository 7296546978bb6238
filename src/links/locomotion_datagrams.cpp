#include "links/locomotion_datagrams.h"

#include <algorithm>
#include <bit>

namespace hub {

namespace {

void putU32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::array<std::uint8_t, wire::kStickLength> buildStickDatagram(std::uint8_t xByte, std::uint8_t yByte) {
    return {wire::kStickXTag, xByte, wire::kStickYTag, yByte, 0};
}

std::array<std::uint8_t, wire::kXdrvLength> buildXdrvDatagram(float x, float y) {
    std::array<std::uint8_t, wire::kXdrvLength> datagram{};
    std::ranges::copy(wire::kXdrvMagic, datagram.begin());
    putU32(&datagram[4], wire::kXdrvVersion);
    putU32(&datagram[wire::kXdrvXOffset], std::bit_cast<std::uint32_t>(x));
    putU32(&datagram[wire::kXdrvYOffset], std::bit_cast<std::uint32_t>(y));
    putU32(&datagram[wire::kXdrvTrailerOffset], wire::kXdrvTrailer);
    return datagram;
}

void sendGreetings(DatagramSocket& socket) {
    socket.sendTo(wire::kStickEndpoint, wire::kGreeting);
    socket.sendTo(wire::kXdrvEndpoint, buildXdrvDatagram(0.0f, 0.0f));
    socket.sendTo(wire::kFeederEndpoint, wire::kGreeting);
}

void sendLocomotionDatagrams(DatagramSocket& socket, const LocomotionPosition& position) {
    socket.sendTo(wire::kStickEndpoint, buildStickDatagram(position.xByte, position.yByte));
    socket.sendTo(wire::kXdrvEndpoint, buildXdrvDatagram(position.x, position.y));
}

}  // namespace hub
