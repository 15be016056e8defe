// SPDX-License-Identifier: GPL-3.0-or-later
// Rescuing a damaged book: every page that can still be read goes into a new book beside it, and each one that
// cannot is named.
#include "core/Book.h"
#include "core/Codec.h"
#include "core/Numbers.h"
#include "core/RuntimeError.h"
#include "core/TempDir.h"
#include "core/WrittenBooks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace dayvell;
using namespace dayvell::test;

namespace {

constexpr const char* kKey = "Secret1";

std::string PageText(std::int64_t n) {
    return "Page " + std::to_string(n) + ", a day like any other.\r\nSecond line.";
}

class BookRescue : public ::testing::Test {
protected:
    // A book of `pages` pages, each line as written and then passed through `damage`.
    std::string write(std::int64_t pages, const std::function<void(std::vector<std::string>&)>& damage = {}) {
        std::vector<std::string> lines{HeaderLine(kKey, tmp.dir(), "Anna's days", "0000000")};
        for (std::int64_t n = 1; n <= pages; ++n)
            lines.push_back(PageLine(kKey, PageNumberText(n), PageText(n)));
        if (damage)
            damage(lines);
        std::string bytes;
        for (const auto& l : lines)
            bytes += l;
        WriteFileBytes(path, bytes);
        return bytes;
    }
    // The page texts of the rescued book, which must open with the same key.
    std::vector<std::string> rescuedTexts(const std::string& name) const {
        Book rescued(tmp.file(name), kKey);
        EXPECT_TRUE(rescued.checkPassword());
        std::vector<std::string> texts;
        const std::int64_t count = rescued.countPages();
        for (std::int64_t n = 1; n <= count; ++n) {
            const auto page = rescued.readPage(n);
            EXPECT_EQ(page->number, PageNumberText(n)) << "renumbered from 1";
            EXPECT_EQ(page->date, "Saturday, 12/5/2026");
            texts.push_back(page->text);
        }
        return texts;
    }

    TempDir tmp;
    const std::string path = tmp.file("diary.dvl");
};

TEST_F(BookRescue, KeepsEveryIntactPageAndNamesEachLostOne) {
    using Loss = RescueReport::Loss;
    struct Case {
        const char* what;
        std::int64_t pages;
        std::function<void(std::vector<std::string>&)> damage;
        std::vector<std::int64_t> kept;
        std::vector<Loss> lost;
        bool headerRebuilt;
    };
    const Case cases[] = {
        {"nothing wrong", 3, {}, {1, 2, 3}, {}, false},
        {"cut inside the last record", 3, [](auto& l) { l[3].resize(l[3].size() / 2); }, {1, 2}, {{3, 3, true}}, false},
        {"cut just before the last line end",
         3,
         [](auto& l) { l[3].resize(l[3].size() - 3); },
         {1, 2},
         {{3, 3, true}},
         false},
        {"last line end missing only: the page is whole",
         3,
         [](auto& l) { l[3].resize(l[3].size() - 2); },
         {1, 2, 3},
         {},
         false},
        {"a stray quote in a middle record",
         4,
         [](auto& l) { l[2].insert(5, "\""); },
         {1, 3, 4},
         {{2, 2, false}},
         false},
        {"a stray byte between two fields",
         4,
         [](auto& l) { l[3].insert(l[3].find("\",\"") + 1, "x"); },
         {1, 2, 4},
         {{3, 3, false}},
         false},
        {"a stray line break inside a record",
         4,
         [](auto& l) { l[2].insert(l[2].size() / 2, "\r\n"); },
         {1, 3, 4},
         {{2, 2, false}},
         false},
        {"two damaged records in a row",
         5,
         [](auto& l) {
             l[2].insert(5, "\"");
             l[3].insert(5, "\"");
         },
         {1, 4, 5},
         {{2, 3, false}},
         false},
        {"damaged, then cut at the end",
         4,
         [](auto& l) {
             l[3].insert(5, "\"");
             l[4].resize(10);
         },
         {1, 2},
         {{3, 3, false}, {4, 4, true}},
         false},
        {"a header field missing",
         2,
         [](auto& l) {
             l[0].erase(l[0].find("\",\"") + 1, l[0].find("\",\"", l[0].find("\",\"") + 1) - l[0].find("\",\""));
         },
         {1, 2},
         {},
         true},
        {"a file of only a header", 0, {}, {}, {}, false},
        {"a header cut short, no pages left", 0, [](auto& l) { l[0].resize(30); }, {}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(tmp.file("diary-r1.dvl"));
        const std::string damaged = write(c.pages, c.damage);
        const RescueReport report = Book(path, kKey).rescue("3/4/2026");
        EXPECT_EQ(report.fileName, "diary-r1.dvl");
        EXPECT_EQ(report.pagesKept, static_cast<std::int64_t>(c.kept.size()));
        EXPECT_EQ(report.lost, c.lost);
        EXPECT_EQ(report.headerRebuilt, c.headerRebuilt);
        EXPECT_EQ(ReadFileBytes(path), damaged) << "the damaged book is left as it is";
        EXPECT_FALSE(std::filesystem::exists(tmp.file("dvltemp.dvl")));

        std::vector<std::string> expected;
        for (const std::int64_t n : c.kept)
            expected.push_back(PageText(n));
        EXPECT_EQ(rescuedTexts(report.fileName), expected);
        const BookHeader header = Book(tmp.file(report.fileName), kKey).readHeader();
        EXPECT_EQ(header.directory, tmp.dir());
        if (c.headerRebuilt) {
            EXPECT_EQ(header.coverName, "___");
            EXPECT_EQ(header.lastAccess, "3/4/2026");
            EXPECT_EQ(header.flags, "0111111");
        } else {
            EXPECT_EQ(header.coverName, "Anna's days");
            EXPECT_EQ(header.flags, "0000000");
        }
    }
}

TEST_F(BookRescue, TakesAFreeNameOfAtMostEightCharactersAndReplacesNothing) {
    write(2, [](auto& l) { l[2].resize(12); });
    WriteFileBytes(tmp.file("diary-r1.dvl"), "someone else's file");
    const RescueReport report = Book(path, kKey).rescue("3/4/2026");
    EXPECT_EQ(report.fileName, "diary-r2.dvl");
    EXPECT_EQ(ReadFileBytes(tmp.file("diary-r1.dvl")), "someone else's file");
    EXPECT_EQ(rescuedTexts("diary-r2.dvl"), std::vector<std::string>{PageText(1)});

    struct Case {
        const char* name;
        int attempt;
        const char* rescued;
    };
    for (const Case& c :
         {Case{"diary.dvl", 1, "diary-r1.dvl"}, Case{"longname.dvl", 1, "longn-r1.dvl"},
          Case{"longname.DVL", 12, "long-r12.dvl"}, Case{"a.dvl", 3, "a-r3.dvl"}, Case{"noext", 1, "noext-r1.dvl"}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RescueName(c.name, c.attempt), c.rescued);
    }
}

TEST_F(BookRescue, NeedsTheBooksOwnKeyAndAReadableCheckPhrase) {
    const std::string damaged = write(2, [](auto& l) { l[2].resize(12); });
    // Passes the check phrase, but is not the key: it would write every page under the wrong key.
    EXPECT_EQ(ErrorCode([&] { Book(path, "Secret1Sec").rescue("3/4/2026"); }), code::BookChangedElsewhere);
    EXPECT_EQ(ErrorCode([&] { Book(path, "Secret2").rescue("3/4/2026"); }), code::BookChangedElsewhere);
    WriteFileBytes(path, "\"mZq");
    EXPECT_EQ(ErrorCode([&] { Book(path, kKey).rescue("3/4/2026"); }), code::PastEndOfFile);
    for (const char* name : {"diary-r1.dvl", "dvltemp.dvl"})
        EXPECT_FALSE(std::filesystem::exists(tmp.file(name))) << name;
}

TEST(RescueMessage, NamesTheNewBookAndEachPageThatCouldNotBeRead) {
    RescueReport report;
    report.fileName = "diary-r1.dvl";
    report.pagesKept = 1202;
    report.lost = {{7, 9, false}, {12, 12, false}, {1203, 1203, true}};
    EXPECT_EQ(RescueMessage(report),
              "Your dayvell was repaired into diary-r1.dvl, in the same folder and with the same password. It holds "
              "1,202 pages, numbered from 1.\r\n\r\n"
              "Pages 7 to 9 are damaged and could not be read.\r\n"
              "Page 12 is damaged and could not be read.\r\n"
              "Page 1,203 was cut short and could not be read.\r\n"
              "\r\nYour damaged dayvell was left as it was. Open diary-r1.dvl from the start window.");
    report.lost.clear();
    report.pagesKept = 1;
    EXPECT_NE(RescueMessage(report).find("It holds 1 page, numbered from 1.\r\n\r\nEvery page could be read.\r\n"),
              std::string::npos);
}

} // namespace
