// What the plot and the report both write into SVG and HTML: numbers, axis
// steps and escaped text.
#pragma once

#include <string>
#include <string_view>

namespace hub::replay {

// A number with two decimals, for coordinates.
std::string number(double value);
// An axis step of 1, 2 or 5 times a power of ten giving at most ~8 steps over `span`.
double axisStep(double span);
// An axis label at `value` with as many decimals as the step needs.
std::string axisText(double value, double step);
// Text as HTML and SVG need it: &, < and > escaped, and quotes for attributes.
std::string escaped(std::string_view text);

}  // namespace hub::replay
