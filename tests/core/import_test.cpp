// SPDX-License-Identifier: GPL-3.0-or-later
// Pages brought in from exports of this program and of jrnl, and from text files; and what no file may do.
#include "BookFixture.h"
#include "HostilePages.h"

#include "core/Charset.h"
#include "core/Export.h"
#include "core/Import.h"
#include "core/UsEnglishClock.h"
#include "gui/ScriptedProgress.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::test;

namespace {

std::string DataFile(const std::string& name) {
    const char* dir = std::getenv("DAYVELL_TEST_DATA");
    return std::string(dir ? dir : "tests/data") + "/" + name;
}

class ImportTest : public ::testing::Test {
protected:
    ImportTest() {
        // Modification times are read in local time: the tests fix the zone.
        setenv("TZ", "UTC", 1);
        tzset();
    }

    // A new book holding `pages`, as the program writes it.
    std::string makeBook(const std::string& name, const std::vector<Page>& pages, const std::string& key = kKey) {
        const std::string p = tmp.file(name);
        Book::Create(SystemFileSystem(), p, key, Book::NewHeader(tmp.dir(), "12/5/2026"));
        Book book(p, key);
        for (const Page& page : pages)
            book.appendPage(page);
        return p;
    }

    std::vector<Page> pagesOf(const std::string& p, const std::string& key = kKey) const {
        std::vector<Page> pages;
        Book book(p, key);
        book.forEachPage([&](std::int64_t, const PageView& r) {
            pages.push_back(PageOf(r));
            return true;
        });
        return pages;
    }

    // Reads `files`, puts their pages in order and adds them all to the book.
    ImportResult importFiles(const std::string& book, const std::vector<std::string>& files,
                             const std::string& key = kKey) {
        std::vector<ImportedPage> pages;
        for (const std::string& f : files) {
            ImportFile read = ReadImportFile(f, clock);
            pages.insert(pages.end(), read.pages.begin(), read.pages.end());
        }
        OrderByDate(pages);
        Book b(book, key);
        return ImportPages(b, pages, progress);
    }

    // A text file modified at `when` (seconds since 1970, UTC).
    std::string textFile(const std::string& name, const std::string& bytes, std::time_t when) const {
        const std::string p = tmp.file(name);
        WriteFileBytes(p, bytes);
        const timespec times[2] = {{when, 0}, {when, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
        return p;
    }

    std::vector<std::string> lines(const std::string& p) const {
        std::vector<std::string> out;
        const std::string bytes = ReadFileBytes(p);
        for (std::size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
            out.push_back(bytes.substr(start, end + 2 - start));
        return out;
    }

    TempDir tmp;
    UsEnglishClock clock;
    ScriptedProgress progress;
};

TEST_F(ImportTest, AnExportImportedIntoAnEmptyBookGivesBackTheSamePagesByteForByte) {
    const std::string original = makeBook("original.dvl", HostilePages());
    const std::string json = tmp.file("export.json");
    ASSERT_EQ(ExportBook(Book(original, kKey), ExportFormat::Json, json, Existing::Keep, progress),
              ExportOutcome::Written);

    const std::string empty = makeBook("empty.dvl", {});
    const std::string header = lines(empty)[0];
    const ImportResult result = importFiles(empty, {json});
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.added, std::int64_t(HostilePages().size()));
    EXPECT_EQ(ReadFileBytes(empty), ReadFileBytes(original)) << "the same header, so the whole file is the same";
    EXPECT_EQ(lines(empty)[0], header);

    // Into a book of another password the pages are the same once deciphered.
    const std::string other =
        makeBook("other.dvl", {{" 1", "Friday, 12/4/2026", "8:00:00 PM", "Already here"}}, "%$#!");
    importFiles(other, {json}, "%$#!");
    const std::vector<Page> got = pagesOf(other, "%$#!");
    ASSERT_EQ(got.size(), HostilePages().size() + 1);
    for (std::size_t i = 0; i < HostilePages().size(); ++i) {
        Page want = HostilePages()[i];
        want.number = " " + std::to_string(i + 2);
        EXPECT_EQ(got[i + 1].number, want.number);
        EXPECT_EQ(got[i + 1].date, want.date);
        EXPECT_EQ(got[i + 1].time, want.time);
        EXPECT_EQ(got[i + 1].text, want.text);
    }
}

TEST_F(ImportTest, JrnlEntriesBecomePagesStampedAsTheProgramStampsThemWithTheTitleFirst) {
    const ImportFile read = ReadImportFile(DataFile("jrnl-export.json"), clock);
    EXPECT_EQ(read.kind, ImportKind::JrnlJson);
    struct Want {
        const char* date;
        const char* time;
        std::string text;
        const char* order;
    };
    const Want want[] = {
        {"Wednesday, 3/1/2023", "9:15:00 AM",
         "First day at the new job.\r\nThe office is by the river.\r\nLunch with the @work people was good.",
         "2023-03-01T09:15:00"},
        {"Saturday, 3/4/2023", "6:40:00 PM", Cp1252FromUtf8("Visited Anna and the kids — a long drive."),
         "2023-03-04T18:40:00"},
        {"Friday, 3/31/2023", "12:05:00 AM", "Quarterly review.\r\nWent fine.\r\n\r\nNext one in June. @work",
         "2023-03-31T00:05:00"},
    };
    ASSERT_EQ(read.pages.size(), std::size(want));
    for (std::size_t i = 0; i < std::size(want); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i + 1));
        EXPECT_EQ(read.pages[i].page.date, want[i].date);
        EXPECT_EQ(read.pages[i].page.time, want[i].time);
        EXPECT_EQ(read.pages[i].page.text, want[i].text);
        EXPECT_EQ(read.pages[i].order, want[i].order);
        EXPECT_EQ(read.pages[i].entry, std::int64_t(i + 1));
        EXPECT_TRUE(read.pages[i].unstorable.empty());
    }

    // Added after the pages already there, numbered on from them.
    const std::string book = makeBook("diary.dvl", {HostilePages()[0], HostilePages()[1]});
    EXPECT_EQ(importFiles(book, {DataFile("jrnl-export.json")}).added, 3);
    const std::vector<Page> pages = pagesOf(book);
    ASSERT_EQ(pages.size(), 5u);
    EXPECT_EQ(pages[2].number, " 3");
    EXPECT_EQ(pages[4].number, " 5");
    EXPECT_EQ(pages[4].date, "Friday, 3/31/2023");
}

TEST_F(ImportTest, ATextFileIsOnePageDatedFromItsModificationTime) {
    struct Case {
        const char* what;
        std::string bytes;
        std::string text;
        std::string unstorable;
    };
    const Case cases[] = {
        {"LF line ends and a closing one", "First line\nsecond line\n", "First line\r\nsecond line", ""},
        {"CR LF kept, a byte order mark dropped", "\xEF\xBB\xBFOne\r\n\r\nTwo", "One\r\n\r\nTwo", ""},
        {"UTF-8 beyond ASCII", "Caf\xC3\x89 \xE2\x80\x94 5 \xE2\x82\xAC\n", Cp1252FromUtf8("CafÉ — 5 €"), ""},
        {"characters no book holds", "Hi \xF0\x9F\x98\x80 and \xD0\x96", "Hi ? and ?", "U+1F600, U+0416"},
    };
    // Saturday 5 December 2026, 13:46:33 UTC.
    const std::time_t when = 1796478393;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImportFile read = ReadImportFile(textFile("note.txt", c.bytes, when), clock);
        EXPECT_EQ(read.kind, ImportKind::PlainText);
        ASSERT_EQ(read.pages.size(), 1u);
        EXPECT_EQ(read.pages[0].page.date, "Saturday, 12/5/2026");
        EXPECT_EQ(read.pages[0].page.time, "1:46:33 PM");
        EXPECT_EQ(read.pages[0].page.text, c.text);
        EXPECT_EQ(read.pages[0].order, "2026-12-05T13:46:33");
        EXPECT_EQ(read.pages[0].unstorable, c.unstorable);
    }
}

TEST_F(ImportTest, PagesAreAddedInTheOrderOfTheirDatesAndAnExportKeepsItsBooksOrder) {
    // A book whose clock was set back for its third page: the book's order is the order it was written in.
    const std::string source = makeBook("source.dvl", {{" 1", "Monday, 3/6/2023", "8:00:00 AM", "book one"},
                                                       {" 2", "Monday, 3/20/2023", "8:00:00 AM", "book two"},
                                                       {" 3", "Friday, 3/3/2023", "8:00:00 AM", "book three"},
                                                       {" 4", "Wednesday, 3/22/2023", "8:00:00 AM", "book four"}});
    const std::string json = tmp.file("source.json");
    ExportBook(Book(source, kKey), ExportFormat::Json, json, Existing::Keep, progress);
    // 2 March 2023 and 25 March 2023, 12:00 UTC.
    const std::string early = textFile("early.txt", "text early", 1677758400);
    const std::string late = textFile("late.txt", "text late", 1679745600);

    const std::string book = makeBook("diary.dvl", {});
    importFiles(book, {late, json, DataFile("jrnl-export.json"), early});
    std::vector<std::string> texts;
    for (const Page& p : pagesOf(book))
        texts.push_back(p.text.substr(0, p.text.find('\r')));
    const std::vector<std::string> expected = {
        "First day at the new job.",                    // jrnl, 1 March
        "text early",                                   // 2 March
        "Visited Anna and the kids \x97 a long drive.", // jrnl, 4 March
        "book one",                                     // 6 March
        "book two",                                     // 20 March
        "book three",                                   // dated 3 March, written after 20 March
        "book four",                                    // 22 March
        "text late",                                    // 25 March
        "Quarterly review.",                            // jrnl, 31 March
    };
    EXPECT_EQ(texts, expected);
}

TEST_F(ImportTest, AFileThatIsNoExportIsRefusedWithAClearReasonNeverACrashOrAHang) {
    auto jrnl = [](const std::string& entries) { return "{\"entries\": [" + entries + "]}"; };
    const std::string entry = R"({"title":"t","body":"b","date":"2023-03-01","time":"09:15"})";
    std::string manyEntries = "{\"entries\": [";
    for (int i = 0; i < 1'000'000; ++i)
        manyEntries += i ? "," + entry : entry;
    manyEntries += "]}";

    struct Case {
        const char* what;
        std::string bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"a million entries", manyEntries, "more than 200000 entries"},
        {"a 100 MB body",
         jrnl(R"({"title":"t","date":"2023-03-01","time":"09:15","body":")" + std::string(100 << 20, 'x') + "\"}"),
         "entry 1 holds a text longer than 16 MB"},
        {"nested a million deep", "{\"notes\":" + std::string(1'000'000, '['), "nested more than 16 levels deep"},
        {"invalid UTF-8 in a text",
         jrnl(R"({"title":"caf)"
              "\xE9"
              R"(","date":"2023-03-01","time":"09:15"})"),
         "its text is not UTF-8"},
        {"an overlong slash",
         jrnl(R"({"title":")"
              "\xC0\xAF"
              R"(","date":"2023-03-01","time":"09:15"})"),
         "its text is not UTF-8"},
        {"cut short", jrnl(entry).substr(0, 40), "it is not valid JSON"},
        {"not JSON after its brace", "{ this is not JSON }", "it is not valid JSON"},
        {"a number as the date", jrnl(R"({"title":"t","date":20230301,"time":"09:15"})"),
         "entry 1 \"date\" is not a text"},
        {"an object as the body", jrnl(R"({"body":{"a":1},"date":"2023-03-01","time":"09:15"})"),
         "entry 1 \"body\" is not a text"},
        {"a list as the title", jrnl(R"({"title":["a"],"date":"2023-03-01","time":"09:15"})"),
         "entry 1 \"title\" is not a text"},
        {"null as the time", jrnl(R"({"title":"t","date":"2023-03-01","time":null})"),
         "entry 1 \"time\" is not a text"},
        {"a text as an entry", jrnl(entry + ",\"just text\""), "entry 2 is not an object"},
        {"a list as an entry", jrnl(entry + ",[1]"), "entry 2 is not an object"},
        {"entries that are no list", R"({"entries": {"a": 1}})", "its \"entries\" is not a list"},
        {"pages that are a number", R"({"pages": 5})", "its \"pages\" is not a list"},
        {"no date", jrnl(R"({"title":"t","time":"09:15"})"), "entry 1 has no \"date\""},
        {"no such day", jrnl(R"({"title":"t","date":"2023-02-30","time":"09:15"})"),
         "entry 1 has the date \"2023-02-30\", not a day written as YYYY-MM-DD"},
        {"a time without its zero", jrnl(R"({"title":"t","date":"2023-03-01","time":"9:15"})"),
         "entry 1 has the time \"9:15\", not a time written as HH:MM"},
        {"no text on a page", R"({"pages":[{"date":"Monday, 3/6/2023","time":"8:00:00 AM"}]})",
         "entry 1 has no \"text\""},
        {"both kinds at once", R"({"pages":[],"entries":[]})", "it holds both \"pages\" and \"entries\""},
        {"neither kind", R"({"notes":[{"text":"x"}]})", "it holds neither the pages"},
        {"another program's pages", R"({"format":"other","pages":[{"date":"d","time":"t","text":"x"}]})",
         "its \"format\" is not"},
        {"a newer layout", R"({"format":"dayvell-export","version":2,"pages":[]})",
         "it was written by a newer version of Dayvell"},
        {"nothing but blanks", " \r\n\t ", "it is empty"},
        {"not UTF-8 text", "caf\xE9 au lait", "it is neither a JSON export nor UTF-8 text"},
    };
    // A book is never read as text, whatever its bytes.
    WriteFileBytes(tmp.file("other.DVL"), "\"plain as text\"\r\n");
    try {
        ReadImportFile(tmp.file("other.DVL"), clock);
        ADD_FAILURE() << "a book was read as a page of text";
    } catch (const ImportError& e) {
        EXPECT_NE(e.description().find("it is a book"), std::string::npos) << e.description();
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string p = tmp.file("hostile.json");
        WriteFileBytes(p, c.bytes);
        try {
            ReadImportFile(p, clock);
            ADD_FAILURE() << "the file was read";
        } catch (const ImportError& e) {
            EXPECT_NE(e.description().find(c.reason), std::string::npos) << e.description();
            EXPECT_TRUE(e.description().starts_with(p + " cannot be imported: ")) << e.description();
        }
    }
}

TEST_F(ImportTest, WhatIsNoOrdinaryFileOrTooLargeIsRefusedWithoutReadingIt) {
    ASSERT_EQ(::mkfifo(tmp.file("pipe").c_str(), 0600), 0);
    std::filesystem::create_directory(tmp.file("folder"));
    // Sparse: nothing of them is on the disk, and nothing of them may be read into memory.
    for (auto [name, size] :
         {std::pair{"huge.json", std::uintmax_t{300} << 20}, {"big.txt", std::uintmax_t{100} << 20}})
        std::filesystem::resize_file((WriteFileBytes(tmp.file(name), "{"), tmp.file(name)), size);
    struct Case {
        const char* file;
        const char* reason;
    };
    const Case cases[] = {
        {"pipe", "it is not an ordinary file"},
        {"folder", "it is a folder"},
        {"huge.json", "it is larger than 256 MB"},
        {"big.txt", "it is not valid JSON"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        try {
            ReadImportFile(tmp.file(c.file), clock);
            ADD_FAILURE() << "the file was read";
        } catch (const ImportError& e) {
            EXPECT_NE(e.description().find(c.reason), std::string::npos) << e.description();
        }
    }
    WriteFileBytes(tmp.file("big.txt"), "text");
    std::filesystem::resize_file(tmp.file("big.txt"), std::uintmax_t{100} << 20);
    EXPECT_THROW(
        {
            try {
                ReadImportFile(tmp.file("big.txt"), clock);
            } catch (const ImportError& e) {
                EXPECT_NE(e.description().find("as a page of text it is longer than 16 MB"), std::string::npos);
                throw;
            }
        },
        ImportError);
    try {
        ReadImportFile(tmp.file("missing.txt"), clock);
        ADD_FAILURE() << "a missing file was read";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::FileNotFound);
    }
}

TEST_F(ImportTest, APageTheBookCannotHoldIsNamedWithWhatStandsInTheWay) {
    auto page = [](std::string text, std::string unstorable = {}) {
        ImportedPage p;
        p.page = {"", "Saturday, 12/5/2026", "1:46:33 PM", std::move(text)};
        p.source = "/some/where/notes.json";
        p.entry = 3;
        p.unstorable = std::move(unstorable);
        return p;
    };
    struct Case {
        const char* what;
        ImportedPage page;
        const char* key;
        std::string problem;
    };
    const Case cases[] = {
        {"nothing in the way", page("Plain words"), "Secret1", ""},
        {"accented capitals under a key of low codes", page(Cp1252FromUtf8("ÉCOLE")), "!#$%", ""},
        // "é" (233) plus any key character is beyond 255; "Ü" (220) only past the first key character "S" (83).
        {"beyond the key", page(Cp1252FromUtf8("é Ü é")), "Secret1",
         Cp1252FromUtf8("It holds characters that this dayvell's password cannot carry: é, Ü.")},
        {"codes that could become a quote", page(std::string("a\x01z")), "Secret1",
         "It holds control characters that cannot be stored in a dayvell."},
        {"outside the character set", page("Hi ?", "U+1F600"), "Secret1",
         "It holds characters that no dayvell can store: U+1F600."},
    };
    // What a book of a kind under a password can store, as the book itself would say.
    auto rule = [](BookKind kind, std::string key) -> StorageRule {
        return [kind, key](std::string_view field, std::size_t from) {
            return FormatOf(kind).firstUnstorable(field, from, key);
        };
    };
    for (const Case& c : cases)
        EXPECT_EQ(StorageProblem(c.page, rule(BookKind::Described, c.key), 12), c.problem) << c.what;
    // A key whose first character is high cannot carry the blank that starts every page number.
    EXPECT_EQ(StorageProblem(page("x"), rule(BookKind::Described, Cp1252FromUtf8("éabc")), 12),
              "Its page number cannot be stored with this dayvell's password.");
    // A sealed book stores every character of the set as it is, under any password; what no dayvell can store
    // stays refused.
    for (const Case& c : cases) {
        const std::string outside = c.page.unstorable.empty() ? "" : c.problem;
        EXPECT_EQ(StorageProblem(c.page, rule(BookKind::Sealed, c.key), 12), outside) << c.what;
    }
    EXPECT_EQ(StorageProblem(page("x"), rule(BookKind::Sealed, Cp1252FromUtf8("éabc")), 12), "");
    EXPECT_EQ(DescribeImportedPage(page("x")),
              "The page from notes.json (entry 3), dated Saturday, 12/5/2026 1:46:33 PM");
}

TEST_F(ImportTest, ACancelledOrFailedImportLeavesTheBookAsItWas) {
    const std::string book = makeBook("diary.dvl", {HostilePages()[0]});
    const std::string before = ReadFileBytes(book);
    const ImportFile read = ReadImportFile(DataFile("jrnl-export.json"), clock);

    progress.cancelAt = 2;
    Book b(book, kKey);
    const ImportResult cancelled = ImportPages(b, read.pages, progress);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_EQ(cancelled.added, 0);
    EXPECT_EQ(ReadFileBytes(book), before);
    EXPECT_FALSE(std::filesystem::exists(tmp.file("dvltemp.dvl")));

    // A page the key cannot carry, found only while writing: nothing of the pages before it stays.
    progress.cancelAt.reset();
    std::vector<ImportedPage> pages = read.pages;
    pages[2].page.text = "\xFF";
    try {
        ImportPages(b, pages, progress);
        ADD_FAILURE() << "the import went through";
    } catch (const UncarriedCharacter& e) {
        EXPECT_EQ(e.page(), 4);
    }
    EXPECT_EQ(ReadFileBytes(book), before);
    EXPECT_FALSE(std::filesystem::exists(tmp.file("dvltemp.dvl")));
}

} // namespace
