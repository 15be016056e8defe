// SPDX-License-Identifier: GPL-3.0-or-later
#include "Codec.h"

namespace dayvell {

CodecError::CodecError(std::size_t position, unsigned char character, unsigned char keyCharacter)
    : RuntimeError(code::InvalidArgument), m_position(position), m_character(character), m_keyCharacter(keyCharacter) {}

namespace {

template <bool Encoding> std::string transform(std::string_view text, std::string_view key) {
    std::string out(text.size(), '\0');
    if (text.empty())
        return out;
    if (key.empty())
        throw CodecError(1, static_cast<unsigned char>(text[0]), 0);
    const std::size_t keyLength = key.size();
    std::size_t keypos = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int textcode = static_cast<unsigned char>(text[i]);
        const int keycode = static_cast<unsigned char>(key[keypos]);
        int charcode;
        if constexpr (Encoding) {
            charcode = textcode + keycode;
        } else {
            charcode = textcode - keycode;
            // Only a wrong key or damaged data gets here; the sum gives a wrong but well-defined character.
            if (charcode < 0)
                charcode = textcode + keycode;
        }
        if (charcode > 255)
            throw CodecError(i + 1, static_cast<unsigned char>(textcode), static_cast<unsigned char>(keycode));
        out[i] = static_cast<char>(charcode);
        if (++keypos == keyLength)
            keypos = 0;
    }
    return out;
}

} // namespace

std::string Encode(std::string_view text, std::string_view key) {
    return transform<true>(text, key);
}

std::string Decode(std::string_view text, std::string_view key) {
    return transform<false>(text, key);
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
