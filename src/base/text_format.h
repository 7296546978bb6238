// Value displays, formatted exactly as the platform's wide printf prints
// "%ld", "%lu" and "%f", but computed here so both builds print the same
// text. Every function writes into a fixed buffer: no allocation per tick.
#pragma once

#include <cstdint>
#include <string_view>

namespace hub {

class Window;

class TextBuffer {
public:
    std::string_view formatLong(std::int32_t value);       // "%ld"
    std::string_view formatUnsigned(std::uint32_t value);  // "%lu"
    std::string_view formatFixed(double value);            // "%f"
    std::string_view formatPercent(std::int32_t value);    // "%ld%%"

private:
    char data_[512];
};

// Writes a formatted value into a dialog control.
void showLong(Window& window, int controlId, std::int32_t value);
void showUnsigned(Window& window, int controlId, std::uint32_t value);
void showFixed(Window& window, int controlId, double value);
void showPercent(Window& window, int controlId, std::int32_t value);

}  // namespace hub
