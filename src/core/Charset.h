// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dayvell {

// Book files hold one byte per character in Windows-1252. This is the one place where those bytes meet Unicode.

// Text with characters that Windows-1252 cannot hold: nothing of it may be stored.
class UnstorableText : public std::runtime_error {
public:
    explicit UnstorableText(std::vector<char32_t> characters);
    // The offending characters, each once, in the order they first occur.
    const std::vector<char32_t>& characters() const { return m_characters; }

private:
    std::vector<char32_t> m_characters;
};

// The Windows-1252 code of `c`, or -1 when the set has no such character.
int Cp1252Code(char32_t c);
char32_t Cp1252Char(unsigned char code);

// Whether the Windows-1252 code is a control character: the C0 codes, DEL, or one of the five codes the set leaves
// undefined, which stand for C1 controls. Shown as they are, such characters break up a line or act on a terminal.
bool IsCp1252Control(char code);

// Throws UnstorableText naming every character outside the set.
std::string ToCp1252(std::u32string_view text);
std::u32string FromCp1252(std::string_view bytes);

// The characters of UTF-8 text, or nothing when it is not UTF-8: a sequence cut short, overlong (an overlong "/" must
// never become a separator), a surrogate or beyond U+10FFFF is no character at all.
std::optional<std::u32string> DecodeUtf8(std::string_view utf8);

// UTF-8 conveniences for tests, tools and messages.
std::string Utf8FromCp1252(std::string_view bytes);
// Appends Utf8FromCp1252(bytes) to `out`, for writers that stream many texts into one buffer.
void AppendUtf8FromCp1252(std::string& out, std::string_view bytes);
std::string Cp1252FromUtf8(std::string_view utf8);
std::string Utf8(char32_t c);

} // namespace dayvell
