// SPDX-License-Identifier: GPL-3.0-or-later
#include "SealedRecords.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>

namespace dayvell::sealed {

namespace {

constexpr std::size_t kAdSize = kBindingSize + 1 + 8;
constexpr std::size_t kHeaderFields = 4;
constexpr std::size_t kPageFields = 5;
// Reads ahead this much: a few dozen ordinary pages at once.
constexpr std::size_t kWindow = 1 << 16;
// The writer hands the file this much at a time.
constexpr std::size_t kWriteChunk = 1 << 20;

// Binds a record to its book (magic, version, id), to its kind and to its place: a record cannot be moved to
// another book, to another position, or between the header's place and a page's, without failing to open.
std::array<unsigned char, kAdSize> RecordAd(const SealedHead& head, RecordKind kind, std::uint64_t position) {
    std::array<unsigned char, kAdSize> ad{};
    std::copy(head.binding().begin(), head.binding().end(), ad.begin());
    ad[kBindingSize] = static_cast<unsigned char>(kind);
    PutLe(ad.data() + kBindingSize + 1, position, 8);
    return ad;
}

std::vector<std::string_view> HeaderFields(const SealedHeader& h) {
    return {h.folder, h.coverName, h.lastAccess, h.flags};
}

std::vector<std::string_view> PageFields(const SealedPage& p) {
    return {p.number, p.date, p.time, p.text, p.endMark};
}

// Splits a plaintext into exactly `count` length-prefixed fields; false when it is anything else.
bool SplitFields(std::string_view plain, std::size_t count, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (plain.size() - at < 4)
            return false;
        const auto length = GetLe(reinterpret_cast<const unsigned char*>(plain.data() + at), 4);
        at += 4;
        if (length > plain.size() - at)
            return false;
        fields.push_back(plain.substr(at, length));
        at += length;
    }
    return at == plain.size();
}

} // namespace

namespace {

// Deciphers the record `sealed` at `position` into `plain` (which may be where its ciphertext lies) and splits it.
bool Open(const SealedHead& head, const SecureBytes& key, std::uint64_t position, std::string_view sealed,
          unsigned char* plain, std::vector<std::string_view>& fields) {
    if (sealed.size() < kRecordPrefixSize + kTagSize)
        return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(sealed.data());
    const std::size_t plainSize = sealed.size() - kRecordPrefixSize - kTagSize;
    if (GetLe(bytes, 4) != plainSize + kTagSize)
        return false;
    const auto ad = RecordAd(head, position == 0 ? RecordKind::Header : RecordKind::Page, position);
    if (crypto_aead_xchacha20poly1305_ietf_decrypt_detached(plain, nullptr, bytes + kRecordPrefixSize, plainSize,
                                                            bytes + kRecordPrefixSize + plainSize, ad.data(), ad.size(),
                                                            bytes + 4, key.data()) != 0)
        return false;
    // Authentic yet not the fields of its kind: written by something that is not Dayvell.
    return SplitFields(std::string_view(reinterpret_cast<const char*>(plain), plainSize),
                       position == 0 ? kHeaderFields : kPageFields, fields);
}

} // namespace

bool OpenSealedRecord(const SealedHead& head, const SecureBytes& key, std::uint64_t position, std::string_view sealed,
                      std::string& plain, std::vector<std::string_view>& fields) {
    plain.resize(sealed.size() >= kRecordPrefixSize + kTagSize ? sealed.size() - kRecordPrefixSize - kTagSize : 0);
    return Open(head, key, position, sealed, reinterpret_cast<unsigned char*>(plain.data()), fields);
}

bool OpenSealedRecordInPlace(const SealedHead& head, const SecureBytes& key, std::uint64_t position,
                             std::string& record, std::vector<std::string_view>& fields) {
    return Open(head, key, position, record, reinterpret_cast<unsigned char*>(record.data()) + kRecordPrefixSize,
                fields);
}

namespace detail {

void AppendSealedRecord(std::string& out, const SealedHead& head, const SecureBytes& key, RecordKind kind,
                        std::uint64_t position, const std::vector<std::string_view>& fields,
                        const std::array<unsigned char, kNonceSize>& nonce) {
    std::uint64_t plainSize = 0;
    for (const auto f : fields)
        plainSize += 4 + f.size();
    if (plainSize > kMostSealedBytes - kTagSize)
        throw RuntimeError(code::SealedRecordTooLarge);
    const std::size_t start = out.size();
    out.resize(start + kRecordPrefixSize + plainSize + kTagSize);
    auto* b = reinterpret_cast<unsigned char*>(out.data()) + start;
    PutLe(b, plainSize + kTagSize, 4);
    std::copy(nonce.begin(), nonce.end(), b + 4);
    // The plaintext is laid out where its ciphertext goes and enciphered in place, so a page is never held twice.
    unsigned char* text = b + kRecordPrefixSize;
    unsigned char* p = text;
    for (const auto f : fields) {
        PutLe(p, f.size(), 4);
        p = std::copy(f.begin(), f.end(), p + 4);
    }
    const auto ad = RecordAd(head, kind, position);
    if (crypto_aead_xchacha20poly1305_ietf_encrypt_detached(text, text + plainSize, nullptr, text, plainSize, ad.data(),
                                                            ad.size(), nullptr, nonce.data(), key.data()) != 0) {
        sodium_memzero(b, out.size() - start);
        out.resize(start);
        throw RuntimeError(code::SealedRecordTooLarge);
    }
}

} // namespace detail

void AppendSealedRecord(std::string& out, const SealedHead& head, const SecureBytes& key, RecordKind kind,
                        std::uint64_t position, const std::vector<std::string_view>& fields) {
    std::array<unsigned char, kNonceSize> nonce{};
    InitSodium();
    randombytes_buf(nonce.data(), nonce.size());
    detail::AppendSealedRecord(out, head, key, kind, position, fields, nonce);
}

SealedReader::SealedReader(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key)
    : m_fs(fs), m_fd(fd), m_head(head), m_key(key) {
    // The tally as it is on the disk now: the head may have been read before another copy of the program added a
    // page. It is read before the file's length, never after: a reader takes no lock, and a tally is written only
    // once its pages are whole on the disk, so the length found after it always reaches the tally's end. (Read the
    // other way round, a page added in between made the tally count past the length, and the book look cut short.)
    const std::size_t tallies = kHeadSize - kTallyOffset[0];
    if (ReadAt(fs, fd, m_head.bytes.data() + kTallyOffset[0], tallies, kTallyOffset[0]) != tallies)
        damaged(SealedBookDamaged::kInHead);
    const auto tally = NewestTally(m_head, key);
    if (!tally || tally->tally.end < kHeadSize)
        damaged(SealedBookDamaged::kInHead);
    m_tally = *tally;
    struct stat st {};
    if (fs.fstat(fd, &st) != 0)
        throw ErrnoError(errno);
    m_size = static_cast<std::uint64_t>(st.st_size);
}

SealedReader::~SealedReader() {
    WipeString(m_plain);
}

void SealedReader::damaged(std::int64_t position) const {
    throw SealedBookDamaged(position);
}

void SealedReader::fill(std::uint64_t offset) {
    m_window.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, m_size - offset)));
    m_window.resize(ReadAt(m_fs, m_fd, m_window.data(), m_window.size(), static_cast<off_t>(offset)));
    m_windowStart = offset;
}

std::string_view SealedReader::bytesAt(std::uint64_t offset, std::size_t size) {
    const auto inWindow = [&] { return offset >= m_windowStart && offset - m_windowStart + size <= m_window.size(); };
    if (!inWindow() && size <= kWindow)
        fill(offset);
    if (inWindow())
        return std::string_view(m_window).substr(static_cast<std::size_t>(offset - m_windowStart), size);
    // A large record is read on its own, straight into a buffer of its size.
    if (size <= kWindow)
        damaged(m_position + 1); // the file became shorter than it was a moment ago
    m_large.resize(size);
    if (ReadAt(m_fs, m_fd, m_large.data(), size, static_cast<off_t>(offset)) != size)
        damaged(m_position + 1);
    return m_large;
}

bool SealedReader::advance(Step step) {
    const std::int64_t position = m_position + 1;
    const auto counted = static_cast<std::uint64_t>(position);
    if (m_offset == m_size) {
        // A clean end, but the tally may say there was more: whole pages were cut off.
        if (counted <= m_tally.tally.pages)
            damaged(position);
        return false;
    }
    const std::uint64_t remaining = m_size - m_offset;
    if (remaining < kRecordPrefixSize)
        damaged(position);
    const auto length = GetLe(reinterpret_cast<const unsigned char*>(bytesAt(m_offset, kRecordPrefixSize).data()), 4);
    // Checked before anything of the size is taken: a record never claims more than the file holds.
    if (length < kTagSize || length > remaining - kRecordPrefixSize)
        damaged(position);
    const std::uint64_t end = m_offset + kRecordPrefixSize + length;
    // The pages the tally counts end exactly where it says; a length that was changed shows here even unopened.
    if ((counted < m_tally.tally.pages && end >= m_tally.tally.end) ||
        (counted == m_tally.tally.pages && end != m_tally.tally.end))
        damaged(position);
    m_sealed = {};
    if (step == Step::Open) {
        m_sealed = bytesAt(m_offset, static_cast<std::size_t>(kRecordPrefixSize + length));
        if (!OpenSealedRecord(m_head, m_key, counted, m_sealed, m_plain, m_fields))
            damaged(position);
    }
    m_offset = end;
    m_position = position;
    return true;
}

SealedHeader SealedReader::readHeader() {
    if (m_position != -1)
        throw RuntimeError(code::InvalidArgument, "The header is read first");
    advance(Step::Open); // never false: a book without its header is damaged
    return {m_fields[0], m_fields[1], m_fields[2], m_fields[3]};
}

void SealedReader::skipHeader() {
    if (m_position != -1)
        throw RuntimeError(code::InvalidArgument, "The header is read first");
    advance(Step::Skip);
}

bool SealedReader::nextPage(SealedPage& page) {
    if (m_position == -1)
        skipHeader();
    if (!advance(Step::Open))
        return false;
    page = {m_fields[0], m_fields[1], m_fields[2], m_fields[3], m_fields[4]};
    return true;
}

bool SealedReader::skipPage() {
    if (m_position == -1)
        skipHeader();
    return advance(Step::Skip);
}

void SealedReader::skipToTallyEnd() {
    if (m_position != -1)
        throw RuntimeError(code::InvalidArgument, "The tally's end is found from the start");
    if (m_tally.tally.end > m_size) {
        // Shorter than the tally: walk the records to name the first page missing or cut.
        while (skipPage()) {
        }
        damaged(SealedBookDamaged::kInHead); // not reached: the walk meets the end before the tally's
    }
    m_offset = m_tally.tally.end;
    m_position = static_cast<std::int64_t>(m_tally.tally.pages);
}

SealedWriter::SealedWriter(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key)
    : m_fs(fs), m_fd(fd), m_head(head), m_key(key) {
    // Only the slot in force goes on; the tally is written last, once it is known.
    const auto other = static_cast<std::size_t>(1 - head.inForce);
    std::fill_n(m_head.bytes.begin() + kSlotOffset[other], kSlotSize, 0);
    m_head.keySlots[other].reset();
    std::fill(m_head.bytes.begin() + kTallyOffset[0], m_head.bytes.end(), 0);
    m_buffer.assign(reinterpret_cast<const char*>(m_head.bytes.data()), m_head.bytes.size());
}

void SealedWriter::flushIfFull() {
    if (m_buffer.size() < kWriteChunk)
        return;
    WriteAllAt(m_fs, m_fd, m_buffer.data(), m_buffer.size(), static_cast<off_t>(m_end - m_buffer.size()));
    // A huge page leaves a huge buffer behind: give it back rather than keep it for small ones.
    if (m_buffer.capacity() > 2 * kWriteChunk)
        std::string().swap(m_buffer);
    else
        m_buffer.clear();
}

void SealedWriter::writeHeader(const SealedHeader& header) {
    if (m_pages != -1)
        throw RuntimeError(code::InvalidArgument, "The header is written first");
    const std::size_t before = m_buffer.size();
    AppendSealedRecord(m_buffer, m_head, m_key, RecordKind::Header, 0, HeaderFields(header));
    m_end += m_buffer.size() - before;
    m_pages = 0;
    flushIfFull();
}

void SealedWriter::writePage(const SealedPage& page) {
    if (m_pages == -1)
        throw RuntimeError(code::InvalidArgument, "The header is written first");
    const std::size_t before = m_buffer.size();
    AppendSealedRecord(m_buffer, m_head, m_key, RecordKind::Page, static_cast<std::uint64_t>(m_pages + 1),
                       PageFields(page));
    m_end += m_buffer.size() - before;
    ++m_pages;
    flushIfFull();
}

void SealedWriter::copyPage(const SealedReader& reader) {
    // Sealed for another book, key or place, the copy would never open again.
    if (m_pages == -1 || reader.position() != m_pages + 1 || reader.sealedBytes().empty() ||
        !std::equal(reader.m_head.binding().begin(), reader.m_head.binding().end(), m_head.binding().begin()) ||
        !reader.m_key.equals(m_key))
        throw RuntimeError(code::InvalidArgument, "A sealed page is copied only to its own place in its own book");
    m_buffer += reader.sealedBytes();
    m_end += reader.sealedBytes().size();
    ++m_pages;
    flushIfFull();
}

std::int64_t SealedWriter::finish() {
    if (m_pages == -1)
        throw RuntimeError(code::InvalidArgument, "A book has a header");
    WriteAllAt(m_fs, m_fd, m_buffer.data(), m_buffer.size(), static_cast<off_t>(m_end - m_buffer.size()));
    m_buffer.clear();
    // Whatever a reused file held past the book would read as a page cut short.
    if (m_fs.ftruncate(m_fd, static_cast<off_t>(m_end)) != 0)
        throw ErrnoError(errno);
    const Tally tally{static_cast<std::uint64_t>(m_pages), m_end};
    for (int copy = 0; copy < 2; ++copy) {
        const auto bytes = TallyBytes(m_head, m_key, copy, tally);
        WriteAllAt(m_fs, m_fd, reinterpret_cast<const char*>(bytes.data()), bytes.size(),
                   static_cast<off_t>(kTallyOffset[static_cast<std::size_t>(copy)]));
    }
    return m_pages;
}

SealedAppender::SealedAppender(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key)
    : m_fs(fs), m_fd(fd), m_head(head), m_key(key) {
    SealedReader reader(fs, fd, head, key);
    reader.skipToTallyEnd();
    SealedPage page;
    while (reader.nextPage(page))
        m_uncounted = Record{std::string(page.number), std::string(page.date), std::string(page.time),
                             std::string(page.text), std::string(page.endMark)};
    m_pages = reader.position();
    m_end = reader.end();
    m_nextCopy = 1 - reader.tally().copy;
}

std::int64_t SealedAppender::append(const SealedPage& page) {
    if (m_uncounted && (*m_uncounted)[1] == page.date && (*m_uncounted)[2] == page.time &&
        (*m_uncounted)[3] == page.text && (*m_uncounted)[4] == page.endMark) {
        // Saved already by the attempt that failed: it only has to reach the disk, and the tally.
        SyncFile(m_fs, m_fd);
        updateTally();
        return m_pages;
    }
    const std::int64_t position = m_pages + 1;
    std::string record;
    AppendSealedRecord(record, m_head, m_key, RecordKind::Page, static_cast<std::uint64_t>(position), PageFields(page));
    try {
        WriteAllAt(m_fs, m_fd, record.data(), record.size(), static_cast<off_t>(m_end));
        SyncFile(m_fs, m_fd);
    } catch (...) {
        // What landed of the record would read as a page cut short: the book goes back to where it ended. Should
        // that fail as well, the next reader reports the cut page rather than showing it.
        m_fs.ftruncate(m_fd, static_cast<off_t>(m_end));
        throw;
    }
    m_pages = position;
    m_end += record.size();
    m_uncounted.reset();
    updateTally();
    return position;
}

void SealedAppender::updateTally() {
    const auto bytes = TallyBytes(m_head, m_key, m_nextCopy, {static_cast<std::uint64_t>(m_pages), m_end});
    try {
        WriteAllAt(m_fs, m_fd, reinterpret_cast<const char*>(bytes.data()), bytes.size(),
                   static_cast<off_t>(kTallyOffset[static_cast<std::size_t>(m_nextCopy)]));
        SyncFile(m_fs, m_fd);
        m_nextCopy = 1 - m_nextCopy;
    } catch (const RuntimeError&) {
        // The page is on the disk; the copy in force still holds the tally before it, which the page follows.
    }
}

std::int64_t CountSealedPages(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key) {
    SealedReader reader(fs, fd, head, key);
    reader.skipToTallyEnd();
    while (reader.skipPage()) {
    }
    return reader.position();
}

} // namespace dayvell::sealed
