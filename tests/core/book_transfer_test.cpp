// SPDX-License-Identifier: GPL-3.0-or-later
// Copying, moving and re-enciphering a whole book: folders told apart by their identity on disk, books reached
// through links, and keys that cannot carry a field refused before anything is written.
#include "BookFixture.h"

#include "core/RuntimeError.h"

#include <fcntl.h>

#include <map>

using namespace dayvell;
using namespace dayvell::test;

namespace {

using Transfers = BookFixture;

int ErrorCode(Book& book, const std::string& dir, Existing existing) {
    try {
        book.copyTo(dir, existing, Transfer::Copy);
    } catch (const RuntimeError& e) {
        return e.code();
    }
    return 0;
}

// Every entry below `root`, links included as links, with the bytes of each regular file.
std::map<std::string, std::string> Tree(const std::filesystem::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string name = std::filesystem::relative(e.path(), root).string();
        if (e.is_symlink())
            tree[name] = "-> " + std::filesystem::read_symlink(e.path()).string();
        else if (e.is_regular_file())
            tree[name] = ReadFileBytes(e.path().string());
        else
            tree[name] = "<dir>";
    }
    return tree;
}

TEST_F(Transfers, TheBooksOwnFolderIsRefusedHoweverItIsSpelled) {
    std::filesystem::create_directory(tmp.path() / "sub");
    TempDir links;
    std::filesystem::create_directory_symlink(tmp.path(), links.path() / "to-books");
    const std::string name = tmp.path().filename().string();
    struct Case {
        const char* what;
        std::string dir;
    };
    const Case cases[] = {
        {"as stored", tmp.dir()},
        {"without a trailing separator", tmp.path().string()},
        {"with two trailing separators", tmp.dir() + "/"},
        {"through ./", tmp.dir() + "./"},
        {"through a subfolder and ..", tmp.dir() + "sub/.."},
        {"through the parent and its name", tmp.dir() + "../" + name},
        {"through a link to the folder", (links.path() / "to-books").string()},
        {"through a link with a trailing separator", (links.path() / "to-books").string() + "/"},
    };
    const auto before = Tree(tmp.path());
    for (const Case& c : cases) {
        for (const Transfer transfer : {Transfer::Copy, Transfer::Move}) {
            for (const Existing existing : {Existing::Keep, Existing::Replace}) {
                SCOPED_TRACE(std::string(c.what) + (transfer == Transfer::Move ? ", move" : ", copy") +
                             (existing == Existing::Replace ? ", replacing" : ""));
                Book book(path, kKey);
                EXPECT_TRUE(book.isIn(c.dir));
                EXPECT_THROW(book.copyTo(c.dir, existing, transfer), SameDirectory);
                EXPECT_EQ(book.path(), path);
                EXPECT_EQ(Tree(tmp.path()), before);
            }
        }
    }
    EXPECT_FALSE(Book(path, kKey).isIn(tmp.dir() + "sub"));
}

TEST_F(Transfers, ABookReachedThroughALinkIsMovedAsTheFileAndTheLinkGoes) {
    TempDir links, target;
    const std::string link = links.file("diary.dvl");
    std::filesystem::create_symlink(path, link);

    // Neither the link's folder nor the file's folder is somewhere else.
    for (const std::string& own : {links.dir(), tmp.dir()}) {
        Book book(link, kKey);
        EXPECT_TRUE(book.isIn(own)) << own;
        EXPECT_THROW(book.copyTo(own, Existing::Replace, Transfer::Move), SameDirectory) << own;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(bytes(), original);

    Book book(link, kKey);
    book.copyTo(target.dir(), Existing::Keep, Transfer::Move);
    EXPECT_EQ(book.path(), target.file("diary.dvl"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << "a dangling link was left";
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::is_symlink(target.file("diary.dvl")));
    EXPECT_EQ(book.readHeader().directory, target.dir());
    EXPECT_EQ(book.countPages(), 3);
    EXPECT_EQ(book.readPage(2)->text, pages[1].text);
}

TEST_F(Transfers, ACopyThroughALinkLeavesLinkAndFileAlone) {
    TempDir links, target;
    const std::string link = links.file("diary.dvl");
    std::filesystem::create_symlink(path, link);
    Book book(link, kKey);
    book.copyTo(target.dir(), Existing::Keep, Transfer::Copy);
    EXPECT_EQ(book.path(), link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(bytes(), original);
    EXPECT_EQ(Book(target.file("diary.dvl"), kKey).readHeader().directory, target.dir());
}

TEST_F(Transfers, ReplacingTakesThePlaceOfTheOldFileAndKeepsNothingOfIt) {
    TempDir target;
    WriteFileBytes(target.file("diary.dvl"), std::string(100000, 'x')); // longer than the book
    Book book(path, kKey);
    EXPECT_EQ(ErrorCode(book, target.dir(), Existing::Keep), 58);
    EXPECT_EQ(ReadFileBytes(target.file("diary.dvl")), std::string(100000, 'x'));
    book.copyTo(target.dir(), Existing::Replace, Transfer::Copy);
    auto copy = Lines(ReadFileBytes(target.file("diary.dvl")));
    auto source = Lines(original);
    ASSERT_EQ(copy.size(), source.size());
    for (size_t i = 1; i < source.size(); ++i)
        EXPECT_EQ(copy[i], source[i]);
    EXPECT_EQ(Tree(target.path()).size(), 1u) << "scratch file left behind";
}

// A folder named with a character the key cannot carry could not be recorded in the copy's header.
TEST(TransferCarry, AFolderTheKeyCannotCarryIsRefusedBeforeAnythingIsWritten) {
    TempDir tmp;
    const std::string path = tmp.file("b.dvl");
    Book::Create(SystemFileSystem(), path, "zzzz", Book::NewHeader(tmp.dir(), "12/5/2026"));
    const std::string before = ReadFileBytes(path);
    // "Èté" as the file system spells it; È (200) plus z (122) is past 255.
    std::filesystem::create_directory(tmp.path() / "\xC3\x88t\xC3\xA9");
    const std::string target = tmp.dir() + "\xC8t\xE9/";
    for (const Transfer transfer : {Transfer::Copy, Transfer::Move}) {
        Book book(path, "zzzz");
        try {
            book.copyTo(target, Existing::Replace, transfer);
            FAIL() << "no refusal";
        } catch (const UncarriedCharacter& e) {
            EXPECT_EQ(e.character(), 0xC8);
            EXPECT_EQ(e.place(), Place::Folder);
            EXPECT_EQ(e.placeName(), "the book's folder");
        }
        EXPECT_TRUE(std::filesystem::is_empty(tmp.path() / "\xC3\x88t\xC3\xA9"));
        EXPECT_EQ(ReadFileBytes(path), before);
        EXPECT_EQ(book.path(), path);
    }
}

// Fails the test on any attempt to open a file for writing: the refusal must come first.
class NoWritesFileSystem : public FileSystem {
public:
    int open(const char* p, int flags, mode_t mode) override {
        if ((flags & O_ACCMODE) != O_RDONLY)
            ADD_FAILURE() << "opened for writing: " << p;
        return FileSystem::open(p, flags, mode);
    }
};

TEST(PasswordCarry, ANewKeyThatCannotCarryAFieldIsRefusedNamingCharacterAndPlace) {
    // The old key "1111" (49) carries È (200); "zzzz" (122) does not.
    struct Case {
        const char* what;
        std::string directory, coverName;
        std::vector<std::string> texts; // one page each
        std::string newKey;
        unsigned char character;
        Place place;
        std::int64_t page;
        std::string placeName;
    };
    const Case cases[] = {
        {"cover name", "/books/", "Cr\xC8me", {"plain"}, "zzzz", 0xC8, Place::CoverName, 0, "the cover name"},
        {"folder", "/b\xC8/", "___", {"plain"}, "zzzz", 0xC8, Place::Folder, 0, "the book's folder"},
        {"second page", "/books/", "___", {"one", "tw\xC8", "three \xC8"}, "zzzz", 0xC8, Place::Page, 2, "page 2"},
        {"last page", "/books/", "___", {"one", "two", "\xC8"}, "abcz", 0xC8, Place::Page, 3, "page 3"},
        // A new key character too high for the check phrase itself ("m" is 109, the key's "\xE9" 233).
        {"check phrase", "/books/", "___", {}, "\xE9\xE9\xE9\xE9", 'm', Place::CheckPhrase, 0, "the check phrase"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        const std::string path = tmp.file("b.dvl");
        Book::Create(SystemFileSystem(), path, "1111", Book::NewHeader(c.directory, "12/5/2026"));
        Book(path, "1111").replaceCoverName(c.coverName);
        for (size_t i = 0; i < c.texts.size(); ++i)
            Book(path, "1111")
                .appendPage({" " + std::to_string(i + 1), "Saturday, 12/5/2026", "1:46:33 PM", c.texts[i]});
        const std::string before = ReadFileBytes(path);

        NoWritesFileSystem fs;
        Book book(path, "1111", fs);
        try {
            book.changePassword(c.newKey);
            FAIL() << "no refusal";
        } catch (const UncarriedCharacter& e) {
            EXPECT_EQ(e.character(), c.character);
            EXPECT_EQ(e.place(), c.place);
            EXPECT_EQ(e.page(), c.page);
            EXPECT_EQ(e.placeName(), c.placeName);
            EXPECT_EQ(e.code(), 5);
        }
        EXPECT_EQ(book.password(), "1111");
        EXPECT_EQ(ReadFileBytes(path), before);
        EXPECT_FALSE(std::filesystem::exists(tmp.file("dvltemp.dvl")));
        EXPECT_TRUE(Book(path, "1111").checkPassword());
    }
}

// Every field after a password change is exactly Encode(Decode(field, old key), new key), for keys of every length
// pairing, for fields longer than the stretch the keys are laid out over, and for a field that only deciphers by
// the codec's sum rule (written under another key).
TEST_F(Transfers, EveryFieldAfterAPasswordChangeIsTheOldPlainTextUnderTheNewKey) {
    struct Case {
        std::string oldKey, newKey;
        bool pageUnderOtherKey;
    };
    const Case cases[] = {{"1111", "Secret99", false},        {"abc", "defghij", false}, {"key1", "key1", false},
                          {"abcdefghij", "123456789", false}, {"zzzz", "!!!!", true},    {"Kw7#", "!#%&()", true}};
    std::string longText;
    for (int i = 0; longText.size() < 10000; ++i)
        longText += "line " + std::to_string(i) + " of a long page\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.oldKey + " -> " + c.newKey);
        TempDir tmp;
        const std::string path = tmp.file("b.dvl");
        Book::Create(SystemFileSystem(), path, c.oldKey, Book::NewHeader(tmp.dir(), "12/5/2026"));
        Book(path, c.oldKey).appendPage({" 1", "Saturday, 12/5/2026", "1:46:33 PM", longText});
        Book(path, c.oldKey).appendPage({" 2", "Sunday, 12/6/2026", "9:05:00 AM", ""});
        // Written under a key of spaces: under the old key its letters only decipher by the sum rule. Added by hand,
        // as a book damaged elsewhere might hold it: the book itself writes only with a key that opens it.
        if (c.pageUnderOtherKey) {
            const std::string spaces = "    ";
            WriteFileBytes(path, ReadFileBytes(path) + FormatRecord({Encode(" 3", spaces), Encode("d", spaces),
                                                                     Encode("t", spaces), Encode("ABC", spaces), "_"}));
        }
        const std::string before = ReadFileBytes(path);

        Book(path, c.oldKey).changePassword(c.newKey);
        const auto oldLines = Lines(before);
        const auto newLines = Lines(ReadFileBytes(path));
        ASSERT_EQ(newLines.size(), oldLines.size());
        for (size_t line = 0; line < oldLines.size(); ++line) {
            const Record was = Fields(oldLines[line]), is = Fields(newLines[line]);
            for (size_t f = 0; f < 5; ++f) {
                const bool plain = line > 0 && f == 4;
                EXPECT_EQ(is[f], plain ? was[f] : Encode(Decode(was[f], c.oldKey), c.newKey))
                    << "line " << line << " field " << f;
            }
        }
    }
}

// The key an object keeps after a failed change is the one the file on disk answers to.
TEST_F(Transfers, AfterAFailedPasswordChangeTheKeyInForceIsTheOneOnDisk) {
    // A folder where the scratch file would go stops the change before the book is touched.
    std::filesystem::create_directory(tmp.path() / "dvltemp.dvl");
    Book book(path, kKey);
    EXPECT_THROW(book.changePassword("Other123"), RuntimeError);
    EXPECT_EQ(book.password(), kKey);
    EXPECT_TRUE(Book(path, book.password()).checkPassword());
    std::filesystem::remove(tmp.path() / "dvltemp.dvl");

    book.changePassword("Other123");
    EXPECT_EQ(book.password(), "Other123");
    EXPECT_TRUE(Book(path, book.password()).checkPassword());
    EXPECT_FALSE(Book(path, kKey).checkPassword());
}

} // namespace
