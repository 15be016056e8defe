// SPDX-License-Identifier: GPL-3.0-or-later
#include "DescribedFormat.h"

#include "BookHead.h"
#include "Codec.h"
#include "KeyProof.h"
#include "Numbers.h"
#include "Record.h"
#include "SecureMemory.h"
#include "TextMatch.h"
#include "Vectorise.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <vector>

namespace dayvell {

const BookFormat& DescribedBooks();

namespace {

// How many characters of a page's text a search result line shows.
constexpr std::size_t kResultTextLength = 25;
// Codes 0 to 2 plus a key character of 32 to 34 encipher to a double quote, which would end the field early.
constexpr unsigned char kHighestReservedCode = 2;

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
    ~Rekeyer() {
        WipeString(m_old);
        WipeString(m_new);
        sodium_memzero(m_oldRun.data(), m_oldRun.size());
        sodium_memzero(m_newRun.data(), m_newRun.size());
    }
    Rekeyer(const Rekeyer&) = delete;
    Rekeyer& operator=(const Rekeyer&) = delete;

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
bool KeyProvenBy(BookHead& head, std::string_view key) {
    return KeyProven(head.header(), key, [&] { return head.firstPageStamps(); });
}

// The header and the first page's stamps of a book being written, as a proof of its key sees them.
struct ProofMaterial {
    Record header;
    std::optional<Record> firstPage;

    void notePage(const RecordView& stored) {
        if (firstPage)
            return;
        firstPage.emplace();
        for (std::size_t i = 0; i < 4; ++i)
            (*firstPage)[i] = std::string(stored[i].substr(0, i == 3 ? kProofText : std::string_view::npos));
    }
    // A password the book could not prove afterwards would lock its owner out.
    void refuseUnprovable(std::string_view key) const {
        const RecordView view{header[0], header[1], header[2], header[3], header[4]};
        if (!KeyProven(view, key, [&] { return firstPage; }))
            throw UnprovableKey();
    }
};

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
std::optional<std::int64_t> StoredPageNumber(std::string_view field, std::string_view key) {
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
std::int64_t PageCountAtEnd(FileSystem& fs, int fd, const LastRecord& last, std::string_view key) {
    if (last.isHeader)
        return 0;
    if (const auto number = StoredPageNumber(last.fields[0], key))
        return *number;
    return CountRecords(fs, fd);
}

std::size_t FirstUnstorableIn(std::string_view field, std::size_t from, std::string_view key) {
    for (std::size_t i = from; i < field.size(); ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        if (c <= kHighestReservedCode || key.empty() || c + static_cast<unsigned char>(key[i % key.size()]) > 255)
            return i;
    }
    return std::string_view::npos;
}

// `plain` enciphered under `key`, refusing with UncarriedCharacter what could not be read back.
std::string Stored(std::string_view plain, std::string_view key, Place place, std::int64_t page = 0) {
    const std::size_t at = FirstUnstorableIn(plain, 0, key);
    if (at != std::string_view::npos)
        throw UncarriedCharacter(static_cast<unsigned char>(plain[at]),
                                 key.empty() ? 0 : static_cast<unsigned char>(key[at % key.size()]), place, page);
    return Encode(plain, key);
}

// Looks for the upper-cased `needle` in one page, deciphering and upper-casing it a piece at a time so that a page
// that matches early is not deciphered to its end.
class PageScanner {
public:
    PageScanner(std::string_view needle, std::string_view key)
        : m_needle(needle), m_key(key),
          m_step(std::max<size_t>(1, 512 / std::max<size_t>(1, key.size())) * std::max<size_t>(1, key.size())) {}

    bool matches(const RecordView& record) {
        m_joined.clear();
        m_searched = 0;
        for (size_t i = 0; i < 3; ++i)
            DecodeUpperAppend(m_joined, record[i], m_key);
        // A word that is on a page at all is most often found in its first lines; the rest of the page is looked
        // at in one go, since each look costs a search set-up. The rest starts at a multiple of the key's length,
        // where the key starts again.
        const std::string_view text = record[3];
        const size_t first = std::min(text.size(), m_step);
        DecodeUpperAppend(m_joined, text.substr(0, first), m_key);
        if (found()) {
            // The page is listed only when all of it deciphers, as when it is read whole.
            CheckDecodable(text.substr(first), m_key);
            return true;
        }
        if (first < text.size()) {
            DecodeUpperAppend(m_joined, text.substr(first), m_key);
            if (found())
                return true;
        }
        return m_needle.empty() && !m_joined.empty();
    }

private:
    // Searches what was added since the last look, with enough of what came before for a match that straddles
    // the two.
    bool found() {
        if (m_needle.empty())
            return !m_joined.empty();
        const size_t from = m_searched >= m_needle.size() - 1 ? m_searched - (m_needle.size() - 1) : 0;
        m_searched = m_joined.size();
        if (m_joined.size() - from < m_needle.size())
            return false;
        return Contains(std::string_view(m_joined).substr(from), m_needle);
    }

    std::string_view m_needle;
    std::string_view m_key;
    size_t m_step;
    std::string m_joined;
    size_t m_searched = 0;
};

// Writes a described book into a file, or, without one, only tries everything a write would refuse.
class DescribedWriter : public FormatWriter {
public:
    DescribedWriter(FileSystem& fs, int fd, std::string_view key) : m_writer(std::in_place, fs, fd), m_key(key) {}
    explicit DescribedWriter(std::string_view key) : m_key(key) {}
    ~DescribedWriter() override { WipeString(m_key); }

    void writeHeader(const BookHeader& h) override {
        m_proof.header = {Stored(kCheckPhrase, m_key, Place::CheckPhrase), Stored(h.directory, m_key, Place::Folder),
                          Stored(h.coverName, m_key, Place::CoverName), Stored(h.lastAccess, m_key, Place::LastAccess),
                          Stored(h.flags, m_key, Place::Flags)};
        if (m_writer)
            m_writer->write(m_proof.header);
    }

    void writePage(std::int64_t position, const PageView& p) override {
        if (!m_writer && m_proof.firstPage) {
            // Only tried: every character is looked at, nothing is enciphered.
            for (const std::string_view field : {p.number, p.date, p.time, p.text})
                DescribedBooks().refuseUnstorable(field, Place::Page, position, m_key);
            return;
        }
        const Record record{Stored(p.number, m_key, Place::Page, position),
                            Stored(p.date, m_key, Place::Page, position), Stored(p.time, m_key, Place::Page, position),
                            Stored(p.text, m_key, Place::Page, position), std::string(p.endMark)};
        m_proof.notePage(RecordView{record[0], record[1], record[2], record[3], record[4]});
        if (m_writer)
            m_writer->write(record);
    }

    void finish() override {
        m_proof.refuseUnprovable(m_key);
        if (m_writer)
            m_writer->flush();
    }

private:
    std::optional<RecordWriter> m_writer;
    std::string m_key;
    ProofMaterial m_proof;
};

class DescribedReader : public FormatReader {
public:
    DescribedReader(FileSystem& fs, int fd, std::string_view key) : m_fs(fs), m_fd(fd), m_key(key) {}
    ~DescribedReader() override { WipeString(m_key); }

    BookHeader header() override {
        RecordView r;
        if (!records().next(r))
            throw RuntimeError(code::PastEndOfFile);
        m_headerPassed = true;
        if (Decode(r[0], m_key) != kCheckPhrase)
            throw RuntimeError(code::BookChangedElsewhere);
        return {Decode(r[1], m_key), Decode(r[2], m_key), Decode(r[3], m_key), Decode(r[4], m_key)};
    }

    bool nextPage(PageView& page) override {
        passHeader();
        RecordView r;
        if (!records().next(r))
            return false;
        // Deciphered into buffers that are used again for every page.
        const std::array<std::string*, 4> plain = {&m_number, &m_date, &m_time, &m_text};
        for (std::size_t i = 0; i < plain.size(); ++i) {
            plain[i]->assign(r[i]);
            DecodeInPlace(*plain[i], m_key);
        }
        page = {m_number, m_date, m_time, m_text, r[4]};
        return true;
    }

    bool skipPage() override {
        passHeader();
        return records().skip();
    }

    std::int64_t countPages() override { return CountRecords(m_fs, m_fd); }

    std::int64_t countFromEnd() override {
        struct stat st {};
        if (m_fs.fstat(m_fd, &st) != 0)
            throw ErrnoError(errno);
        LastRecord last;
        ReadLastRecord(m_fs, m_fd, st.st_size, last);
        return PageCountAtEnd(m_fs, m_fd, last, m_key);
    }

    std::optional<std::pair<std::int64_t, Page>> pageOrLast(std::int64_t n) override {
        std::int64_t position = 0;
        std::uint64_t length = 0;
        {
            RecordReader reader(m_fs, m_fd);
            if (!reader.skip())
                throw RuntimeError(code::PastEndOfFile);
            // The page is deciphered from the reader's buffer, never copied first.
            RecordView record;
            while (position < n && reader.next(record)) {
                if (++position == n)
                    return std::make_pair(position, Page{Decode(record[0], m_key), Decode(record[1], m_key),
                                                         Decode(record[2], m_key), Decode(record[3], m_key)});
            }
            length = reader.bytesRead();
        }
        if (position == 0)
            return std::nullopt;
        // A book with fewer pages than `n`: its last page is read from the end of what was read, once the reader's
        // buffer has gone, so that a huge page is never held twice before it is deciphered.
        LastRecord last;
        ReadLastRecord(m_fs, m_fd, static_cast<off_t>(length), last);
        Page page{Decode(last.fields[0], m_key), Decode(last.fields[1], m_key), Decode(last.fields[2], m_key), {}};
        const std::string_view text = last.fields[3];
        // The text is deciphered where it lies: the record's other bytes go first.
        last.bytes.erase(0, static_cast<std::size_t>(text.data() - last.bytes.data()));
        last.bytes.resize(text.size());
        DecodeInPlace(last.bytes, m_key);
        page.text = std::move(last.bytes);
        return std::make_pair(position, std::move(page));
    }

    // Deciphering and turning to capitals in one pass over each page, and only as far as a match needs.
    void search(std::string_view upperNeedle, const std::function<void(const PageView&)>& onMatch) override {
        PageScanner scanner(upperNeedle, m_key);
        passHeader();
        RecordView record;
        while (records().next(record)) {
            if (!scanner.matches(record))
                continue;
            // The result line shows only the start of the text: decipher no more of it than that.
            const std::string number = Decode(record[0], m_key);
            const std::string date = Decode(record[1], m_key);
            const std::string time = Decode(record[2], m_key);
            const std::string text = Decode(record[3].substr(0, kResultTextLength), m_key);
            onMatch({number, date, time, text, record[4]});
        }
    }

    std::int64_t append(const Page& page) override {
        // Everything is enciphered first; a field the cipher cannot carry stops the save before it starts.
        const std::string date = Encode(page.date, m_key);
        const std::string time = Encode(page.time, m_key);
        const std::string text = Encode(page.text, m_key);
        struct stat st {};
        if (m_fs.fstat(m_fd, &st) != 0)
            throw ErrnoError(errno);
        const off_t oldSize = st.st_size;
        if (oldSize == 0)
            throw RuntimeError(code::PastEndOfFile); // no header: not a book

        // The book must end in a whole record (a page written after one cut short could never be read), whose
        // number is the page count. Only the start and the end are read, so that a save costs the same on any book.
        std::int64_t count = 0;
        bool endsWithThisPage = false;
        {
            LastRecord last;
            ReadLastRecord(m_fs, m_fd, oldSize, last);
            count = PageCountAtEnd(m_fs, m_fd, last, m_key);
            endsWithThisPage =
                !last.isHeader && last.fields[1] == date && last.fields[2] == time && last.fields[3] == text;
        }
        if (endsWithThisPage) {
            // A save tried again after a failure the disk reported late (the page landed, cutting it back failed):
            // the page is there already. It only has to reach the disk; a second copy would be a second page.
            SyncFile(m_fs, m_fd);
            return count;
        }
        const std::string numberField = Encode(PageNumberText(count + 1), m_key);
        try {
            // A book written elsewhere may end its last record at the end of the file, without a line end.
            char tail[2] = {};
            const off_t tailSize = oldSize >= 2 ? 2 : 1;
            if (m_fs.pread(m_fd, tail, static_cast<size_t>(tailSize), oldSize - tailSize) != tailSize)
                throw ErrnoError(errno ? errno : EIO);
            off_t at = oldSize;
            if (!(tailSize == 2 && tail[0] == '\r' && tail[1] == '\n')) {
                WriteAllAt(m_fs, m_fd, "\r\n", 2, at);
                at += 2;
            }
            // Written from the enciphered fields themselves: a huge page is not copied once more into a record.
            RecordWriter writer(m_fs, m_fd, at);
            writer.write(RecordView{numberField, date, time, text, kEndMark});
            writer.flush();
            SyncFile(m_fs, m_fd);
        } catch (...) {
            // Never leave half a record behind: it would make every later read of the book fail.
            m_fs.ftruncate(m_fd, oldSize);
            throw;
        }
        return count + 1;
    }

    void copyChanged(int out, BookChange& change) override {
        // The header's fields in their order, for naming the one a character of a new key cannot carry.
        static constexpr Place kHeaderPlaces[] = {Place::CheckPhrase, Place::Folder, Place::CoverName,
                                                  Place::LastAccess, Place::Flags};
        const std::string_view key = change.password ? std::string_view(*change.password) : m_key;
        std::optional<Rekeyer> rekey;
        if (change.password)
            rekey.emplace(m_key, *change.password);
        // Replacements are enciphered before anything is written.
        std::optional<std::string> folder, coverName, lastAccess, flags, pageText;
        if (change.folder)
            folder = EncodeCarried(*change.folder, key, Place::Folder);
        if (change.coverName)
            coverName = Encode(*change.coverName, key);
        if (change.lastAccess)
            lastAccess = Encode(*change.lastAccess, key);
        if (change.flags)
            flags = Encode(*change.flags, key);
        if (change.pageNumber)
            pageText = Encode(change.pageText, key);

        RecordReader reader(m_fs, m_fd);
        RecordWriter writer(m_fs, out);
        RecordEdit record;
        ProofMaterial proof;
        std::string converted;
        if (!reader.next(record.field))
            throw RuntimeError(code::PastEndOfFile);
        if (rekey) {
            for (size_t i = 0; i < record.field.size(); ++i) {
                rekey->convert(record.field[i], converted, kHeaderPlaces[i], 0);
                record.replace(i, std::move(converted));
            }
        }
        const std::array<std::optional<std::string>*, 4> replaced = {&folder, &coverName, &lastAccess, &flags};
        for (std::size_t i = 0; i < replaced.size(); ++i)
            if (*replaced[i])
                record.replace(i + 1, std::move(**replaced[i]));
        if (rekey)
            for (std::size_t i = 0; i < record.field.size(); ++i)
                proof.header[i] = std::string(record.field[i]);
        writer.write(record.field);
        record.release();

        std::int64_t written = 0;
        for (std::int64_t position = 1; reader.next(record.field); ++position) {
            if (position == change.removed) {
                record.release();
                continue;
            }
            const bool edited = change.pageNumber && Decode(record.field[0], m_key) == *change.pageNumber;
            if (rekey) {
                for (size_t i = 0; i < 4; ++i) {
                    rekey->convert(record.field[i], converted, Place::Page, position);
                    record.replace(i, std::move(converted));
                }
            }
            ++written;
            if (change.removed)
                record.replace(0, Encode(PageNumberText(written), key));
            if (edited)
                record.replace(3, *pageText);
            if (rekey)
                proof.notePage(record.field);
            writer.write(record.field);
            record.release();
        }
        if (change.more) {
            Page page;
            for (std::int64_t number = written + 1; change.more(number, page); ++number, ++change.added) {
                writer.write(RecordView{EncodeCarried(PageNumberText(number), key, Place::Page, number),
                                        EncodeCarried(page.date, key, Place::Page, number),
                                        EncodeCarried(page.time, key, Place::Page, number),
                                        EncodeCarried(page.text, key, Place::Page, number), kEndMark});
            }
        }
        if (rekey)
            proof.refuseUnprovable(key);
        writer.flush();
    }

private:
    RecordReader& records() {
        if (!m_records)
            m_records.emplace(m_fs, m_fd);
        return *m_records;
    }
    void passHeader() {
        if (m_headerPassed)
            return;
        if (!records().skip())
            throw RuntimeError(code::PastEndOfFile);
        m_headerPassed = true;
    }

    FileSystem& m_fs;
    int m_fd;
    std::string m_key;
    std::optional<RecordReader> m_records;
    bool m_headerPassed = false;
    std::string m_number, m_date, m_time, m_text;
};

class DescribedFormat : public BookFormat {
public:
    BookKind kind() const override { return BookKind::Described; }

    // A described book begins with the header's first quote, or blanks before it.
    bool recognises(std::string_view start) const override {
        return !start.empty() && (start[0] == '"' || start[0] == ' ');
    }

    PasswordRange passwords() const override { return {4, 10}; }

    std::size_t firstUnstorable(std::string_view field, std::size_t from, std::string_view key) const override {
        return FirstUnstorableIn(field, from, key);
    }

    void refuseUnstorable(std::string_view field, Place place, std::int64_t page, std::string_view key) const override {
        const std::size_t at = FirstUnstorableIn(field, 0, key);
        if (at != std::string_view::npos)
            throw UncarriedCharacter(static_cast<unsigned char>(field[at]),
                                     key.empty() ? 0 : static_cast<unsigned char>(key[at % key.size()]), place, page);
    }

    void inspect(FileSystem& fs, int fd) const override {
        // The whole header record, read strictly: a file that is not one is no book.
        RecordReader reader(fs, fd);
        if (!reader.skip())
            throw RuntimeError(code::PastEndOfFile);
    }

    bool proves(FileSystem& fs, int fd, std::string_view key) const override {
        BookHead head(fs, fd);
        return KeyProvenBy(head, key);
    }

    std::unique_ptr<FormatReader> open(FileSystem& fs, int fd, std::string_view key, Check check) const override {
        BookHead head(fs, fd);
        if (check == Check::Writing) {
            // Whatever a key the book does not prove wrote would be garbage: another copy changed the password
            // since this one opened the book, or the key was never the book's.
            if (!head.headerWhole())
                throw RuntimeError(code::PastEndOfFile);
            if (!KeyProvenBy(head, key))
                throw RuntimeError(code::BookChangedElsewhere);
        } else if (Decode(head.header()[0], key) != kCheckPhrase) {
            // A key the cipher cannot even apply to the phrase fails as deciphering any field would (5).
            throw RuntimeError(code::BookChangedElsewhere);
        }
        return std::make_unique<DescribedReader>(fs, fd, key);
    }

    std::unique_ptr<FormatWriter> create(FileSystem& fs, int fd, std::string_view key) const override {
        return std::make_unique<DescribedWriter>(fs, fd, key);
    }

    std::unique_ptr<FormatWriter> trial(std::string_view key) const override {
        return std::make_unique<DescribedWriter>(key);
    }

    RescueReport rescue(FileSystem& fs, int in, int out, std::string_view key, const BookHeader& fresh) const override;
};

RescueReport DescribedFormat::rescue(FileSystem& fs, int in, int out, std::string_view key,
                                     const BookHeader& fresh) const {
    std::string checkField;
    {
        BookHead head(fs, in);
        if (!KeyProvenBy(head, key))
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
                    CheckDecodable(fields[i], key);
            } catch (const CodecError&) {
                return false;
            }
        }
        return true;
    };

    RescueReport report;
    LineReader lines(fs, in);
    RecordWriter writer(fs, out);
    std::string line;
    bool ended = false;
    RecordView fields;
    lines.next(line, ended);
    if (readable(line, fields, fields.size())) {
        writer.write(fields);
    } else {
        report.headerRebuilt = true;
        writer.write(Record{checkField, EncodeCarried(fresh.directory, key, Place::Folder),
                            Encode(fresh.coverName, key), EncodeCarried(fresh.lastAccess, key, Place::LastAccess),
                            Encode(fresh.flags, key)});
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
        const auto stored = StoredPageNumber(fields[0], key);
        const std::int64_t number = stored && *stored >= expected && *stored <= byPosition ? *stored : byPosition;
        lose(expected, number - 1, false);
        const std::string numberField = Encode(PageNumberText(++report.pagesKept), key);
        writer.write(RecordView{numberField, fields[1], fields[2], fields[3], fields[4]});
        expected = number + 1;
        unreadable = 0;
    }
    lose(expected, expected + unreadable - 1, cutShort);
    writer.flush();
    return report;
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

const BookFormat& DescribedBooks() {
    static const DescribedFormat format;
    return format;
}

} // namespace dayvell
