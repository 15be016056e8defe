// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a book of one page (or of none) for the smoke tests, which have no windows to create one with.
// Usage: write_book DIRECTORY NAME PASSWORD [PAGES]
#include "core/Book.h"
#include "core/FileSystem.h"
#include "core/Numbers.h"

#include <cstdio>
#include <string>

int main(int argc, char* argv[]) {
    if (argc != 4 && !(argc == 5 && (std::string(argv[4]) == "0" || std::string(argv[4]) == "1"))) {
        std::fprintf(stderr, "usage: %s DIRECTORY NAME PASSWORD [0|1]\n", argv[0]);
        return 2;
    }
    const std::string dir = dayvell::WithSeparator(argv[1]);
    const std::string path = dayvell::JoinPath(dir, argv[2]);
    dayvell::Book::Create(dayvell::SystemFileSystem(), path, argv[3], dayvell::Book::NewHeader(dir, "12/5/2026"));
    if (argc == 5 && std::string(argv[4]) == "0")
        return 0;
    dayvell::Book(path, argv[3])
        .appendPage(
            {dayvell::PageNumberText(1), "Saturday, 12/5/2026", "1:46:33 PM", "A page opened from the command line"});
    return 0;
}
