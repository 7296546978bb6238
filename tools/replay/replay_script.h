// Reading a replay script: JSON Lines, one event per line, validated strictly
// (an unknown key or a value of the wrong type or range is an error).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/edges.h"
#include "base/joystick_record.h"

namespace hub::replay {

enum class DeckObject { X, Y, Z, Rx, Ry, Rz, Slider, Pov, Button };

struct ConfigEvent {
    bool deck = true;
    std::vector<DeckObject> deckObjects{DeckObject::X,  DeckObject::Y,  DeckObject::Z,
                                        DeckObject::Rx, DeckObject::Ry, DeckObject::Rz};
    bool gamepad = false;
    std::string gamepadName;
    std::string programPath = "C:\\Hub\\hub.exe";
    HResult setupFailure = 0;  // a set-up that fails at its first call with this code
    bool noxinput = false;     // the hub ran with -noxinput; the devices chosen are the config's either way
};

struct TickEvent {
    std::uint64_t t = 0;
    JoystickRecord deck{};
    JoystickRecord pad{};
    HResult deckPoll = 0;
    std::vector<HResult> deckAcquire;
    HResult deckRead = 0;
    HResult padPoll = 0;
    HResult padRead = 0;
    std::vector<std::uint32_t> sendFailed;  // the tick's sends that fail, by their number in the tick
    // Searches for a lost device still running at this timer message.
    bool deckSearching = false;
    bool padSearching = false;
};

struct RecvEvent {
    Endpoint from;
    std::vector<std::uint8_t> bytes;
};

struct CommandEvent {
    int id = 0;
    std::vector<std::uint32_t> sendFailed;  // the command's sends that fail, by their number in the command
};

struct ActivateEvent {
    bool active = false;
};

// The attached controllers change: a device is unplugged or plugged back,
// or the platform's calls start or stop failing. Absent fields stay as they were.
struct AttachedEvent {
    std::optional<bool> deck;
    std::optional<bool> gamepad;
    std::optional<HResult> enumerate;   // of every later enumeration
    std::optional<HResult> deckFormat;  // of every later SetDataFormat on a Stepdeck
};

// Windows reported that the devices changed.
struct DevicesChangedEvent {};

struct BlankLine {};

using Event = std::variant<BlankLine, ConfigEvent, TickEvent, RecvEvent, CommandEvent, ActivateEvent, AttachedEvent,
                           DevicesChangedEvent>;

struct ParseResult {
    std::optional<Event> event;  // empty when the line is not valid
    std::string error;           // what is wrong with it
};

ParseResult parseLine(std::string_view line);

}  // namespace hub::replay
