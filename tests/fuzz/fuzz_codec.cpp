// SPDX-License-Identifier: GPL-3.0-or-later
// The codec with any key and any text, against the cipher worked by hand.
#include "FuzzSupport.h"

#include "core/Codec.h"
#include "core/Search.h"

using namespace dayvell;
using namespace dayvell::fuzz;

namespace {

// The character produced at each position, or nothing where it has no character.
std::optional<std::string> ByHand(const std::string& text, const std::string& key, bool encode, std::size_t& failAt) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (key.empty()) {
            failAt = i + 1;
            return std::nullopt;
        }
        const int t = static_cast<unsigned char>(text[i]);
        const int k = static_cast<unsigned char>(key[i % key.size()]);
        const int c = encode ? t + k : (t - k < 0 ? t + k : t - k);
        if (c > 255) {
            failAt = i + 1;
            return std::nullopt;
        }
        out += static_cast<char>(c);
    }
    return out;
}

template <class F> std::optional<std::size_t> FailurePosition(F&& f) {
    try {
        f();
        return std::nullopt;
    } catch (const CodecError& e) {
        return e.position();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    // Keys of every length, the very long ones included: the first byte picks a repetition.
    std::string key = in.text();
    const unsigned repeat = in.byte();
    if (repeat > 200 && !key.empty()) {
        const std::string unit = key;
        while (key.size() < 5000)
            key += unit;
    }
    const std::string other = in.text(16);
    const std::string text = in.rest();

    for (const bool encode : {true, false}) {
        std::size_t failAt = 0;
        const auto expected = ByHand(text, key, encode, failAt);
        std::string got;
        const auto failed = FailurePosition([&] { got = encode ? Encode(text, key) : Decode(text, key); });
        FUZZ_CHECK(expected.has_value() == !failed.has_value());
        if (expected) {
            FUZZ_CHECK(got == *expected);
        } else {
            FUZZ_CHECK(*failed == failAt);
        }
        if (!encode) {
            // The checking decipher fails exactly where the decipher does; the capitalising one gives its capitals.
            FUZZ_CHECK(FailurePosition([&] { CheckDecodable(text, key); }) == failed);
            std::string upper = "prefix";
            const auto upperFailed = FailurePosition([&] { DecodeUpperAppend(upper, text, key); });
            FUZZ_CHECK(upperFailed == failed);
            FUZZ_CHECK(upper == (expected ? "prefix" + UpperCp1252(*expected) : std::string("prefix")));
        } else {
            const std::size_t first = FirstUnencodable(text, key);
            FUZZ_CHECK(expected ? first == std::string::npos : first + 1 == failAt);
        }
    }
    // A round trip gives the text back; re-enciphering equals deciphering and enciphering again.
    std::string enciphered;
    if (!FailurePosition([&] { enciphered = Encode(text, key); })) {
        FUZZ_CHECK(Decode(enciphered, key) == text);
        std::string again;
        const auto direct = FailurePosition([&] { again = Encode(text, other); });
        std::string reencoded;
        const auto combined = FailurePosition([&] { reencoded = Reencode(enciphered, key, other); });
        FUZZ_CHECK(direct == combined);
        if (!direct)
            FUZZ_CHECK(reencoded == again);
    }
    ForgetKey();
    return 0;
}
