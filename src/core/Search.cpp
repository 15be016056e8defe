// SPDX-License-Identifier: GPL-3.0-or-later
#include "Search.h"

#include "Cp1252Case.h"

namespace dayvell {

namespace {
constexpr size_t kResultTextLength = 25;
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

void SearchBook(const Book& book, std::string_view text, const std::function<void(const std::string&)>& onMatch) {
    const std::string needle = UpperCp1252(text);
    book.search(needle, [&](const PageView& page) {
        onMatch(SearchResultLine({std::string(page.number), std::string(page.date), std::string(page.time),
                                  std::string(page.text.substr(0, kResultTextLength))}));
    });
}

} // namespace dayvell
