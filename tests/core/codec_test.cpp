// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Charset.h"
#include "core/Codec.h"

#include <gtest/gtest.h>

using namespace dayvell;

namespace {

struct CodecCase {
    const char* name;
    std::string text;
    std::string key;
    std::string enciphered;
};

// Expected values worked out by hand from the character codes, not by the code under test.
const CodecCase kCases[] = {
    {"three_by_three", "abc", "ABC", std::string("\xA2\xA4\xA6")},      // 97+65, 98+66, 99+67
    {"key_repeats", "abcd", "ABC", std::string("\xA2\xA4\xA6\xA5")},    // d (100) meets A (65) again
    {"key_longer_than_text", "ab", "ABCDEFG", std::string("\xA2\xA4")}, // only the key's first characters
    {"empty_text", "", "anykey", ""},                                   //
    {"empty_text_empty_key", "", "", ""},                               //
    {"line_breaks_and_spaces", "a\r\n b", "1234",
     std::string("\x92\x3F\x3D\x54\x93")}, // 97+49, 13+50, 10+51, 32+52, 98+49
    {"check_phrase", "mZq7391mZq", "key1", std::string("\xD8\xBF\xEA\x68\x9E\x9E\xAA\x9E\xC5\xD6")},
    {"sum_exactly_255", std::string("\xC8"), "7", std::string("\xFF")}, // 200 + 55
};

class CodecTable : public ::testing::TestWithParam<CodecCase> {};

TEST_P(CodecTable, EncodesAndDecodesBack) {
    const auto& c = GetParam();
    EXPECT_EQ(Encode(c.text, c.key), c.enciphered);
    EXPECT_EQ(Decode(c.enciphered, c.key), c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, CodecTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Codec, EveryFieldStartsAtTheFirstKeyCharacter) {
    // Nothing carries over between calls: the same plain text gives the same enciphered text every time.
    const std::string a = Encode("xyz", "pass");
    Encode("a longer text that moves along the key", "pass");
    EXPECT_EQ(Encode("xyz", "pass"), a);
}

TEST(Codec, DecodeWithWrongKeyFallsBackToTheSum) {
    // 'A' (65) under key 'z' (122): the difference is negative, so the sum 187 is used.
    EXPECT_EQ(Decode("A", "z"), std::string("\xBB"));
}

struct FailureCase {
    const char* name;
    bool encode;
    std::string text;
    std::string key;
    size_t position;
    unsigned char character;
};

const FailureCase kFailures[] = {
    {"encode_sum_above_255", true, std::string("ab\xC8"), "778", 3, 0xC8},           // 200 + 56
    {"encode_e_acute", true, "caf\xE9", "    ", 4, 0xE9},                            // 233 + 32
    {"encode_empty_key", true, "abc", "", 1, 'a'},                                   //
    {"decode_fallback_above_255", false, std::string("x\x10"), "\x01\xF5", 2, 0x10}, // 16 - 245 < 0, 16 + 245 > 255
    {"decode_empty_key", false, "abc", "", 1, 'a'},                                  //
};

class CodecFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CodecFailures, FailWithCode5NamingTheCharacter) {
    const auto& c = GetParam();
    try {
        c.encode ? Encode(c.text, c.key) : Decode(c.text, c.key);
        FAIL() << "no error";
    } catch (const CodecError& e) {
        EXPECT_EQ(e.code(), 5);
        EXPECT_EQ(e.position(), c.position);
        EXPECT_EQ(e.character(), c.character);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CodecFailures, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Codec, FirstUnencodableFindsWhatEncodeWouldRefuse) {
    EXPECT_EQ(FirstUnencodable("plain text", "password"), std::string::npos);
    EXPECT_EQ(FirstUnencodable("caf\xE9", "pass"), 3u);
    EXPECT_EQ(FirstUnencodable("x", ""), 0u);
    EXPECT_EQ(FirstUnencodable("", ""), std::string::npos);
    // Accented capitals pass with a digit key and fail with a letter key.
    EXPECT_EQ(FirstUnencodable("\xC9", "1111"), std::string::npos); // 201 + 49
    EXPECT_EQ(FirstUnencodable("\xC9", "pass"), 0u);                // 201 + 112
}

} // namespace
