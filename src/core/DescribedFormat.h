// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BookFormat.h"
#include "RuntimeError.h"

#include <cstdint>
#include <string>
#include <string_view>

// The described book file: one line a record, five double-quoted fields a record, every field but a page's end
// mark enciphered by the book cipher (Codec.h) under the password. The first field of the header is the check
// phrase, enciphered; the password is right when it deciphers the phrase, and proven when the rest of the book
// agrees (KeyProof.h).
namespace dayvell {

inline constexpr std::string_view kCheckPhrase = "mZq7391mZq";

// A character a key cannot encipher: its code plus the key character's is above 255, or (codes 0 to 2) it could
// come out as the quote that ends a field. Nothing has been written when this is thrown. Reported as a codec
// failure (5) by a caller that does not say more.
class UncarriedCharacter : public RuntimeError {
public:
    UncarriedCharacter(unsigned char character, unsigned char keyCharacter, Place place, std::int64_t page);
    unsigned char character() const { return m_character; }
    unsigned char keyCharacter() const { return m_keyCharacter; }
    Place place() const { return m_place; }
    // The page the character is on, for Place::Page.
    std::int64_t page() const { return m_page; }
    // Where it is, in words: "the cover name", "page 3".
    std::string placeName() const;

private:
    unsigned char m_character;
    unsigned char m_keyCharacter;
    Place m_place;
    std::int64_t m_page;
};

// Throws UncarriedCharacter naming the first character of `plain` that `key` cannot carry, and `place`.
void CheckCarried(std::string_view plain, std::string_view key, Place place, std::int64_t page = 0);
// Encode(plain, key), failing as CheckCarried does.
std::string EncodeCarried(std::string_view plain, std::string_view key, Place place, std::int64_t page = 0);

// A new password the book could not prove once enciphered under it (KeyProven): it repeats itself within its 10
// characters and nothing in the book would tell it from its shorter repetition. Nothing has been written.
class UnprovableKey : public RuntimeError {
public:
    UnprovableKey();
};

} // namespace dayvell
