// SPDX-License-Identifier: GPL-3.0-or-later
// A sealed book as a kind of book: its head, keys and records (SealedFormat.h, SealedKeys.h, SealedRecords.h) behind
// the interface every kind of book offers.
#include "BookFormat.h"

#include "Numbers.h"
#include "SealedFormat.h"
#include "SealedKeys.h"
#include "SealedRecords.h"

#include <algorithm>
#include <cerrno>

namespace dayvell {

namespace {

using sealed::SealedHead;

sealed::SealedPage Sealed(const PageView& p) {
    return {p.number, p.date, p.time, p.text, p.endMark};
}

PageView Plain(const sealed::SealedPage& p) {
    return {p.number, p.date, p.time, p.text, p.endMark};
}

class SealedBookWriter : public FormatWriter {
public:
    SealedBookWriter(FileSystem& fs, int fd, sealed::NewBook book)
        : m_book(std::move(book)), m_writer(fs, fd, m_book.head, m_book.key) {}

    void writeHeader(const BookHeader& h) override {
        m_writer.writeHeader({h.directory, h.coverName, h.lastAccess, h.flags});
    }
    void writePage(std::int64_t, const PageView& page) override { m_writer.writePage(Sealed(page)); }
    void finish() override { m_writer.finish(); }

private:
    sealed::NewBook m_book;
    sealed::SealedWriter m_writer;
};

class SealedBookReader : public FormatReader {
public:
    SealedBookReader(FileSystem& fs, int fd, SealedHead head, SecureBytes key)
        : m_fs(fs), m_fd(fd), m_head(std::move(head)), m_key(std::move(key)) {}

    BookHeader header() override {
        const sealed::SealedHeader h = records().readHeader();
        return {std::string(h.folder), std::string(h.coverName), std::string(h.lastAccess), std::string(h.flags)};
    }

    bool nextPage(PageView& page) override {
        sealed::SealedPage p;
        if (!records().nextPage(p))
            return false;
        page = Plain(p);
        return true;
    }

    bool skipPage() override { return records().skipPage(); }

    std::int64_t countPages() override { return sealed::CountSealedPages(m_fs, m_fd, m_head, m_key); }

    std::optional<std::pair<std::int64_t, Page>> pageOrLast(std::int64_t n) override {
        const std::int64_t count = countPages();
        if (count == 0)
            return std::nullopt;
        const std::int64_t position = std::min(n, count);
        // Stepped over by their lengths alone; the page wanted is read whole and deciphered where it lies, so that
        // a huge page is never held twice.
        sealed::SealedReader reader(m_fs, m_fd, m_head, m_key);
        reader.skipHeader();
        for (std::int64_t i = 1; i < position; ++i)
            if (!reader.skipPage())
                throw SealedBookDamaged(i);
        std::string record(sealed::kRecordPrefixSize, '\0');
        return readAt(reader.end(), position, record);
    }

    std::int64_t append(const Page& page) override {
        sealed::SealedAppender appender(m_fs, m_fd, m_head, m_key);
        const std::string number = PageNumberText(appender.nextPosition());
        return appender.append({number, page.date, page.time, page.text, kEndMark});
    }

    void copyChanged(int out, BookChange& change) override {
        // A sealed book changes its password in place.
        if (change.password)
            throw RuntimeError(code::InvalidArgument, "A sealed book's password is changed in place");
        sealed::SealedReader reader(m_fs, m_fd, m_head, m_key);
        sealed::SealedWriter writer(m_fs, out, m_head, m_key);
        const sealed::SealedHeader h = reader.readHeader();
        auto field = [](const std::optional<std::string>& changed, std::string_view kept) {
            return changed ? std::string_view(*changed) : kept;
        };
        writer.writeHeader({field(change.folder, h.folder), field(change.coverName, h.coverName),
                            field(change.lastAccess, h.lastAccess), field(change.flags, h.flags)});
        std::int64_t written = 0;
        sealed::SealedPage p;
        for (std::int64_t position = 1; reader.nextPage(p); ++position) {
            if (position == change.removed)
                continue;
            ++written;
            const bool edited = change.pageNumber && p.number == *change.pageNumber;
            const std::string number = change.removed ? PageNumberText(written) : std::string(p.number);
            if (written == position && !edited && number == p.number) {
                // The same page at the same place of the same book: its sealed bytes hold as they are.
                writer.copyPage(reader);
                continue;
            }
            writer.writePage({number, p.date, p.time, edited ? std::string_view(change.pageText) : p.text, p.endMark});
        }
        if (change.more) {
            Page page;
            for (std::int64_t number = written + 1; change.more(number, page); ++number, ++change.added) {
                const std::string numberText = PageNumberText(number);
                writer.writePage({numberText, page.date, page.time, page.text, kEndMark});
            }
        }
        writer.finish();
    }

    bool changePasswordInPlace(std::string_view password) override {
        // An old slot that could not be cleared no longer opens the book; the next change clears it.
        sealed::ChangePassword(m_fs, m_fd, m_head, m_key, password, sealed::NewSlotLimits());
        return true;
    }

private:
    sealed::SealedReader& records() {
        if (!m_records)
            m_records.emplace(m_fs, m_fd, m_head, m_key);
        return *m_records;
    }

    // Reads the page record at `offset`, which must be page `position`, into `record` and hands its fields over.
    std::optional<std::pair<std::int64_t, Page>> readAt(std::uint64_t offset, std::int64_t position,
                                                        std::string& record) {
        const auto damaged = [&] { return SealedBookDamaged(position); };
        if (ReadAt(m_fs, m_fd, record.data(), record.size(), static_cast<off_t>(offset)) != record.size())
            throw damaged();
        const std::uint64_t length = sealed::GetLe(reinterpret_cast<const unsigned char*>(record.data()), 4);
        struct stat st {};
        if (m_fs.fstat(m_fd, &st) != 0)
            throw ErrnoError(errno);
        if (length < sealed::kTagSize ||
            length > static_cast<std::uint64_t>(st.st_size) - offset - sealed::kRecordPrefixSize)
            throw damaged();
        record.resize(sealed::kRecordPrefixSize + static_cast<std::size_t>(length));
        const std::size_t rest = record.size() - sealed::kRecordPrefixSize;
        if (ReadAt(m_fs, m_fd, record.data() + sealed::kRecordPrefixSize, rest,
                   static_cast<off_t>(offset + sealed::kRecordPrefixSize)) != rest)
            throw damaged();
        std::vector<std::string_view> fields;
        if (!sealed::OpenSealedRecordInPlace(m_head, m_key, static_cast<std::uint64_t>(position), record, fields))
            throw damaged();
        Page page{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]), {}};
        // The text is kept where it was deciphered: the record's other bytes go first.
        const std::size_t textAt = static_cast<std::size_t>(fields[3].data() - record.data());
        const std::size_t textSize = fields[3].size();
        record.erase(0, textAt);
        record.resize(textSize);
        page.text = std::move(record);
        return std::make_pair(position, std::move(page));
    }

    FileSystem& m_fs;
    int m_fd;
    SealedHead m_head;
    SecureBytes m_key;
    std::optional<sealed::SealedReader> m_records;
};

// The book key `password` unwraps from the book whose head is `head`; BookChangedElsewhere when it does not.
SecureBytes KeyOf(const SealedHead& head, std::string_view password) {
    std::optional<SecureBytes> key = sealed::Unlock(head, password);
    if (!key)
        throw RuntimeError(code::BookChangedElsewhere);
    return std::move(*key);
}

class SealedBookFormat : public BookFormat {
public:
    BookKind kind() const override { return BookKind::Sealed; }
    bool recognises(std::string_view start) const override { return sealed::IsSealed(start); }
    PasswordRange passwords() const override { return {sealed::kMinPassword, sealed::kMaxPassword}; }

    // Every byte is sealed as it is.
    std::size_t firstUnstorable(std::string_view, std::size_t, std::string_view) const override {
        return std::string_view::npos;
    }
    void refuseUnstorable(std::string_view, Place, std::int64_t, std::string_view) const override {}

    void inspect(FileSystem& fs, int fd) const override { sealed::ReadSealedHead(fs, fd); }

    bool proves(FileSystem& fs, int fd, std::string_view password) const override {
        return sealed::Unlock(sealed::ReadSealedHead(fs, fd), password).has_value();
    }

    std::unique_ptr<FormatReader> open(FileSystem& fs, int fd, std::string_view password, Check) const override {
        // The head is read from the file as it is now: another copy may have changed the password.
        SealedHead head = sealed::ReadSealedHead(fs, fd);
        SecureBytes key = KeyOf(head, password);
        return std::make_unique<SealedBookReader>(fs, fd, std::move(head), std::move(key));
    }

    std::unique_ptr<FormatWriter> trial(std::string_view password) const override {
        if (!passwords().fits(password))
            throw RuntimeError(code::InvalidArgument, "A sealed book's password has 4 to 128 characters");
        return nullptr;
    }

    std::unique_ptr<FormatWriter> create(FileSystem& fs, int fd, std::string_view password) const override {
        return std::make_unique<SealedBookWriter>(fs, fd, sealed::MakeBook(password, sealed::NewSlotLimits()));
    }

    RescueReport rescue(FileSystem& fs, int in, int out, std::string_view password,
                        const BookHeader& fresh) const override;
};

// The records are walked by their lengths alone, whatever the tally says: every page that opens at its place is
// kept, numbered anew, and sealed again at its new place in a book with the same key, so that the same password
// opens it. A length that cannot be right ends the walk: nothing after it can be found.
RescueReport SealedBookFormat::rescue(FileSystem& fs, int in, int out, std::string_view password,
                                      const BookHeader& fresh) const {
    const SealedHead head = sealed::ReadSealedHead(fs, in);
    const SecureBytes key = KeyOf(head, password);
    struct stat st {};
    if (fs.fstat(in, &st) != 0)
        throw ErrnoError(errno);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    sealed::SealedWriter writer(fs, out, head, key);
    RescueReport report;
    std::string record;
    std::vector<std::string_view> fields;
    std::uint64_t offset = sealed::kHeadSize;
    // The next record at `offset`, read into `record`: false at the end of the file, or where what is left cannot
    // be a record (`cut` says so).
    bool cut = false;
    auto next = [&] {
        if (offset >= size)
            return false;
        record.assign(sealed::kRecordPrefixSize, '\0');
        const std::uint64_t left = size - offset;
        if (left < sealed::kRecordPrefixSize ||
            ReadAt(fs, in, record.data(), record.size(), static_cast<off_t>(offset)) != record.size()) {
            cut = true;
            return false;
        }
        const std::uint64_t length = sealed::GetLe(reinterpret_cast<const unsigned char*>(record.data()), 4);
        if (length < sealed::kTagSize || length > left - sealed::kRecordPrefixSize) {
            cut = true;
            return false;
        }
        record.resize(sealed::kRecordPrefixSize + static_cast<std::size_t>(length));
        const std::size_t rest = record.size() - sealed::kRecordPrefixSize;
        if (ReadAt(fs, in, record.data() + sealed::kRecordPrefixSize, rest,
                   static_cast<off_t>(offset + sealed::kRecordPrefixSize)) != rest) {
            cut = true;
            return false;
        }
        offset += record.size();
        return true;
    };

    if (next() && sealed::OpenSealedRecordInPlace(head, key, 0, record, fields)) {
        writer.writeHeader({fields[0], fields[1], fields[2], fields[3]});
    } else {
        report.headerRebuilt = true;
        writer.writeHeader({fresh.directory, fresh.coverName, fresh.lastAccess, fresh.flags});
    }
    std::int64_t position = 0;
    std::int64_t firstLost = 0;
    auto lose = [&](std::int64_t last) {
        if (firstLost != 0 && last >= firstLost)
            report.lost.push_back({firstLost, last, false});
        firstLost = 0;
    };
    while (!cut && next()) {
        ++position;
        if (!sealed::OpenSealedRecordInPlace(head, key, static_cast<std::uint64_t>(position), record, fields)) {
            if (firstLost == 0)
                firstLost = position;
            continue;
        }
        lose(position - 1);
        const std::string number = PageNumberText(++report.pagesKept);
        writer.writePage({number, fields[1], fields[2], fields[3], fields[4]});
    }
    lose(position);
    if (cut) {
        // What is left at the end could not be read as a record: the page it began was cut short, and whatever
        // the tally counted beyond it went with it.
        std::uint64_t counted = 0;
        if (const auto tally = sealed::NewestTally(head, key))
            counted = tally->tally.pages;
        report.lost.push_back({position + 1, position + 1, true});
        if (counted > static_cast<std::uint64_t>(position + 1))
            report.lost.push_back({position + 2, static_cast<std::int64_t>(counted), false});
    } else if (const auto tally = sealed::NewestTally(head, key);
               tally && tally->tally.pages > static_cast<std::uint64_t>(position)) {
        // Whole pages cut off the end.
        report.lost.push_back({position + 1, static_cast<std::int64_t>(tally->tally.pages), false});
    }
    writer.finish();
    return report;
}

} // namespace

const BookFormat& SealedBooks() {
    static const SealedBookFormat format;
    return format;
}

} // namespace dayvell
