// The two locomotion datagrams that go to the local VR consumers every tick
// (the 5-byte stick datagram to port 45040, the 28-byte XDRV datagram to port
// 45045) and the greetings that announce the hub at start-up.
#pragma once

#include <array>
#include <cstdint>

#include "base/edges.h"
#include "links/wire.h"

namespace hub {

// What the locomotion datagrams carry: the stick bytes and the XDRV values.
// The stick pipeline fills it; a locomotion mode may replace it.
struct LocomotionPosition {
    float x = 0.0f, y = 0.0f;
    std::uint8_t xByte = 128, yByte = 128;
};

// Standing still: the stick bytes centred, X and Y +0.0.
inline constexpr LocomotionPosition kStandingStill{};

std::array<std::uint8_t, wire::kStickLength> buildStickDatagram(std::uint8_t xByte, std::uint8_t yByte);
// "XDRV", 1, X, Y, eight zero bytes, 3; little-endian, IEEE single floats.
std::array<std::uint8_t, wire::kXdrvLength> buildXdrvDatagram(float x, float y);

// The three greetings of start-up: 45040, 45045, then the feeder. None is tested.
void sendGreetings(DatagramSocket& socket);

// Tick stage: the stick datagram, then the XDRV datagram. Neither send is
// tested; the next tick sends fresh values anyway.
void sendLocomotionDatagrams(DatagramSocket& socket, const LocomotionPosition& position);

}  // namespace hub
