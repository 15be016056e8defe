// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace dayvell {

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
    virtual int flock(int fd, int operation);
    // Renames without replacing: fails with EEXIST when `to` exists.
    virtual int renameNoReplace(const char* from, const char* to);
    virtual int rename(const char* from, const char* to);
    virtual int unlink(const char* path);
    virtual int stat(const char* path, struct stat* st);
    // access(2) for the effective user.
    virtual int access(const char* path, int mode);
    // The path with every link resolved, or the path itself when it cannot be resolved.
    virtual std::string resolve(const std::string& path);
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

// Opens `path` or throws the RuntimeError that matches errno.
FileHandle OpenFile(FileSystem& fs, const std::string& path, int flags, mode_t mode = 0);
// Opens a book file: without ever waiting (a named pipe in its place would block a plain open or read for good),
// and refuses with a clear error anything that is not a regular file. `st` receives its status.
FileHandle OpenBookFile(FileSystem& fs, const std::string& path, int flags, struct stat& st);
// Refuses (error 70) a book file the user may not write: one without any write permission (the read-only mark of
// a write-protected book, which holds even for the administrator) or one this user is not allowed to write.
void RefuseWriteProtected(FileSystem& fs, const std::string& path, const struct stat& st);
// Writes all of `size` bytes, retrying short writes; throws on failure.
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
