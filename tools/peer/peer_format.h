// How hub-peer shows what it receives: one line of text per datagram, time
// stamps, and the compact live view of `watch` on a terminal.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "links/peer_datagrams.h"

namespace hub::peer {

// The datagram's kind as one word ("stick", "xdrv", "4-way", ...).
std::string_view kindName(const HubDatagram& datagram);

// A datagram the hub sent, as "<kind> <fields>"; a joystick state datagram
// also shows its values under the layout of `vjoyMode` when that mode has one.
// Bytes the hub never sends show as "unknown" with their hex.
std::string describeHubDatagram(std::span<const std::uint8_t> bytes, int vjoyMode);

// A message to the hub's port 45041 as the hub reads it, as "<kind> <fields>";
// one the hub ignores shows as "ignored" with its hex.
std::string describeHubMessage(std::span<const std::uint8_t> bytes);

// Bytes as lower-case hex pairs separated by blanks.
std::string hexBytes(std::span<const std::uint8_t> bytes);

// The shortest text that reads back as the same float.
std::string floatText(float value);

// Milliseconds since local midnight as HH:MM:SS.mmm.
std::string timeOfDay(std::uint64_t msOfDay);

// The live view: one row per port and kind of datagram with the latest
// values, how many came and how long ago the last one came. Each frame
// redraws the previous one in place.
class LiveView {
public:
    explicit LiveView(std::string title) : title_(std::move(title)) {}
    // `text` as describeHubDatagram gives it: its first word is the kind.
    void record(std::uint16_t port, std::string text, std::uint64_t nowMs);
    // The text that replaces the previous frame on an ANSI terminal.
    std::string frame(std::uint64_t nowMs);

private:
    struct Row {
        std::uint16_t port;
        std::string kind;
        std::string text;
        std::uint64_t count;
        std::uint64_t lastMs;
    };
    std::string title_;
    std::vector<Row> rows_;
    std::size_t linesDrawn_ = 0;
};

}  // namespace hub::peer
