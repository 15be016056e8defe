// SPDX-License-Identifier: GPL-3.0-or-later
#include "Numbers.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace dayvell {

std::string PageNumberText(std::int64_t n) {
    std::string text = std::to_string(n);
    if (n >= 0)
        text.insert(text.begin(), ' ');
    return text;
}

double NumericValue(std::string_view text) {
    // Collect the characters that form the number, skipping blanks (space, tab, line feed) wherever they are.
    std::string number;
    bool digits = false, point = false, exponent = false, exponentDigits = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        const bool atStart = number.empty();
        if ((c == '+' || c == '-') && atStart) {
            number += c;
        } else if (c >= '0' && c <= '9') {
            number += c;
            (exponent ? exponentDigits : digits) = true;
        } else if (c == '.' && !point && !exponent) {
            number += c;
            point = true;
        } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && digits && !exponent) {
            number += 'e';
            exponent = true;
        } else if ((c == '+' || c == '-') && exponent && number.back() == 'e') {
            number += c;
        } else {
            break;
        }
    }
    if (!digits)
        return 0.0;
    if (exponent && !exponentDigits)
        number.erase(number.find('e'));
    double value = std::strtod(number.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

std::int32_t RoundHalfEven(double value) {
    if (std::isnan(value))
        return 0;
    double r = std::nearbyint(value); // the default rounding mode is to nearest, ties to even
    if (r >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (r <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

} // namespace dayvell
