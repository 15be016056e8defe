// SPDX-License-Identifier: GPL-3.0-or-later
#include "Search.h"

#include "Codec.h"
#include "Cp1252Case.h"
#include "Vectorise.h"

#include <algorithm>
#include <cstring>

namespace dayvell {

namespace {

constexpr size_t kResultTextLength = 25;

DAYVELL_VECTOR_CLONES void UpperBytes(unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        p[i] = UpperCode(p[i]);
}

void UpperInto(std::string& s) {
    UpperBytes(reinterpret_cast<unsigned char*>(s.data()), s.size());
}

} // namespace

unsigned char UpperCp1252(unsigned char c) {
    return UpperCode(c);
}

std::string UpperCp1252(std::string_view text) {
    std::string s(text);
    UpperInto(s);
    return s;
}

std::string SearchResultLine(const Page& page) {
    return page.number + "    " + page.date + " " + page.time + "  " + page.text.substr(0, kResultTextLength);
}

namespace {

// Looks for the upper-cased `needle` in one page, deciphering and upper-casing it a piece at a time so that a page
// that matches early is not deciphered to its end.
class PageScanner {
public:
    PageScanner(std::string_view needle, const std::string& key)
        : m_needle(needle), m_key(key), m_step(std::max<size_t>(1, 512 / key.size()) * key.size()) {}

    bool matches(const RecordView& record) {
        m_joined.clear();
        m_searched = 0;
        for (size_t i = 0; i < 3; ++i)
            DecodeUpperAppend(m_joined, record[i], m_key);
        if (found())
            return true;
        // Pieces of the text start at multiples of the key's length, where the key starts again.
        const std::string_view text = record[3];
        for (size_t done = 0; done < text.size(); done += m_step) {
            DecodeUpperAppend(m_joined, text.substr(done, m_step), m_key);
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
        return memmem(m_joined.data() + from, m_joined.size() - from, m_needle.data(), m_needle.size()) != nullptr;
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
