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
                throw RuntimeError(code::PermissionDenied,
                                   "Another copy of Dayvell is changing a book in this folder. Try again.");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
void RefuseScratchName(const std::string& path) {
    if (IsScratchName(FileName(path)))
        throw RuntimeError(code::BadFileName, "dvltemp.dvl is the name of Dayvell's scratch file");
}

Record ReadFirstRecord(FileSystem& fs, const std::string& path) {
    FileHandle in = OpenFile(fs, path, O_RDONLY);
    RecordReader reader(fs, in.fd());
    Record header;
    if (!reader.next(header))
        throw RuntimeError(code::PastEndOfFile);
    return header;
}

} // namespace

bool IsScratchName(std::string_view name) {
    return std::equal(name.begin(), name.end(), kScratchName.begin(), kScratchName.end(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

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
    FileHandle out = OpenFile(fs, path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    try {
        WriteAll(fs, out.fd(), bytes.data(), bytes.size());
        SyncFile(fs, out.fd());
        out.close();
    } catch (...) {
        fs.unlink(path.c_str());
        throw;
    }
}

Record Book::readHeaderRecord() const {
    return ReadFirstRecord(*m_fs, m_path);
}

bool Book::checkPassword() const {
    Record header = readHeaderRecord();
    try {
        return Decode(header[0], m_key) == kCheckPhrase;
    } catch (const CodecError&) {
        return false;
    }
}

BookHeader Book::readHeader() const {
    Record r = readHeaderRecord();
    return {Decode(r[0], m_key), Decode(r[1], m_key), Decode(r[2], m_key), Decode(r[3], m_key), Decode(r[4], m_key)};
}

void Book::forEachRecord(const std::function<bool(std::int64_t, const RecordView&)>& visit) const {
    FileHandle in = OpenFile(*m_fs, m_path, O_RDONLY);
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
    FileHandle in = OpenFile(*m_fs, m_path, O_RDONLY);
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
    FileHandle in = OpenFile(*m_fs, m_path, O_RDONLY);
    RecordReader reader(*m_fs, in.fd());
    if (!reader.skip())
        throw RuntimeError(code::PastEndOfFile);
    for (std::int64_t i = 1; i < n; ++i) {
        if (!reader.skip())
            return std::nullopt;
    }
    Record record;
    if (!reader.next(record))
        return std::nullopt;
    in.close();
    return decodePage(record);
}

std::optional<std::pair<std::int64_t, Page>> Book::readPageOrLast(std::int64_t n) const {
    FileHandle in = OpenFile(*m_fs, m_path, O_RDONLY);
    RecordReader reader(*m_fs, in.fd());
    if (!reader.skip())
        throw RuntimeError(code::PastEndOfFile);
    Record record;
    std::int64_t position = 0;
    while (position < n && reader.next(record))
        ++position;
    if (position == 0)
        return std::nullopt;
    in.close();
    return std::make_pair(position, decodePage(record));
}

void Book::appendPage(const Page& page) {
    const std::string bytes =
        FormatRecord({Encoded(page.number, m_key), Encoded(page.date, m_key), Encoded(page.time, m_key),
                      Encoded(page.text, m_key), std::string(kEndMark)});
    const std::string real = realPath();
    DirectoryLock lock(*m_fs, ParentDirectory(real));
    FileHandle out = OpenFile(*m_fs, real, O_RDWR | O_APPEND);
    struct stat st {};
    if (m_fs->fstat(out.fd(), &st) != 0)
        throw ErrnoError(errno);
    const off_t oldSize = st.st_size;
    if (oldSize == 0)
        throw RuntimeError(code::PastEndOfFile); // no header: not a book
    try {
        // A book written elsewhere may end its last record at the end of the file, without a line end.
        char tail[2] = {};
        const off_t tailSize = oldSize >= 2 ? 2 : 1;
        if (m_fs->pread(out.fd(), tail, static_cast<size_t>(tailSize), oldSize - tailSize) != tailSize)
            throw ErrnoError(errno ? errno : EIO);
        const bool endsWithLineEnd = tailSize == 2 && tail[0] == '\r' && tail[1] == '\n';
        const std::string data = endsWithLineEnd ? bytes : "\r\n" + bytes;
        WriteAll(*m_fs, out.fd(), data.data(), data.size());
        SyncFile(*m_fs, out.fd());
        out.close();
    } catch (...) {
        // Never leave half a record behind: it would make every later read of the book fail.
        if (out.fd() >= 0) {
            m_fs->ftruncate(out.fd(), oldSize);
        } else {
            FileHandle again = OpenFile(*m_fs, real, O_WRONLY);
            m_fs->ftruncate(again.fd(), oldSize);
        }
        throw;
    }
}

std::string Book::realPath() const {
    return m_fs->resolve(m_path);
}

void Book::writeVia(const std::string& sourcePath, const std::string& targetDir, const std::string& targetPath,
                    Target mode, const HeaderChange& changeHeader, const PageChange& changePage) {
    RefuseScratchName(sourcePath);
    RefuseScratchName(targetPath);
    DirectoryLock lock(*m_fs, targetDir);
    FileHandle in = OpenFile(*m_fs, sourcePath, O_RDONLY);
    struct stat source {};
    if (m_fs->fstat(in.fd(), &source) != 0)
        throw ErrnoError(errno);
    struct stat target {};
    if (mode != Target::Book && m_fs->stat(targetPath.c_str(), &target) == 0 && target.st_dev == source.st_dev &&
        target.st_ino == source.st_ino)
        throw RuntimeError(code::PathFileAccessError, "A book cannot be copied onto itself");

    // A scratch file left by an interrupted rewrite holds nothing that the book does not: start it afresh, and
    // never follow a link planted in its place.
    const std::string scratch = JoinPath(targetDir, std::string(kScratchName));
    m_fs->unlink(scratch.c_str());
    FileHandle out = OpenFile(*m_fs, scratch, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    try {
        RecordReader reader(*m_fs, in.fd());
        RecordWriter writer(*m_fs, out.fd());
        Record record;
        if (!reader.next(record))
            throw RuntimeError(code::PastEndOfFile);
        if (changeHeader)
            changeHeader(record);
        writer.write(record);
        for (std::int64_t position = 1; reader.next(record); ++position) {
            if (!changePage || changePage(position, record))
                writer.write(record);
        }
        writer.flush();
        in.close();
        if (m_fs->fchmod(out.fd(), source.st_mode & 07777) != 0)
            throw ErrnoError(errno);
        SyncFile(*m_fs, out.fd());
        out.close();
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
    rewrite([&](Record& h) { h[3] = field; }, {});
}

void Book::replaceFlags(const std::string& flags) {
    std::string field = Encode(flags, m_key);
    rewrite([&](Record& h) { h[4] = field; }, {});
}

void Book::replaceCoverName(const std::string& coverName) {
    std::string field = Encode(coverName, m_key);
    rewrite([&](Record& h) { h[2] = field; }, {});
}

void Book::replacePage(const std::string& pageNumber, const std::string& text) {
    std::string field = Encode(text, m_key);
    rewrite({}, [&](std::int64_t, Record& r) {
        if (Decode(r[0], m_key) == pageNumber)
            r[3] = field;
        return true;
    });
}

void Book::removePage(std::int64_t position) {
    std::int64_t kept = 0;
    rewrite({}, [&](std::int64_t pos, Record& r) {
        if (pos == position)
            return false;
        r[0] = Encode(PageNumberText(++kept), m_key);
        return true;
    });
}

void Book::reencipher(const std::string& newKey) {
    auto convert = [&](std::string& field) { field = Encode(Decode(field, m_key), newKey); };
    rewrite(
        [&](Record& h) {
            for (auto& f : h)
                convert(f);
        },
        [&](std::int64_t, Record& r) {
            for (size_t i = 0; i < 4; ++i)
                convert(r[i]);
            return true;
        });
    m_key = newKey;
}

void Book::rename(const std::string& newName) {
    if (newName.empty() || newName.find('/') != std::string::npos || newName.find('\0') != std::string::npos ||
        newName == "." || newName == "..")
        throw RuntimeError(code::BadFileName);
    const std::string dir = ParentDirectory(m_path);
    const std::string target = JoinPath(dir, newName);
    RefuseScratchName(target);
    DirectoryLock lock(*m_fs, dir);
    // The content does not change, so the file keeps its bytes and simply takes the new name, atomically.
    if (m_fs->renameNoReplace(m_path.c_str(), target.c_str()) != 0)
        throw ErrnoError(errno);
    lock.sync();
    m_path = target;
}

void Book::copyTo(const std::string& targetDir, bool replace, bool move) {
    const std::string name = FileName(m_path);
    const std::string dir = WithSeparator(targetDir);
    const std::string target = dir + name;
    std::string field = Encode(dir, m_key);
    const std::string source = realPath();
    writeVia(source, targetDir, target, replace ? Target::ReplaceFile : Target::NewFile,
             [&](Record& h) { h[1] = field; }, {});
    if (move) {
        if (m_fs->unlink(source.c_str()) != 0)
            throw ErrnoError(errno);
        m_path = target;
    }
}

void Book::remove() {
    if (m_fs->unlink(m_path.c_str()) != 0)
        throw ErrnoError(errno);
}

} // namespace dayvell
