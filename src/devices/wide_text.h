// Conversions between the core's UTF-8 and the platform's UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace hub::windows {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// Converts into a fixed buffer without allocating; returns the length, or -1
// when the text does not fit.
int widenInto(std::string_view utf8, wchar_t* buffer, int capacity);

}  // namespace hub::windows
