// SPDX-License-Identifier: GPL-3.0-or-later
// Every change of a book, in any order, on a scratch folder, against a plain model of what the book holds. A change
// that fails leaves the file exactly as it was and no scratch file behind.
#include "FuzzSupport.h"

#include "core/Book.h"
#include "core/Numbers.h"
#include "core/RuntimeError.h"

#include <cstdio>
#include <filesystem>

using namespace dayvell;
using namespace dayvell::fuzz;

namespace {

struct Model {
    BookHeader header;
    std::vector<Page> pages;
};

void ExpectBook(const std::string& path, const std::string& key, const Model& m) {
    Book book(path, key);
    const BookHeader h = book.readHeader();
    FUZZ_CHECK(h.coverName == m.header.coverName && h.lastAccess == m.header.lastAccess && h.flags == m.header.flags &&
               h.directory == m.header.directory);
    FUZZ_CHECK(book.countPages() == static_cast<std::int64_t>(m.pages.size()));
    std::int64_t n = 0;
    book.forEachPage([&](std::int64_t, const PageView& r) {
        const Page p = PageOf(r);
        const Page& want = m.pages[static_cast<std::size_t>(n++)];
        FUZZ_CHECK(p.number == PageNumberText(n) && p.date == want.date && p.time == want.time && p.text == want.text);
        FUZZ_CHECK(r.endMark == "_");
        return true;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::string key = in.text(10);
    const std::string dir = ScratchFolder() + "/";
    std::string path = dir + "book.dvl";
    std::remove(path.c_str());
    std::remove((dir + "other.dvl").c_str());
    Model m{Book::NewHeader(dir, "12/5/2026"), {}};
    if (Attempt([&] { Book::Create(SystemFileSystem(), path, key, m.header); })) {
        FUZZ_CHECK(!std::filesystem::exists(path));
        return 0;
    }
    for (int step = 0; step < 12 && !in.empty(); ++step) {
        const std::string before = ReadFile(path);
        Book book(path, key);
        bool proven = false;
        Attempt([&] { proven = book.checkPassword(); });
        Model next = m;
        const int op = in.byte() % 8;
        std::optional<int> error;
        switch (op) {
        case 0: {
            const Page page{in.text(4), in.text(20), in.text(12), in.text()};
            std::string number;
            error = Attempt([&] { number = book.appendPage(page); });
            if (!error) {
                const bool again = !m.pages.empty() && m.pages.back().date == page.date &&
                                   m.pages.back().time == page.time && m.pages.back().text == page.text;
                if (!again)
                    next.pages.push_back(page);
                FUZZ_CHECK(number == PageNumberText(static_cast<std::int64_t>(next.pages.size())));
            }
            break;
        }
        case 1:
            next.header.lastAccess = in.text(12);
            error = Attempt([&] { book.refreshDate(next.header.lastAccess); });
            break;
        case 2:
            next.header.flags = in.text(8);
            error = Attempt([&] { book.replaceFlags(next.header.flags); });
            break;
        case 3:
            next.header.coverName = in.text();
            error = Attempt([&] { book.replaceCoverName(next.header.coverName); });
            break;
        case 4: {
            const std::int64_t n = in.byte() % 5;
            const std::string text = in.text();
            for (std::size_t i = 0; i < next.pages.size(); ++i)
                if (PageNumberText(static_cast<std::int64_t>(i + 1)) == PageNumberText(n))
                    next.pages[i].text = text;
            error = Attempt([&] { book.replacePage(PageNumberText(n), text); });
            break;
        }
        case 5: {
            const std::int64_t position = in.byte() % 5;
            if (position >= 1 && static_cast<std::size_t>(position) <= next.pages.size())
                next.pages.erase(next.pages.begin() + position - 1);
            error = Attempt([&] { book.removePage(position); });
            break;
        }
        case 6: {
            const std::string newKey = in.text(10);
            error = Attempt([&] { book.changePassword(newKey); });
            if (!error)
                key = newKey;
            break;
        }
        case 7: {
            const std::string other = dir + "other.dvl";
            error = Attempt([&] { book.rename("other.dvl"); });
            if (!error) {
                FUZZ_CHECK(!std::filesystem::exists(path) && book.path() == other);
                Book(other, key).rename("book.dvl");
            }
            break;
        }
        }
        FUZZ_CHECK(!std::filesystem::exists(dir + "dvltemp.dvl"));
        if (error) {
            // Only what the cipher or the file format cannot carry fails here, and a key the book does not prove (one
            // with a character no keyboard gives, or one it cannot tell from a rival): it never writes.
            FUZZ_CHECK(*error == 5 || (*error == code::BookChangedElsewhere && !proven));
            FUZZ_CHECK(ReadFile(path) == before);
        } else {
            m = next;
        }
        ExpectBook(path, key, m);
    }
    return 0;
}
