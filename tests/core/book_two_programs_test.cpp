// SPDX-License-Identifier: GPL-3.0-or-later
// Two running copies of the program on one book: one writes pages while the other moves the book back and forth
// between two folders and copies it to a third. No page reported as written may be lost or written twice.
#include "core/Book.h"
#include "core/RuntimeError.h"
#include "core/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::test;

namespace {

constexpr const char* kKey = "Secret1";
constexpr int kRounds = 300;

// The refusals a user may meet when the other copy is busy with the book: it is gone from this folder, or the
// folder stayed locked too long.
bool ClearRefusal(const RuntimeError& e) {
    return e.code() == code::FileNotFound ||
           (e.code() == code::PermissionDenied && std::string(e.what()).find("Another copy of Dayvell") == 0);
}

// The mover: runs in a child process and exits with the number of unclear failures (capped), so nothing of the
// test framework runs twice.
[[noreturn]] void MoveBackAndForth(const std::string& first, const std::string& second, const std::string& backups) {
    int unclear = 0;
    std::string here = first, there = second;
    for (int round = 0; round < kRounds; ++round) {
        try {
            Book book(here + "diary.dvl", kKey);
            book.copyTo(backups, Existing::Replace, Transfer::Copy);
            book.copyTo(there, Existing::Keep, Transfer::Move);
            std::swap(here, there);
        } catch (const RuntimeError& e) {
            if (!ClearRefusal(e)) {
                std::fprintf(stderr, "mover, round %d: %d %s\n", round, e.code(), e.what());
                ++unclear;
            }
        }
    }
    ::_exit(unclear > 100 ? 100 : unclear);
}

TEST(TwoPrograms, PagesWrittenWhileTheBookMovesAreInItExactlyOnce) {
    TempDir a, b, backups;
    Book::Create(SystemFileSystem(), a.file("diary.dvl"), kKey, Book::NewHeader(a.dir(), "12/5/2026"));

    const pid_t mover = ::fork();
    ASSERT_GE(mover, 0);
    if (mover == 0)
        MoveBackAndForth(a.dir(), b.dir(), backups.dir());

    // The writer: appends to wherever the book is, until the mover is done.
    std::map<std::string, bool> written; // page text -> reported successful
    int status = 0;
    for (int i = 0;; ++i) {
        const pid_t done = ::waitpid(mover, &status, WNOHANG);
        ASSERT_GE(done, 0);
        if (done == mover)
            break;
        const std::string text = "page written " + std::to_string(i);
        bool ok = false;
        for (const std::string& dir : {a.dir(), b.dir()}) {
            try {
                Book(dir + "diary.dvl", kKey).appendPage({" 1", "Saturday, 12/5/2026", "1:46:33 PM", text});
                ok = true;
                break;
            } catch (const RuntimeError& e) {
                EXPECT_TRUE(ClearRefusal(e)) << e.code() << " " << e.what();
            }
        }
        written[text] = ok;
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the mover met failures other than clear refusals";

    const bool inA = std::filesystem::exists(a.file("diary.dvl"));
    const bool inB = std::filesystem::exists(b.file("diary.dvl"));
    ASSERT_NE(inA, inB) << "the book must be in exactly one of the two folders";
    const TempDir& home = inA ? a : b;
    EXPECT_FALSE(std::filesystem::exists(a.file("dvltemp.dvl")));
    EXPECT_FALSE(std::filesystem::exists(b.file("dvltemp.dvl")));

    Book book(home.file("diary.dvl"), kKey);
    EXPECT_EQ(book.readHeader().directory, home.dir());
    std::map<std::string, int> found;
    book.forEachPage([&](std::int64_t, const PageView& r) {
        ++found[PageOf(r).text];
        return true;
    });
    int successes = 0;
    for (const auto& [text, ok] : written) {
        if (ok) {
            ++successes;
            EXPECT_EQ(found[text], 1) << text;
        } else {
            EXPECT_EQ(found[text], 0) << text << " was refused but is in the book";
        }
    }
    EXPECT_GT(successes, 0);
    // Every page of the last backup is one of the book's: a backup is a moment of the book, never a mixture.
    Book backup(backups.file("diary.dvl"), kKey);
    EXPECT_EQ(backup.readHeader().directory, backups.dir());
    backup.forEachPage([&](std::int64_t, const PageView& r) {
        EXPECT_EQ(found[PageOf(r).text], 1);
        return true;
    });
}

} // namespace
