// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"
#include "Record.h"
#include "SealedFormat.h"
#include "SecureMemory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The records of a sealed book: after the head, the book's header and then one record per page, each sealed on its
// own under the book key with a fresh nonce and bound to its book and its place.
namespace dayvell::sealed {

enum class RecordKind : unsigned char { Header = 1, Page = 2 };

// The header's fields in the order they are stored: Windows-1252 bytes, as in every book. A sealed book has no
// check phrase: its key slot proves the password.
struct SealedHeader {
    std::string_view folder;
    std::string_view coverName;
    std::string_view lastAccess;
    std::string_view flags;
};

// A page's fields in the order they are stored; the end mark is kept so that a book converted from the described
// kind and back is the same to the byte.
struct SealedPage {
    std::string_view number;
    std::string_view date;
    std::string_view time;
    std::string_view text;
    std::string_view endMark;
};

// The largest record: its length is a u32.
inline constexpr std::uint64_t kMostSealedBytes = 0xFFFFFFFFu;
// Length, nonce: what precedes a record's ciphertext.
inline constexpr std::size_t kRecordPrefixSize = 4 + kNonceSize;

// A record's bytes (length, nonce, ciphertext and tag) for `fields` at `position` (0 for the header, n for page n),
// sealed with a fresh nonce. Throws RuntimeError(SealedRecordTooLarge) past kMostSealedBytes.
void AppendSealedRecord(std::string& out, const SealedHead& head, const SecureBytes& key, RecordKind kind,
                        std::uint64_t position, const std::vector<std::string_view>& fields);

// Opens `sealed`, one record's bytes as they lie in the file (length, nonce, ciphertext and tag), as the record at
// `position`: its plaintext into `plain`, and its fields, views into `plain`, into `fields`. False when it does not
// authenticate there, or is not exactly the fields of its kind; `plain` then holds nothing of use.
bool OpenSealedRecord(const SealedHead& head, const SecureBytes& key, std::uint64_t position, std::string_view sealed,
                      std::string& plain, std::vector<std::string_view>& fields);
// The same deciphering `record` where it lies, so that a huge page is never held twice: its fields are views into
// `record` itself.
bool OpenSealedRecordInPlace(const SealedHead& head, const SecureBytes& key, std::uint64_t position,
                             std::string& record, std::vector<std::string_view>& fields);

namespace detail {
// The same with the nonce given, for known-answer tests.
void AppendSealedRecord(std::string& out, const SealedHead& head, const SecureBytes& key, RecordKind kind,
                        std::uint64_t position, const std::vector<std::string_view>& fields,
                        const std::array<unsigned char, kNonceSize>& nonce);
} // namespace detail

// Reads a sealed book's records in order from the open file, by position, holding one record at a time. Every
// record opened is authenticated before any of it is given out: a record that fails (damaged, cut short, from
// another book, out of its place) throws SealedBookDamaged naming its page, never altered text. A book that ends
// before the page its tally counts, or whose tally is gone, throws the same.
//
// The fields given out are views into the reader's buffer, valid until its next call; the buffer is wiped when the
// reader goes.
class SealedReader {
public:
    // Throws SealedBookDamaged(kInHead) when no tally copy authenticates under `key`.
    SealedReader(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key);
    ~SealedReader();
    SealedReader(const SealedReader&) = delete;
    SealedReader& operator=(const SealedReader&) = delete;

    // The header: the first call on a reader.
    SealedHeader readHeader();
    void skipHeader();
    // The next page; false at the end of the book.
    bool nextPage(SealedPage& page);
    // Steps over the next page without opening it: only its length is read. False at the end of the book.
    bool skipPage();

    // Moves past the pages the tally counts without reading them, as if they had been skipped: the pages past
    // them, if any, follow. Counting and appending cost the same on any book this way.
    void skipToTallyEnd();

    // The record last read: 0 the header, n page n.
    std::int64_t position() const { return m_position; }
    // Where the record last read ends in the file.
    std::uint64_t end() const { return m_offset; }
    // Its sealed bytes, as in the file, when it was opened (not skipped).
    std::string_view sealedBytes() const { return m_sealed; }
    // The tally as the file holds it now (read afresh, not taken from the head given).
    const TallyInForce& tally() const { return m_tally; }

private:
    friend class SealedWriter;
    enum class Step { Open, Skip };
    // Moves to the next record; false at a clean end of the file.
    bool advance(Step step);
    // `size` bytes at `offset`, through a read-ahead window so that many small records cost few reads.
    std::string_view bytesAt(std::uint64_t offset, std::size_t size);
    void fill(std::uint64_t offset);
    [[noreturn]] void damaged(std::int64_t position) const;

    FileSystem& m_fs;
    int m_fd;
    SealedHead m_head;
    const SecureBytes& m_key;
    TallyInForce m_tally;
    std::uint64_t m_size = 0;
    std::uint64_t m_offset = kHeadSize;
    std::int64_t m_position = -1;
    std::string m_window;
    std::uint64_t m_windowStart = 0;
    std::string m_large;
    std::string_view m_sealed;
    std::string m_plain;
    std::vector<std::string_view> m_fields;
};

// Writes a whole sealed book into a new file (anything it held before is cut away): the head (the slot in force only: a
// stale slot is not carried over), the header, the pages in order, and at last the tally. Nothing is synced: the
// caller's transaction does that before the file takes the book's place.
class SealedWriter {
public:
    SealedWriter(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key);
    void writeHeader(const SealedHeader& header);
    void writePage(const SealedPage& page);
    // The record `reader` last opened, copied as it is: it belongs to the same book at the same place, so it needs
    // no sealing again. A rewrite that changes only the header copies every page this way.
    void copyPage(const SealedReader& reader);
    // Writes what is buffered and the tally. Returns the number of pages written.
    std::int64_t finish();

private:
    void flushIfFull();
    FileSystem& m_fs;
    int m_fd;
    SealedHead m_head;
    const SecureBytes& m_key;
    std::string m_buffer;
    std::uint64_t m_end = kHeadSize;
    std::int64_t m_pages = -1; // -1 until the header is written
};

// Adds a page at the end of a sealed book open for reading and writing (without O_APPEND). The cost does not grow
// with the book: the end is found from the tally, and the tally is updated in place.
class SealedAppender {
public:
    // Finds the end of the book: the tally's, past any whole page whose tally update was lost (such pages are
    // opened, so that nothing is written after one that fails). Throws SealedBookDamaged when the book is shorter
    // than its tally, ends in a record cut short (a page written after it could never be read) or past the tally in
    // one that fails.
    SealedAppender(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key);
    // The position the next page takes.
    std::int64_t nextPosition() const { return m_pages + 1; }
    // Seals `page`, writes it at the end and syncs it; a failure cuts the file back to where it ended. Then records
    // the page in the tally copy not in force and syncs again; a failure there is passed over, since the page is on
    // the disk and a reader finds it past the older tally. Returns the page's position.
    //
    // Saving the same page again after a failure never stores it twice: when the book ends with a page past its
    // tally (the failure came after the page was written) whose date, time, text and end mark are this page's, the
    // save only makes sure that page is on the disk and counted, and returns its position.
    std::int64_t append(const SealedPage& page);

private:
    FileSystem& m_fs;
    int m_fd;
    SealedHead m_head;
    const SecureBytes& m_key;
    // Records the book's end in the tally copy not in force; see append().
    void updateTally();

    std::int64_t m_pages = 0;
    std::uint64_t m_end = 0;
    // The tally copy the next update goes to.
    int m_nextCopy = 0;
    // The last page past the tally, when there is one: an append whose end the program never learned of.
    std::optional<Record> m_uncounted;
};

// The number of pages: the tally's, plus any whole page past it whose tally update was lost. Reads only the
// records past the tally's end, and does not open them. Throws SealedBookDamaged when the book is shorter than its
// tally or ends in a record cut short.
std::int64_t CountSealedPages(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key);

} // namespace dayvell::sealed
