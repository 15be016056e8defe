// SPDX-License-Identifier: GPL-3.0-or-later
#include "Search.h"

#include "Codec.h"
#include "Cp1252Case.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dayvell {

namespace {

constexpr size_t kResultTextLength = 25;

// Whether `needle` occurs in `hay`. Looks at sixteen places at a time for the needle's first and last characters
// together and compares the rest only where both fit: over a page that seldom matches this is several times faster
// than a general substring search, which also pays a set-up on every call.
bool Contains(std::string_view hay, std::string_view needle) {
    const size_t n = needle.size();
    if (n == 0)
        return true;
    if (n > hay.size())
        return false;
    if (n == 1)
        return std::memchr(hay.data(), needle[0], hay.size()) != nullptr;
    const char* h = hay.data();
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[n - 1]);
    for (; i + n - 1 + 16 <= hay.size(); i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + n - 1));
        auto mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (std::memcmp(h + i + bit + 1, needle.data() + 1, n - 2) == 0)
                return true;
            mask &= mask - 1;
        }
    }
#endif
    for (; i + n <= hay.size(); ++i)
        if (h[i] == needle[0] && std::memcmp(h + i, needle.data(), n) == 0)
            return true;
    return false;
}

} // namespace

unsigned char UpperCp1252(unsigned char c) {
    return UpperCode(c);
}

std::string UpperCp1252(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = static_cast<char>(UpperCode(static_cast<unsigned char>(c)));
    return s;
}

std::string SearchResultLine(const Page& page) {
    return page.number + "    " + page.date + " " + page.time + "  " + page.text.substr(0, kResultTextLength);
}

std::string OnOneLine(std::string_view resultLine) {
    std::string shown;
    shown.reserve(resultLine.size());
    for (std::size_t i = 0; i < resultLine.size(); ++i) {
        if (resultLine[i] != '\r' && resultLine[i] != '\n') {
            shown += resultLine[i];
            continue;
        }
        shown += " \xB6 ";
        if (resultLine[i] == '\r' && i + 1 < resultLine.size() && resultLine[i + 1] == '\n')
            ++i;
    }
    return shown;
}

namespace {

// Looks for the upper-cased `needle` in one page, deciphering and upper-casing it a piece at a time so that a page
// that matches early is not deciphered to its end.
class PageScanner {
public:
    PageScanner(std::string_view needle, const std::string& key)
        : m_needle(needle), m_key(key),
          m_step(std::max<size_t>(1, 512 / std::max<size_t>(1, key.size())) * std::max<size_t>(1, key.size())) {}

    bool matches(const RecordView& record) {
        m_joined.clear();
        m_searched = 0;
        for (size_t i = 0; i < 3; ++i)
            DecodeUpperAppend(m_joined, record[i], m_key);
        // A word that is on a page at all is most often found in its first lines; the rest of the page is looked
        // at in one go, since each look costs a search set-up. The rest starts at a multiple of the key's length,
        // where the key starts again.
        const std::string_view text = record[3];
        const size_t first = std::min(text.size(), m_step);
        DecodeUpperAppend(m_joined, text.substr(0, first), m_key);
        if (found()) {
            // The page is listed only when all of it deciphers, as when it is read whole.
            CheckDecodable(text.substr(first), m_key);
            return true;
        }
        if (first < text.size()) {
            DecodeUpperAppend(m_joined, text.substr(first), m_key);
            if (found())
                return true;
        }
        return m_needle.empty() && !m_joined.empty();
    }

private:
    // Searches what was added since the last look, with enough of what came before for a match that straddles
    // the two.
    bool found() {
        if (m_needle.empty())
            return !m_joined.empty();
        const size_t from = m_searched >= m_needle.size() - 1 ? m_searched - (m_needle.size() - 1) : 0;
        m_searched = m_joined.size();
        if (m_joined.size() - from < m_needle.size())
            return false;
        return Contains(std::string_view(m_joined).substr(from), m_needle);
    }

    std::string_view m_needle;
    const std::string& m_key;
    size_t m_step;
    std::string m_joined;
    size_t m_searched = 0;
};

} // namespace

void SearchBook(const Book& book, std::string_view text, const std::function<void(const std::string&)>& onMatch) {
    const std::string needle = UpperCp1252(text);
    PageScanner scanner(needle, book.key());
    book.forEachRecord([&](std::int64_t, const RecordView& record) {
        if (scanner.matches(record)) {
            // The result line shows only the start of the text: decipher no more of it than that.
            const std::string_view text = record[3];
            const std::string& key = book.key();
            onMatch(SearchResultLine({Decode(record[0], key), Decode(record[1], key), Decode(record[2], key),
                                      Decode(text.substr(0, kResultTextLength), key)}));
        }
        return true;
    });
}

} // namespace dayvell
