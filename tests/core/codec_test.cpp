// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Charset.h"
#include "core/Codec.h"

#include <gtest/gtest.h>

#include <optional>

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

namespace {

// The cipher worked character by character, as written out in words: the reference for keys of any length.
std::string ByHand(const std::string& text, const std::string& key, bool encode) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const int t = static_cast<unsigned char>(text[i]);
        const int k = static_cast<unsigned char>(key[i % key.size()]);
        const int c = encode ? t + k : (t - k < 0 ? t + k : t - k);
        out += static_cast<char>(c);
    }
    return out;
}

// Keys around and far beyond the length the codec lays out in one block; a pasted text can be any length.
TEST(CodecLongKeys, WorkForAnyKeyLength) {
    for (size_t keyLength : {size_t{4095}, size_t{4096}, size_t{4097}, size_t{6000}, size_t{8192}, size_t{100000}}) {
        SCOPED_TRACE("key of " + std::to_string(keyLength));
        std::string key(keyLength, ' ');
        for (size_t i = 0; i < keyLength; ++i)
            key[i] = static_cast<char>(33 + (i * 31) % 90);
        std::string text(keyLength * 2 + 7, ' ');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char>(32 + (i * 17) % 95);
        const std::string enciphered = Encode(text, key);
        EXPECT_EQ(enciphered, ByHand(text, key, true));
        EXPECT_EQ(Decode(enciphered, key), text);
        EXPECT_EQ(Reencode(enciphered, key, "abcd"), Encode(text, "abcd"));
        // A failure is still found at its place: the character of code 200 meets key character 33 + 31*2000 % 90.
        std::string bad = text;
        bad[keyLength + 2000] = '\xF0';
        if (static_cast<unsigned char>(key[2000]) + 0xF0 > 255) {
            try {
                Encode(bad, key);
                ADD_FAILURE() << "no error";
            } catch (const CodecError& e) {
                EXPECT_EQ(e.position(), keyLength + 2001);
            }
        }
    }
}

TEST(CodecChecks, CheckDecodableFailsExactlyWhereDecodeFails) {
    const std::string key = "\x81\x90\xA0\x81";
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"decodes", std::string(5000, '\xE2')},
        // 0x7F is below key character 0x81 and their sum is above 255: no character.
        {"fails_late", std::string(4999, '\xE2') + "\x7F"},
        {"fails_first", "\x7F"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<size_t> decodeFails, checkFails;
        try {
            Decode(c.text, key);
        } catch (const CodecError& e) {
            decodeFails = e.position();
        }
        try {
            CheckDecodable(c.text, key);
        } catch (const CodecError& e) {
            checkFails = e.position();
        }
        EXPECT_EQ(checkFails, decodeFails);
    }
    EXPECT_THROW(CheckDecodable("x", ""), CodecError);
}

// Re-enciphering in one buffer names the character that cannot be carried, as enciphering the plain text would.
TEST(CodecChecks, ReencodeNamesTheCharacterTheNewKeyCannotCarry) {
    const std::string plain = std::string(5000, 'a') + "\xC8" + "tail";
    try {
        Reencode(Encode(plain, "1111"), "1111", "zzzz");
        FAIL() << "no error";
    } catch (const CodecError& e) {
        EXPECT_EQ(e.position(), 5001u);
        EXPECT_EQ(e.character(), 0xC8);
        EXPECT_EQ(e.keyCharacter(), 'z');
    }
}

} // namespace
