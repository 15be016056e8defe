// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextMatch.h"

#include "Cp1252Case.h"
#include "Vectorise.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dayvell {

namespace {
// Pieces are turned to capitals this much at a time, so that a huge page costs a small buffer.
constexpr std::size_t kPiece = 1 << 16;

// The capitals of `n` characters: the common letters without a branch, many bytes at a time, and the few others
// afterwards, only in a piece that holds one.
DAYVELL_VECTOR_CLONES void UpperInto(const unsigned char* in, unsigned char* out, std::size_t n) {
    unsigned char special = 0;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = UpperCommon(in[i]);
        special |= static_cast<unsigned char>(UpperSpecial(in[i]));
    }
    if (special)
        for (std::size_t i = 0; i < n; ++i)
            out[i] = UpperCode(in[i]);
}
} // namespace

// Looks at sixteen places at a time for the needle's first and last characters together and compares the rest only
// where both fit: over a page that seldom matches this is several times faster than a general substring search,
// which also pays a set-up on every call.
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

void UpperMatcher::restart() {
    m_window.clear();
    m_found = false;
    m_any = false;
}

bool UpperMatcher::feed(std::string_view piece) {
    for (std::size_t at = 0; !m_found && at < piece.size(); at += kPiece) {
        const std::string_view part = piece.substr(at, kPiece);
        m_any = true;
        // Keep what a match straddling the two pieces needs of the one before.
        const std::size_t keep = m_needle.empty() ? 0 : std::min(m_window.size(), m_needle.size() - 1);
        m_window.erase(0, m_window.size() - keep);
        const std::size_t from = m_window.size();
        m_window.resize(from + part.size());
        UpperInto(reinterpret_cast<const unsigned char*>(part.data()),
                  reinterpret_cast<unsigned char*>(m_window.data() + from), part.size());
        m_found = Contains(m_window, m_needle);
    }
    if (m_needle.empty())
        m_found = m_any;
    return m_found;
}

} // namespace dayvell
