// Everything the hub sends the vJoy feeder on 127.0.0.1:45042: the byte
// encodings of the per-mode values, the change rule that decides when a
// per-mode datagram is due, the one-time acknowledgement and the stop
// datagram.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace hub {

struct Hub;

// Byte encodings, each in single precision, rounded down and limited to
// 0 ... 255 (a negative value never wraps).
std::uint8_t centredByte(float value);  // floor(v * 127 + 128)
std::uint8_t unitByte(float value);     // floor(v * 255)
std::uint8_t offsetByte(float value);   // floor((v + 1) * 128)

inline constexpr int kNoExactByte = -1;

struct FeederState {
    std::array<std::uint8_t, 7> lastBytes{};  // bytes 1 ... 7 of the last per-mode datagram
    std::uint64_t lastSendTime = 0;           // tickNow of the last per-mode datagram
    bool acknowledged = false;
};

// The change rule's comparison with the bytes last sent in the same places:
// true when the byte at `exactIndex` differs at all, or when any byte moved by
// more than 3, read as signed 8-bit numbers (so 127 <-> 128 counts) or as
// unsigned ones (so a full-scale jump 0 <-> 255 counts too). Both spans have
// the same length; kNoExactByte names no exact-compare byte.
bool bytesMoved(std::span<const std::uint8_t> current, std::span<const std::uint8_t> last,
                int exactIndex);

// True when a per-mode datagram (4-way: 7 bytes, joystick state: 8 bytes) is
// due against the last one sent: the 3000 ms repeat, or its bytes 1 ... 7
// (a 4-way datagram's byte 7 reads as 0) moved under bytesMoved, with the
// exact-compare byte given as its offset in the datagram.
bool feederDatagramDue(const FeederState& feeder, std::span<const std::uint8_t> datagram,
                       int exactByte, std::uint64_t now);

// Applies the change rule and, when due, records and sends the datagram; a
// failed send ends the process with status 1.
void sendUnderChangeRule(Hub& hub, std::span<const std::uint8_t> datagram, int exactByte);

// Sends a joystick state datagram unconditionally (Flight Sim's own rule):
// stamps lastSendTime, leaves lastBytes alone.
void sendJoystickStateNow(Hub& hub, const std::array<std::uint8_t, 8>& datagram);

// The 4-way datagram of mode 2: 02 01 X Y axis3 axis4 buttons.
std::array<std::uint8_t, 7> buildFourWayDatagram(std::uint8_t stickXByte, std::uint8_t stickYByte,
                                                 std::uint8_t axis3, std::uint8_t axis4,
                                                 std::uint8_t buttons);

// 64 00: the feeder should stop. Returns false when the send failed.
bool sendStopDatagram(Hub& hub);

// Tick stages: the one-time acknowledgement (01 00) and the per-mode
// datagram, dispatched by the vJoy mode while the feeder output is enabled.
void acknowledgeFeeder(Hub& hub);
void sendFeederDatagram(Hub& hub);

}  // namespace hub
