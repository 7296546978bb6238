#include "engine/command_line.h"

#include <algorithm>

namespace hub {

namespace {

char16_t asciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

bool isSwitch(std::u16string_view argument, std::u16string_view name) {
    if (argument.size() != 1 + name.size()) return false;
    if (argument[0] != u'-' && argument[0] != u'/') return false;
    return std::equal(name.begin(), name.end(), argument.begin() + 1,
                      [](char16_t expected, char16_t given) { return expected == asciiLower(given); });
}

std::optional<std::u16string_view> recordPathArgument(std::span<const std::u16string_view> arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (!isSwitch(arguments[i], u"record")) continue;
        return i + 1 < arguments.size() ? arguments[i + 1] : std::u16string_view{};
    }
    return std::nullopt;
}

}  // namespace hub
