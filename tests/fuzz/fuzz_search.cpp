// SPDX-License-Identifier: GPL-3.0-or-later
// Search against the plain way of doing it: decipher each page whole, capitalise, join the fields, look.
#include "FuzzSupport.h"

#include "core/Book.h"
#include "core/Numbers.h"
#include "core/Search.h"

#include <cstdio>

using namespace dayvell;
using namespace dayvell::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::string key = in.text(12);
    const std::string needle = in.text(20);
    const std::string path = ScratchFolder() + "/search.dvl";
    std::remove(path.c_str());
    if (Attempt([&] { Book::Create(SystemFileSystem(), path, key, Book::NewHeader(ScratchFolder() + "/", "d")); }))
        return 0;
    Book book(path, key);
    std::vector<Page> pages;
    while (!in.empty() && pages.size() < 6) {
        Page page{"", in.text(12), in.text(12), in.text(in.byte() > 250 ? 60000 : 255)};
        if (in.byte() > 250)
            page.text = std::string(3000 + page.text.size(), 'a') + page.text;
        if (Attempt([&] { page.number = book.appendPage(page); }))
            continue; // the cipher cannot carry it: nothing stored
        if (!pages.empty() && page.number == pages.back().number)
            continue; // the same page again: a retried save, stored once
        pages.push_back(page);
    }
    std::vector<std::string> expected;
    const std::string wanted = UpperCp1252(needle);
    for (const auto& p : pages) {
        const std::string joined = UpperCp1252(p.number + p.date + p.time + p.text);
        if (joined.find(wanted) != std::string::npos)
            expected.push_back(SearchResultLine(p));
    }
    std::vector<std::string> lines;
    const auto error = Attempt([&] { SearchBook(book, needle, [&](const std::string& l) { lines.push_back(l); }); });
    FUZZ_CHECK(!error);
    FUZZ_CHECK(lines == expected);
    return 0;
}
