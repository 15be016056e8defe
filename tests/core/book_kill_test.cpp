// SPDX-License-Identifier: GPL-3.0-or-later
// Kills a process with SIGKILL at random moments of every write operation on a book of a few hundred pages, a
// described and a sealed one, and of converting each into the other kind. After each kill the book must open with
// exactly its old or exactly its new content, under the password that goes with it, and the next change in its folder
// must work.
#include "core/Book.h"
#include "core/Codec.h"
#include "core/Numbers.h"
#include "core/Record.h"
#include "core/RuntimeError.h"
#include "core/SealedKeys.h"
#include "core/TempDir.h"
#include "core/WrittenBooks.h"

#include "SealedBooks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::test;

namespace {

constexpr const char* kKey = "key1";
constexpr const char* kOtherKey = "Other99";
constexpr int kPages = 300;
constexpr int kRoundsPerOperation = 26;

struct Operation {
    const char* name;
    // Runs the operation on the book at `path`, a book of `kind`; returns the path the book has afterwards.
    std::function<std::string(const std::string& path, int round, BookKind kind)> run;
};

BookKind OtherKind(BookKind kind) {
    return kind == BookKind::Sealed ? BookKind::Described : BookKind::Sealed;
}

std::string Renamed(const std::string& path) {
    return ParentDirectory(path) + "/renamed.dvl";
}

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> ops = {
        {"append",
         [](const std::string& p, int round, BookKind) {
             Book(p, kKey).appendPage(
                 {"", "Tuesday, 12/8/2026", std::to_string(round), "Appended " + std::to_string(round)});
             return p;
         }},
        {"date_refresh",
         [](const std::string& p, int round, BookKind) {
             Book(p, kKey).refreshDate("1/" + std::to_string(round) + "/2027");
             return p;
         }},
        {"cover_name",
         [](const std::string& p, int round, BookKind) {
             Book(p, kKey).replaceCoverName("Cover " + std::to_string(round));
             return p;
         }},
        {"page_replacement",
         [](const std::string& p, int round, BookKind) {
             Book(p, kKey).replacePage(PageNumberText(round % 50 + 1), "Edited in round " + std::to_string(round));
             return p;
         }},
        {"page_removal",
         [](const std::string& p, int round, BookKind) {
             Book(p, kKey).removePage(round % 50 + 1);
             return p;
         }},
        {"password",
         [](const std::string& p, int, BookKind) {
             Book(p, kKey).changePassword(kOtherKey); // changed back after each round, outside the kills
             return p;
         }},
        {"conversion",
         [](const std::string& p, int, BookKind kind) {
             Book(p, kKey).changePassword(kOtherKey, OtherKind(kind)); // converted back, outside the kills
             return p;
         }},
        {"rename",
         [](const std::string& p, int, BookKind) {
             Book(p, kKey).rename("renamed.dvl");
             return Renamed(p);
         }},
        {"create",
         [](const std::string& p, int, BookKind kind) {
             const std::string fresh = ParentDirectory(p) + "/fresh.dvl";
             Book::Create(SystemFileSystem(), fresh, kKey, Book::NewHeader(ParentDirectory(p) + "/", "1/1/2027"), kind);
             return p;
         }},
    };
    return ops;
}

// The whole content of a folder, book by book (BookState; the scratch file aside: a kill may leave one, and it is no
// book).
std::map<std::string, std::string> Books(const TempDir& dir) {
    std::map<std::string, std::string> books;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename() != "dvltemp.dvl")
            books[e.path().filename().string()] = BookState(e.path().string(), {kKey, kOtherKey});
    return books;
}

void MakeBook(const TempDir& dir, BookKind kind) {
    const std::string path = dir.file("diary.dvl");
    Book::Create(SystemFileSystem(), path, kKey, Book::NewHeader(dir.dir(), "12/5/2026"), kind);
    if (kind == BookKind::Described) {
        std::string bytes = ReadFileBytes(path);
        for (int n = 1; n <= kPages; ++n)
            bytes += FormatRecord({Encode(PageNumberText(n), kKey), Encode("Saturday, 12/5/2026", kKey),
                                   Encode("1:46:33 PM", kKey),
                                   Encode("Page " + std::to_string(n) + " of the diary", kKey), "_"});
        WriteFileBytes(path, bytes);
        return;
    }
    Book(path, kKey).appendPages([](std::int64_t n, Page& page) {
        page = {{}, "Saturday, 12/5/2026", "1:46:33 PM", "Page " + std::to_string(n) + " of the diary"};
        return n <= kPages;
    });
}

class BookKill : public ::testing::TestWithParam<BookKind> {
protected:
    const sealed::KdfLimitsForTests m_fast{FastKdf()};
};

TEST_P(BookKill, EveryKillLeavesTheOldOrTheNewBookAndTheNextChangeWorks) {
    const BookKind kind = GetParam();
    TempDir live;
    TempDir reference;
    MakeBook(live, kind);
    std::mt19937 random(20261210);
    int kills = 0;
    int killedMidway = 0;
    int flags = 0;
    for (const auto& op : Operations()) {
        for (int round = 1; round <= kRoundsPerOperation; ++round) {
            SCOPED_TRACE(std::string(op.name) + " round " + std::to_string(round));
            // What the operation makes of the book, worked out on a copy (rewrites never touch the directory field,
            // so the bytes are the same in any folder), and how long it takes.
            std::filesystem::remove_all(reference.path());
            std::filesystem::create_directory(reference.path());
            for (const auto& e : std::filesystem::directory_iterator(live.path()))
                if (e.path().filename() != "dvltemp.dvl")
                    WriteFileBytes(reference.file(e.path().filename().string()), ReadFileBytes(e.path().string()));
            const auto started = std::chrono::steady_clock::now();
            op.run(reference.file("diary.dvl"), round, kind);
            const auto took = std::chrono::steady_clock::now() - started;
            auto expectedNew = Books(reference);
            const auto old = Books(live);
            if (std::string(op.name) == "create") // the new book records the folder it was made in
                expectedNew.erase("fresh.dvl");

            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                try {
                    op.run(live.file("diary.dvl"), round, kind);
                } catch (...) {
                    _exit(1);
                }
                _exit(0);
            }
            const auto window = std::chrono::duration_cast<std::chrono::microseconds>(took).count() * 5 / 4 + 50;
            std::this_thread::sleep_for(std::chrono::microseconds(random() % window));
            ::kill(child, SIGKILL);
            ++kills;
            int status = 0;
            ::waitpid(child, &status, 0);
            if (WIFSIGNALED(status))
                ++killedMidway;
            else
                ASSERT_EQ(WEXITSTATUS(status), 0) << "the operation failed on its own";

            auto now = Books(live);
            if (std::string(op.name) == "create") {
                if (now.count("fresh.dvl")) {
                    // Whole or not there at all.
                    EXPECT_TRUE(Book(live.file("fresh.dvl"), kKey).checkPassword());
                    EXPECT_EQ(Book(live.file("fresh.dvl"), kKey).kind(), kind);
                    EXPECT_EQ(Book(live.file("fresh.dvl"), kKey).countPages(), 0);
                    now.erase("fresh.dvl");
                }
                std::filesystem::remove(live.file("fresh.dvl"));
            }
            const bool isOld = now == old;
            const bool isNew = now == expectedNew;
            EXPECT_TRUE(isOld || isNew);
            if (!isOld && !isNew)
                return;
            if (std::filesystem::exists(live.file("renamed.dvl")))
                Book(live.file("renamed.dvl"), kKey).rename("diary.dvl");
            if (Book(live.file("diary.dvl"), kOtherKey).checkPassword())
                Book(live.file("diary.dvl"), kOtherKey).changePassword(kKey, kind);
            ASSERT_EQ(Book(live.file("diary.dvl"), kKey).kind(), kind);

            // The next change in the folder works, a scratch file left by the kill notwithstanding.
            Book book(live.file("diary.dvl"), kKey);
            ASSERT_TRUE(book.checkPassword());
            book.replaceFlags(PageNumberText(++flags));
            EXPECT_EQ(book.readHeader().flags, PageNumberText(flags));
            EXPECT_FALSE(std::filesystem::exists(live.file("dvltemp.dvl")));
            // Keep the book at its size: pages removed are made up for.
            while (book.countPages() < kPages)
                book.appendPage({"", "d", std::to_string(flags), "Refill " + std::to_string(book.countPages())});
        }
    }
    RecordProperty("kills", kills);
    RecordProperty("killed_midway", killedMidway);
    std::printf("%d kills, %d of them while the operation was running\n", kills, killedMidway);
    EXPECT_GE(kills, 200);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BookKill, ::testing::Values(BookKind::Described, BookKind::Sealed),
                         [](const auto& info) { return info.param == BookKind::Sealed ? "sealed" : "described"; });

} // namespace
