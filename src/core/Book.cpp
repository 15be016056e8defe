// SPDX-License-Identifier: GPL-3.0-or-later
#include "Book.h"

#include "Codec.h"
#include "Numbers.h"
#include "RuntimeError.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace dayvell {

namespace {

// Serialises the use of a directory's scratch file between running copies of the program. The lock sits on the
// directory itself: a lock on the scratch file would travel with it when the rename turns it into the book.
class DirectoryLock {
public:
    DirectoryLock(FileSystem& fs, const std::string& dir) : m_fs(fs) {
        m_fd = fs.open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (m_fd < 0)
            throw ErrnoError(errno, true);
        // Another copy's rewrite takes a moment at most; wait that long before giving up.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (fs.flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            if (err != EWOULDBLOCK) {
                fs.close(m_fd);
                throw ErrnoError(err);
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                fs.close(m_fd);
                throw RuntimeError(code::BookInUse);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    ~DirectoryLock() { m_fs.close(m_fd); } // closing releases the lock

    // Makes a rename in the directory durable. The rename has already happened, so a failure here is not
    // reported: the change is made, and saying otherwise would invite the user to make it twice.
    void sync() { m_fs.fsync(m_fd); }

private:
    FileSystem& m_fs;
    int m_fd = -1;
};

std::string Encoded(std::string_view plain, const std::string& key) {
    return Encode(plain, key);
}

std::string FileName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// The scratch file's name is taken: a book by that name would be destroyed by the next rewrite in its directory.
// Compared without regard to case: on a disk that ignores case (a memory stick, say) DVLTEMP.DVL is the same file.
void RefuseScratchName(const std::string& path) {
    const std::string name = FileName(path);
    if (std::equal(name.begin(), name.end(), kScratchName.begin(), kScratchName.end(),
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; }))
        throw RuntimeError(code::BadFileName, "dvltemp.dvl is the name of Dayvell's scratch file");
}

// Whether `key` deciphers an enciphered check phrase. Only a field of the phrase's length can hold it, so a huge
// field is never deciphered. A key that makes the decipher fail is simply wrong.
bool KeyOpens(std::string_view field, const std::string& key) {
    if (field.size() != kCheckPhrase.size())
        return false;
    try {
        return Decode(field, key) == kCheckPhrase;
    } catch (const CodecError&) {
        return false;
    }
}

// Inside the folder's lock, before anything is written: a key that no longer opens the book means another copy
// changed its password since this one opened it. Whatever this copy wrote with its key would be garbage now.
void RefuseChangedKey(std::string_view checkField, const std::string& key) {
    if (!KeyOpens(checkField, key))
        throw RuntimeError(code::BookChangedElsewhere);
}

FileHandle OpenForReading(FileSystem& fs, const std::string& path) {
    struct stat st {};
    return OpenBookFile(fs, path, O_RDONLY, st);
}

Record ReadFirstRecord(FileSystem& fs, const std::string& path) {
    FileHandle in = OpenForReading(fs, path);
    RecordReader reader(fs, in.fd());
    Record header;
    if (!reader.next(header))
        throw RuntimeError(code::PastEndOfFile);
    return header;
}

// Opens a new scratch file. One left by an interrupted rewrite holds nothing that the book does not: it is started
// afresh, and a link planted in its place is never followed. Anything else of that name is not ours to remove.
FileHandle StartScratch(FileSystem& fs, const std::string& scratch) {
    fs.unlink(scratch.c_str());
    const int fd = fs.open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int err = errno;
        if (err == EEXIST)
            throw RuntimeError(code::FileExists, "The scratch name dvltemp.dvl is taken in this folder by something "
                                                 "that is not Dayvell's scratch file");
        throw ErrnoError(err, err == ENOENT);
    }
    return FileHandle(fs, fd);
}

} // namespace

Book::Book(std::string path, std::string key, FileSystem& fs)
    : m_path(std::move(path)), m_key(std::move(key)), m_fs(&fs) {}

BookHeader Book::NewHeader(std::string directory, std::string date) {
    return {std::string(kCheckPhrase), std::move(directory), std::string(kNoCoverName), std::move(date),
            std::string(kNewBookFlags)};
}

void Book::Create(FileSystem& fs, const std::string& path, const std::string& key, const BookHeader& header) {
    // Encipher everything before the file exists, so a field the cipher cannot carry leaves nothing behind.
    const std::string bytes =
        FormatRecord({Encode(header.checkPhrase, key), Encode(header.directory, key), Encode(header.coverName, key),
                      Encode(header.lastAccess, key), Encode(header.flags, key)});
    RefuseScratchName(path);
    // The book appears whole or not at all: written and synced under the scratch name, then linked into place
    // without replacing anything. A crash before that leaves no empty book that could neither be opened nor made
    // again. A diary is private: only its owner may read it, whatever the process's umask allows.
    const std::string target = NativePath(path);
    const std::string dir = ParentDirectory(target);
    DirectoryLock lock(fs, dir);
    const std::string scratch = JoinPath(dir, std::string(kScratchName));
    FileHandle out = StartScratch(fs, scratch);
    try {
        WriteAll(fs, out.fd(), bytes.data(), bytes.size());
        SyncFile(fs, out.fd());
        out.close();
        if (fs.renameNoReplace(scratch.c_str(), target.c_str()) != 0)
            throw ErrnoError(errno);
    } catch (...) {
        out.closeQuietly();
        fs.unlink(scratch.c_str());
        throw;
    }
    lock.sync();
}

Record Book::readHeaderRecord() const {
    return ReadFirstRecord(*m_fs, native());
}

bool Book::checkPassword() const {
    FileHandle in = OpenForReading(*m_fs, native());
    RecordReader reader(*m_fs, in.fd());
    RecordView header;
    if (!reader.next(header))
        throw RuntimeError(code::PastEndOfFile);
    return KeyOpens(header[0], m_key);
}

BookHeader Book::readHeader() const {
    FileHandle in = OpenForReading(*m_fs, native());
    RecordReader reader(*m_fs, in.fd());
    RecordView r;
    if (!reader.next(r))
        throw RuntimeError(code::PastEndOfFile);
    return {Decode(r[0], m_key), Decode(r[1], m_key), Decode(r[2], m_key), Decode(r[3], m_key), Decode(r[4], m_key)};
}

void Book::forEachRecord(const std::function<bool(std::int64_t, const RecordView&)>& visit) const {
    FileHandle in = OpenForReading(*m_fs, native());
    RecordReader reader(*m_fs, in.fd());
    if (!reader.skip())
        throw RuntimeError(code::PastEndOfFile);
    RecordView record;
    for (std::int64_t position = 1; reader.next(record); ++position) {
        if (!visit(position, record))
            return;
    }
}

std::int64_t Book::countPages() const {
    FileHandle in = OpenForReading(*m_fs, native());
    RecordReader reader(*m_fs, in.fd());
    if (!reader.skip())
        throw RuntimeError(code::PastEndOfFile);
    std::int64_t count = 0;
    while (reader.skip())
        ++count;
    return count;
}

Page Book::decodePage(const Record& r) const {
    return {Decode(r[0], m_key), Decode(r[1], m_key), Decode(r[2], m_key), Decode(r[3], m_key)};
}

Page Book::decodePage(const RecordView& r) const {
    return {Decode(r[0], m_key), Decode(r[1], m_key), Decode(r[2], m_key), Decode(r[3], m_key)};
}

std::optional<Page> Book::readPage(std::int64_t n) const {
    if (n < 1)
        return std::nullopt;
    FileHandle in = OpenForReading(*m_fs, native());
    RecordReader reader(*m_fs, in.fd());
    if (!reader.skip())
        throw RuntimeError(code::PastEndOfFile);
    for (std::int64_t i = 1; i < n; ++i) {
        if (!reader.skip())
            return std::nullopt;
    }
    RecordView record;
    if (!reader.next(record))
        return std::nullopt;
    return decodePage(record);
}

std::optional<std::pair<std::int64_t, Page>> Book::readPageOrLast(std::int64_t n) const {
    FileHandle in = OpenForReading(*m_fs, native());
    RecordReader reader(*m_fs, in.fd());
    if (!reader.skip())
        throw RuntimeError(code::PastEndOfFile);
    // The page is deciphered from the reader's buffer, never copied first; only a book with fewer pages than `n`
    // is read a second time, up to its last page.
    RecordView record;
    std::int64_t position = 0;
    while (position < n && reader.next(record)) {
        if (++position == n)
            return std::make_pair(position, decodePage(record));
    }
    if (position == 0)
        return std::nullopt;
    in.closeQuietly();
    auto last = readPage(position);
    if (!last)
        return std::nullopt;
    return std::make_pair(position, *last);
}

std::string Book::appendPage(const Page& page) {
    // Everything is enciphered before the lock; a field the cipher cannot carry stops the save before it starts.
    const std::string date = Encoded(page.date, m_key);
    const std::string time = Encoded(page.time, m_key);
    const std::string text = Encoded(page.text, m_key);
    const std::string real = realPath();
    DirectoryLock lock(*m_fs, ParentDirectory(real));
    struct stat st {};
    FileHandle out = OpenBookFile(*m_fs, real, O_RDWR | O_APPEND, st);
    RefuseWriteProtected(*m_fs, real, st);
    const off_t oldSize = st.st_size;
    if (oldSize == 0)
        throw RuntimeError(code::PastEndOfFile); // no header: not a book

    // The book as it is now: still opened by this key, its page count, whether it ends with this very page, and
    // whether its last record is whole (the strict reader throws 62 on one cut short; a page written after it
    // could never be read).
    std::int64_t count = 0;
    bool endsWithThisPage = false;
    {
        RecordReader reader(*m_fs, out.fd());
        RecordView r;
        if (!reader.next(r))
            throw RuntimeError(code::PastEndOfFile);
        RefuseChangedKey(r[0], m_key);
        while (reader.next(r)) {
            ++count;
            endsWithThisPage = r[1] == date && r[2] == time && r[3] == text;
        }
    }
    if (endsWithThisPage) {
        // A save tried again after a failure the disk reported late (the page landed, cutting it back failed):
        // the page is there already. It only has to reach the disk; a second copy would be a second page.
        SyncFile(*m_fs, out.fd());
        out.close();
        return PageNumberText(count);
    }
    const std::string number = PageNumberText(count + 1);
    const std::string numberField = Encoded(number, m_key);
    try {
        // A book written elsewhere may end its last record at the end of the file, without a line end.
        char tail[2] = {};
        const off_t tailSize = oldSize >= 2 ? 2 : 1;
        if (m_fs->pread(out.fd(), tail, static_cast<size_t>(tailSize), oldSize - tailSize) != tailSize)
            throw ErrnoError(errno ? errno : EIO);
        if (!(tailSize == 2 && tail[0] == '\r' && tail[1] == '\n'))
            WriteAll(*m_fs, out.fd(), "\r\n", 2);
        // Written from the enciphered fields themselves: a huge page is not copied once more into a record.
        RecordWriter writer(*m_fs, out.fd());
        writer.write(RecordView{numberField, date, time, text, kEndMark});
        writer.flush();
        SyncFile(*m_fs, out.fd());
        out.close();
    } catch (...) {
        // Never leave half a record behind: it would make every later read of the book fail.
        if (out.fd() >= 0) {
            m_fs->ftruncate(out.fd(), oldSize);
        } else {
            FileHandle again = OpenFile(*m_fs, real, O_WRONLY | O_NONBLOCK);
            m_fs->ftruncate(again.fd(), oldSize);
        }
        throw;
    }
    return number;
}

std::string Book::native() const {
    return NativePath(m_path);
}

std::string Book::realPath() const {
    return m_fs->resolve(native());
}

void Book::writeVia(const std::string& sourcePath, const std::string& targetDir, const std::string& targetPath,
                    Target mode, const HeaderChange& changeHeader, const PageChange& changePage) {
    RefuseScratchName(sourcePath);
    RefuseScratchName(targetPath);
    DirectoryLock lock(*m_fs, targetDir);
    struct stat source {};
    FileHandle in = OpenBookFile(*m_fs, sourcePath, O_RDONLY, source);
    // The file that the rename will replace: the book itself, or a book at the destination.
    auto refuseProtectedTarget = [&] {
        struct stat target {};
        if (mode == Target::Book) {
            if (m_fs->stat(targetPath.c_str(), &target) != 0)
                throw ErrnoError(errno);
            RefuseWriteProtected(*m_fs, targetPath, target);
        } else if (mode == Target::ReplaceFile && m_fs->stat(targetPath.c_str(), &target) == 0) {
            RefuseWriteProtected(*m_fs, targetPath, target);
        }
    };
    refuseProtectedTarget();
    struct stat target {};
    if (mode != Target::Book && m_fs->stat(targetPath.c_str(), &target) == 0 && target.st_dev == source.st_dev &&
        target.st_ino == source.st_ino)
        throw RuntimeError(code::PathFileAccessError, "A book cannot be copied onto itself");

    const std::string scratch = JoinPath(targetDir, std::string(kScratchName));
    FileHandle out = StartScratch(*m_fs, scratch);
    try {
        RecordReader reader(*m_fs, in.fd());
        RecordWriter writer(*m_fs, out.fd());
        RecordEdit record;
        if (!reader.next(record.field))
            throw RuntimeError(code::PastEndOfFile);
        RefuseChangedKey(record.field[0], m_key);
        if (changeHeader)
            changeHeader(record);
        writer.write(record.field);
        record.release();
        for (std::int64_t position = 1; reader.next(record.field); ++position) {
            if (!changePage || changePage(position, record))
                writer.write(record.field);
            record.release();
        }
        writer.flush();
        in.close();
        if (m_fs->fchmod(out.fd(), source.st_mode & 07777) != 0)
            throw ErrnoError(errno);
        SyncFile(*m_fs, out.fd());
        out.close();
        // Just before the rename: a book made read-only meanwhile is not replaced.
        refuseProtectedTarget();
        const int r = mode != Target::NewFile ? m_fs->rename(scratch.c_str(), targetPath.c_str())
                                              : m_fs->renameNoReplace(scratch.c_str(), targetPath.c_str());
        if (r != 0)
            throw ErrnoError(errno);
    } catch (...) {
        out.closeQuietly();
        m_fs->unlink(scratch.c_str());
        throw;
    }
    lock.sync();
}

void Book::rewrite(const HeaderChange& header, const PageChange& page) {
    const std::string real = realPath();
    writeVia(real, ParentDirectory(real), real, Target::Book, header, page);
}

void Book::refreshDate(const std::string& date) {
    std::string field = Encode(date, m_key);
    rewrite([&](RecordEdit& h) { h.replace(3, field); }, {});
}

void Book::replaceFlags(const std::string& flags) {
    std::string field = Encode(flags, m_key);
    rewrite([&](RecordEdit& h) { h.replace(4, field); }, {});
}

void Book::replaceCoverName(const std::string& coverName) {
    std::string field = Encode(coverName, m_key);
    rewrite([&](RecordEdit& h) { h.replace(2, field); }, {});
}

void Book::replacePage(const std::string& pageNumber, const std::string& text) {
    std::string field = Encode(text, m_key);
    rewrite({}, [&](std::int64_t, RecordEdit& r) {
        if (Decode(r.field[0], m_key) == pageNumber)
            r.replace(3, field);
        return true;
    });
}

void Book::removePage(std::int64_t position) {
    std::int64_t kept = 0;
    rewrite({}, [&](std::int64_t pos, RecordEdit& r) {
        if (pos == position)
            return false;
        r.replace(0, Encode(PageNumberText(++kept), m_key));
        return true;
    });
}

void Book::reencipher(const std::string& newKey) {
    // Deciphered and enciphered again in one buffer: a huge page is held once beside the reader's copy.
    auto convert = [&](RecordEdit& r, size_t i) { r.replace(i, Reencode(r.field[i], m_key, newKey)); };
    rewrite(
        [&](RecordEdit& h) {
            for (size_t i = 0; i < h.field.size(); ++i)
                convert(h, i);
        },
        [&](std::int64_t, RecordEdit& r) {
            for (size_t i = 0; i < 4; ++i)
                convert(r, i);
            return true;
        });
    m_key = newKey;
}

void Book::rename(const std::string& newName) {
    if (newName.empty() || newName.find('/') != std::string::npos || newName.find('\0') != std::string::npos ||
        newName == "." || newName == "..")
        throw RuntimeError(code::BadFileName);
    const std::string dir = ParentDirectory(native());
    const std::string target = JoinPath(dir, NativePath(newName));
    RefuseScratchName(target);
    DirectoryLock lock(*m_fs, dir);
    {
        // The name given must still be this book, opened by this key.
        FileHandle in = OpenForReading(*m_fs, native());
        RecordReader reader(*m_fs, in.fd());
        RecordView header;
        if (!reader.next(header))
            throw RuntimeError(code::PastEndOfFile);
        RefuseChangedKey(header[0], m_key);
    }
    // The content does not change, so the file keeps its bytes and simply takes the new name, atomically.
    if (m_fs->renameNoReplace(native().c_str(), target.c_str()) != 0)
        throw ErrnoError(errno);
    lock.sync();
    m_path = JoinPath(ParentDirectory(m_path), newName);
}

void Book::copyTo(const std::string& targetDir, bool replace, bool move) {
    const std::string name = FileName(m_path);
    const std::string dir = WithSeparator(targetDir);
    const std::string target = dir + name;
    std::string field = Encode(dir, m_key);
    const std::string source = realPath();
    writeVia(source, NativePath(targetDir), NativePath(target), replace ? Target::ReplaceFile : Target::NewFile,
             [&](RecordEdit& h) { h.replace(1, field); }, {});
    if (move) {
        if (m_fs->unlink(source.c_str()) != 0)
            throw ErrnoError(errno);
        m_path = target;
    }
}

void Book::remove() {
    if (m_fs->unlink(native().c_str()) != 0)
        throw ErrnoError(errno);
}

} // namespace dayvell
