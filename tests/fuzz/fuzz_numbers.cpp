// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers and page-number text: any text gives a value without failing, and a page number reads back as itself.
#include "FuzzSupport.h"

#include "core/Numbers.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace dayvell;
using namespace dayvell::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double value = NumericValue(text);
    const std::int32_t rounded = RoundHalfEven(value);
    if (std::isfinite(value) && std::fabs(value) < 1e9) {
        FUZZ_CHECK(std::fabs(rounded - value) <= 0.5);
    }
    FUZZ_CHECK(rounded >= std::numeric_limits<std::int32_t>::min());

    // The first eight bytes as a page number: its text is a blank and the digits, and it reads back exactly.
    std::int64_t n = 0;
    std::memcpy(&n, data, std::min<std::size_t>(size, sizeof n));
    n = n < 0 ? -(n + 1) : n;
    n %= std::int64_t{1} << 52;
    const std::string pageText = PageNumberText(n);
    FUZZ_CHECK(pageText == " " + std::to_string(n));
    FUZZ_CHECK(NumericValue(pageText) == static_cast<double>(n));
    FUZZ_CHECK(NumericValue(pageText + "x" + text) == static_cast<double>(n));
    if (n <= std::numeric_limits<std::int32_t>::max())
        FUZZ_CHECK(RoundHalfEven(NumericValue(pageText)) == n);
    return 0;
}
