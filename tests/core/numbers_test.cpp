// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Numbers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace dayvell;

TEST(Numbers, PageNumberTextHasASignPosition) {
    EXPECT_EQ(PageNumberText(0), " 0");
    EXPECT_EQ(PageNumberText(4), " 4");
    EXPECT_EQ(PageNumberText(20000), " 20000");
    EXPECT_EQ(PageNumberText(-3), "-3");
}

struct ValueCase {
    const char* text;
    double value;
    std::int32_t rounded;
};

TEST(Numbers, NumericValueAndRounding) {
    const ValueCase cases[] = {
        {"", 0, 0},
        {"abc", 0, 0},
        {"0", 0, 0},
        {"-3", -3, -3},
        {"2.5", 2.5, 2},
        {"3.5", 3.5, 4},
        {"-2.5", -2.5, -2},
        {"0.5", 0.5, 0},
        {"1.5", 1.5, 2},
        {"99", 99, 99},
        {" 12", 12, 12},
        {"1 2 3", 123, 123}, // blanks anywhere are skipped
        {"12abc", 12, 12},   // stops at the first character that cannot continue
        {" 3    Saturday, 12/5/2026", 3, 3},
        {"1.2.3", 1.2, 1}, // a second point cannot continue a number
        {"2e1x", 20, 20},
        {"2.5e", 2.5, 2}, // an exponent without digits is no exponent
        {"+7", 7, 7},
        {"--7", 0, 0},
        {".5", 0.5, 0},
        {"\t4\n2", 42, 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(NumericValue(c.text), c.value);
        EXPECT_EQ(RoundHalfEven(NumericValue(c.text)), c.rounded);
    }
}

TEST(Numbers, RoundingClampsHugeValues) {
    EXPECT_EQ(RoundHalfEven(1e300), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(RoundHalfEven(-1e300), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(RoundHalfEven(NumericValue("99999999999999999999")), std::numeric_limits<std::int32_t>::max());
}
