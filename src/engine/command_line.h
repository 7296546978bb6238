// The hub's command-line switches: a name written after '-' or '/', the
// letters in any case, and nothing more in the same argument. Argument 0,
// the program, is never examined.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace hub {

// True when the argument is exactly '-' or '/' and then the name, its ASCII
// letters in any case.
bool isSwitch(std::u16string_view argument, std::u16string_view name);

// The file a session is recorded to: the argument after the first switch
// record ("-record PATH"), whatever it says. Absent when the switch is not
// given; empty when nothing follows it (or the argument after it is empty).
std::optional<std::u16string_view> recordPathArgument(std::span<const std::u16string_view> arguments);

}  // namespace hub
