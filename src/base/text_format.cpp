#include "base/text_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "base/edges.h"

namespace hub {

namespace {
std::string_view finish(const char* begin, std::to_chars_result result) {
    return {begin, static_cast<std::size_t>(result.ptr - begin)};
}
}  // namespace

std::string_view TextBuffer::formatLong(std::int32_t value) {
    return finish(data_, std::to_chars(data_, data_ + sizeof data_, value));
}

std::string_view TextBuffer::formatUnsigned(std::uint32_t value) {
    return finish(data_, std::to_chars(data_, data_ + sizeof data_, value));
}

std::string_view TextBuffer::formatFixed(double value) {
    // The runtime library prints infinities and NaN as words; a finite value
    // gets exactly six decimals, rounded correctly (to_chars is exact).
    if (std::isnan(value)) {
        const char* word = std::signbit(value) ? "-nan(ind)" : "nan";
        std::size_t length = std::strlen(word);
        std::memcpy(data_, word, length);
        return {data_, length};
    }
    return finish(data_, std::to_chars(data_, data_ + sizeof data_, value,
                                       std::chars_format::fixed, 6));
}

std::string_view TextBuffer::formatPercent(std::int32_t value) {
    auto result = std::to_chars(data_, data_ + sizeof data_ - 1, value);
    *result.ptr++ = '%';
    return {data_, static_cast<std::size_t>(result.ptr - data_)};
}

void showLong(Window& window, int controlId, std::int32_t value) {
    TextBuffer text;
    window.setText(controlId, text.formatLong(value));
}

void showUnsigned(Window& window, int controlId, std::uint32_t value) {
    TextBuffer text;
    window.setText(controlId, text.formatUnsigned(value));
}

void showFixed(Window& window, int controlId, double value) {
    TextBuffer text;
    window.setText(controlId, text.formatFixed(value));
}

void showPercent(Window& window, int controlId, std::int32_t value) {
    TextBuffer text;
    window.setText(controlId, text.formatPercent(value));
}

}  // namespace hub
