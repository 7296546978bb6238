// The hub's datagrams as the programs around it see them: what every
// datagram the hub sends decodes to, what every message to its port 45041
// decodes to, and the messages a peer builds for that port. The hub's own
// listener decodes with decodeHubMessage; the peer tool uses all of it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>

#include "links/wire.h"

namespace hub {


// ---- Messages to the hub's port 45041, as its listener reads them ----------

struct FeederEnableMessage {};
struct HelloMessage {};  // the hub answers to the sender's port + 1
struct HelloWithPortMessage {
    std::uint16_t replyPort = 0;
};
struct KeepAliveMessage {};
struct InputsMessage {
    std::uint8_t steeringByte = 0;  // 128 is the centre
    std::uint8_t buttons = 0;       // bit 0 A, 1 B, 2 X, 3 Y, 4 T1, 5 T2
    bool hasAxes = false;           // 9 bytes or more: the two axis bytes count
    std::uint8_t axis3 = 0, axis4 = 0;
};
struct PortRegistrationMessage {
    std::array<std::uint8_t, 3> digits{};
    std::uint16_t port = 0;
};
struct PortQueryMessage {
    std::uint16_t replyPort = 0;
};
// std::monostate: a message the hub ignores (unknown type, too short, too
// long for its receive buffer, or naming port 0).
using HubMessage = std::variant<std::monostate, FeederEnableMessage, HelloMessage, HelloWithPortMessage,
                                KeepAliveMessage, InputsMessage, PortRegistrationMessage, PortQueryMessage>;

// Bytes beyond the datagram's length read as 0, as in the listener's cleared
// receive buffer.
HubMessage decodeHubMessage(std::span<const std::uint8_t> bytes);

// The steering value the hub takes from an input message's byte 1.
float steeringFromByte(std::uint8_t byte);

// ---- Datagrams the hub sends ------------------------------------------------

struct GreetingDatagram {};  // 01 03 02 6F 00, to 45040 and to the feeder
struct StickPosition {
    std::uint8_t x = 128, y = 128;
};
struct XdrvPosition {
    float x = 0.0f, y = 0.0f;
};
struct FeederAcknowledgementDatagram {};
struct FourWayValues {
    std::uint8_t x = 0, y = 0, axis3 = 0, axis4 = 0, buttons = 0;
};
struct JoystickStateValues {
    std::array<std::uint8_t, 7> bytes{};  // bytes 1 ... 7; their meaning depends on the vJoy mode
};
struct FeederStopDatagram {};
struct ConnectionReplyDatagram {};
struct StatusValues {
    std::uint8_t stickX = 0, stickY = 0, headingRF = 0, tiltRF = 0, headingLF = 0, tiltLF = 0;
    std::uint8_t touchMask = 0;
};
struct RegistrationKeepAliveDatagram {};
struct QueryReplyValues {
    std::array<std::uint8_t, 3> digits{};
    std::uint16_t port = 0;  // 0: no registration was live
};
// std::monostate: not a datagram the hub sends.
using HubDatagram = std::variant<std::monostate, GreetingDatagram, StickPosition, XdrvPosition,
                                 FeederAcknowledgementDatagram, FourWayValues, JoystickStateValues,
                                 FeederStopDatagram, ConnectionReplyDatagram, StatusValues,
                                 RegistrationKeepAliveDatagram, QueryReplyValues>;

// Every datagram the hub sends has its own exact length and leading bytes, so
// the bytes alone tell which it is (the port it went to does not matter: the
// connection reply and the status datagram reach the feeder's port until a
// remote app says hello).
HubDatagram decodeHubDatagram(std::span<const std::uint8_t> bytes);

// The value a byte of the joystick state datagram stands for, to within one
// step of its encoding.
float decodedValue(wire::ByteEncoding encoding, std::uint8_t byte);

// ---- Messages a peer sends ----------------------------------------------------

// A port as three base-100 digit bytes: 45041 is 4, 50, 41.
std::array<std::uint8_t, 3> portDigits(std::uint16_t port);

std::array<std::uint8_t, 2> buildFeederEnable();
std::array<std::uint8_t, 5> buildHelloWithPort(std::uint16_t replyPort);
std::array<std::uint8_t, 2> buildKeepAlive();
// The full 9-byte input message: 32, steering, buttons, 0, 0, axis3, axis4, 0, 0.
std::array<std::uint8_t, 9> buildInputs(std::uint8_t steeringByte, std::uint8_t buttons, std::uint8_t axis3,
                                        std::uint8_t axis4);
std::array<std::uint8_t, 5> buildPortRegistration(std::uint16_t port);
std::array<std::uint8_t, 5> buildPortQuery(std::uint16_t replyPort);

}  // namespace hub
