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

// Names from the file system are decoded exactly or not at all: a lenient decoding could read an overlong "/" as a
// separator and send a change to another file.
TEST(Charset, RefusesWhatIsNotUtf8) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"overlong_slash", "a\xC0\xAF"
                           "b"},
        {"overlong_three_bytes", "\xE0\x80\xAF"},
        {"cut_short", "caf\xC3"},
        {"lone_continuation", "\x80"},
        {"bad_continuation", "\xC3\x28"},
        {"surrogate", "\xED\xA0\x80"},
        {"beyond_unicode", "\xF4\x90\x80\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(Cp1252FromUtf8(c.bytes), UnstorableText);
    }
    EXPECT_EQ(Cp1252FromUtf8("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
}
