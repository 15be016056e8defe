// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"

#include <string>
#include <string_view>

namespace dayvell {

// How a change reaches the disk safely, whatever the records it writes. Every change runs under its folder's lock;
// what it writes goes to the scratch file beside its destination, which takes the book's owner and permissions, is
// synced, and is renamed into place without ever replacing what it must not; then the folder is synced. Until the
// rename a failure removes the scratch file and nothing else has changed.

inline constexpr std::string_view kScratchName = "dvltemp.dvl";

// What a change does when its destination already holds a file of that name.
enum class Existing { Keep, Replace };

// An open folder, known by its identity on disk (device and inode) whatever its path's spelling, and locked when
// asked. The exclusive lock keeps two running copies of the program from sharing the folder's scratch file. It
// sits on the folder itself: a lock on the scratch file would travel with it when the rename turns it into the
// book. The folder is opened before it is locked, so that two paths of one folder are recognised before a second
// lock on it would wait for the first. Closing releases the lock.
class FolderLock {
public:
    FolderLock(FileSystem& fs, std::string dir);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    const std::string& path() const { return m_path; }
    const struct stat& status() const { return m_stat; }
    bool sameAs(const FolderLock& other) const;
    // One order for every pair of folders, so that two programs locking the same two never wait for each other.
    bool before(const FolderLock& other) const;

    // Takes the lock. Another copy of the program may hold it for as long as its change takes, a long one
    // included: this one waits while that copy shows signs of work (the folder's scratch file grows, or the
    // folder's time moves), saying so through the file system's waiting port after a moment, and gives up with
    // code::BookInUse once the other has shown no sign for the file system's patience, or when the user cancels.
    void lock();
    // Makes renames in the folder durable; throws when the disk says it could not.
    void sync();
    // The same after a change that is made and cannot be taken back. A failure is not reported: saying the change
    // failed would invite the user to make it twice, and a crash before the disk catches up brings back the old
    // content, never a broken one.
    void syncMadeChange() noexcept;

private:
    // Whether the lock was free; throws on a failure other than another holder.
    bool tryLock();

    FileSystem& m_fs;
    std::string m_path;
    int m_fd = -1;
    bool m_locked = false;
    struct stat m_stat {};
};

// A folder opened and locked at once.
class DirectoryLock : public FolderLock {
public:
    DirectoryLock(FileSystem& fs, const std::string& dir) : FolderLock(fs, dir) { lock(); }
};

// Whose a file written through the scratch file becomes.
enum class Owner {
    // The writer's: a new book.
    Writer,
    // The book's, or the change is refused (code::OwnerNotKept): no change may take a book from its owner or its
    // group.
    Book,
    // The book's where the system allows it, else the writer's: a copy, which the writer may keep as their own.
    BookIfAllowed,
};

// The scratch file of a folder whose lock is held: started afresh, written, and renamed into place. Until then
// dropping it removes it, and nothing else has changed.
class ScratchFile {
public:
    // A scratch file left by an interrupted change holds nothing the book does not: it is started afresh, and a link
    // planted in its place is never followed. Anything else of that name is not ours to remove (error 58).
    ScratchFile(FileSystem& fs, const std::string& dir);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    int fd() const { return m_file.fd(); }
    // Gives it the owner and group of the book `book` describes, as `owner` says. Done before anything is written,
    // so that a change that must be refused is refused at once.
    void takeOwner(const struct stat& book, Owner owner);
    // Gives it the permissions of the book open as `bookFd`: its mode and its access control list, if it has one.
    void takePermissions(int bookFd, const struct stat& book);
    // Flushes it to the disk and closes it.
    void finish();
    // Renames it to `target` in its folder or another on the same disk, replacing a file there only with
    // Existing::Replace (else error 58). Afterwards it is that file, no longer the scratch file.
    void placeAs(const std::string& target, Existing existing);

private:
    FileSystem& m_fs;
    std::string m_path;
    FileHandle m_file;
    bool m_placed = false;
};

// Renames `from` to `to` unless `to` exists (error 58), on every file system, and never leaves the file with two
// names. The caller holds the lock of the folder `to` is in.
void RenameNoReplace(FileSystem& fs, const std::string& from, const std::string& to);

// Refuses (error 70) to take the file `file` describes out of `folder` when this user may not remove it there: the
// folder is not writable for them, or its sticky bit keeps other users' files. Checked before a move copies
// anything, so that a refused move leaves no copy behind.
void RefuseUnremovable(FileSystem& fs, const FolderLock& folder, const struct stat& file);

} // namespace dayvell
