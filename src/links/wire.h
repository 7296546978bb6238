// Every datagram of the hub, stated once: the endpoints and ports, the tags
// and fixed bytes that tell the datagrams apart, their lengths, and the byte
// encodings of the joystick state datagram. The encoders, the listener's
// decoder, the peer tool and the tests all build on these names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/edges.h"

namespace hub::wire {

// ---- Endpoints -----------------------------------------------------------------

inline constexpr Endpoint kStickEndpoint{kLoopback, 45040};   // the stick datagram
inline constexpr Endpoint kXdrvEndpoint{kLoopback, 45045};    // the XDRV datagram
inline constexpr Endpoint kFeederEndpoint{kLoopback, 45042};  // the vJoy feeder
// Where the connection reply and the status datagrams go until a remote app
// says hello: the feeder's endpoint.
inline constexpr Endpoint kDefaultRemoteAppEndpoint = kFeederEndpoint;
// The hub listens here for the remote app, registrations, queries and the feeder enable.
inline constexpr std::uint16_t kListenPort = 45041;
// The listener's receive buffer; a longer datagram is ignored whole.
inline constexpr std::size_t kReceiveBufferSize = 512;

// ---- Datagrams the hub sends ---------------------------------------------------

// 01 03 02 6F 00: to 45040 and to the feeder at start-up.
inline constexpr std::array<std::uint8_t, 5> kGreeting{0x01, 0x03, 0x02, 0x6F, 0x00};

// The stick datagram: '*' X '+' Y 0.
inline constexpr std::size_t kStickLength = 5;
inline constexpr std::uint8_t kStickXTag = '*';
inline constexpr std::uint8_t kStickYTag = '+';

// "XDRV", version, x, y (IEEE single, little-endian), eight zero bytes, trailer.
inline constexpr std::size_t kXdrvLength = 28;
inline constexpr std::array<std::uint8_t, 4> kXdrvMagic{'X', 'D', 'R', 'V'};
inline constexpr std::uint32_t kXdrvVersion = 1;   // bytes 4 ... 7
inline constexpr std::size_t kXdrvXOffset = 8;
inline constexpr std::size_t kXdrvYOffset = 12;
inline constexpr std::uint32_t kXdrvTrailer = 3;   // bytes 24 ... 27
inline constexpr std::size_t kXdrvTrailerOffset = 24;

// To the feeder: the one-time acknowledgement, the per-mode datagrams, the stop.
inline constexpr std::array<std::uint8_t, 2> kFeederAcknowledgement{0x01, 0x00};
inline constexpr std::array<std::uint8_t, 2> kFeederStop{100, 0};  // 100, little-endian
inline constexpr std::size_t kFourWayLength = 7;                   // 02 01 X Y axis3 axis4 buttons
inline constexpr std::array<std::uint8_t, 2> kFourWayTag{0x02, 0x01};
inline constexpr std::size_t kJoystickStateLength = 8;             // 16, then seven mode bytes
inline constexpr std::uint8_t kJoystickStateTag = 0x16;
inline constexpr std::uint8_t kCentredByte = 0x80;

// To the remote app: the connection reply (01 02) and the status datagram
// (1F, stick X, stick Y, heading RF, tilt RF, heading LF, tilt LF, touch mask).
inline constexpr std::array<std::uint8_t, 2> kConnectionReply{0x01, 0x02};
inline constexpr std::size_t kStatusLength = 8;
inline constexpr std::uint8_t kStatusTag = 0x1F;
// To a registered port (15 01) and to a querier (15 02 d1 d2 d3).
inline constexpr std::array<std::uint8_t, 2> kRegistrationKeepAlive{21, 1};
inline constexpr std::size_t kQueryReplyLength = 5;

// ---- Messages to the hub's port ---------------------------------------------------

// Byte 0, and byte 1 after kControl or kPortMessage.
inline constexpr std::uint8_t kControl = 1;
inline constexpr std::uint8_t kFeederEnable = 1;
inline constexpr std::uint8_t kHello = 2;  // also the hub's connection reply
inline constexpr std::uint8_t kHelloWithPort = 3;
inline constexpr std::uint8_t kKeepAlive = 21;
inline constexpr std::uint8_t kInputs = 32;
inline constexpr std::size_t kInputsWithAxesLength = 9;  // shorter inputs carry no axis bytes
inline constexpr std::uint8_t kPortMessage = 21;
inline constexpr std::uint8_t kRegistration = 1;  // also the hub's registration keep-alive
inline constexpr std::uint8_t kQuery = 2;         // also the hub's query reply
inline constexpr std::size_t kPortMessageLength = 5;  // kind, sub-kind, three base-100 digits

// ---- The joystick state datagram's bytes 1 ... 7 --------------------------------

enum class ByteEncoding {
    Centred,  // floor(v * 127 + 128): v is about (b - 128) / 127
    Unit,     // floor(v * 255): v is about b / 255
    Offset,   // floor((v + 1) * 128): v is about b / 128 - 1
    Raw,      // a byte passed on as it is (buttons, remote axes)
    Fixed,    // always the same byte in this mode
};
struct JoystickStateField {
    std::string_view name;
    ByteEncoding encoding;
};
// Each vJoy mode with a joystick state datagram has its layout in the mode table.
using JoystickStateLayout = std::array<JoystickStateField, kJoystickStateLength - 1>;

// A byte of a per-mode datagram that comes from the Stepdeck (its offset in
// the datagram), and its value with the Stepdeck at rest. Each vJoy mode
// lists its own beside its layout.
struct RestByte {
    std::size_t offset;
    std::uint8_t value;
};

}  // namespace hub::wire
