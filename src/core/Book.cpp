// SPDX-License-Identifier: GPL-3.0-or-later
#include "Book.h"

#include "Codec.h"
#include "Numbers.h"
#include "RuntimeError.h"
#include "Vectorise.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <numeric>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dayvell {

namespace {

// Serialises the use of a directory's scratch file between running copies of the program. The lock sits on the
// directory itself: a lock on the scratch file would travel with it when the rename turns it into the book.
// Takes the exclusive lock on an open directory. Another copy's rewrite takes a moment at most; waits that long
// before giving up.
void WaitForLock(FileSystem& fs, int fd) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (fs.flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err != EWOULDBLOCK)
            throw ErrnoError(err);
        if (std::chrono::steady_clock::now() >= deadline)
            throw RuntimeError(code::BookInUse);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Serialises the use of a directory's scratch file between running copies of the program. The lock sits on the
// directory itself: a lock on the scratch file would travel with it when the rename turns it into the book.
class DirectoryLock {
public:
    DirectoryLock(FileSystem& fs, const std::string& dir) : m_fs(fs) {
        m_fd = fs.open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (m_fd < 0)
            throw ErrnoError(errno, true);
        try {
            WaitForLock(fs, m_fd);
        } catch (...) {
            fs.close(m_fd);
            throw;
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

// An open folder: known by its identity on disk whatever its path's spelling, and locked like DirectoryLock when
// asked. Opened before it is locked, so that two paths of one folder are recognised before a second lock on it
// would wait for the first.
class Folder {
public:
    Folder(FileSystem& fs, const std::string& dir) : m_fs(fs) {
        m_fd = fs.open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (m_fd < 0)
            throw ErrnoError(errno, true);
        if (fs.fstat(m_fd, &m_stat) != 0) {
            const int err = errno;
            fs.close(m_fd);
            throw ErrnoError(err);
        }
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() { m_fs.close(m_fd); }

    bool sameAs(const Folder& other) const {
        return m_stat.st_dev == other.m_stat.st_dev && m_stat.st_ino == other.m_stat.st_ino;
    }
    // One order for every pair of folders, so that two programs locking the same two never wait for each other.
    bool before(const Folder& other) const {
        return std::pair(m_stat.st_dev, m_stat.st_ino) < std::pair(other.m_stat.st_dev, other.m_stat.st_ino);
    }
    void lock() { WaitForLock(m_fs, m_fd); }
    // As DirectoryLock::sync: the change is made, a failure to make it durable is not reported.
    void sync() { m_fs.fsync(m_fd); }

private:
    FileSystem& m_fs;
    int m_fd = -1;
    struct stat m_stat {};
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

// Deciphers `n` characters under `oldKey` and enciphers them under `newKey`, as Decode and Encode do; false when
// some character fails either step. Byte arithmetic throughout, so that the compiler handles many at a time.
DAYVELL_VECTOR_CLONES bool RekeyBlock(const unsigned char* text, const unsigned char* oldKey,
                                      const unsigned char* newKey, unsigned char* out, std::size_t n) {
    unsigned char overflow = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char t = text[i];
        const unsigned char k = oldKey[i];
        // Decode takes the sum when the difference would be negative, and fails when that sum is above 255.
        const unsigned char negative = t < k;
        const unsigned char plain = negative ? static_cast<unsigned char>(t + k) : static_cast<unsigned char>(t - k);
        overflow |= static_cast<unsigned char>(negative & (t > static_cast<unsigned char>(255 - k)));
        out[i] = static_cast<unsigned char>(plain + newKey[i]);
        overflow |= static_cast<unsigned char>(plain > static_cast<unsigned char>(255 - newKey[i]));
    }
    return overflow == 0;
}

// Takes fields from one key to another: deciphered under the old, enciphered under the new, in one pass over each
// field. The codec keeps one key ready at a time, and switching between two for every field of every page would
// cost more than the cipher itself; here both keys are laid out once, over a length both repeat in.
class Rekeyer {
public:
    Rekeyer(std::string_view oldKey, std::string_view newKey) : m_old(oldKey), m_new(newKey) {
        if (oldKey.empty() || newKey.empty())
            return;
        const std::size_t common = std::lcm(oldKey.size(), newKey.size());
        if (common > kMaxRun)
            return; // keys this long take the codec's own way
        const std::size_t run = std::max<std::size_t>(1, kRun / common) * common;
        m_oldRun.resize(run);
        m_newRun.resize(run);
        for (std::size_t i = 0; i < run; ++i) {
            m_oldRun[i] = static_cast<unsigned char>(oldKey[i % oldKey.size()]);
            m_newRun[i] = static_cast<unsigned char>(newKey[i % newKey.size()]);
        }
    }

    // Decode(field, old key) enciphered under the new key, into `out`. Fails exactly as Decode and EncodeCarried
    // do, naming `place` and `page`.
    void convert(std::string_view field, std::string& out, Place place, std::int64_t page) const {
        out.resize(field.size());
        if (!m_oldRun.empty() && fits(field, out))
            return;
        // Either a character fails, and the codec says which and why, or the keys take the codec's own way.
        out = EncodeCarried(Decode(field, m_old), m_new, place, page);
    }

private:
    static constexpr std::size_t kRun = 4096;
    static constexpr std::size_t kMaxRun = 1 << 16;

    // Converts into `out`; false when some character fails either step.
    bool fits(std::string_view field, std::string& out) const {
        const auto* in = reinterpret_cast<const unsigned char*>(field.data());
        auto* to = reinterpret_cast<unsigned char*>(out.data());
        const std::size_t run = m_oldRun.size();
        bool ok = true;
        // Every run starts at a multiple of both keys' lengths, so at both keys' first characters.
        for (std::size_t done = 0; done < field.size(); done += run)
            ok &=
                RekeyBlock(in + done, m_oldRun.data(), m_newRun.data(), to + done, std::min(run, field.size() - done));
        return ok;
    }

    std::string m_old, m_new;
    std::vector<unsigned char> m_oldRun, m_newRun;
};

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

UncarriedCharacter::UncarriedCharacter(unsigned char character, unsigned char keyCharacter, Place place,
                                       std::int64_t page)
    : RuntimeError(code::InvalidArgument), m_character(character), m_keyCharacter(keyCharacter), m_place(place),
      m_page(page) {}

std::string UncarriedCharacter::placeName() const {
    switch (m_place) {
    case Place::CheckPhrase:
        return "the check phrase";
    case Place::Folder:
        return "the book's folder";
    case Place::CoverName:
        return "the cover name";
    case Place::LastAccess:
        return "the last-access date";
    case Place::Flags:
        return "the security flags";
    case Place::Page:
        break;
    }
    return "page " + std::to_string(m_page);
}

void CheckCarried(std::string_view plain, std::string_view key, Place place, std::int64_t page) {
    const std::size_t at = FirstUnencodable(plain, key);
    if (at != std::string_view::npos)
        throw UncarriedCharacter(static_cast<unsigned char>(plain[at]),
                                 key.empty() ? 0 : static_cast<unsigned char>(key[at % key.size()]), place, page);
}

std::string EncodeCarried(std::string_view plain, std::string_view key, Place place, std::int64_t page) {
    try {
        return Encode(plain, key);
    } catch (const CodecError& e) {
        throw UncarriedCharacter(e.character(), e.keyCharacter(), place, page);
    }
}

SameDirectory::SameDirectory() : RuntimeError(code::PathFileAccessError, "The book is already in that folder") {}

bool IsScratchName(std::string_view name) {
    return std::equal(name.begin(), name.end(), kScratchName.begin(), kScratchName.end(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool HasBookExtension(std::string_view name) {
    return name.size() >= kBookExtension.size() &&
           std::equal(kBookExtension.begin(), kBookExtension.end(), name.end() - kBookExtension.size(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
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

void Book::writeThroughScratch(FileHandle& in, const struct stat& source, const std::string& dir,
                               const std::string& target, Existing existing, const std::function<void()>& lastCheck,
                               const HeaderChange& changeHeader, const PageChange& changePage, const Tail& tail) {
    const std::string scratch = JoinPath(dir, std::string(kScratchName));
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
        std::int64_t written = 0;
        for (std::int64_t position = 1; reader.next(record.field); ++position) {
            if (!changePage || changePage(position, record)) {
                writer.write(record.field);
                ++written;
            }
            record.release();
        }
        if (tail)
            tail(written, writer);
        writer.flush();
        in.close();
        if (m_fs->fchmod(out.fd(), source.st_mode & 07777) != 0)
            throw ErrnoError(errno);
        SyncFile(*m_fs, out.fd());
        out.close();
        lastCheck();
        const int r = existing == Existing::Replace ? m_fs->rename(scratch.c_str(), target.c_str())
                                                    : m_fs->renameNoReplace(scratch.c_str(), target.c_str());
        if (r != 0)
            throw ErrnoError(errno);
    } catch (...) {
        out.closeQuietly();
        m_fs->unlink(scratch.c_str());
        throw;
    }
}

void Book::rewrite(const HeaderChange& header, const PageChange& page, const Tail& tail) {
    const std::string real = realPath();
    const std::string dir = ParentDirectory(real);
    RefuseScratchName(real);
    DirectoryLock lock(*m_fs, dir);
    struct stat source {};
    FileHandle in = OpenBookFile(*m_fs, real, O_RDONLY, source);
    // Only a book its owner may write is replaced; checked again just before the rename, so that a book made
    // read-only meanwhile is not replaced either.
    auto refuseProtected = [&] {
        struct stat now {};
        if (m_fs->stat(real.c_str(), &now) != 0)
            throw ErrnoError(errno);
        RefuseWriteProtected(*m_fs, real, now);
    };
    refuseProtected();
    writeThroughScratch(in, source, dir, real, Existing::Replace, refuseProtected, header, page, tail);
    lock.sync();
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

std::int64_t Book::appendPages(const std::function<bool(std::int64_t number, Page& page)>& next) {
    std::int64_t added = 0;
    rewrite({}, {}, [&](std::int64_t pages, RecordWriter& writer) {
        Page page;
        for (std::int64_t number = pages + 1; next(number, page); ++number, ++added) {
            writer.write(RecordView{EncodeCarried(PageNumberText(number), m_key, Place::Page, number),
                                    EncodeCarried(page.date, m_key, Place::Page, number),
                                    EncodeCarried(page.time, m_key, Place::Page, number),
                                    EncodeCarried(page.text, m_key, Place::Page, number), kEndMark});
        }
    });
    return added;
}

void Book::reencipher(const std::string& newKey) {
    // The header's fields in their order, for naming the one a character of the new key cannot carry.
    static constexpr Place kHeaderPlaces[] = {Place::CheckPhrase, Place::Folder, Place::CoverName, Place::LastAccess,
                                              Place::Flags};
    const Rekeyer rekey(m_key, newKey);
    try {
        // Every field is tried first, so that a password that cannot carry the book is refused before anything
        // is written, and the user learns where the character is.
        std::string tried;
        {
            FileHandle in = OpenForReading(*m_fs, native());
            RecordReader reader(*m_fs, in.fd());
            RecordView record;
            if (!reader.next(record))
                throw RuntimeError(code::PastEndOfFile);
            // Checked again inside the lock; here it keeps a key another copy has replaced from being blamed on a
            // character.
            RefuseChangedKey(record[0], m_key);
            for (size_t i = 0; i < record.size(); ++i)
                rekey.convert(record[i], tried, kHeaderPlaces[i], 0);
            for (std::int64_t position = 1; reader.next(record); ++position) {
                for (size_t i = 0; i < 4; ++i)
                    rekey.convert(record[i], tried, Place::Page, position);
            }
        }
        // Tried again while writing: another running copy may have added a page since.
        rewrite(
            [&](RecordEdit& h) {
                for (size_t i = 0; i < h.field.size(); ++i) {
                    rekey.convert(h.field[i], tried, kHeaderPlaces[i], 0);
                    h.replace(i, std::move(tried));
                }
            },
            [&](std::int64_t position, RecordEdit& r) {
                for (size_t i = 0; i < 4; ++i) {
                    rekey.convert(r.field[i], tried, Place::Page, position);
                    r.replace(i, std::move(tried));
                }
                return true;
            });
        m_key = newKey;
    } catch (...) {
        // The key in force is the one the file on disk answers to, whatever step failed.
        try {
            if (Book(m_path, newKey, *m_fs).checkPassword())
                m_key = newKey;
        } catch (...) {
        }
        throw;
    }
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

bool Book::isIn(const std::string& dir) const {
    const Folder target(*m_fs, NativePath(dir));
    return target.sameAs(Folder(*m_fs, ParentDirectory(native()))) ||
           target.sameAs(Folder(*m_fs, ParentDirectory(realPath())));
}

void Book::copyTo(const std::string& targetDir, Existing existing, Transfer transfer) {
    const std::string dir = WithSeparator(targetDir);
    const std::string name = FileName(m_path);
    // Before anything is opened: the new folder's name must fit under the book's key.
    const std::string field = EncodeCarried(dir, m_key, Place::Folder);
    const std::string source = realPath();
    const std::string nativeDir = NativePath(dir);
    const std::string target = nativeDir + NativePath(name);
    RefuseScratchName(source);
    RefuseScratchName(target);

    // Reading a book onto itself would destroy it: the folders are compared as the disk knows them.
    Folder from(*m_fs, ParentDirectory(source));
    Folder to(*m_fs, nativeDir);
    if (to.sameAs(from) || to.sameAs(Folder(*m_fs, ParentDirectory(native()))))
        throw SameDirectory();
    // The source folder stays locked until a move has removed the source: a page another running copy appends
    // meanwhile either lands before the copy is read or finds the book gone, never in a file about to be deleted.
    (from.before(to) ? from : to).lock();
    (from.before(to) ? to : from).lock();

    struct stat sourceStat {};
    FileHandle in = OpenBookFile(*m_fs, source, O_RDONLY, sourceStat);
    // A book at the destination is replaced only when asked, and only when its owner may write it.
    auto refuseKeptTarget = [&] {
        struct stat targetStat {};
        if (m_fs->stat(target.c_str(), &targetStat) != 0)
            return;
        if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino)
            throw RuntimeError(code::PathFileAccessError, "A book cannot be copied onto itself");
        if (existing == Existing::Keep)
            throw RuntimeError(code::FileExists);
        RefuseWriteProtected(*m_fs, target, targetStat);
    };
    refuseKeptTarget();

    // The copy is written beside its destination and renamed into place, so the destination never holds part of a
    // book.
    writeThroughScratch(in, sourceStat, nativeDir, target, existing, refuseKeptTarget,
                        [&](RecordEdit& h) { h.replace(1, field); }, {});
    to.sync();

    if (transfer == Transfer::Move) {
        if (m_fs->unlink(source.c_str()) != 0)
            throw ErrnoError(errno);
        from.sync();
        // A book reached through a symbolic link: the link now points at nothing and goes too. Only a path that
        // leads nowhere is removed, never a file.
        const std::string link = native();
        struct stat left {};
        if (source != link && m_fs->stat(link.c_str(), &left) != 0 && errno == ENOENT)
            m_fs->unlink(link.c_str());
        m_path = dir + name;
    }
}

void Book::remove() {
    if (m_fs->unlink(native().c_str()) != 0)
        throw ErrnoError(errno);
}

} // namespace dayvell
