// SPDX-License-Identifier: GPL-3.0-or-later
#include "Book.h"

#include "BookHead.h"
#include "Codec.h"
#include "KeyProof.h"
#include "Numbers.h"
#include "RuntimeError.h"
#include "Vectorise.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dayvell {

namespace {

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

// How much of the first page's text a proof looks at, as BookHead reads it.
constexpr std::size_t kProofText = 1 << 16;

// Whether `key` is proven the key of the book whose start is `head` (see KeyProven).
bool KeyProvenBy(BookHead& head, const std::string& key) {
    return KeyProven(head.header(), key, [&] { return head.firstPageStamps(); });
}

// Inside the folder's lock, before anything is written: the header must be whole (error 62), and a key the book does
// not prove means another copy changed its password since this one opened it, or the key was never the book's.
// Whatever it wrote would be garbage. Reads from the file's start without moving its offset.
void RefuseChangedKey(FileSystem& fs, int fd, const std::string& key) {
    BookHead head(fs, fd);
    if (!head.headerWhole())
        throw RuntimeError(code::PastEndOfFile);
    if (!KeyProvenBy(head, key))
        throw RuntimeError(code::BookChangedElsewhere);
}

// The last record of a book, read from the end of the file.
// Filled where it lives: its fields are views into its bytes.
struct LastRecord {
    LastRecord() = default;
    LastRecord(const LastRecord&) = delete;
    LastRecord& operator=(const LastRecord&) = delete;
    std::string bytes;
    RecordView fields;
    // The book has no page: its last record is the header.
    bool isHeader = false;
};

// Finds the last record of the book open at `fd` whose first `size` bytes are looked at, by reading backwards from
// its end: enciphered fields never hold a line break (every key character is 32 or more above the plain one), so the
// record starts after the last line feed before its own line end. Error 62 when what follows is not one whole
// record: a book cut short, which nothing may be appended to. Costs the same whatever the number of pages.
void ReadLastRecord(FileSystem& fs, int fd, off_t size, LastRecord& last) {
    constexpr off_t kPiece = 1 << 16;
    if (size <= 0)
        throw RuntimeError(code::PastEndOfFile);
    auto readAt = [&](char* to, off_t length, off_t at) {
        for (off_t done = 0; done < length;) {
            const ssize_t n = fs.pread(fd, to + done, static_cast<size_t>(length - done), at + done);
            if (n < 0)
                throw ErrnoError(errno);
            if (n == 0)
                throw RuntimeError(code::PastEndOfFile); // cut short while it was being read
            done += n;
        }
    };
    // Most records fit in the one piece read from the end; a longer one is read again once its start is known.
    const off_t tail = std::min(size, kPiece);
    last.bytes.resize(static_cast<size_t>(tail));
    readAt(last.bytes.data(), tail, size - tail);
    const bool lineEnd = last.bytes.size() >= 2 && last.bytes.compare(last.bytes.size() - 2, 2, "\r\n") == 0;
    off_t searchEnd = size - (lineEnd ? 2 : 0);
    off_t start = -1;
    std::string piece;
    for (off_t to = searchEnd; to > 0 && start < 0;) {
        const off_t from = std::max<off_t>(0, to - kPiece);
        const char* base = nullptr;
        if (from >= size - tail) {
            base = last.bytes.data() + (from - (size - tail));
        } else {
            piece.resize(static_cast<size_t>(to - from));
            readAt(piece.data(), to - from, from);
            base = piece.data();
        }
        if (const void* lf = ::memrchr(base, '\n', static_cast<size_t>(to - from)))
            start = from + (static_cast<const char*>(lf) - base) + 1;
        to = from;
    }
    std::string().swap(piece);
    if (start < 0)
        start = 0;
    last.isHeader = start == 0;
    if (start >= size - tail) {
        last.bytes.erase(0, static_cast<size_t>(start - (size - tail)));
    } else {
        std::string().swap(last.bytes);
        last.bytes.resize(static_cast<size_t>(size - start));
        readAt(last.bytes.data(), size - start, start);
    }
    if (!ParseWholeRecord(last.bytes, last.fields))
        throw RuntimeError(code::PastEndOfFile);
}

// The page number a page record's first field holds under `key` (" 12" is 12), or nothing when it holds no page
// number the program writes.
std::optional<std::int64_t> StoredPageNumber(std::string_view field, const std::string& key) {
    std::string number;
    try {
        number = Decode(field, key);
    } catch (const CodecError&) {
        return std::nullopt;
    }
    if (number.size() < 2 || number.size() > 19 || number[0] != ' ' || number[1] == '0')
        return std::nullopt;
    std::int64_t n = 0;
    for (std::size_t i = 1; i < number.size(); ++i) {
        if (number[i] < '0' || number[i] > '9')
            return std::nullopt;
        n = n * 10 + (number[i] - '0');
    }
    return n;
}

// The page records of the book open at `fd`, read from the file's offset (its start) to the end; error 62 when any
// record is damaged.
std::int64_t CountRecords(FileSystem& fs, int fd) {
    RecordReader reader(fs, fd);
    if (!reader.skip())
        throw RuntimeError(code::PastEndOfFile);
    std::int64_t count = 0;
    while (reader.skip())
        ++count;
    return count;
}

// The page count of the book open at `fd` whose last record is `last`. Page numbers and positions always agree, so
// the last page's number is the count; a book whose last number says nothing usable is counted record by record
// (from the file's offset, which must be at its start).
std::int64_t PageCountAtEnd(FileSystem& fs, int fd, const LastRecord& last, const std::string& key) {
    if (last.isHeader)
        return 0;
    if (const auto number = StoredPageNumber(last.fields[0], key))
        return *number;
    return CountRecords(fs, fd);
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

UnprovableKey::UnprovableKey()
    : RuntimeError(code::InvalidArgument, "This dayvell could not tell the new password from a shorter one that "
                                          "repeats the same way") {}

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
    const Record record{Encode(header.checkPhrase, key), Encode(header.directory, key), Encode(header.coverName, key),
                        Encode(header.lastAccess, key), Encode(header.flags, key)};
    // A book its own password could not open would be lost from the start.
    if (header.checkPhrase == kCheckPhrase &&
        !KeyProven(RecordView{record[0], record[1], record[2], record[3], record[4]}, key, {}))
        throw UnprovableKey();
    const std::string bytes = FormatRecord(record);
    RefuseScratchName(path);
    // The book appears whole or not at all: written and synced under the scratch name, then linked into place
    // without replacing anything. A crash before that leaves no empty book that could neither be opened nor made
    // again. A diary is private: only its owner may read it, whatever the process's umask allows.
    const std::string target = NativePath(path);
    const std::string dir = ParentDirectory(target);
    DirectoryLock lock(fs, dir);
    ScratchFile out(fs, dir);
    WriteAll(fs, out.fd(), bytes.data(), bytes.size());
    out.finish();
    out.placeAs(target, Existing::Keep);
    lock.syncMadeChange();
}

Record Book::readHeaderRecord() const {
    return ReadFirstRecord(*m_fs, native());
}

bool Book::checkPassword() const {
    FileHandle in = OpenForReading(*m_fs, native());
    BookHead head(*m_fs, in.fd());
    return KeyProvenBy(head, m_key);
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
    return CountRecords(*m_fs, in.fd());
}

std::int64_t Book::pageCountAtEnd() const {
    struct stat st {};
    FileHandle in = OpenBookFile(*m_fs, native(), O_RDONLY, st);
    LastRecord last;
    ReadLastRecord(*m_fs, in.fd(), st.st_size, last);
    return PageCountAtEnd(*m_fs, in.fd(), last, m_key);
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
    std::int64_t position = 0;
    std::uint64_t length = 0;
    {
        RecordReader reader(*m_fs, in.fd());
        if (!reader.skip())
            throw RuntimeError(code::PastEndOfFile);
        // The page is deciphered from the reader's buffer, never copied first.
        RecordView record;
        while (position < n && reader.next(record)) {
            if (++position == n)
                return std::make_pair(position, decodePage(record));
        }
        length = reader.bytesRead();
    }
    if (position == 0)
        return std::nullopt;
    // A book with fewer pages than `n`: its last page is read from the end of what was read, once the reader's
    // buffer has gone, so that a huge page is never held twice before it is deciphered.
    LastRecord last;
    ReadLastRecord(*m_fs, in.fd(), static_cast<off_t>(length), last);
    Page page{Decode(last.fields[0], m_key), Decode(last.fields[1], m_key), Decode(last.fields[2], m_key), {}};
    const std::string_view text = last.fields[3];
    // The text is deciphered where it lies: the record's other bytes go first.
    last.bytes.erase(0, static_cast<std::size_t>(text.data() - last.bytes.data()));
    last.bytes.resize(text.size());
    DecodeInPlace(last.bytes, m_key);
    page.text = std::move(last.bytes);
    return std::make_pair(position, std::move(page));
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

    // The book as it is now: still proven by this key, and ending in a whole record (a page written after one cut
    // short could never be read), whose number is the page count. Only the header and the end are read, so that a
    // save costs the same on any book.
    RefuseChangedKey(*m_fs, out.fd(), m_key);
    std::int64_t count = 0;
    bool endsWithThisPage = false;
    {
        LastRecord last;
        ReadLastRecord(*m_fs, out.fd(), oldSize, last);
        count = PageCountAtEnd(*m_fs, out.fd(), last, m_key);
        endsWithThisPage = !last.isHeader && last.fields[1] == date && last.fields[2] == time && last.fields[3] == text;
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

void Book::writeThroughScratch(FileHandle& in, const struct stat& source, Owner owner, const std::string& dir,
                               const std::string& target, Existing existing, const std::function<void()>& lastCheck,
                               const HeaderChange& changeHeader, const PageChange& changePage, const Tail& tail) {
    ScratchFile out(*m_fs, dir);
    out.takeOwner(source, owner);
    RecordReader reader(*m_fs, in.fd());
    RecordWriter writer(*m_fs, out.fd());
    RecordEdit record;
    if (!reader.next(record.field))
        throw RuntimeError(code::PastEndOfFile);
    RefuseChangedKey(*m_fs, in.fd(), m_key);
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
    out.takePermissions(in.fd(), source);
    in.close();
    out.finish();
    lastCheck();
    out.placeAs(target, existing);
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
    writeThroughScratch(in, source, Owner::Book, dir, real, Existing::Replace, refuseProtected, header, page, tail);
    lock.syncMadeChange();
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
            RefuseChangedKey(*m_fs, in.fd(), m_key);
            // The header and the first page's stamps as the new key will have them, for the proof below.
            Record header;
            std::optional<Record> firstPage;
            for (size_t i = 0; i < record.size(); ++i) {
                rekey.convert(record[i], tried, kHeaderPlaces[i], 0);
                header[i] = tried;
            }
            for (std::int64_t position = 1; reader.next(record); ++position) {
                if (position == 1)
                    firstPage.emplace();
                for (size_t i = 0; i < 4; ++i) {
                    rekey.convert(record[i], tried, Place::Page, position);
                    if (position == 1)
                        (*firstPage)[i] = tried.substr(0, i == 3 ? kProofText : std::string::npos);
                }
            }
            // A password the book could not prove afterwards would lock its owner out.
            const RecordView headerView{header[0], header[1], header[2], header[3], header[4]};
            if (!KeyProven(headerView, newKey, [&] { return firstPage; }))
                throw UnprovableKey();
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
        RefuseChangedKey(*m_fs, in.fd(), m_key);
    }
    // The content does not change, so the file keeps its bytes, its owner and its permissions, and simply takes
    // the new name in one step.
    RenameNoReplace(*m_fs, native(), target);
    lock.syncMadeChange();
    m_path = JoinPath(ParentDirectory(m_path), newName);
}

bool Book::isIn(const std::string& dir) const {
    const FolderLock target(*m_fs, NativePath(dir));
    return target.sameAs(FolderLock(*m_fs, ParentDirectory(native()))) ||
           target.sameAs(FolderLock(*m_fs, ParentDirectory(realPath())));
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
    FolderLock from(*m_fs, ParentDirectory(source));
    FolderLock to(*m_fs, nativeDir);
    if (to.sameAs(from) || to.sameAs(FolderLock(*m_fs, ParentDirectory(native()))))
        throw SameDirectory();
    // The source folder stays locked until a move has removed the source: a page another running copy appends
    // meanwhile either lands before the copy is read or finds the book gone, never in a file about to be deleted.
    (from.before(to) ? from : to).lock();
    (from.before(to) ? to : from).lock();

    struct stat sourceStat {};
    FileHandle in = OpenBookFile(*m_fs, source, O_RDONLY, sourceStat);
    // A move that could not remove the source would end with the book in two places: found out before the copy.
    if (transfer == Transfer::Move)
        RefuseUnremovable(*m_fs, from, sourceStat);
    // A book at the destination is replaced only when asked, and only when its owner may write it.
    auto refuseKeptTarget = [&] {
        struct stat targetStat {};
        if (m_fs->stat(target.c_str(), &targetStat) != 0) {
            if (errno == ENOENT)
                return;
            throw ErrnoError(errno);
        }
        if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino)
            throw RuntimeError(code::PathFileAccessError, "A book cannot be copied onto itself");
        if (existing == Existing::Keep)
            throw RuntimeError(code::FileExists);
        RefuseWriteProtected(*m_fs, target, targetStat);
    };
    refuseKeptTarget();

    // The copy is written beside its destination and renamed into place, so the destination never holds part of a
    // book. A moved book stays its owner's; a copy is its owner's where the system lets the writer give it away.
    writeThroughScratch(in, sourceStat, transfer == Transfer::Move ? Owner::Book : Owner::BookIfAllowed, nativeDir,
                        target, existing, refuseKeptTarget, [&](RecordEdit& h) { h.replace(1, field); }, {});
    if (transfer == Transfer::Copy) {
        to.syncMadeChange();
        return;
    }

    // The source goes only once the copy is surely on the disk: a crash after the removal must find the copy.
    to.sync();
    if (m_fs->unlink(source.c_str()) != 0)
        throw ErrnoError(errno);
    from.syncMadeChange();
    // A book reached through a symbolic link: the link now points at nothing and goes too. Only a path that
    // leads nowhere is removed, never a file.
    const std::string link = native();
    struct stat left {};
    if (source != link && m_fs->stat(link.c_str(), &left) != 0 && errno == ENOENT)
        m_fs->unlink(link.c_str());
    m_path = dir + name;
}

RescueReport Book::rescue(const std::string& today) {
    const std::string real = realPath();
    const std::string dir = ParentDirectory(real);
    DirectoryLock lock(*m_fs, dir);
    struct stat source {};
    FileHandle in = OpenBookFile(*m_fs, real, O_RDONLY, source);
    std::string checkField;
    {
        BookHead head(*m_fs, in.fd());
        if (!KeyProvenBy(head, m_key))
            throw RuntimeError(code::BookChangedElsewhere);
        checkField.assign(head.header()[0]);
    }
    // A record is kept only when it is five fields, none holding a line break, whose four enciphered ones the key
    // deciphers: anything else would make the rescued book fail where the damaged one did.
    auto readable = [&](const std::string& line, RecordView& fields, std::size_t enciphered) {
        if (!ParseWholeRecord(line, fields))
            return false;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].find('\r') != std::string_view::npos)
                return false;
            try {
                if (i < enciphered)
                    CheckDecodable(fields[i], m_key);
            } catch (const CodecError&) {
                return false;
            }
        }
        return true;
    };

    RescueReport report;
    // The rescued book is a new book: it belongs to whoever rescues it, with the damaged book's permissions.
    ScratchFile out(*m_fs, dir);
    {
        LineReader lines(*m_fs, in.fd());
        RecordWriter writer(*m_fs, out.fd());
        std::string line;
        bool ended = false;
        RecordView fields;
        lines.next(line, ended);
        if (readable(line, fields, fields.size())) {
            writer.write(fields);
        } else {
            report.headerRebuilt = true;
            const BookHeader fresh = NewHeader(WithSeparator(ParentDirectory(m_path)), today);
            writer.write(Record{checkField, EncodeCarried(fresh.directory, m_key, Place::Folder),
                                Encode(fresh.coverName, m_key),
                                EncodeCarried(fresh.lastAccess, m_key, Place::LastAccess), Encode(fresh.flags, m_key)});
        }
        // The page a record should have: the one after the last page kept, plus one for each line since that could
        // not be read. A page's own number, where it can be read, says better which pages those lines were (a stray
        // line break makes two of one).
        std::int64_t expected = 1;
        std::int64_t unreadable = 0;
        bool cutShort = false;
        auto lose = [&](std::int64_t first, std::int64_t last, bool endCutShort) {
            if (last < first)
                return;
            if (endCutShort && last > first)
                report.lost.push_back({first, last - 1, false});
            if (endCutShort)
                report.lost.push_back({last, last, true});
            else
                report.lost.push_back({first, last, false});
        };
        while (lines.next(line, ended)) {
            if (!readable(line, fields, 4)) {
                ++unreadable;
                cutShort = !ended;
                continue;
            }
            const std::int64_t byPosition = expected + unreadable;
            const auto stored = StoredPageNumber(fields[0], m_key);
            const std::int64_t number = stored && *stored >= expected && *stored <= byPosition ? *stored : byPosition;
            lose(expected, number - 1, false);
            const std::string numberField = Encode(PageNumberText(++report.pagesKept), m_key);
            writer.write(RecordView{numberField, fields[1], fields[2], fields[3], fields[4]});
            expected = number + 1;
            unreadable = 0;
        }
        lose(expected, expected + unreadable - 1, cutShort);
        writer.flush();
    }
    out.takePermissions(in.fd(), source);
    in.close();
    out.finish();
    // A name nothing has yet: never the book's own, never the scratch file's, never one another file holds.
    const std::string ownName = FileName(m_path);
    for (int attempt = 1;; ++attempt) {
        if (attempt > 99)
            throw RuntimeError(code::FileExists);
        const std::string name = RescueName(ownName, attempt);
        if (IsScratchName(name) || name == ownName)
            continue;
        try {
            out.placeAs(JoinPath(dir, NativePath(name)), Existing::Keep);
        } catch (const RuntimeError& e) {
            if (e.code() != code::FileExists)
                throw;
            continue;
        }
        report.fileName = name;
        break;
    }
    lock.syncMadeChange();
    return report;
}

void Book::remove() {
    // A change like any other: under the folder's lock, and only with a key the book as it is now proves.
    const std::string path = native();
    DirectoryLock lock(*m_fs, ParentDirectory(path));
    {
        struct stat st {};
        FileHandle in = OpenBookFile(*m_fs, path, O_RDONLY, st);
        RefuseWriteProtected(*m_fs, path, st);
        RefuseChangedKey(*m_fs, in.fd(), m_key);
    }
    if (m_fs->unlink(path.c_str()) != 0)
        throw ErrnoError(errno);
    lock.syncMadeChange();
}

} // namespace dayvell
