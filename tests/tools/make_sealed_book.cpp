// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the sealed book kept in tests/data/sealed: run once, by hand, when a new version of the format is made
// (the file of every older version stays, and every later program must read it):
//   build/dev/tests/make_sealed_book tests/data/sealed/golden-v1.dvl
// It holds GoldenContent() under kSealedPassword, with the production limits of the password hash.
#include "../core/SealedBooks.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    try {
        using namespace dayvell;
        test::MakeSealedBook(argv[1], test::GoldenContent(), test::kSealedPassword, sealed::kProductionKdf);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
