// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookFixture.h"

#include "core/Numbers.h"
#include "core/RuntimeError.h"
#include "core/WrittenBooks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::test;

namespace {

using BookFile = BookFixture;

TEST_F(BookFile, NewBookIsOneHeaderLineWithTheCheckPhraseEnciphered) {
    TempDir other;
    const std::string p = other.file("new.dvl");
    Book::Create(SystemFileSystem(), p, "key1", Book::NewHeader(other.dir(), "12/5/2026"));
    const auto lines = Lines(ReadFileBytes(p));
    ASSERT_EQ(lines.size(), 1u);
    const Record header = Fields(lines[0]);
    // "mZq7391mZq" under "key1", worked out by hand from the character codes.
    EXPECT_EQ(header[0], "\xD8\xBF\xEA\x68\x9E\x9E\xAA\x9E\xC5\xD6");
    EXPECT_EQ(lines[0], FormatRecord(header));
    const BookHeader h = Book(p, "key1").readHeader();
    EXPECT_EQ(h.directory, other.dir());
    EXPECT_EQ(h.coverName, "___");
    EXPECT_EQ(h.lastAccess, "12/5/2026");
    EXPECT_EQ(h.flags, "0111111");
}

TEST_F(BookFile, CreateNeverReplacesAFileAndLeavesNothingWhenItCannotEncipher) {
    EXPECT_EQ(ErrorCode([&] { Book::Create(SystemFileSystem(), path, kKey, Book::NewHeader("/x/", "1/1/2026")); }), 58);
    EXPECT_EQ(bytes(), original);
    const std::string p = tmp.file("accent.dvl");
    EXPECT_EQ(ErrorCode([&] { Book::Create(SystemFileSystem(), p, kKey, Book::NewHeader("/caf\xE9/", "1/1/2026")); }),
              5);
    EXPECT_FALSE(std::filesystem::exists(p));
}

TEST_F(BookFile, PagesAreOneLineEachNumberedFromOneWithAPlainEndMark) {
    const auto lines = Lines(original);
    ASSERT_EQ(lines.size(), 4u);
    // " 1" under "key1": 32+107, 49+101.
    EXPECT_EQ(Fields(lines[1])[0], "\x8B\x96");
    for (size_t i = 1; i < lines.size(); ++i) {
        const Record r = Fields(lines[i]);
        EXPECT_EQ(r[4], "_");
        EXPECT_EQ(Decode(r[0], kKey), PageNumberText(static_cast<std::int64_t>(i)));
        EXPECT_EQ(Decode(r[3], kKey), pages[i - 1].text); // several lines stored on one line
    }
}

TEST_F(BookFile, ReadsPagesByPositionAndCountsThem) {
    Book book(path, kKey);
    EXPECT_EQ(book.countPages(), 3);
    for (int n = 1; n <= 3; ++n) {
        auto page = book.readPage(n);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->number, pages[n - 1].number);
        EXPECT_EQ(page->date, pages[n - 1].date);
        EXPECT_EQ(page->time, pages[n - 1].time);
        EXPECT_EQ(page->text, pages[n - 1].text);
    }
    EXPECT_FALSE(book.readPage(0));
    EXPECT_FALSE(book.readPage(4));
    auto last = book.readPageOrLast(99);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->first, 3);
    EXPECT_EQ(last->second.text, pages[2].text);
}

TEST_F(BookFile, ChecksThePasswordExactly) {
    EXPECT_TRUE(Book(path, "key1").checkPassword());
    EXPECT_FALSE(Book(path, "Key1").checkPassword());
    EXPECT_FALSE(Book(path, "key").checkPassword());
    EXPECT_FALSE(Book(path, "\xFF\xFF\xFF\xFF").checkPassword()); // the decipher itself fails: simply wrong
    EXPECT_FALSE(Book(path, "").checkPassword());
    EXPECT_EQ(ErrorCode([&] { Book(tmp.file("gone.dvl"), "key1").checkPassword(); }), 53);
    WriteFileBytes(tmp.file("text.dvl"), "just some text\n");
    EXPECT_EQ(ErrorCode([&] { Book(tmp.file("text.dvl"), "key1").checkPassword(); }), 62);
    WriteFileBytes(tmp.file("empty.dvl"), "");
    EXPECT_EQ(ErrorCode([&] { Book(tmp.file("empty.dvl"), "key1").checkPassword(); }), 62);
}

// Each header rewrite changes exactly one header field and nothing else.
TEST_F(BookFile, HeaderRewritesChangeOnlyTheirField) {
    const struct {
        const char* name;
        size_t field;
        std::string plain;
        std::function<void(Book&)> run;
    } cases[] = {
        {"date refresh", 3, "1/31/2027", [](Book& b) { b.refreshDate("1/31/2027"); }},
        {"flags", 4, "0000000", [](Book& b) { b.replaceFlags("0000000"); }},
        {"cover name", 2, "My long cover name with many words in it",
         [](Book& b) { b.replaceCoverName("My long cover name with many words in it"); }},
        {"empty cover name", 2, "", [](Book& b) { b.replaceCoverName(""); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(path, original);
        Book book(path, kKey);
        c.run(book);
        auto lines = Lines(original);
        Record header = Fields(lines[0]);
        header[c.field] = Enc(c.plain);
        lines[0] = FormatRecord(header);
        std::string expected;
        for (const auto& l : lines)
            expected += l;
        EXPECT_EQ(bytes(), expected);
        EXPECT_FALSE(scratchExists());
    }
}

TEST_F(BookFile, EditingPageTwoChangesOnlyItsTextField) {
    Book(path, kKey).replacePage(" 2", "New text\r\nwith two lines");
    auto lines = Lines(original);
    Record r = Fields(lines[2]);
    r[3] = Enc("New text\r\nwith two lines");
    lines[2] = FormatRecord(r);
    EXPECT_EQ(bytes(), lines[0] + lines[1] + lines[2] + lines[3]);
    EXPECT_FALSE(scratchExists());
}

TEST_F(BookFile, ReplacingANumberThatIsNotThereChangesNothing) {
    Book(path, kKey).replacePage("2", "no leading blank, no match");
    EXPECT_EQ(bytes(), original);
}

TEST_F(BookFile, DeletingPageTwoOfThreeRenumbers) {
    Book(path, kKey).removePage(2);
    const auto before = Lines(original);
    const auto after = Lines(bytes());
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);
    Record moved = Fields(before[3]);
    moved[0] = Enc(" 2");
    EXPECT_EQ(after[2], FormatRecord(moved));
    EXPECT_FALSE(scratchExists());
}

TEST_F(BookFile, DeletingTheOnlyPagesLeavesTheHeader) {
    Book book(path, kKey);
    book.removePage(3);
    book.removePage(1);
    book.removePage(1);
    EXPECT_EQ(bytes(), Lines(original)[0]);
    EXPECT_EQ(book.countPages(), 0);
}

TEST_F(BookFile, PasswordChangeKeepsEveryPlainValueAndEndMark) {
    Book book(path, kKey);
    book.changePassword("Secret99");
    EXPECT_EQ(book.password(), "Secret99");
    const auto before = Lines(original);
    const auto after = Lines(bytes());
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        Record a = Fields(before[i]), b = Fields(after[i]);
        for (size_t f = 0; f < (i == 0 ? 5u : 4u); ++f)
            EXPECT_EQ(Decode(b[f], "Secret99"), Decode(a[f], kKey)) << "line " << i << " field " << f;
        if (i > 0) {
            EXPECT_EQ(b[4], "_");
        }
    }
    EXPECT_FALSE(Book(path, kKey).checkPassword());
    EXPECT_TRUE(Book(path, "Secret99").checkPassword());
}

TEST_F(BookFile, PasswordChangeThatCannotEncipherLeavesTheBookUntouched) {
    // A text character of code 200 fits under "1111" (200 + 49) but not under "zzzz" (200 + 122).
    TempDir other;
    const std::string p = other.file("b.dvl");
    Book::Create(SystemFileSystem(), p, "1111", Book::NewHeader(other.dir(), "12/5/2026"));
    Book b(p, "1111");
    b.appendPage({" 1", "d", "t", "\xC8"});
    const std::string before = ReadFileBytes(p);
    EXPECT_EQ(ErrorCode([&] { b.changePassword("zzzz"); }), 5);
    EXPECT_EQ(ReadFileBytes(p), before);
    EXPECT_EQ(b.password(), "1111");
    EXPECT_FALSE(std::filesystem::exists(other.file("dvltemp.dvl")));
}

TEST_F(BookFile, AppendingTextTheCipherCannotCarryWritesNothing) {
    EXPECT_EQ(ErrorCode([&] { Book(path, kKey).appendPage({" 4", "d", "t", "caf\xE9"}); }), 5);
    EXPECT_EQ(bytes(), original);
}

TEST_F(BookFile, AppendsAfterALastRecordWithoutLineEnd) {
    std::string cut = original.substr(0, original.size() - 2);
    WriteFileBytes(path, cut);
    Book book(path, kKey);
    book.appendPage({" 4", "d", "t", "x"});
    EXPECT_EQ(book.countPages(), 4);
    EXPECT_EQ(book.readPage(4)->text, "x");
    EXPECT_EQ(book.readPage(3)->time, pages[2].time);
}

TEST_F(BookFile, RenameNeverReplacesAnotherFile) {
    WriteFileBytes(tmp.file("taken.dvl"), "other");
    Book book(path, kKey);
    EXPECT_EQ(ErrorCode([&] { book.rename("taken.dvl"); }), 58);
    EXPECT_EQ(bytes(), original);
    EXPECT_EQ(ReadFileBytes(tmp.file("taken.dvl")), "other");
    EXPECT_EQ(ErrorCode([&] { book.rename("a/b.dvl"); }), 52);
    book.rename("renamed.dvl");
    EXPECT_EQ(book.path(), tmp.file("renamed.dvl"));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ReadFileBytes(tmp.file("renamed.dvl")), original);
}

TEST_F(BookFile, CopyRecordsTheTargetDirectoryAndKeepsEveryPage) {
    TempDir target;
    Book book(path, kKey);
    book.copyTo(target.path().string(), Existing::Keep, Transfer::Copy);
    const auto src = Lines(original);
    const auto copy = Lines(ReadFileBytes(target.file("diary.dvl")));
    ASSERT_EQ(copy.size(), src.size());
    Record header = Fields(src[0]);
    header[1] = Enc(target.dir());
    EXPECT_EQ(copy[0], FormatRecord(header));
    for (size_t i = 1; i < src.size(); ++i)
        EXPECT_EQ(copy[i], src[i]);
    EXPECT_EQ(bytes(), original);
    EXPECT_EQ(book.path(), path);

    // Again: the copy exists and is replaced only when asked.
    EXPECT_EQ(ErrorCode([&] { book.copyTo(target.dir(), Existing::Keep, Transfer::Copy); }), 58);
    book.copyTo(target.dir(), Existing::Replace, Transfer::Copy);
    EXPECT_FALSE(std::filesystem::exists(target.file("dvltemp.dvl")));
}

TEST_F(BookFile, MoveRemovesTheSourceOnlyAfterTheCopy) {
    TempDir target;
    Book book(path, kKey);
    book.copyTo(target.dir(), Existing::Keep, Transfer::Move);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(book.path(), target.file("diary.dvl"));
    EXPECT_EQ(book.readHeader().directory, target.dir());
    EXPECT_EQ(book.countPages(), 3);
}

TEST_F(BookFile, NeverCopiesABookOntoItself) {
    Book book(path, kKey);
    EXPECT_NE(ErrorCode([&] { book.copyTo(tmp.dir(), Existing::Replace, Transfer::Copy); }), 0);
    EXPECT_NE(ErrorCode([&] { book.copyTo(tmp.dir() + "./", Existing::Replace, Transfer::Move); }), 0);
    EXPECT_EQ(bytes(), original);
}

TEST_F(BookFile, DeleteRemovesTheFile) {
    Book(path, kKey).remove();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ErrorCode([&] { Book(path, kKey).remove(); }), 53);
}

TEST_F(BookFile, AScratchFileLeftByACrashIsNeitherABookNorAnObstacle) {
    WriteFileBytes(tmp.file("dvltemp.dvl"), "half a book from a crash \"");
    Book(path, kKey).replaceCoverName("After the crash");
    EXPECT_FALSE(scratchExists());
    EXPECT_EQ(Book(path, kKey).readHeader().coverName, "After the crash");

    // A link planted in its place is removed, never followed.
    TempDir elsewhere;
    WriteFileBytes(elsewhere.file("victim"), "keep me");
    std::filesystem::create_symlink(elsewhere.file("victim"), tmp.file("dvltemp.dvl"));
    Book(path, kKey).replaceCoverName("Again");
    EXPECT_EQ(ReadFileBytes(elsewhere.file("victim")), "keep me");
    EXPECT_FALSE(std::filesystem::exists(tmp.file("dvltemp.dvl")));
}

TEST_F(BookFile, RewritesKeepPermissionsAndGoThroughLinks) {
    ::chmod(path.c_str(), 0640);
    TempDir links;
    const std::string link = links.file("link.dvl");
    std::filesystem::create_symlink(path, link);
    Book(link, kKey).replaceFlags("1111111");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Book(path, kKey).readHeader().flags, "1111111");
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_FALSE(std::filesystem::exists(links.file("dvltemp.dvl")));
}

TEST_F(BookFile, AnotherCopyRewritingInTheSameDirectoryIsWaitedFor) {
    int other = ::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(other);
    });
    Book(path, kKey).replaceCoverName("Waited");
    release.join();
    EXPECT_EQ(Book(path, kKey).readHeader().coverName, "Waited");
}

TEST_F(BookFile, AnotherCopyThatNeverFinishesGivesAClearErrorAndLosesNothing) {
    int other = ::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    try {
        Book(path, kKey).replaceCoverName("Blocked");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::BookInUse);
        EXPECT_NE(std::string(e.what()).find("Another copy of Dayvell"), std::string::npos);
    }
    ::close(other);
    EXPECT_EQ(bytes(), original);
}

} // namespace

namespace {

// Book directories are Windows-1252 text; the file system names them in UTF-8.
TEST(BookPaths, AccentedDirectoryNamesReachTheRightFiles) {
    TempDir tmp;
    // "Ärger" as the file system spells it, and as the program keeps it (A umlaut, 196, fits under "1111").
    std::filesystem::create_directory(tmp.path() / "\xC3\x84rger");
    const std::string dir = tmp.dir() + "\xC4rger/";
    const std::string path = dir + "d.dvl";
    Book::Create(SystemFileSystem(), path, "1111", Book::NewHeader(dir, "1/1/2026"));
    EXPECT_TRUE(std::filesystem::exists(tmp.path() / "\xC3\x84rger" / "d.dvl"));
    Book book(path, "1111");
    book.appendPage({" 1", "d", "t", "x"});
    book.replaceCoverName("Accents");
    EXPECT_EQ(book.readHeader().directory, dir);
    EXPECT_EQ(book.countPages(), 1);
    book.rename("e.dvl");
    EXPECT_TRUE(std::filesystem::exists(tmp.path() / "\xC3\x84rger" / "e.dvl"));
}

} // namespace

namespace {

// A book named like the scratch file would be emptied by the next rewrite in its directory.
TEST(BookPaths, TheScratchFileNameIsNeverABook) {
    TempDir tmp;
    int code = 0;
    try {
        Book::Create(SystemFileSystem(), tmp.file("dvltemp.dvl"), "1111", Book::NewHeader(tmp.dir(), "1/1/2026"));
    } catch (const RuntimeError& e) {
        code = e.code();
    }
    EXPECT_EQ(code, 52);
    EXPECT_FALSE(std::filesystem::exists(tmp.file("dvltemp.dvl")));

    Book::Create(SystemFileSystem(), tmp.file("a.dvl"), "1111", Book::NewHeader(tmp.dir(), "1/1/2026"));
    Book book(tmp.file("a.dvl"), "1111");
    try {
        book.rename("DvlTemp.DVL");
        FAIL() << "renamed to the scratch file's name";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), 52);
    }
    // One that exists anyway (made by hand) is refused, never rewritten.
    std::filesystem::copy_file(tmp.file("a.dvl"), tmp.file("dvltemp.dvl"));
    const std::string before = ReadFileBytes(tmp.file("dvltemp.dvl"));
    try {
        Book(tmp.file("dvltemp.dvl"), "1111").replaceCoverName("x");
        FAIL() << "rewrote the scratch file as a book";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), 52);
    }
    EXPECT_EQ(ReadFileBytes(tmp.file("dvltemp.dvl")), before);
}

} // namespace
