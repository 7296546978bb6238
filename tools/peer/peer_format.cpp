#include "peer_format.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <tuple>

#include "vjoy/vjoy_modes.h"

namespace hub::peer {

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::string printed(const char* format, auto... values) {
    char buffer[160];
    const int length = std::snprintf(buffer, sizeof buffer, format, values...);
    return std::string(buffer, static_cast<std::size_t>(std::clamp(length, 0, int{sizeof buffer} - 1)));
}

std::string portText(std::uint16_t port) { return port == 0 ? "none" : std::to_string(port); }

std::string joystickStateText(const JoystickStateValues& values, int vjoyMode) {
    std::string text = "joystick-state " + hexBytes(values.bytes);
    const std::optional<VjoyMode> mode = vjoyModeWithId(vjoyMode);
    const wire::JoystickStateLayout* layout = mode ? vjoyModeRow(*mode).layout : nullptr;
    if (layout == nullptr) return text;
    text += " |";
    for (std::size_t i = 0; i < layout->size(); ++i) {
        const wire::JoystickStateField& field = (*layout)[i];
        if (field.encoding == wire::ByteEncoding::Fixed) continue;
        text += ' ';
        text += field.name;
        text += '=';
        text += field.encoding == wire::ByteEncoding::Raw ? std::to_string(values.bytes[i])
                                                    : printed("%.3f", decodedValue(field.encoding, values.bytes[i]));
    }
    return text;
}

}  // namespace

std::string_view kindName(const HubDatagram& datagram) {
    return std::visit(Overloaded{
                          [](const std::monostate&) { return "unknown"; },
                          [](const GreetingDatagram&) { return "greeting"; },
                          [](const StickPosition&) { return "stick"; },
                          [](const XdrvPosition&) { return "xdrv"; },
                          [](const FeederAcknowledgementDatagram&) { return "feeder-ack"; },
                          [](const FourWayValues&) { return "4-way"; },
                          [](const JoystickStateValues&) { return "joystick-state"; },
                          [](const FeederStopDatagram&) { return "feeder-stop"; },
                          [](const ConnectionReplyDatagram&) { return "connection-reply"; },
                          [](const StatusValues&) { return "status"; },
                          [](const RegistrationKeepAliveDatagram&) { return "registration-keep-alive"; },
                          [](const QueryReplyValues&) { return "query-reply"; },
                      },
                      datagram);
}

std::string describeHubDatagram(std::span<const std::uint8_t> bytes, int vjoyMode) {
    const HubDatagram datagram = decodeHubDatagram(bytes);
    const std::string kind(kindName(datagram));
    return std::visit(
        Overloaded{
            [&](const std::monostate&) { return kind + printed(" %zu bytes: ", bytes.size()) + hexBytes(bytes); },
            [&](const StickPosition& v) { return kind + printed(" x=%d y=%d", v.x, v.y); },
            [&](const XdrvPosition& v) { return kind + " x=" + floatText(v.x) + " y=" + floatText(v.y); },
            [&](const FourWayValues& v) {
                return kind + printed(" x=%d y=%d axis3=%d axis4=%d buttons=0x%02x", v.x, v.y, v.axis3, v.axis4,
                                      v.buttons);
            },
            [&](const JoystickStateValues& v) { return joystickStateText(v, vjoyMode); },
            [&](const StatusValues& v) {
                return kind + printed(" x=%d y=%d headingRF=%d tiltRF=%d headingLF=%d tiltLF=%d touch=0x%x",
                                      v.stickX, v.stickY, v.headingRF, v.tiltRF, v.headingLF, v.tiltLF,
                                      v.touchMask);
            },
            [&](const QueryReplyValues& v) { return kind + " port=" + portText(v.port); },
            [&](const auto&) { return kind; },
        },
        datagram);
}

std::string describeHubMessage(std::span<const std::uint8_t> bytes) {
    return std::visit(
        Overloaded{
            [&](const std::monostate&) { return printed("ignored %zu bytes: ", bytes.size()) + hexBytes(bytes); },
            [](const FeederEnableMessage&) { return std::string("feeder-enable"); },
            [](const HelloMessage&) { return std::string("hello (reply to the sender's port + 1)"); },
            [](const HelloWithPortMessage& m) { return "hello-with-port port=" + std::to_string(m.replyPort); },
            [](const KeepAliveMessage&) { return std::string("keep-alive"); },
            [](const InputsMessage& m) {
                std::string text = "inputs steering=" + floatText(steeringFromByte(m.steeringByte)) +
                                   printed(" buttons=0x%02x", m.buttons);
                if (m.hasAxes) text += printed(" axis3=%d axis4=%d", m.axis3, m.axis4);
                return text;
            },
            [](const PortRegistrationMessage& m) { return "port-registration port=" + std::to_string(m.port); },
            [](const PortQueryMessage& m) { return "port-query port=" + std::to_string(m.replyPort); },
        },
        decodeHubMessage(bytes));
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) {
        if (!text.empty()) text += ' ';
        text += printed("%02x", byte);
    }
    return text;
}

std::string floatText(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string timeOfDay(std::uint64_t msOfDay) {
    const std::uint64_t seconds = msOfDay / 1000;
    return printed("%02u:%02u:%02u.%03u", static_cast<unsigned>(seconds / 3600 % 24),
                   static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60),
                   static_cast<unsigned>(msOfDay % 1000));
}

void LiveView::record(std::uint16_t port, std::string text, std::uint64_t nowMs) {
    const std::string kind = text.substr(0, text.find(' '));
    auto row = std::find_if(rows_.begin(), rows_.end(),
                            [&](const Row& r) { return r.port == port && r.kind == kind; });
    if (row == rows_.end()) {
        rows_.push_back({port, kind, {}, 0, 0});
        std::sort(rows_.begin(), rows_.end(),
                  [](const Row& a, const Row& b) { return std::tie(a.port, a.kind) < std::tie(b.port, b.kind); });
        row = std::find_if(rows_.begin(), rows_.end(),
                           [&](const Row& r) { return r.port == port && r.kind == kind; });
    }
    row->text = std::move(text);
    ++row->count;
    row->lastMs = nowMs;
}

std::string LiveView::frame(std::uint64_t nowMs) {
    std::string out;
    if (linesDrawn_ > 0) out += printed("\x1b[%zuA\r", linesDrawn_);  // back to the first line
    out += title_ + "\x1b[K\n";
    if (rows_.empty()) out += "  (nothing received yet)\x1b[K\n";
    for (const Row& row : rows_) {
        const double age = static_cast<double>(nowMs - row.lastMs) / 1000.0;
        out += printed("  %5u %8llu  %6.1f s ago  ", row.port, static_cast<unsigned long long>(row.count), age) +
               row.text + "\x1b[K\n";
    }
    linesDrawn_ = 1 + std::max<std::size_t>(rows_.size(), 1);
    return out;
}

}  // namespace hub::peer
