// SPDX-License-Identifier: GPL-3.0-or-later
// Books on a disk like a network share: a FUSE file system without hard links and without the rename that refuses
// to replace. Every operation works there, never replaces what it must not, and never leaves a book with two names.
#include "core/Book.h"
#include "core/RuntimeError.h"
#include "core/TempDir.h"

#ifdef DAYVELL_HAVE_FUSE
#include "fuse/ShareLikeMount.h"
#endif

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>

using namespace dayvell;
using namespace dayvell::test;

namespace {

constexpr const char* kKey = "Secret1";

// Every file of a folder, with its bytes; each must have one name only.
std::map<std::string, std::string> Files(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        struct stat st {};
        EXPECT_EQ(::stat(e.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_nlink, 1u) << e.path() << " has another name";
        files[e.path().filename().string()] = ReadFileBytes(e.path().string());
    }
    return files;
}

int ErrorCode(const std::function<void()>& work) {
    try {
        work();
    } catch (const RuntimeError& e) {
        return e.code();
    }
    return 0;
}

class ShareLikeDisk : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef DAYVELL_HAVE_FUSE
        std::filesystem::create_directory(mountPoint.path() / "share");
        m_mount.emplace(backing.path().string(), (mountPoint.path() / "share").string());
        if (!m_mount->mounted())
            GTEST_SKIP() << m_mount->failure();
        share = (mountPoint.path() / "share").string() + "/";
        // The file system really is one without hard links and without the no-replace rename.
        WriteFileBytes(share + "probe", "x");
        ASSERT_NE(::link((share + "probe").c_str(), (share + "probe2").c_str()), 0);
        ASSERT_NE(
            ::renameat2(AT_FDCWD, (share + "probe").c_str(), AT_FDCWD, (share + "probe3").c_str(), RENAME_NOREPLACE),
            0);
        std::filesystem::remove(share + "probe");
#else
        GTEST_SKIP() << "built without libfuse3";
#endif
    }
    void TearDown() override {
#ifdef DAYVELL_HAVE_FUSE
        m_mount.reset();
#endif
    }
    std::string folder(const std::string& name) {
        std::filesystem::create_directories(share + name);
        return share + name + "/";
    }

    TempDir backing, mountPoint, local;
    std::string share;

private:
#ifdef DAYVELL_HAVE_FUSE
    std::optional<ShareLikeMount> m_mount;
#endif
};

TEST_F(ShareLikeDisk, EveryOperationWorksAndNoBookHasTwoNames) {
    const std::string a = folder("a");
    const std::string diary = a + "diary.dvl";
    Book::Create(SystemFileSystem(), diary, kKey, Book::NewHeader(a, "12/5/2026"));
    Book book(diary, kKey);
    for (int n = 1; n <= 3; ++n)
        book.appendPage({"", "Saturday, 12/5/2026", "1:46:33 PM", "Page " + std::to_string(n)});
    book.refreshDate("1/1/2027");
    book.replaceFlags("0000000");
    book.replaceCoverName("On the share");
    book.replacePage(" 2", "Edited");
    book.removePage(1);
    book.changePassword("Other99");
    EXPECT_EQ(book.readHeader().coverName, "On the share");
    EXPECT_EQ(book.readHeader().lastAccess, "1/1/2027");
    EXPECT_EQ(book.readHeader().flags, "0000000");
    EXPECT_EQ(book.countPages(), 2);
    EXPECT_EQ(book.readPage(1)->text, "Edited");
    EXPECT_EQ(book.readPage(2)->number, " 2");
    const std::string content = ReadFileBytes(diary);
    EXPECT_EQ(Files(a), (std::map<std::string, std::string>{{"diary.dvl", content}}));

    // Renamed, and back.
    book.rename("other.dvl");
    EXPECT_EQ(Files(a), (std::map<std::string, std::string>{{"other.dvl", content}}));
    book.rename("diary.dvl");
    EXPECT_EQ(Files(a), (std::map<std::string, std::string>{{"diary.dvl", content}}));

    // Copied within the share, to the local disk, and moved there and back.
    const std::string b = folder("b");
    book.copyTo(b, Existing::Keep, Transfer::Copy);
    EXPECT_EQ(Book(b + "diary.dvl", "Other99").readHeader().directory, b);
    book.copyTo(b, Existing::Replace, Transfer::Copy);
    book.copyTo(local.dir(), Existing::Keep, Transfer::Copy);
    EXPECT_EQ(Book(local.file("diary.dvl"), "Other99").countPages(), 2);
    const std::string c = folder("c");
    book.copyTo(c, Existing::Keep, Transfer::Move);
    EXPECT_EQ(book.path(), c + "diary.dvl");
    EXPECT_TRUE(Files(a).empty());
    std::filesystem::remove(local.file("diary.dvl"));
    book.copyTo(local.dir(), Existing::Keep, Transfer::Move);
    EXPECT_TRUE(Files(c).empty());
    book.copyTo(a, Existing::Keep, Transfer::Move);
    EXPECT_EQ(book.path(), diary);
    EXPECT_EQ(book.readHeader().directory, a);
    EXPECT_EQ(book.readPage(1)->text, "Edited");
    book.appendPage({"", "Sunday, 12/6/2026", "9:00:00 AM", "Back home"});
    EXPECT_EQ(book.countPages(), 3);
    EXPECT_EQ(Files(a).size(), 1u);
    EXPECT_EQ(Files(b).size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(a + "dvltemp.dvl"));
}

// Without the kernel's help, the program itself must never put a file over another it was not told to replace.
TEST_F(ShareLikeDisk, NothingIsReplacedUnlessAsked) {
    const std::string a = folder("a");
    const std::string b = folder("b");
    Book::Create(SystemFileSystem(), a + "diary.dvl", kKey, Book::NewHeader(a, "12/5/2026"));
    const std::string book = ReadFileBytes(a + "diary.dvl");
    WriteFileBytes(a + "taken.dvl", "another file");
    WriteFileBytes(b + "diary.dvl", "an older backup");
    struct Case {
        const char* what;
        std::function<void()> work;
    };
    const Case cases[] = {
        {"creating over a file",
         [&] { Book::Create(SystemFileSystem(), a + "taken.dvl", kKey, Book::NewHeader(a, "12/5/2026")); }},
        {"renaming onto a file", [&] { Book(a + "diary.dvl", kKey).rename("taken.dvl"); }},
        {"copying onto a file", [&] { Book(a + "diary.dvl", kKey).copyTo(b, Existing::Keep, Transfer::Copy); }},
        {"moving onto a file", [&] { Book(a + "diary.dvl", kKey).copyTo(b, Existing::Keep, Transfer::Move); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ErrorCode(c.work), code::FileExists);
        EXPECT_EQ(Files(a), (std::map<std::string, std::string>{{"diary.dvl", book}, {"taken.dvl", "another file"}}));
        EXPECT_EQ(Files(b), (std::map<std::string, std::string>{{"diary.dvl", "an older backup"}}));
    }
}

} // namespace
