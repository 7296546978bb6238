#include "links/locomotion_datagrams.h"

#include <bit>
#include <cstring>

#include "engine/hub.h"
#include "links/endpoints.h"
#include "links/peer_datagrams.h"

namespace hub {

namespace {

void putU32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::array<std::uint8_t, 28> buildXdrvDatagram(float x, float y) {
    std::array<std::uint8_t, 28> datagram{};
    std::memcpy(datagram.data(), "XDRV", 4);
    putU32(&datagram[4], wire::kXdrvVersion);
    putU32(&datagram[8], std::bit_cast<std::uint32_t>(x));
    putU32(&datagram[12], std::bit_cast<std::uint32_t>(y));
    putU32(&datagram[24], wire::kXdrvTrailer);
    return datagram;
}

void sendGreetings(Hub& hub) {
    DatagramSocket& socket = hub.edges.socket;
    std::memcpy(hub.state.stickDatagram.bytes.data(), wire::kGreeting.data(), 4);
    socket.sendTo(kJoystickEndpoint, hub.state.stickDatagram.bytes);
    socket.sendTo(kXdrvEndpoint, buildXdrvDatagram(0.0f, 0.0f));
    socket.sendTo(kFeederEndpoint, wire::kGreeting);
}

void sendLocomotionDatagrams(Hub& hub) {
    const TickValues& tick = hub.state.tick;
    hub.edges.socket.sendTo(kJoystickEndpoint, hub.state.stickDatagram.bytes);
    hub.edges.socket.sendTo(kXdrvEndpoint, buildXdrvDatagram(tick.locomotionX, tick.locomotionY));
}

}  // namespace hub
