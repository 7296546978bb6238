// The two locomotion datagrams that go to the local VR consumers every tick
// (the 5-byte stick datagram to port 45040, the 28-byte XDRV datagram to port
// 45045) and the greetings that announce the hub at start-up.
#pragma once

#include <array>
#include <cstdint>

namespace hub {

struct Hub;

// The stick datagram's one buffer: '*' X '+' Y 0. Start-up writes the
// greeting into it; the first tick overwrites it.
struct StickDatagram {
    std::array<std::uint8_t, 5> bytes{};

    void setX(std::uint8_t x) { bytes[0] = '*'; bytes[1] = x; }
    void setY(std::uint8_t y) { bytes[2] = '+'; bytes[3] = y; bytes[4] = 0; }
};

// "XDRV", 1, X, Y, eight zero bytes, 3; little-endian, IEEE single floats.
std::array<std::uint8_t, 28> buildXdrvDatagram(float x, float y);

// The three greetings of start-up: 45040, 45045, then the feeder.
void sendGreetings(Hub& hub);

// Tick stage: the stick datagram, then the XDRV datagram. Neither send is
// tested; the next tick sends fresh values anyway.
void sendLocomotionDatagrams(Hub& hub);

}  // namespace hub
