// A recorded session's events as lines of a replay script, in the form
// hub-replay reads: one JSON object per line, fields at their defaults left
// out. A tick's, a datagram's, a command's and an activation's line are built
// in a fixed buffer, without touching the heap, so that the tick can record
// itself; only the set-up's config line, written once, may allocate.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/edges.h"
#include "base/joystick_record.h"
#include "engine/device_setup.h"

namespace hub {

// The Stepdeck's Acquire calls one tick's line holds (as many as a tick makes).
inline constexpr std::size_t kMaxRecordedAcquires = 10;
// The failed sends one tick's line holds (more than a tick makes sends).
inline constexpr std::size_t kMaxRecordedSendFailures = 16;

// What the edges returned to one tick, as the tick asked them.
struct RecordedTick {
    std::uint64_t t = 0;    // the clock's reading (the latest one when this tick read none)
    JoystickRecord deck{};  // as the Stepdeck's read returned it; all zero when not read
    JoystickRecord pad{};   // the same for the gamepad
    HResult deckPoll = kOk;
    std::array<HResult, kMaxRecordedAcquires> deckAcquire{};
    std::size_t deckAcquireCount = 0;
    HResult deckRead = kOk;
    HResult padPoll = kOk;
    HResult padRead = kOk;
    // The tick's sends that failed, by their number in the tick (from 0).
    std::array<std::uint32_t, kMaxRecordedSendFailures> sendFailed{};
    std::size_t sendFailedCount = 0;
    // The searches for a lost device still running at this timer message.
    bool deckSearching = false;
    bool padSearching = false;
};

// A dialog command, with the sends it made that failed, by their number
// among its sends (from 0).
struct RecordedCommand {
    int id = 0;
    std::array<std::uint32_t, kMaxRecordedSendFailures> sendFailed{};
    std::size_t sendFailedCount = 0;
};

// What the device set-up found.
struct RecordedConfig {
    bool deck = true;                     // a Stepdeck was chosen
    std::vector<ObjectType> deckObjects;  // the Stepdeck's objects the set-up handled, in order
    bool gamepad = false;                 // a gamepad was chosen
    std::string gamepadName;              // UTF-8
    std::string programPath;              // UTF-8
    HResult setupFailure = kOk;           // the code the set-up failed with
    bool noxinput = false;                // the hub ran with the switch noxinput
};

// What changed of the attached controllers, as a search found them: only
// the fields given are written.
struct RecordedAttached {
    std::optional<bool> deck;
    std::optional<bool> gamepad;
    std::optional<HResult> enumerate;   // of every later enumeration
    std::optional<HResult> deckFormat;  // of every later data format set on a Stepdeck
};

// One line under construction, without its line end. Longer than any event
// but a config can be: a datagram's 512 bytes take 1,024 hexadecimal digits,
// a tick with every button of both devices pressed about 1,700 characters.
// What would not fit is left out and marks the line as overflowed.
class EventLine {
public:
    static constexpr std::size_t kCapacity = 4096;

    std::string_view text() const { return {chars_.data(), size_}; }
    bool overflowed() const { return overflowed_; }
    void clear() { size_ = 0, overflowed_ = false; }

    void put(char c);
    void put(std::string_view text);
    void putSigned(std::int64_t value);
    void putUnsigned(std::uint64_t value);
    void putHex(std::span<const std::uint8_t> bytes);

private:
    std::array<char, kCapacity> chars_;
    std::size_t size_ = 0;
    bool overflowed_ = false;
};

void encodeTick(const RecordedTick& tick, EventLine& line);
void encodeRecv(const Endpoint& from, std::span<const std::uint8_t> bytes, EventLine& line);
void encodeCommand(const RecordedCommand& command, EventLine& line);
void encodeActivate(bool active, EventLine& line);
void encodeDevicesChanged(EventLine& line);
void encodeAttached(const RecordedAttached& attached, EventLine& line);
std::string encodeConfig(const RecordedConfig& config);

// Writes the text as a JSON string, quotes included: quote, backslash and
// control characters escaped, every other UTF-8 byte as it is.
template <typename Put>
void putJsonString(std::string_view text, Put put) {
    constexpr char kHexDigits[] = "0123456789abcdef";
    put('"');
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            put('\\');
            put(c);
        } else if (byte < 0x20) {
            for (const char escaped : {'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]}) put(escaped);
        } else {
            put(c);
        }
    }
    put('"');
}

}  // namespace hub
