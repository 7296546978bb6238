#include "engine/xinput_filter.h"

#include <algorithm>

#include "engine/command_line.h"

namespace hub {

namespace {

bool isSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

std::optional<std::uint32_t> hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return std::nullopt;
}

// The runtime library's "%4X" on the text: leading white space skipped, then
// at most four characters of an optional sign, an optional 0x prefix and
// hexadecimal digits. Empty when no number is there.
std::optional<std::uint32_t> scanHex4(std::u16string_view text) {
    std::size_t at = 0;
    while (at < text.size() && isSpace(text[at])) ++at;
    const std::size_t end = std::min(text.size(), at + 4);
    bool negative = false;
    if (at < end && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
    bool matched = false;
    if (at + 1 < end && text[at] == u'0' && (text[at + 1] == u'x' || text[at + 1] == u'X')) {
        matched = true;  // "0x" alone still reads as the number 0
        at += 2;
    }
    std::uint32_t value = 0;
    for (; at < end; ++at) {
        const auto digit = hexDigit(text[at]);
        if (!digit) break;
        value = value * 16 + *digit;
        matched = true;
    }
    if (!matched) return std::nullopt;
    return negative ? 0u - value : value;
}

// The number after the first occurrence of the marker, or 0.
std::uint32_t idAfter(std::u16string_view deviceId, std::u16string_view marker) {
    const std::size_t at = deviceId.find(marker);
    if (at == std::u16string_view::npos) return 0;
    return scanHex4(deviceId.substr(at + marker.size())).value_or(0) & 0xFFFF;
}

}  // namespace

bool isNoXInputSwitch(std::u16string_view argument) { return isSwitch(argument, u"noxinput"); }

bool noXInputSwitchGiven(std::span<const std::u16string_view> arguments) {
    return arguments.size() > 1 && std::any_of(arguments.begin() + 1, arguments.end(), isNoXInputSwitch);
}

std::optional<std::uint32_t> xinputProductOf(std::u16string_view deviceId) {
    if (deviceId.find(u"IG_") == std::u16string_view::npos) return std::nullopt;
    const std::uint32_t vendor = idAfter(deviceId, u"VID_");
    const std::uint32_t product = idAfter(deviceId, u"PID_");
    return product << 16 | vendor;
}

void XInputDeviceList::examine(std::u16string_view deviceId) {
    if (const auto product = xinputProductOf(deviceId)) products_.push_back(*product);
}

bool XInputDeviceList::contains(std::uint32_t vendorAndProduct) const {
    return std::find(products_.begin(), products_.end(), vendorAndProduct) != products_.end();
}

}  // namespace hub
