// SPDX-License-Identifier: GPL-3.0-or-later
#include "Charset.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace dayvell {

namespace {

// 0x80 to 0x9F. The five codes Windows-1252 leaves undefined map to the C1 controls of the same value, so that
// every byte of a file read back round-trips unchanged.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The message travels as Windows-1252 like every text in core, which by definition cannot hold the characters it
// names: it names them by their Unicode numbers. Windows that have the typed text name them as they look.
std::string describe(const std::vector<char32_t>& chars) {
    std::string s = "These characters cannot be stored in a dayvell:";
    char code[16];
    for (size_t i = 0; i < chars.size(); ++i) {
        std::snprintf(code, sizeof code, "%sU+%04X", i ? ", " : " ", static_cast<unsigned>(chars[i]));
        s += code;
    }
    return s;
}

} // namespace

UnstorableText::UnstorableText(std::vector<char32_t> characters)
    : std::runtime_error(describe(characters)), m_characters(std::move(characters)) {}

int Cp1252Code(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    auto it = std::find(kHigh.begin(), kHigh.end(), c);
    return it == kHigh.end() ? -1 : 0x80 + static_cast<int>(it - kHigh.begin());
}

char32_t Cp1252Char(unsigned char code) {
    return (code >= 0x80 && code < 0xA0) ? kHigh[code - 0x80] : code;
}

bool IsCp1252Control(char code) {
    const auto c = static_cast<unsigned char>(code);
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

std::string ToCp1252(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    std::vector<char32_t> bad;
    for (char32_t c : text) {
        int code = Cp1252Code(c);
        if (code < 0) {
            if (std::find(bad.begin(), bad.end(), c) == bad.end())
                bad.push_back(c);
            continue;
        }
        out.push_back(static_cast<char>(code));
    }
    if (!bad.empty())
        throw UnstorableText(std::move(bad));
    return out;
}

std::u32string FromCp1252(std::string_view bytes) {
    std::u32string out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes)
        out.push_back(Cp1252Char(b));
    return out;
}

std::string Utf8(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        s.push_back(static_cast<char>(0xC0 | (c >> 6)));
        s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        s.push_back(static_cast<char>(0xE0 | (c >> 12)));
        s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        s.push_back(static_cast<char>(0xF0 | (c >> 18)));
        s.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    return s;
}

std::string Utf8FromCp1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    AppendUtf8FromCp1252(out, bytes);
    return out;
}

void AppendUtf8FromCp1252(std::string& out, std::string_view bytes) {
    // Exports convert whole books: runs of ASCII, most of any text, are copied as they are.
    static const std::array<std::string, 256> kUtf8 = [] {
        std::array<std::string, 256> table;
        for (int b = 0; b < 256; ++b)
            table[static_cast<size_t>(b)] = Utf8(Cp1252Char(static_cast<unsigned char>(b)));
        return table;
    }();
    size_t run = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80)
            continue;
        out.append(bytes.data() + run, i - run);
        out += kUtf8[b];
        run = i + 1;
    }
    out.append(bytes.data() + run, bytes.size() - run);
}

std::optional<std::u32string> DecodeUtf8(std::string_view utf8) {
    std::u32string text;
    text.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int extra = b < 0x80                  ? 0
                          : (b >= 0xC2 && b < 0xE0) ? 1
                          : (b >= 0xE0 && b < 0xF0) ? 2
                          : (b >= 0xF0 && b < 0xF5) ? 3
                                                    : -1;
        if (extra < 0 || utf8.size() - i <= static_cast<size_t>(extra))
            return std::nullopt;
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return std::nullopt;
        text.push_back(c);
        i += 1 + static_cast<size_t>(extra);
    }
    return text;
}

std::string Cp1252FromUtf8(std::string_view utf8) {
    // What is not UTF-8 at all is refused like a character the set cannot hold.
    const std::optional<std::u32string> text = DecodeUtf8(utf8);
    if (!text)
        throw UnstorableText({U'\uFFFD'});
    return ToCp1252(*text);
}

} // namespace dayvell
