// SPDX-License-Identifier: GPL-3.0-or-later
// Peak memory of one operation on a book whose single page is very large. Run one operation per process, e.g.
//   peak_memory make /tmp/big.dvl 200   (writes the book: one page of 200 MB)
//   peak_memory reference /tmp/big.dvl  (reads the file into memory once: the physical reference)
//   peak_memory read /tmp/big.dvl       (checks the password and deciphers the page)
//   peak_memory readlast /tmp/big.dvl   (asks for a page past the end, as the viewer does, and gets the last)
//   peak_memory append /tmp/big.dvl     (saves a short page after the huge one)
//   peak_memory rewrite /tmp/big.dvl    (refreshes the date: a whole rewrite)
//   peak_memory reencipher /tmp/big.dvl (changes the password there and back)
//   peak_memory pages /tmp/many.dvl 20000  (writes a book of 20,000 pages of 1,500 bytes, in one rewrite)
//   peak_memory export /tmp/many.dvl json  (exports it to /tmp/many.dvl.json; txt, md and html as well)
//   peak_memory import /tmp/many.dvl FILE  (imports FILE into the book)
// Each prints the process's peak resident size beside the size of the largest record. An export streams: its peak
// is the same for a book of 1,000 pages as for one of 20,000.
#include "GeneratedBooks.h"
#include "core/Book.h"
#include "core/Export.h"
#include "core/FileSystem.h"
#include "core/Import.h"
#include "core/Progress.h"
#include "core/UsEnglishClock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>

using namespace dayvell;

namespace {

constexpr const char* kKey = "key1";

long PeakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s make|reference|read|readlast|append|rewrite|reencipher|pages|export|import BOOK "
                     "[MB|N|FORMAT|FILE]\n",
                     argv[0]);
        return 2;
    }
    const std::string op = argv[1];
    const std::string path = argv[2];
    const long before = PeakKiB();
    std::size_t largest = 0;
    if (op == "make") {
        const std::size_t mb = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 200;
        std::remove(path.c_str());
        Book::Create(SystemFileSystem(), path, kKey, Book::NewHeader("/tmp/", "1/1/2027"));
        Page page{" 1", "Friday, 1/1/2027", "1:00:00 PM", std::string(mb << 20, 'a')};
        for (std::size_t i = 0; i < page.text.size(); i += 61)
            page.text[i] = 'A' + static_cast<char>(i % 26);
        Book(path, kKey).appendPage(page);
        largest = page.text.size();
    } else if (op == "reference") {
        std::ifstream in(path, std::ios::binary);
        const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        largest = all.size();
    } else if (op == "read") {
        Book book(path, kKey);
        if (!book.checkPassword())
            return 1;
        largest = book.readPage(1)->text.size();
    } else if (op == "readlast") {
        largest = Book(path, kKey).readPageOrLast(99)->second.text.size();
    } else if (op == "append") {
        Book(path, kKey).appendPage({"", "Saturday, 1/2/2027", "1:00:00 PM", "A short page"});
    } else if (op == "rewrite") {
        Book(path, kKey).refreshDate("1/2/2027");
    } else if (op == "reencipher") {
        Book book(path, kKey);
        book.changePassword("key2");
        book.changePassword(kKey);
    } else if (op == "pages") {
        const long pages = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 20000;
        std::remove(path.c_str());
        Book::Create(SystemFileSystem(), path, kKey, Book::NewHeader("/tmp/", "1/1/2027"));
        std::string text;
        for (int i = 0; text.size() < 1500; ++i)
            text += (i % 12 == 11) ? "word\r\n" : "word ";
        Book(path, kKey).appendPages([&](std::int64_t number, Page& page) {
            page = {{}, "Friday, 1/1/2027", "1:00:00 PM", text};
            return number <= pages;
        });
        largest = text.size();
    } else if (op == "export" && argc > 3) {
        const auto format = ExportFormatNamed(argv[3]);
        if (!format)
            return 2;
        dayvell::bench::NoProgress progress;
        ExportBook(Book(path, kKey), *format, path + "." + argv[3], Existing::Replace, progress);
    } else if (op == "import" && argc > 3) {
        dayvell::bench::NoProgress progress;
        dayvell::test::UsEnglishClock clock;
        Book book(path, kKey);
        ImportPages(book, ReadImportFile(argv[3], clock).pages, progress);
    } else {
        return 2;
    }
    std::printf("%-10s peak %8ld KiB (at start %ld KiB), largest record read %zu KiB\n", op.c_str(), PeakKiB(), before,
                largest >> 10);
    return 0;
}
