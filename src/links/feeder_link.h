// Everything the hub sends the vJoy feeder on 127.0.0.1:45042: the byte
// encodings of the per-mode values, the change rule that decides when a
// per-mode datagram is due, the one-time acknowledgement and the stop
// datagram.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "base/edges.h"
#include "links/wire.h"

namespace hub {

// Byte encodings, each in single precision, rounded down and limited to
// 0 ... 255 (a negative value never wraps).
std::uint8_t centredByte(float value);  // floor(v * 127 + 128)
std::uint8_t unitByte(float value);     // floor(v * 255)
std::uint8_t offsetByte(float value);   // floor((v + 1) * 128)

inline constexpr int kNoExactByte = -1;

// A per-mode datagram (4-way: 7 bytes, joystick state: 8 bytes) with the rule
// it goes out by: the change rule with its exact-compare byte (an offset in
// the datagram, or kNoExactByte), or at once (Flight Sim decides by itself).
struct FeederDatagram {
    std::array<std::uint8_t, wire::kJoystickStateLength> bytes{};
    std::size_t length = 0;
    int exactByte = kNoExactByte;
    bool sendAtOnce = false;

    std::span<const std::uint8_t> view() const { return std::span(bytes).first(length); }
};

// Touched by the tick alone.
struct FeederState {
    std::array<std::uint8_t, 7> lastBytes{};  // bytes 1 ... 7 of the last per-mode datagram under the change rule
    std::uint64_t lastSendTime = 0;           // tickNow of the last per-mode datagram
    bool acknowledged = false;
    std::optional<FeederDatagram> lastSent;   // the last per-mode datagram of this run
};
template <std::size_t N>
FeederDatagram underChangeRule(const std::array<std::uint8_t, N>& datagram, int exactByte) {
    static_assert(N <= wire::kJoystickStateLength);
    FeederDatagram result;
    std::copy(datagram.begin(), datagram.end(), result.bytes.begin());
    result.length = N;
    result.exactByte = exactByte;
    return result;
}
template <std::size_t N>
FeederDatagram atOnce(const std::array<std::uint8_t, N>& datagram) {
    FeederDatagram result = underChangeRule(datagram, kNoExactByte);
    result.sendAtOnce = true;
    return result;
}

// The change rule's comparison with the bytes last sent in the same places:
// true when the byte at `exactIndex` differs at all, or when any byte moved by
// more than 3, read as signed 8-bit numbers (so 127 <-> 128 counts) or as
// unsigned ones (so a full-scale jump 0 <-> 255 counts too). Both spans have
// the same length; kNoExactByte names no exact-compare byte.
bool bytesMoved(std::span<const std::uint8_t> current, std::span<const std::uint8_t> last,
                int exactIndex);

// True when a per-mode datagram is due against the last one sent: the
// 3000 ms repeat, or its bytes 1 ... 7 (a 4-way datagram's byte 7 reads as 0)
// moved under bytesMoved, with the exact-compare byte given as its offset in
// the datagram.
bool feederDatagramDue(const FeederState& feeder, std::span<const std::uint8_t> datagram,
                       int exactByte, std::uint64_t now);

// A send to the feeder whose failure ends the process at once with status 1.
void sendToFeeder(DatagramSocket& socket, Process& process, std::span<const std::uint8_t> bytes);

// Records a per-mode datagram as the last one sent, at `now`: one under the
// change rule also gives the rule its bytes, one sent at once only its time.
void recordPerModeDatagram(FeederState& feeder, const FeederDatagram& datagram, std::uint64_t now);

// Sends a per-mode datagram when its rule says so, and records it. True when
// it was sent.
bool sendPerModeDatagram(FeederState& feeder, const FeederDatagram& datagram, std::uint64_t now,
                         DatagramSocket& socket, Process& process);

// The datagram with the given bytes at their rest values; none when that
// changes no byte of it.
std::optional<FeederDatagram> atRest(const FeederDatagram& datagram, std::span<const wire::RestByte> restBytes);

// The 4-way datagram of the 4-way mode: 02 01 X Y axis3 axis4 buttons.
constexpr std::array<std::uint8_t, wire::kFourWayLength> buildFourWayDatagram(std::uint8_t stickXByte,
                                                                              std::uint8_t stickYByte,
                                                                              std::uint8_t axis3, std::uint8_t axis4,
                                                                              std::uint8_t buttons) {
    return {wire::kFourWayTag[0], wire::kFourWayTag[1], stickXByte, stickYByte, axis3, axis4, buttons};
}

// 64 00: the feeder should stop. Returns false when the send failed.
bool sendStopDatagram(DatagramSocket& socket);

// Tick stage: the one-time acknowledgement (01 00) once the feeder is enabled.
void acknowledgeFeeder(FeederState& feeder, bool feederEnabled, DatagramSocket& socket, Process& process);

}  // namespace hub
