// SPDX-License-Identifier: GPL-3.0-or-later
#include "Codec.h"

#include "Cp1252Case.h"

#include "Vectorise.h"

#include <algorithm>

namespace dayvell {

CodecError::CodecError(std::size_t position, unsigned char character, unsigned char keyCharacter)
    : RuntimeError(code::InvalidArgument), m_position(position), m_character(character), m_keyCharacter(keyCharacter) {}

namespace {

// The key laid out again and again over a block whose length is a multiple of the key's, so that the inner loop
// runs over plain arrays of bytes and the compiler can do many characters at a time.
constexpr std::size_t kBlock = 4096;

struct RepeatedKey {
    std::string key;
    std::string bytes;
};

thread_local RepeatedKey t_cache;

// Overwrites a text before its memory is given back, so that a password does not linger in freed memory.
void Wipe(std::string& s) {
    volatile char* p = s.data();
    for (std::size_t i = 0; i < s.size(); ++i)
        p[i] = 0;
    s.clear();
    s.shrink_to_fit();
}

const std::string& Repeated(std::string_view key) {
    RepeatedKey& cache = t_cache;
    if (cache.key != key || cache.bytes.empty()) {
        // Growing in place would leave the old copies behind in freed memory.
        Wipe(cache.key);
        Wipe(cache.bytes);
        cache.key.assign(key);
        // A key longer than the block is laid out once: the block is then the key itself.
        const std::size_t length = std::max<std::size_t>(1, kBlock / key.size()) * key.size();
        cache.bytes.resize(length);
        for (std::size_t i = 0; i < length; ++i)
            cache.bytes[i] = key[i % key.size()];
    }
    return cache.bytes;
}

// Returns false when some character's code came out above 255; `out` then holds no meaning.
enum class Mode { Encode, Decode, DecodeUpper };

template <Mode M>
[[gnu::always_inline]] inline bool TransformBlockImpl(const unsigned char* text, const unsigned char* key,
                                                      unsigned char* out, std::size_t n) {
    unsigned char overflow = 0;
    unsigned char special = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char t = text[i];
        const unsigned char k = key[i];
        const unsigned char sum = static_cast<unsigned char>(t + k);
        const unsigned char sumOverflows = t > static_cast<unsigned char>(255 - k);
        if constexpr (M == Mode::Encode) {
            out[i] = sum;
            overflow |= sumOverflows;
        } else {
            // Only a wrong key or damaged data makes the difference negative; the sum then gives a wrong but
            // well-defined character, or a failure when it is above 255 too.
            const unsigned char negative = t < k;
            const unsigned char plain = negative ? sum : static_cast<unsigned char>(t - k);
            if constexpr (M == Mode::DecodeUpper) {
                out[i] = UpperCommon(plain);
                special |= static_cast<unsigned char>(UpperSpecial(plain));
            } else {
                out[i] = plain;
            }
            overflow |= static_cast<unsigned char>(negative & sumOverflows);
        }
    }
    // The few letters outside the common ranges get their capitals here, only in a block that holds one.
    if constexpr (M == Mode::DecodeUpper) {
        if (special)
            for (std::size_t i = 0; i < n; ++i)
                out[i] = UpperCode(out[i]);
    }
    return overflow == 0;
}

DAYVELL_VECTOR_CLONES bool EncodeBlock(const unsigned char* text, const unsigned char* key, unsigned char* out,
                                       std::size_t n) {
    return TransformBlockImpl<Mode::Encode>(text, key, out, n);
}

DAYVELL_VECTOR_CLONES bool DecodeBlock(const unsigned char* text, const unsigned char* key, unsigned char* out,
                                       std::size_t n) {
    return TransformBlockImpl<Mode::Decode>(text, key, out, n);
}

DAYVELL_VECTOR_CLONES bool DecodeUpperBlock(const unsigned char* text, const unsigned char* key, unsigned char* out,
                                            std::size_t n) {
    return TransformBlockImpl<Mode::DecodeUpper>(text, key, out, n);
}

template <Mode M>
bool TransformBlock(const unsigned char* text, const unsigned char* key, unsigned char* out, std::size_t n) {
    if constexpr (M == Mode::Encode)
        return EncodeBlock(text, key, out, n);
    else if constexpr (M == Mode::Decode)
        return DecodeBlock(text, key, out, n);
    else
        return DecodeUpperBlock(text, key, out, n);
}

template <Mode M> [[noreturn]] void ThrowAtFirstFailure(std::string_view text, std::string_view key) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int t = static_cast<unsigned char>(text[i]);
        const int k = static_cast<unsigned char>(key[i % key.size()]);
        const bool fails = M == Mode::Encode ? t + k > 255 : (t < k && t + k > 255);
        if (fails)
            throw CodecError(i + 1, static_cast<unsigned char>(t), static_cast<unsigned char>(k));
    }
    throw CodecError(1, 0, 0); // not reached: the block said some character fails
}

// Writes the transform of `text` to `dst`, which has room for text.size() bytes.
template <Mode M> void TransformTo(std::string_view text, std::string_view key, char* dst) {
    if (text.empty())
        return;
    if (key.empty())
        throw CodecError(1, static_cast<unsigned char>(text[0]), 0);
    const std::string& repeated = Repeated(key);
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    auto* out = reinterpret_cast<unsigned char*>(dst);
    const auto* k = reinterpret_cast<const unsigned char*>(repeated.data());
    // Every block starts at a multiple of the key's length, so every block starts at the key's first character.
    for (std::size_t done = 0; done < text.size(); done += repeated.size()) {
        const std::size_t n = std::min(repeated.size(), text.size() - done);
        if (!TransformBlock<M>(in + done, k, out + done, n))
            ThrowAtFirstFailure<M>(text, key);
    }
}

template <Mode M> std::string Transform(std::string_view text, std::string_view key) {
    std::string out(text.size(), '\0');
    TransformTo<M>(text, key, out.data());
    return out;
}

} // namespace

std::string Encode(std::string_view text, std::string_view key) {
    return Transform<Mode::Encode>(text, key);
}

std::string Decode(std::string_view text, std::string_view key) {
    return Transform<Mode::Decode>(text, key);
}

void DecodeInPlace(std::string& text, std::string_view key) {
    // Each character is read before it is written, at the same position.
    TransformTo<Mode::Decode>(text, key, text.data());
}

void DecodeUpperAppend(std::string& out, std::string_view text, std::string_view key) {
    const std::size_t old = out.size();
    out.resize(old + text.size());
    try {
        TransformTo<Mode::DecodeUpper>(text, key, out.data() + old);
    } catch (...) {
        out.resize(old);
        throw;
    }
}

std::string Reencode(std::string_view text, std::string_view oldKey, std::string_view newKey) {
    std::string out(text.size(), '\0');
    TransformTo<Mode::Decode>(text, oldKey, out.data());
    try {
        // In place: each character is read before it is written, at the same position.
        TransformTo<Mode::Encode>(out, newKey, out.data());
    } catch (const CodecError&) {
        // The pass has overwritten part of what the error must name: find the failing character afresh.
        const std::string plain = Decode(text, oldKey);
        const std::size_t i = FirstUnencodable(plain, newKey);
        const auto keyCharacter = newKey.empty() ? 0 : static_cast<unsigned char>(newKey[i % newKey.size()]);
        throw CodecError(i + 1, static_cast<unsigned char>(plain[i]), keyCharacter);
    }
    return out;
}

void CheckDecodable(std::string_view text, std::string_view key) {
    if (text.empty())
        return;
    if (key.empty())
        throw CodecError(1, static_cast<unsigned char>(text[0]), 0);
    const std::string& repeated = Repeated(key);
    std::string scratch(std::min(repeated.size(), text.size()), '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto* k = reinterpret_cast<const unsigned char*>(repeated.data());
    auto* out = reinterpret_cast<unsigned char*>(scratch.data());
    for (std::size_t done = 0; done < text.size(); done += repeated.size()) {
        const std::size_t n = std::min(repeated.size(), text.size() - done);
        if (!DecodeBlock(in + done, k, out, n))
            ThrowAtFirstFailure<Mode::Decode>(text, key);
    }
}

void ForgetKey() {
    Wipe(t_cache.key);
    Wipe(t_cache.bytes);
}

std::size_t FirstUnencodable(std::string_view text, std::string_view key) {
    if (text.empty())
        return std::string_view::npos;
    if (key.empty())
        return 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) + static_cast<unsigned char>(key[i % key.size()]) > 255)
            return i;
    }
    return std::string_view::npos;
}

} // namespace dayvell
