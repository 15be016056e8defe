// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RuntimeError.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace dayvell {

// The book cipher: each character is combined with one key character by adding (Encode) or subtracting (Decode)
// their codes, the key repeating from its first character for every field. It keeps casual readers out; it is not
// encryption in any modern sense.

// A character the cipher cannot carry: its sum with the key character is above 255, or the key is empty.
class CodecError : public RuntimeError {
public:
    CodecError(std::size_t position, unsigned char character, unsigned char keyCharacter);
    // 1-based position in the text, the text character's code and the key character's code (0 for an empty key).
    std::size_t position() const { return m_position; }
    unsigned char character() const { return m_character; }
    unsigned char keyCharacter() const { return m_keyCharacter; }

private:
    std::size_t m_position;
    unsigned char m_character;
    unsigned char m_keyCharacter;
};

// Both throw CodecError (code 5) and produce nothing on failure.
std::string Encode(std::string_view text, std::string_view key);
std::string Decode(std::string_view text, std::string_view key);

// Decode(text, key) written over `text` itself, so that a huge field is never held twice. On failure it throws as
// Decode does and `text` holds nothing of use.
void DecodeInPlace(std::string& text, std::string_view key);

// Appends Decode(text, key) to `out` with each character turned to its capital on the way, for a search that
// ignores case; `out` is left as it was on failure.
void DecodeUpperAppend(std::string& out, std::string_view text, std::string_view key);

// Decode(Encode(...)) in one pass and one buffer: `text` deciphered under `oldKey` and enciphered under `newKey`.
// Throws CodecError as the failing step would.
std::string Reencode(std::string_view text, std::string_view oldKey, std::string_view newKey);

// Throws the CodecError that Decode(text, key) would throw, without keeping the result.
void CheckDecodable(std::string_view text, std::string_view key);

// The codec keeps the last key laid out for speed; this wipes that copy from memory (when a book is closed).
void ForgetKey();

// The 0-based index of the first character of `text` that Encode cannot carry under `key`, or npos when all can.
std::size_t FirstUnencodable(std::string_view text, std::string_view key);

} // namespace dayvell
