// SPDX-License-Identifier: GPL-3.0-or-later
#include "Import.h"

#include "Charset.h"
#include "Codec.h"
#include "DateReading.h"
#include "Export.h"
#include "Numbers.h"
#include "Progress.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <optional>

namespace dayvell {

namespace {

using Json = nlohmann::json;

std::string FileNameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// A file name for a message: the windows speak Windows-1252, which may lack some of its characters.
std::string Shown(const std::string& path) {
    const auto text = DecodeUtf8(path);
    if (!text)
        return path;
    std::string shown;
    for (char32_t c : *text) {
        const int code = Cp1252Code(c);
        shown += code >= 0 ? static_cast<char>(code) : '?';
    }
    return shown;
}

// Reads an open file a block at a time, for the JSON parser to take one character after another: a large file
// never sits whole in memory.
class BlockReader {
public:
    BlockReader(FileSystem& fs, int fd) : m_fs(fs), m_fd(fd), m_buffer(1 << 16) {}

    // The next character is at `pos` once this is true; false at the end of the file.
    bool ready() { return pos != end || refill(); }

    const char* pos = nullptr;
    const char* end = nullptr;

private:
    bool refill() {
        if (m_eof)
            return false;
        const ssize_t n = m_fs.read(m_fd, m_buffer.data(), m_buffer.size());
        if (n < 0)
            throw ErrnoError(errno);
        pos = m_buffer.data();
        end = pos + n;
        m_eof = n == 0;
        return n > 0;
    }

    FileSystem& m_fs;
    int m_fd;
    std::vector<char> m_buffer;
    bool m_eof = false;
};

// The reader as the input iterator the JSON parser takes; the default-made one is the end.
class BlockIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    BlockIterator() = default;
    explicit BlockIterator(BlockReader& reader) : m_reader(&reader) {}

    const char& operator*() const { return *m_reader->pos; }
    BlockIterator& operator++() {
        ++m_reader->pos;
        return *this;
    }
    BlockIterator operator++(int) {
        BlockIterator before = *this;
        ++*this;
        return before;
    }
    // Only ever compared with the end: equal once the file has no more characters.
    bool operator==(const BlockIterator& other) const { return atEnd() == other.atEnd(); }
    bool operator!=(const BlockIterator& other) const { return !(*this == other); }

private:
    bool atEnd() const { return !m_reader || !m_reader->ready(); }

    BlockReader* m_reader = nullptr;
};

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The Windows-1252 of characters; those the set lacks become "?" and are named in `unstorable`.
std::string Storable(const std::u32string& text, std::string& unstorable) {
    std::string out;
    out.reserve(text.size());
    std::vector<char32_t> missing;
    for (char32_t c : text) {
        const int code = Cp1252Code(c);
        if (code >= 0) {
            out += static_cast<char>(code);
            continue;
        }
        out += '?';
        if (std::find(missing.begin(), missing.end(), c) == missing.end())
            missing.push_back(c);
    }
    for (char32_t c : missing) {
        char name[16];
        std::snprintf(name, sizeof name, "%sU+%04X", unstorable.empty() ? "" : ", ", static_cast<unsigned>(c));
        unstorable += name;
    }
    return out;
}

// The same of UTF-8 text, which the JSON parser has made sure of.
std::string Storable(const std::string& utf8, std::string& unstorable) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return utf8;
    return Storable(DecodeUtf8(utf8).value_or(U"\uFFFD"), unstorable);
}

std::string OrderOf(const CivilDate& date, const CivilTime& time) {
    return IsoDate(date) + "T" + IsoTime(time);
}

// A page stamped as one written at that moment would be.
void Stamp(ImportedPage& p, const Clock& clock, const CivilDate& date, const CivilTime& time) {
    const ClockReading reading = clock.at(date, time);
    p.page.date = reading.weekdayName + ", " + reading.shortDate;
    p.page.time = reading.timeText;
    p.order = OrderOf(date, time);
}

// Collects the entries of a JSON file as the parser reads it, keeping only what a page needs: an entry's values
// are checked and converted as soon as its object ends, and everything else is passed over. Depth, sizes and the
// number of entries are bounded as the parse goes.
class EntryReader : public nlohmann::json_sax<Json> {
public:
    EntryReader(std::string path, const Clock& clock, const ImportLimits& limits)
        : m_path(std::move(path)), m_clock(clock), m_limits(limits) {}

    ImportFile finish() {
        if (m_list.empty())
            fail("it holds neither the pages of a Dayvell export nor the entries of a jrnl export");
        if (m_kind == ImportKind::DayvellJson && m_format && *m_format != kJsonExportFormat)
            fail("its \"format\" is not \"" + std::string(kJsonExportFormat) + "\"");
        if (m_kind == ImportKind::DayvellJson && m_version && *m_version > kJsonExportVersion)
            fail("it was written by a newer version of Dayvell (layout " + std::to_string(*m_version) + ")");
        return {m_kind, std::move(m_pages)};
    }

    bool null() override { return scalar(Value::Null, {}); }
    bool boolean(bool) override { return scalar(Value::Other, {}); }
    bool number_integer(number_integer_t n) override {
        if (m_depth == 1 && m_key == "version")
            m_version = n;
        return scalar(Value::Other, {});
    }
    bool number_unsigned(number_unsigned_t n) override {
        if (m_depth == 1 && m_key == "version")
            m_version = n > static_cast<number_unsigned_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(n);
        return scalar(Value::Other, {});
    }
    bool number_float(number_float_t, const string_t&) override { return scalar(Value::Other, {}); }
    bool string(string_t& s) override {
        if (s.size() > m_limits.textBytes)
            fail(where() + "holds a text longer than " + std::to_string(m_limits.textBytes >> 20) + " MB");
        if (m_depth == 1 && m_key == "format")
            m_format = s;
        return scalar(Value::String, std::move(s));
    }
    bool binary(binary_t&) override { return scalar(Value::Other, {}); }

    bool start_object(std::size_t) override {
        enter();
        if (m_depth == 1)
            return true;
        if (m_depth == 2 && isList())
            fail("its \"" + m_key + "\" is not a list");
        if (m_depth == 3 && m_inList) {
            if (++m_entry > m_limits.entries)
                fail("it holds more than " + std::to_string(m_limits.entries) + " entries");
            for (auto& f : m_fields)
                f.reset();
        } else if (m_depth == 4 && m_inList && known(m_fieldKey)) {
            fail(where() + "\"" + m_fieldKey + "\" is not a text");
        }
        return true;
    }
    bool end_object() override {
        if (m_depth == 3 && m_inList)
            takeEntry();
        --m_depth;
        return true;
    }
    bool start_array(std::size_t) override {
        enter();
        if (m_depth == 1)
            fail("it is a list, not an export");
        if (m_depth == 2 && isList()) {
            if (!m_list.empty())
                fail("it holds both \"pages\" and \"entries\"");
            m_list = m_key;
            m_kind = m_key == "pages" ? ImportKind::DayvellJson : ImportKind::JrnlJson;
            m_inList = true;
        } else if (m_depth == 3 && m_inList) {
            ++m_entry;
            fail(where() + "is not an object");
        } else if (m_depth == 4 && m_inList && known(m_fieldKey)) {
            fail(where() + "\"" + m_fieldKey + "\" is not a text");
        }
        return true;
    }
    bool end_array() override {
        if (m_depth == 2)
            m_inList = false;
        --m_depth;
        return true;
    }
    bool key(string_t& k) override {
        if (k.size() > m_limits.textBytes)
            fail("it holds a name longer than " + std::to_string(m_limits.textBytes >> 20) + " MB");
        if (m_depth == 1)
            m_key = k;
        else if (m_depth == 3 && m_inList)
            m_fieldKey = k;
        return true;
    }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override {
        const std::string what = e.what();
        if (what.find("UTF-8") != std::string::npos)
            fail("it is not valid JSON: its text is not UTF-8 (at byte " + std::to_string(position) + ")");
        fail("it is not valid JSON (at byte " + std::to_string(position) + ")");
    }

private:
    enum class Value { Null, String, Other };
    // The values an entry is read from, by their names in either kind of file.
    static constexpr const char* kFieldNames[] = {"number", "date", "time", "text", "title", "body"};
    static constexpr std::size_t kFields = std::size(kFieldNames);
    static std::size_t FieldIndex(const std::string& name) {
        for (std::size_t i = 0; i < kFields; ++i)
            if (name == kFieldNames[i])
                return i;
        return kFields;
    }

    [[noreturn]] void fail(const std::string& what) const { throw ImportError(m_path, what); }

    std::string where() const { return "entry " + std::to_string(m_entry) + " "; }

    bool isList() const { return m_key == "pages" || m_key == "entries"; }

    // The values an entry of the file's kind is read from; others are passed over.
    bool known(const std::string& k) const {
        if (m_kind == ImportKind::DayvellJson)
            return k == "number" || k == "date" || k == "time" || k == "text";
        return k == "date" || k == "time" || k == "title" || k == "body";
    }

    void enter() {
        if (++m_depth > m_limits.depth)
            fail("it is nested more than " + std::to_string(m_limits.depth) + " levels deep");
    }

    bool scalar(Value type, std::string text) {
        if (m_depth == 0)
            fail("it is a single value, not an export");
        if (m_depth == 1 && isList())
            fail("its \"" + m_key + "\" is not a list");
        if (m_depth == 2 && m_inList) {
            ++m_entry;
            fail(where() + "is not an object");
        }
        if (m_depth == 3 && m_inList && known(m_fieldKey)) {
            if (type != Value::String)
                fail(where() + "\"" + m_fieldKey + "\" is not a text");
            m_fields[FieldIndex(m_fieldKey)] = std::move(text);
        }
        return true;
    }

    // A value of the entry in Windows-1252; a missing one is an error unless it may be left out.
    std::string text(const char* name, ImportedPage& page, bool required = true) {
        const std::optional<std::string>& field = m_fields[FieldIndex(name)];
        if (!field) {
            if (!required)
                return {};
            fail(where() + "has no \"" + name + "\"");
        }
        return Storable(*field, page.unstorable);
    }

    void takeEntry() {
        ImportedPage p;
        p.source = m_path;
        p.entry = static_cast<std::int64_t>(m_entry);
        if (m_kind == ImportKind::DayvellJson) {
            // Stored values come back as they were, byte for byte.
            p.page.date = text("date", p);
            p.page.time = text("time", p);
            p.page.text = text("text", p);
            const auto date = ReadDateLine(p.page.date);
            const auto time = ReadTimeText(p.page.time);
            std::string order = date ? OrderOf(*date, time.value_or(CivilTime{})) : std::string();
            // In the order of the book: never before the page it followed there.
            m_latest = std::max(m_latest, order);
            p.order = m_latest;
        } else {
            const std::string dateText = text("date", p);
            const std::string timeText = text("time", p);
            const auto date = ParseIsoDate(dateText);
            const auto time = ParseIsoTime(timeText);
            if (!date)
                fail(where() + "has the date \"" + dateText + "\", not a day written as YYYY-MM-DD");
            if (!time)
                fail(where() + "has the time \"" + timeText + "\", not a time written as HH:MM");
            Stamp(p, m_clock, *date, *time);
            std::string body = text("body", p, false);
            const std::size_t start = body.find_first_not_of("\r\n");
            const std::size_t end = body.find_last_not_of(" \t\r\n");
            body = start == std::string::npos ? std::string() : body.substr(start, end + 1 - start);
            const std::string title = text("title", p, false);
            p.page.text = WithCrLf(body.empty() ? title : title + "\n" + body);
        }
        m_pages.push_back(std::move(p));
    }

    std::string m_path;
    const Clock& m_clock;
    const ImportLimits& m_limits;
    int m_depth = 0;
    std::string m_key;
    std::string m_fieldKey;
    std::string m_list;
    bool m_inList = false;
    ImportKind m_kind = ImportKind::JrnlJson;
    std::optional<std::string> m_format;
    std::optional<std::int64_t> m_version;
    std::size_t m_entry = 0;
    std::array<std::optional<std::string>, kFields> m_fields;
    std::string m_latest;
    std::vector<ImportedPage> m_pages;
};

ImportFile ReadText(const std::string& path, FileHandle& file, const struct stat& st, const Clock& clock,
                    const ImportLimits& limits, FileSystem& fs) {
    if (static_cast<std::uintmax_t>(st.st_size) > limits.textBytes)
        throw ImportError(path,
                          "as a page of text it is longer than " + std::to_string(limits.textBytes >> 20) + " MB");
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = fs.pread(file.fd(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n < 0)
            throw ErrnoError(errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.erase(0, 3);
    const auto decoded = DecodeUtf8(bytes);
    if (!decoded)
        throw ImportError(path, "it is neither a JSON export nor UTF-8 text");
    ImportedPage p;
    p.source = path;
    p.entry = 1;
    std::string text = WithCrLf(Storable(*decoded, p.unstorable));
    // The line end that closes a text file is not part of the page.
    while (text.ends_with("\r\n"))
        text.resize(text.size() - 2);
    p.page.text = std::move(text);
    std::tm local{};
    const std::time_t modified = st.st_mtim.tv_sec;
    if (localtime_r(&modified, &local) == nullptr)
        throw ImportError(path, "its modification time cannot be read");
    Stamp(p, clock, {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
          {local.tm_hour, local.tm_min, std::min(local.tm_sec, 59)});
    ImportFile result;
    result.pages.push_back(std::move(p));
    return result;
}

// The first character that is not white space, or none.
std::optional<char> FirstMark(FileSystem& fs, int fd) {
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = fs.pread(fd, buffer, sizeof buffer, at);
        if (n < 0)
            throw ErrnoError(errno);
        if (n == 0)
            return std::nullopt;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
                return c;
        }
        at += n;
    }
}

} // namespace

ImportError::ImportError(const std::string& file, const std::string& what)
    : RuntimeError(code::InvalidArgument, Shown(file) + " cannot be imported: " + what + ".") {}

ImportFile ReadImportFile(const std::string& path, const Clock& clock, const ImportLimits& limits, FileSystem& fs) {
    struct stat st {};
    // Never waits on a named pipe or a device, and reads only ordinary files.
    const int fd = fs.open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        if (err == EISDIR)
            throw ImportError(path, "it is a folder");
        struct stat parent {};
        throw ErrnoError(err,
                         (err == ENOENT || err == ENOTDIR) && fs.stat(ParentDirectory(path).c_str(), &parent) != 0);
    }
    FileHandle file(fs, fd);
    if (fs.fstat(fd, &st) != 0)
        throw ErrnoError(errno);
    // Its enciphered lines would make pages of gibberish.
    if (HasBookExtension(FileNameOf(path)))
        throw ImportError(path, "it is a book; its pages are read by opening it");
    if (S_ISDIR(st.st_mode))
        throw ImportError(path, "it is a folder");
    if (!S_ISREG(st.st_mode))
        throw ImportError(path, "it is not an ordinary file");
    if (static_cast<std::uintmax_t>(st.st_size) > limits.fileBytes)
        throw ImportError(path, "it is larger than " + std::to_string(limits.fileBytes >> 20) + " MB");

    // A JSON export is an object; anything else is a page of text.
    const std::optional<char> first = FirstMark(fs, fd);
    if (!first)
        throw ImportError(path, "it is empty");
    if (*first != '{')
        return ReadText(path, file, st, clock, limits, fs);
    BlockReader reader(fs, fd);
    EntryReader entries(path, clock, limits);
    Json::sax_parse(BlockIterator(reader), BlockIterator(), &entries);
    return entries.finish();
}

void OrderByDate(std::vector<ImportedPage>& pages) {
    std::stable_sort(pages.begin(), pages.end(),
                     [](const ImportedPage& a, const ImportedPage& b) { return a.order < b.order; });
}

std::string StorageProblem(const ImportedPage& p, const StorageRule& rule, std::int64_t number) {
    if (!p.unstorable.empty())
        return "It holds characters that no dayvell can store: " + p.unstorable + ".";
    if (rule(PageNumberText(number), 0) != std::string_view::npos)
        return "Its page number cannot be stored with this dayvell's password.";
    std::string uncarried;
    bool controls = false;
    for (const std::string* field : {&p.page.date, &p.page.time, &p.page.text}) {
        for (std::size_t at = rule(*field, 0); at != std::string_view::npos; at = rule(*field, at + 1)) {
            const auto c = static_cast<unsigned char>((*field)[at]);
            // Enciphered, codes 0 to 2 could come out as the quote that ends a field.
            if (c <= 2)
                controls = true;
            else if (uncarried.find(static_cast<char>(c)) == std::string::npos)
                uncarried += static_cast<char>(c);
        }
    }
    if (controls)
        return "It holds control characters that cannot be stored in a dayvell.";
    if (uncarried.empty())
        return {};
    std::string named;
    for (char c : uncarried)
        named += std::string(named.empty() ? "" : ", ") + c;
    return "It holds characters that this dayvell's password cannot carry: " + named + ".";
}

std::string StorageProblem(const ImportedPage& page, const Book& book, std::int64_t number) {
    return StorageProblem(
        page, [&](std::string_view field, std::size_t from) { return book.firstUnstorable(field, from); }, number);
}

std::string DescribeImportedPage(const ImportedPage& p) {
    std::string where = "The page from " + Shown(FileNameOf(p.source));
    if (p.entry > 0)
        where += " (entry " + std::to_string(p.entry) + ")";
    return where + ", dated " + p.page.date + " " + p.page.time;
}

ImportResult ImportPages(Book& book, const std::vector<ImportedPage>& pages, Progress& progress) {
    struct Cancelled {};
    const auto task =
        progress.start("Importing pages, pages added:", "Import pages", static_cast<std::int64_t>(pages.size()));
    std::size_t next = 0;
    try {
        const std::int64_t added = book.appendPages([&](std::int64_t, Page& page) {
            if (!task->advance(static_cast<std::int64_t>(next)))
                throw Cancelled{};
            if (next == pages.size())
                return false;
            page = pages[next++].page;
            return true;
        });
        return {false, added};
    } catch (const Cancelled&) {
        return {true, 0};
    }
}

} // namespace dayvell
