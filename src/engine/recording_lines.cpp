#include "engine/recording_lines.h"

#include <charconv>
#include <iterator>
#include <type_traits>

namespace hub {

namespace {

// Opens a JSON object and puts the comma before every member but the first.
class Members {
public:
    explicit Members(EventLine& line) : line_(line) { line_.put('{'); }
    EventLine& name(std::string_view key) {
        if (!first_) line_.put(',');
        first_ = false;
        line_.put('"');
        line_.put(key);
        line_.put("\":");
        return line_;
    }
    void close() { line_.put('}'); }

private:
    EventLine& line_;
    bool first_ = true;
};

template <typename Number, std::size_t N>
bool anyNonZero(const Number (&values)[N]) {
    for (const Number value : values) {
        if (value != 0) return true;
    }
    return false;
}

template <typename Number>
void putList(EventLine& line, std::span<const Number> values) {
    line.put('[');
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) line.put(',');
        if constexpr (std::is_signed_v<Number>) line.putSigned(values[i]);
        else line.putUnsigned(values[i]);
    }
    line.put(']');
}

// Only what the hub reads of a record: the axes, sliders and points of view
// as they are, and the buttons by whether they are pressed.
void putRecord(Members& members, std::string_view key, const JoystickRecord& record) {
    const std::pair<std::string_view, std::int32_t> axes[] = {{"x", record.lX},   {"y", record.lY},
                                                              {"z", record.lZ},   {"rx", record.lRx},
                                                              {"ry", record.lRy}, {"rz", record.lRz}};
    bool anyButton = false;
    for (const std::uint8_t button : record.rgbButtons) anyButton = anyButton || isPressed(button);
    bool anyAxis = false;
    for (const auto& [name, value] : axes) anyAxis = anyAxis || value != 0;
    if (!anyAxis && !anyButton && !anyNonZero(record.rglSlider) && !anyNonZero(record.rgdwPOV)) return;

    Members fields(members.name(key));
    for (const auto& [name, value] : axes) {
        if (value != 0) fields.name(name).putSigned(value);
    }
    if (anyNonZero(record.rglSlider)) putList<std::int32_t>(fields.name("sliders"), record.rglSlider);
    if (anyNonZero(record.rgdwPOV)) putList<std::uint32_t>(fields.name("pov"), record.rgdwPOV);
    if (anyButton) {
        EventLine& line = fields.name("buttons");
        line.put('[');
        bool first = true;
        for (std::size_t i = 0; i < std::size(record.rgbButtons); ++i) {
            if (!isPressed(record.rgbButtons[i])) continue;
            if (!first) line.put(',');
            first = false;
            line.putUnsigned(i);
        }
        line.put(']');
    }
    fields.close();
}

void putCode(Members& members, std::string_view key, HResult code) {
    if (code != kOk) members.name(key).putSigned(code);
}

void putEndpoint(EventLine& line, const Endpoint& endpoint) {
    line.put('"');
    for (int shift = 24; shift >= 0; shift -= 8) {
        line.putUnsigned((endpoint.address >> shift) & 0xFF);
        line.put(shift > 0 ? '.' : ':');
    }
    line.putUnsigned(endpoint.port);
    line.put('"');
}

std::string_view deckObjectName(ObjectType type) {
    switch (type) {
        case ObjectType::XAxis: return "x";
        case ObjectType::YAxis: return "y";
        case ObjectType::ZAxis: return "z";
        case ObjectType::RxAxis: return "rx";
        case ObjectType::RyAxis: return "ry";
        case ObjectType::RzAxis: return "rz";
        case ObjectType::Slider: return "slider";
        case ObjectType::Pov: return "pov";
        case ObjectType::Other: break;
    }
    return "button";  // an object that enables nothing
}

}  // namespace

void EventLine::put(char c) {
    if (size_ == kCapacity) {
        overflowed_ = true;
        return;
    }
    chars_[size_++] = c;
}

void EventLine::put(std::string_view text) {
    for (const char c : text) put(c);
}

void EventLine::putSigned(std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void EventLine::putUnsigned(std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void EventLine::putHex(std::span<const std::uint8_t> bytes) {
    constexpr char kHexDigits[] = "0123456789abcdef";
    for (const std::uint8_t byte : bytes) {
        put(kHexDigits[byte >> 4]);
        put(kHexDigits[byte & 0xF]);
    }
}

void encodeTick(const RecordedTick& tick, EventLine& line) {
    line.put("{\"tick\":");
    Members fields(line);
    fields.name("t").putUnsigned(tick.t);
    putRecord(fields, "deck", tick.deck);
    putRecord(fields, "pad", tick.pad);
    putCode(fields, "deckPoll", tick.deckPoll);
    if (tick.deckAcquireCount > 0) {
        putList<HResult>(fields.name("deckAcquire"), std::span(tick.deckAcquire).first(tick.deckAcquireCount));
    }
    putCode(fields, "deckRead", tick.deckRead);
    putCode(fields, "padPoll", tick.padPoll);
    putCode(fields, "padRead", tick.padRead);
    if (tick.sendFailedCount > 0) {
        putList<std::uint32_t>(fields.name("sendFailed"), std::span(tick.sendFailed).first(tick.sendFailedCount));
    }
    if (tick.deckSearching || tick.padSearching) {
        EventLine& searching = fields.name("searching");
        searching.put('[');
        if (tick.deckSearching) searching.put("\"deck\"");
        if (tick.deckSearching && tick.padSearching) searching.put(',');
        if (tick.padSearching) searching.put("\"gamepad\"");
        searching.put(']');
    }
    fields.close();
    line.put('}');
}

void encodeRecv(const Endpoint& from, std::span<const std::uint8_t> bytes, EventLine& line) {
    line.put("{\"recv\":{\"from\":");
    putEndpoint(line, from);
    line.put(",\"hex\":\"");
    line.putHex(bytes);
    line.put("\"}}");
}

// A command whose sends all succeeded is its id alone.
void encodeCommand(const RecordedCommand& command, EventLine& line) {
    line.put("{\"command\":");
    if (command.sendFailedCount == 0) {
        line.putSigned(command.id);
    } else {
        Members fields(line);
        fields.name("id").putSigned(command.id);
        putList<std::uint32_t>(fields.name("sendFailed"), std::span(command.sendFailed).first(command.sendFailedCount));
        fields.close();
    }
    line.put('}');
}

void encodeActivate(bool active, EventLine& line) {
    line.put(active ? "{\"activate\":true}" : "{\"activate\":false}");
}

void encodeDevicesChanged(EventLine& line) { line.put("{\"devicesChanged\":true}"); }

void encodeAttached(const RecordedAttached& attached, EventLine& line) {
    line.put("{\"attached\":");
    Members fields(line);
    if (attached.deck) fields.name("deck").put(*attached.deck ? "true" : "false");
    if (attached.gamepad) fields.name("gamepad").put(*attached.gamepad ? "true" : "false");
    if (attached.enumerate) fields.name("enumerate").putSigned(*attached.enumerate);
    if (attached.deckFormat) fields.name("deckFormat").putSigned(*attached.deckFormat);
    fields.close();
    line.put('}');
}

std::string encodeConfig(const RecordedConfig& config) {
    std::string line = "{\"config\":{\"deck\":";
    const auto put = [&line](char c) { line += c; };
    line += config.deck ? "true" : "false";
    line += ",\"deckObjects\":[";
    for (std::size_t i = 0; i < config.deckObjects.size(); ++i) {
        if (i > 0) line += ',';
        putJsonString(deckObjectName(config.deckObjects[i]), put);
    }
    line += "],\"gamepad\":";
    line += config.gamepad ? "true" : "false";
    line += ",\"gamepadName\":";
    putJsonString(config.gamepadName, put);
    line += ",\"programPath\":";
    putJsonString(config.programPath, put);
    if (config.noxinput) line += ",\"noxinput\":true";
    if (failed(config.setupFailure)) line += ",\"setupFailure\":" + std::to_string(config.setupFailure);
    line += "}}";
    return line;
}

}  // namespace hub
