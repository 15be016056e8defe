// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace dayvell {

class Progress;

// The POSIX calls the book files are made of, behind one seam so that tests can fail any one of them.
// Each returns what the system call returns and sets errno the same way. Paths here are the file system's own bytes,
// taken exactly as they are: a book's path, Windows-1252 text like every text in core, becomes one with NativePath.
// Nothing is ever decoded back, so a folder whose name Windows-1252 cannot hold (reached through a link, say) is
// still named exactly.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual int open(const char* path, int flags, mode_t mode = 0);
    virtual ssize_t read(int fd, void* buffer, size_t size);
    virtual ssize_t write(int fd, const void* buffer, size_t size);
    virtual ssize_t pread(int fd, void* buffer, size_t size, off_t offset);
    virtual ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int fstat(int fd, struct stat* st);
    virtual int ftruncate(int fd, off_t length);
    virtual int fchmod(int fd, mode_t mode);
    virtual int fchown(int fd, uid_t owner, gid_t group);
    virtual int futimens(int fd, const struct timespec times[2]);
    virtual ssize_t fgetxattr(int fd, const char* name, void* value, size_t size);
    virtual int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags);
    virtual int fremovexattr(int fd, const char* name);
    virtual int flock(int fd, int operation);
    // renameat2 with RENAME_NOREPLACE: fails with EEXIST when `to` exists, and with EINVAL (or ENOSYS) where the
    // file system does not offer it (network shares, many FUSE file systems). RenameNoReplace (Transaction.h)
    // works everywhere.
    virtual int renameNoReplace(const char* from, const char* to);
    virtual int rename(const char* from, const char* to);
    virtual int link(const char* from, const char* to);
    virtual int unlink(const char* path);
    virtual int stat(const char* path, struct stat* st);
    virtual int lstat(const char* path, struct stat* st);
    // access(2) for the effective user.
    virtual int access(const char* path, int mode);
    // The path with every link resolved, or the path itself when it cannot be resolved.
    virtual std::string resolve(const std::string& path);

    // A change that finds a folder locked by another running copy of the program waits while that copy shows
    // signs of work, and says so here (a task without steps, with Cancel). Nothing is shown without it.
    void showWaitingWith(Progress* progress) { m_waiting = progress; }
    Progress* waitingShownBy() const { return m_waiting; }
    // How long a locked folder is waited for after the last sign of work from the copy holding it.
    void setPatience(std::chrono::milliseconds patience) { m_patience = patience; }
    std::chrono::milliseconds patience() const { return m_patience; }

    // The folders whose locks this process holds, open as `folderFd`: while it writes, their modification time
    // is refreshed now and then, so that a copy waiting for one of them sees that this one is at work, even in a
    // folder it only reads from (the source of a copy).
    void holding(int folderFd);
    void released(int folderFd);
    // Called between the pieces of a long write.
    void stillWorking();

private:
    Progress* m_waiting = nullptr;
    std::chrono::milliseconds m_patience{10000};
    std::vector<int> m_held;
    std::chrono::steady_clock::time_point m_lastSign{};
};

// The real file system.
FileSystem& SystemFileSystem();

// An open file descriptor, closed on every path out.
class FileHandle {
public:
    FileHandle(FileSystem& fs, int fd) : m_fs(&fs), m_fd(fd) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : m_fs(other.m_fs), m_fd(other.m_fd) { other.m_fd = -1; }
    ~FileHandle() {
        if (m_fd >= 0)
            m_fs->close(m_fd);
    }
    int fd() const { return m_fd; }
    // Closes now and reports a failed close, which may be the first sign of a lost write.
    void close();
    // Closes on a path that is already failing, where a second error would hide the first.
    void closeQuietly() {
        if (m_fd >= 0)
            m_fs->close(m_fd);
        m_fd = -1;
    }

private:
    FileSystem* m_fs;
    int m_fd;
};

// The file system's name for a Windows-1252 path: its UTF-8 bytes.
std::string NativePath(const std::string& path);

enum class FileKind { None, Regular, Directory, Other };
// What a Windows-1252 path names, links followed; None when nothing does (neither the name nor its folder is
// there). Any other failure throws its RuntimeError: a disk that cannot answer has not said "no such file".
FileKind KindOfFile(const std::string& path, FileSystem& fs = SystemFileSystem());
// The length in bytes of the file a Windows-1252 path names; throws when it cannot be found out.
std::int64_t FileLength(const std::string& path, FileSystem& fs = SystemFileSystem());

// Opens `path` or throws the RuntimeError that matches errno.
FileHandle OpenFile(FileSystem& fs, const std::string& path, int flags, mode_t mode = 0);
// Opens a book file: without ever waiting (a named pipe in its place would block a plain open or read for good),
// and refuses with a clear error anything that is not a regular file. `st` receives its status.
FileHandle OpenBookFile(FileSystem& fs, const std::string& path, int flags, struct stat& st);
// Refuses (error 70) a book file the user may not write: one without any write permission (the read-only mark of
// a write-protected book, which holds even for the administrator) or one this user is not allowed to write.
void RefuseWriteProtected(FileSystem& fs, const std::string& path, const struct stat& st);
// Writes all of `size` bytes, retrying short writes; throws on failure. A long write goes in pieces, with a sign of
// work between them (FileSystem::stillWorking).
void WriteAll(FileSystem& fs, int fd, const char* data, size_t size);
// Writes all of `size` bytes at `offset`, retrying short writes; throws on failure.
void WriteAllAt(FileSystem& fs, int fd, const char* data, size_t size, off_t offset);
// Reads `size` bytes at `offset`, retrying short reads, and returns how many there were: fewer only when the file
// ends first. Throws on a failed read.
size_t ReadAt(FileSystem& fs, int fd, void* data, size_t size, off_t offset);
// Flushes to the disk; throws on failure.
void SyncFile(FileSystem& fs, int fd);

// Path helpers. Directories use '/'; a directory text gets one appended when it does not end with one.
std::string WithSeparator(std::string dir);
std::string JoinPath(const std::string& dir, const std::string& name);
std::string ParentDirectory(const std::string& path);

} // namespace dayvell
