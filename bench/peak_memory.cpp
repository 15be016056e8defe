// SPDX-License-Identifier: GPL-3.0-or-later
// Peak memory of one operation on a book whose single page is very large. Run one operation per process, e.g.
//   peak_memory make /tmp/big.dvl 200   (writes the book: one page of 200 MB)
//   peak_memory reference /tmp/big.dvl  (reads the file into memory once: the physical reference)
//   peak_memory read /tmp/big.dvl       (checks the password and deciphers the page)
//   peak_memory readlast /tmp/big.dvl   (asks for a page past the end, as the viewer does, and gets the last)
//   peak_memory append /tmp/big.dvl     (saves a short page after the huge one)
//   peak_memory rewrite /tmp/big.dvl    (refreshes the date: a whole rewrite)
//   peak_memory reencipher /tmp/big.dvl (changes the password there and back)
// Each prints the process's peak resident size beside the size of the largest record.
#include "core/Book.h"
#include "core/FileSystem.h"

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
        std::fprintf(stderr, "usage: %s make|reference|read|readlast|append|rewrite|reencipher BOOK [MB]\n", argv[0]);
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
        book.reencipher("key2");
        book.reencipher(kKey);
    } else {
        return 2;
    }
    std::printf("%-10s peak %8ld KiB (at start %ld KiB), largest record read %zu KiB\n", op.c_str(), PeakKiB(), before,
                largest >> 10);
    return 0;
}
