// SPDX-License-Identifier: GPL-3.0-or-later
#include "Search.h"

#include <cstring>

namespace dayvell {

namespace {

// Branch-free, so that a whole page is converted many bytes at a time.
inline unsigned char Upper(unsigned char c) {
    const bool ascii = c >= 'a' && c <= 'z';
    const bool latin = c >= 0xE0 && c <= 0xFE && c != 0xF7; // a grave .. thorn, not the division sign
    const bool pair = c == 0x9A || c == 0x9C || c == 0x9E;  // s caron, oe, z caron: 16 below their capitals
    unsigned char up = static_cast<unsigned char>(c - ((ascii || latin) ? 0x20 : 0) - (pair ? 0x10 : 0));
    return c == 0xFF ? 0x9F : up; // y diaeresis has its capital in the 0x80 block
}

void UpperInto(std::string& s) {
    auto* p = reinterpret_cast<unsigned char*>(s.data());
    for (size_t i = 0, n = s.size(); i < n; ++i)
        p[i] = Upper(p[i]);
}

} // namespace

unsigned char UpperCp1252(unsigned char c) {
    return Upper(c);
}

std::string UpperCp1252(std::string_view text) {
    std::string s(text);
    UpperInto(s);
    return s;
}

std::string SearchResultLine(const Page& page) {
    return page.number + "    " + page.date + " " + page.time + "  " + page.text.substr(0, 25);
}

void SearchBook(const Book& book, std::string_view text, const std::function<void(const std::string&)>& onMatch) {
    const std::string needle = UpperCp1252(text);
    std::string joined;
    book.forEachRecord([&](std::int64_t, const Record& record) {
        const Page page = book.decodePage(record);
        joined.clear();
        joined.append(page.number).append(page.date).append(page.time).append(page.text);
        UpperInto(joined);
        const bool match = needle.empty()
                               ? !joined.empty()
                               : memmem(joined.data(), joined.size(), needle.data(), needle.size()) != nullptr;
        if (match)
            onMatch(SearchResultLine(page));
        return true;
    });
}

} // namespace dayvell
