#include "replay_script.h"

#include <charconv>
#include <limits>

#include <nlohmann/json.hpp>

namespace hub::replay {

namespace {

using nlohmann::json;

// Thrown only inside this reader and turned into a ParseResult below.
struct Invalid {
    std::string what;
};

[[noreturn]] void fail(std::string what) { throw Invalid{std::move(what)}; }

void requireObject(const json& value, std::string_view where) {
    if (!value.is_object()) fail(std::string(where) + " must be an object");
}

template <typename Int>
Int integer(const json& value, std::string_view name) {
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(std::numeric_limits<Int>::max())) fail(std::string(name) + " is out of range");
        return static_cast<Int>(n);
    }
    if (value.is_number_integer()) {
        const auto n = value.get<std::int64_t>();
        if (n < static_cast<std::int64_t>(std::numeric_limits<Int>::min()) ||
            (n > 0 && static_cast<std::uint64_t>(n) > static_cast<std::uint64_t>(std::numeric_limits<Int>::max()))) {
            fail(std::string(name) + " is out of range");
        }
        return static_cast<Int>(n);
    }
    fail(std::string(name) + " must be an integer");
}

bool boolean(const json& value, std::string_view name) {
    if (!value.is_boolean()) fail(std::string(name) + " must be true or false");
    return value.get<bool>();
}

std::string text(const json& value, std::string_view name) {
    if (!value.is_string()) fail(std::string(name) + " must be a string");
    return value.get<std::string>();
}

const json& array(const json& value, std::string_view name, std::size_t maxSize) {
    if (!value.is_array()) fail(std::string(name) + " must be an array");
    if (value.size() > maxSize) fail(std::string(name) + " has more than " + std::to_string(maxSize) + " values");
    return value;
}

DeckObject deckObject(const json& value) {
    static const std::pair<std::string_view, DeckObject> kNames[] = {
        {"x", DeckObject::X},   {"y", DeckObject::Y},   {"z", DeckObject::Z},
        {"rx", DeckObject::Rx}, {"ry", DeckObject::Ry}, {"rz", DeckObject::Rz},
        {"slider", DeckObject::Slider}, {"pov", DeckObject::Pov}, {"button", DeckObject::Button}};
    const std::string name = text(value, "a deck object");
    for (const auto& [known, object] : kNames) {
        if (name == known) return object;
    }
    fail("unknown deck object \"" + name + "\"");
}

ConfigEvent parseConfig(const json& body) {
    requireObject(body, "config");
    ConfigEvent config;
    for (const auto& [key, value] : body.items()) {
        if (key == "deck") config.deck = boolean(value, key);
        else if (key == "deckObjects") {
            config.deckObjects.clear();
            for (const json& object : array(value, key, std::numeric_limits<std::size_t>::max())) {
                config.deckObjects.push_back(deckObject(object));
            }
        } else if (key == "gamepad") config.gamepad = boolean(value, key);
        else if (key == "gamepadName") config.gamepadName = text(value, key);
        else if (key == "programPath") config.programPath = text(value, key);
        else if (key == "setupFailure") config.setupFailure = integer<std::int32_t>(value, key);
        else if (key == "noxinput") config.noxinput = boolean(value, key);
        else fail("unknown key \"" + key + "\" in config");
    }
    return config;
}

JoystickRecord parseRecord(const json& body, std::string_view where) {
    requireObject(body, where);
    JoystickRecord record{};
    for (const auto& [key, value] : body.items()) {
        if (key == "x") record.lX = integer<std::int32_t>(value, key);
        else if (key == "y") record.lY = integer<std::int32_t>(value, key);
        else if (key == "z") record.lZ = integer<std::int32_t>(value, key);
        else if (key == "rx") record.lRx = integer<std::int32_t>(value, key);
        else if (key == "ry") record.lRy = integer<std::int32_t>(value, key);
        else if (key == "rz") record.lRz = integer<std::int32_t>(value, key);
        else if (key == "sliders") {
            std::size_t i = 0;
            for (const json& slider : array(value, key, 2)) record.rglSlider[i++] = integer<std::int32_t>(slider, key);
        } else if (key == "pov") {
            std::size_t i = 0;
            for (const json& pov : array(value, key, 4)) record.rgdwPOV[i++] = integer<std::uint32_t>(pov, key);
        } else if (key == "buttons") {
            for (const json& button : array(value, key, 128)) {
                const auto index = integer<std::int32_t>(button, "a button index");
                if (index < 0 || index > 127) fail("button index " + std::to_string(index) + " is outside 0 ... 127");
                record.rgbButtons[index] = 0x80;
            }
        } else {
            fail("unknown key \"" + key + "\" in " + std::string(where));
        }
    }
    return record;
}

std::vector<std::uint32_t> sendNumbers(const json& value, std::string_view name) {
    std::vector<std::uint32_t> numbers;
    for (const json& number : array(value, name, std::numeric_limits<std::size_t>::max())) {
        numbers.push_back(integer<std::uint32_t>(number, name));
    }
    return numbers;
}

TickEvent parseTick(const json& body) {
    requireObject(body, "tick");
    TickEvent tick;
    bool haveTime = false;
    for (const auto& [key, value] : body.items()) {
        if (key == "t") {
            tick.t = integer<std::uint64_t>(value, key);
            haveTime = true;
        } else if (key == "deck") tick.deck = parseRecord(value, "deck");
        else if (key == "pad") tick.pad = parseRecord(value, "pad");
        else if (key == "deckPoll") tick.deckPoll = integer<std::int32_t>(value, key);
        else if (key == "deckAcquire") {
            for (const json& code : array(value, key, std::numeric_limits<std::size_t>::max())) {
                tick.deckAcquire.push_back(integer<std::int32_t>(code, key));
            }
        } else if (key == "deckRead") tick.deckRead = integer<std::int32_t>(value, key);
        else if (key == "padPoll") tick.padPoll = integer<std::int32_t>(value, key);
        else if (key == "padRead") tick.padRead = integer<std::int32_t>(value, key);
        else if (key == "sendFailed") tick.sendFailed = sendNumbers(value, key);
        else if (key == "searching") {
            for (const json& role : array(value, key, 2)) {
                const std::string name = text(role, "a searching role");
                if (name == "deck") tick.deckSearching = true;
                else if (name == "gamepad") tick.padSearching = true;
                else fail("unknown searching role \"" + name + "\"");
            }
        }
        else fail("unknown key \"" + key + "\" in tick");
    }
    if (!haveTime) fail("tick needs \"t\"");
    return tick;
}

std::uint32_t parseNumber(std::string_view digits, std::uint32_t max, std::string_view what) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() || value > max ||
        (digits.size() > 1 && digits[0] == '0')) {
        fail("\"" + std::string(what) + "\" is not a valid address and port");
    }
    return value;
}

Endpoint parseEndpoint(const std::string& from) {
    const std::size_t colon = from.rfind(':');
    if (colon == std::string::npos) fail("\"" + from + "\" is not a valid address and port");
    std::string_view address(from.data(), colon);
    std::uint32_t host = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? address.find('.') : address.size();
        if (dot == std::string_view::npos) fail("\"" + from + "\" is not a valid address and port");
        host = (host << 8) | parseNumber(address.substr(0, dot), 255, from);
        address = part < 3 ? address.substr(dot + 1) : std::string_view{};
    }
    const auto port = parseNumber(std::string_view(from).substr(colon + 1), 65535, from);
    return {host, static_cast<std::uint16_t>(port)};
}

std::vector<std::uint8_t> parseHex(const std::string& hex) {
    if (hex.size() % 2 != 0) fail("hex needs an even number of digits");
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        fail(std::string("'") + c + "' is not a hexadecimal digit");
    };
    std::vector<std::uint8_t> bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(digit(hex[2 * i]) * 16 + digit(hex[2 * i + 1]));
    }
    return bytes;
}

RecvEvent parseRecv(const json& body) {
    requireObject(body, "recv");
    RecvEvent recv;
    bool haveFrom = false, haveHex = false;
    for (const auto& [key, value] : body.items()) {
        if (key == "from") {
            recv.from = parseEndpoint(text(value, key));
            haveFrom = true;
        } else if (key == "hex") {
            recv.bytes = parseHex(text(value, key));
            haveHex = true;
        } else {
            fail("unknown key \"" + key + "\" in recv");
        }
    }
    if (!haveFrom || !haveHex) fail("recv needs \"from\" and \"hex\"");
    return recv;
}

// A command id, or an object with the id and the command's failed sends.
CommandEvent parseCommand(const json& body) {
    if (!body.is_object()) return CommandEvent{integer<int>(body, "command"), {}};
    CommandEvent command;
    bool haveId = false;
    for (const auto& [key, value] : body.items()) {
        if (key == "id") {
            command.id = integer<int>(value, key);
            haveId = true;
        } else if (key == "sendFailed") {
            command.sendFailed = sendNumbers(value, key);
        } else {
            fail("unknown key \"" + key + "\" in command");
        }
    }
    if (!haveId) fail("command needs \"id\"");
    return command;
}

AttachedEvent parseAttached(const json& body) {
    requireObject(body, "attached");
    AttachedEvent attached;
    for (const auto& [key, value] : body.items()) {
        if (key == "deck") attached.deck = boolean(value, key);
        else if (key == "gamepad") attached.gamepad = boolean(value, key);
        else if (key == "enumerate") attached.enumerate = integer<std::int32_t>(value, key);
        else if (key == "deckFormat") attached.deckFormat = integer<std::int32_t>(value, key);
        else fail("unknown key \"" + key + "\" in attached");
    }
    return attached;
}

Event parseEvent(const json& line) {
    if (!line.is_object() || line.size() != 1) fail("an event is an object with exactly one key");
    const std::string key = line.begin().key();
    const json& body = line.begin().value();
    if (key == "config") return parseConfig(body);
    if (key == "tick") return parseTick(body);
    if (key == "recv") return parseRecv(body);
    if (key == "command") return parseCommand(body);
    if (key == "activate") return ActivateEvent{boolean(body, key)};
    if (key == "attached") return parseAttached(body);
    if (key == "devicesChanged") {
        if (!boolean(body, key)) fail("devicesChanged must be true");
        return DevicesChangedEvent{};
    }
    fail("unknown event \"" + key + "\"");
}

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace

ParseResult parseLine(std::string_view line) {
    if (isBlank(line)) return {BlankLine{}, {}};
    const json parsed = json::parse(line, nullptr, false);
    if (parsed.is_discarded()) return {std::nullopt, "not valid JSON"};
    try {
        return {parseEvent(parsed), {}};
    } catch (const Invalid& invalid) {
        return {std::nullopt, invalid.what};
    }
}

}  // namespace hub::replay
