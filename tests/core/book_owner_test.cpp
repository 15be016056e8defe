// SPDX-License-Identifier: GPL-3.0-or-later
// Books of several users: a change made by someone other than the book's owner (the administrator, a member of a
// shared folder's group) keeps the book its owner's or is refused, a move out of a folder the user may not remove
// files from is refused before anything is copied, and a book's access control list stays what it was.
#include "BookFixture.h"

#include "core/RuntimeError.h"

#include <grp.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

using namespace dayvell;
using namespace dayvell::test;

namespace {

// Ids no account of the machine uses.
constexpr uid_t kAnna = 64001;
constexpr uid_t kBen = 64002;
constexpr gid_t kAnnasGroup = 64001;
constexpr gid_t kBensGroup = 64002;
constexpr gid_t kShared = 64010;

struct Ids {
    uid_t uid;
    gid_t gid;
};

// Runs `work` in a child process as the user `uid`, with `gid` as group and `groups` as supplementary groups.
// Returns the code of the RuntimeError it threw, 0 when it threw none, and -1 for anything else.
int AsUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups, const std::function<void()>& work) {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        int code = -1;
        if (::setgroups(groups.size(), groups.data()) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0) {
            try {
                work();
                code = 0;
            } catch (const RuntimeError& e) {
                code = e.code();
            } catch (...) {
            }
        }
        (void)!::write(fds[1], &code, sizeof code);
        ::_exit(0);
    }
    ::close(fds[1]);
    int code = -1;
    if (::read(fds[0], &code, sizeof code) != sizeof code)
        code = -1;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return code;
}

Ids OwnerOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {st.st_uid, st.st_gid};
}

void Give(const std::filesystem::path& path, uid_t uid, gid_t gid, mode_t mode) {
    ASSERT_EQ(::chown(path.c_str(), uid, gid), 0) << path;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

class Owners : public BookFixture {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "acting as other users needs the administrator";
        BookFixture::SetUp();
    }
};

TEST_F(Owners, TheAdministratorsChangesLeaveTheBookItsOwner) {
    TempDir target;
    struct Case {
        const char* what;
        std::function<void(Book&)> change;
        // Where the book is afterwards.
        std::string after;
    };
    const Case cases[] = {
        {"date refresh", [](Book& b) { b.refreshDate("1/1/2027"); }, path},
        {"flags", [](Book& b) { b.replaceFlags("0000000"); }, path},
        {"cover name", [](Book& b) { b.replaceCoverName("Anna's"); }, path},
        {"page replacement", [](Book& b) { b.replacePage(" 2", "edited"); }, path},
        {"page removal", [](Book& b) { b.removePage(1); }, path},
        {"password", [](Book& b) { b.changePassword("Other99"); }, path},
        {"rename", [](Book& b) { b.rename("renamed.dvl"); }, tmp.file("renamed.dvl")},
        {"move", [&](Book& b) { b.copyTo(target.dir(), Existing::Keep, Transfer::Move); }, target.file("diary.dvl")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(path, original);
        Give(path, kAnna, kAnnasGroup, 0600);
        Book book(path, kKey);
        c.change(book);
        const Ids ids = OwnerOf(c.after);
        EXPECT_EQ(ids.uid, kAnna);
        EXPECT_EQ(ids.gid, kAnnasGroup);
        struct stat st {};
        ::stat(c.after.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        std::filesystem::remove(c.after);
    }
}

TEST_F(Owners, ACopyIsTheBookOwnersWhereTheWriterMayGiveItAway) {
    TempDir annas, bens;
    Give(tmp.path(), 0, 0, 0755);
    Give(path, kAnna, kAnnasGroup, 0644);
    Give(annas.path(), kAnna, kAnnasGroup, 0755);
    Give(bens.path(), kBen, kBensGroup, 0755);
    // The administrator's backup stays Anna's; Ben's copy of a book he may read is his.
    Book(path, kKey).copyTo(annas.dir(), Existing::Keep, Transfer::Copy);
    EXPECT_EQ(OwnerOf(annas.file("diary.dvl")).uid, kAnna);
    EXPECT_EQ(AsUser(kBen, kBensGroup, {kBensGroup},
                     [&] { Book(path, kKey).copyTo(bens.dir(), Existing::Keep, Transfer::Copy); }),
              0);
    EXPECT_EQ(OwnerOf(bens.file("diary.dvl")).uid, kBen);
    EXPECT_EQ(OwnerOf(path).uid, kAnna);
    EXPECT_EQ(bytes(), original);
}

// A folder shared by a group: each member's change keeps the book's group, and a change to another member's book,
// which could only hand the book to the one who changed it, is refused with nothing changed.
TEST_F(Owners, InASharedFolderABookKeepsItsGroupOrTheChangeIsRefused) {
    Give(tmp.path(), 0, kShared, 02777);
    struct Case {
        const char* what;
        Ids book;
        int code;
    };
    const Case cases[] = {
        {"Anna's own book, in the shared group", {kAnna, kShared}, 0},
        {"Anna's own book, in her other group", {kAnna, kAnnasGroup}, 0},
        {"Ben's book", {kBen, kShared}, code::OwnerNotKept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(path, original);
        Give(path, c.book.uid, c.book.gid, 0660);
        const int code =
            AsUser(kAnna, kAnnasGroup, {kAnnasGroup, kShared}, [&] { Book(path, kKey).replaceCoverName("Shared"); });
        EXPECT_EQ(code, c.code);
        const Ids after = OwnerOf(path);
        EXPECT_EQ(after.uid, c.book.uid);
        EXPECT_EQ(after.gid, c.book.gid);
        if (c.code == 0) {
            EXPECT_EQ(Book(path, kKey).readHeader().coverName, "Shared");
        } else {
            EXPECT_EQ(bytes(), original);
        }
        EXPECT_FALSE(scratchExists());
    }
}

// What a move needs, the right to remove the book from its folder, is checked before anything is copied: a refused
// move leaves no copy behind to be met as "File already exists" next time.
TEST_F(Owners, AMoveTheUserCannotFinishIsRefusedBeforeAnythingIsCopied) {
    TempDir target;
    Give(target.path(), 0, 0, 0777);
    struct Case {
        const char* what;
        mode_t folderMode;
        uid_t bookOwner;
        Transfer transfer;
        int code;
    };
    const Case cases[] = {
        {"out of a folder Anna may not write", 0755, kAnna, Transfer::Move, 70},
        {"someone else's book out of a folder with the sticky bit", 01777, kBen, Transfer::Move, 70},
        {"her own book out of a folder with the sticky bit", 01777, kAnna, Transfer::Move, 0},
        {"a copy out of a folder Anna may not write", 0755, kAnna, Transfer::Copy, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(path, original);
        Give(tmp.path(), 0, 0, c.folderMode);
        Give(path, c.bookOwner, c.bookOwner, 0644);
        const int code = AsUser(kAnna, kAnnasGroup, {kAnnasGroup},
                                [&] { Book(path, kKey).copyTo(target.dir(), Existing::Keep, c.transfer); });
        EXPECT_EQ(code, c.code);
        const bool moved = c.transfer == Transfer::Move && c.code == 0;
        EXPECT_EQ(std::filesystem::exists(path), !moved);
        if (!moved) {
            EXPECT_EQ(bytes(), original);
        }
        EXPECT_EQ(std::filesystem::exists(target.file("diary.dvl")), c.code == 0);
        EXPECT_FALSE(std::filesystem::exists(target.file("dvltemp.dvl")));
        std::filesystem::remove(target.file("diary.dvl"));
    }
}

// A POSIX access control list as the kernel stores it: a version, then entries of tag, permissions and id.
std::string Acl(const std::vector<std::tuple<std::uint16_t, std::uint16_t, std::uint32_t>>& entries) {
    std::string blob;
    auto put = [&](const void* p, size_t n) { blob.append(static_cast<const char*>(p), n); };
    const std::uint32_t version = 2;
    put(&version, 4);
    for (const auto& [tag, perm, id] : entries) {
        put(&tag, 2);
        put(&perm, 2);
        put(&id, 4);
    }
    return blob;
}

constexpr std::uint16_t kUserObj = 0x01, kUser = 0x02, kGroupObj = 0x04, kMask = 0x10, kOther = 0x20;
constexpr std::uint32_t kNoId = 0xFFFFFFFF;

std::optional<std::string> AccessAcl(const std::string& path) {
    char buffer[256];
    const ssize_t n = ::getxattr(path.c_str(), "system.posix_acl_access", buffer, sizeof buffer);
    if (n < 0)
        return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

using AccessLists = BookFixture;

TEST_F(AccessLists, AnAccessListStaysTheBooksOwnAcrossAChange) {
    // The book lets Ben read it; the folder would give new files a list letting him read and write.
    const std::string bookAcl =
        Acl({{kUserObj, 6, kNoId}, {kUser, 4, kBen}, {kGroupObj, 0, kNoId}, {kMask, 4, kNoId}, {kOther, 0, kNoId}});
    const std::string folderAcl =
        Acl({{kUserObj, 7, kNoId}, {kUser, 6, kBen}, {kGroupObj, 0, kNoId}, {kMask, 6, kNoId}, {kOther, 0, kNoId}});
    if (::setxattr(path.c_str(), "system.posix_acl_access", bookAcl.data(), bookAcl.size(), 0) != 0)
        GTEST_SKIP() << "this disk keeps no access lists: " << std::strerror(errno);
    ASSERT_EQ(::setxattr(tmp.path().c_str(), "system.posix_acl_default", folderAcl.data(), folderAcl.size(), 0), 0);
    const auto before = AccessAcl(path);
    ASSERT_TRUE(before);

    Book(path, kKey).replaceCoverName("Listed");
    EXPECT_EQ(AccessAcl(path), before);

    // A book without a list gets none from the folder either.
    ASSERT_EQ(::removexattr(path.c_str(), "system.posix_acl_access"), 0);
    ::chmod(path.c_str(), 0600);
    Book(path, kKey).replaceCoverName("Unlisted");
    EXPECT_EQ(AccessAcl(path), std::nullopt);
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

} // namespace
