// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Charset.h"

#include <gtest/gtest.h>

using namespace dayvell;

TEST(Charset, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(ToCp1252(FromCp1252(all)), all);
    EXPECT_EQ(Cp1252FromUtf8(Utf8FromCp1252(all)), all);
}

TEST(Charset, MapsTheHighRangeToItsUnicodeCharacters) {
    EXPECT_EQ(Cp1252Char(0x80), U'\u20AC'); // euro sign
    EXPECT_EQ(Cp1252Char(0x93), U'\u201C'); // left double quotation mark
    EXPECT_EQ(Cp1252Char(0xE9), U'\u00E9'); // e acute
    EXPECT_EQ(Cp1252Code(U'\u2014'), 0x97); // em dash
    EXPECT_EQ(Cp1252Code(U'\u0416'), -1);   // Cyrillic Zhe
}

TEST(Charset, RefusesCharactersOutsideTheSetNamingEachOnce) {
    try {
        ToCp1252(U"caf\u00E9 \u0416\u0416 \U0001F600");
        FAIL() << "no error";
    } catch (const UnstorableText& e) {
        ASSERT_EQ(e.characters().size(), 2u);
        EXPECT_EQ(e.characters()[0], U'\u0416');
        EXPECT_EQ(e.characters()[1], U'\U0001F600');
        EXPECT_EQ(std::string(e.what()), "These characters cannot be stored in a dayvell: U+0416, U+1F600");
    }
}
