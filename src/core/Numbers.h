// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dayvell {

// A number as the book stores page numbers and counts: one blank as the sign position of a non-negative number.
std::string PageNumberText(std::int64_t n);

// The number a text begins with: blanks anywhere are skipped, reading stops at the first character that cannot
// continue a number, and a text that does not begin with one gives 0. "12 3abc" is 123, "2.5e1x" is 25.
double NumericValue(std::string_view text);

// Nearest whole number, a half going to the even neighbour (2.5 -> 2, 3.5 -> 4), clamped to the 32-bit range.
std::int32_t RoundHalfEven(double value);

} // namespace dayvell
