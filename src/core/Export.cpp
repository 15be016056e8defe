// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export.h"

#include "BufferedOutput.h"
#include "Charset.h"
#include "DateReading.h"
#include "PdfPrintout.h"
#include "PrintBook.h"
#include "PrintText.h"
#include "Progress.h"
#include "core/Version.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <unistd.h>

namespace dayvell {

namespace {

constexpr std::array<ExportFormatInfo, 5> kFormats = {{
    {ExportFormat::Text, "txt", ".txt", "Plain text", true},
    {ExportFormat::Markdown, "md", ".md", "Markdown", true},
    {ExportFormat::Json, "json", ".json", "JSON", true},
    {ExportFormat::Html, "html", ".html", "Web page (HTML)", true},
    {ExportFormat::Pdf, "pdf", ".pdf", "PDF, laid out as printed", true},
}};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Control characters other than tab and line breaks have no place in a document for people to read; they show as
// the replacement character. Plain text keeps every character as it is.
bool IsStrayControl(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F;
}

// How one format writes the Windows-1252 characters of a text: each character as UTF-8 unless the format gives it
// a replacement of its own, and perhaps each line break (CR LF, a lone CR or a lone LF) as "\n". Exports write
// whole books, so the rules are a table, and runs of characters that need nothing are copied in one go.
class TextRules {
public:
    // `escape` gives a character's replacement, or nothing for the character itself.
    template <class Escape> TextRules(bool unifyLineBreaks, Escape escape) : m_unify(unifyLineBreaks) {
        for (int i = 0; i < 256; ++i) {
            const auto c = static_cast<unsigned char>(i);
            const std::string_view replacement = escape(c);
            m_replace[c] = !replacement.empty() ? std::string(replacement) : Utf8FromCp1252(std::string(1, char(c)));
            m_special[c] = c >= 0x80 || !replacement.empty() || (m_unify && (c == '\r' || c == '\n'));
            m_asciiReplaced = m_asciiReplaced || (c >= 0x20 && c <= 0x7E && m_special[c]);
        }
    }

    void append(std::string& out, std::string_view text) const {
        const char* data = text.data();
        const std::size_t size = text.size();
        std::size_t run = 0;
        for (std::size_t i = 0; i < size;) {
            // Most of a diary is printable ASCII that the format keeps: eight such bytes are passed over at once.
            if (i + 8 <= size && plainBlock(data + i)) {
                i += 8;
                continue;
            }
            const auto c = static_cast<unsigned char>(data[i]);
            if (!m_special[c]) {
                ++i;
                continue;
            }
            out.append(data + run, i - run);
            if (m_unify && (c == '\r' || c == '\n')) {
                out += '\n';
                if (c == '\r' && i + 1 < size && data[i + 1] == '\n')
                    ++i;
            } else {
                out += m_replace[c];
            }
            run = ++i;
        }
        out.append(data + run, size - run);
    }

private:
    // Whether the eight bytes at `p` are printable ASCII (0x20 to 0x7E) none of which the format replaces.
    bool plainBlock(const char* p) const {
        std::uint64_t w;
        std::memcpy(&w, p, sizeof w);
        constexpr std::uint64_t kOnes = 0x0101010101010101;
        constexpr std::uint64_t kHigh = 0x8080808080808080;
        // A byte below 0x20 borrows into its high bit; one above 0x7E carries into it (or has it already).
        const std::uint64_t below = (w - 0x20 * kOnes) & ~w & kHigh;
        const std::uint64_t above = ((w + (0x7F - 0x7E) * kOnes) | w) & kHigh;
        if ((below | above) != 0)
            return false;
        if (!m_asciiReplaced)
            return true;
        const auto* b = reinterpret_cast<const unsigned char*>(p);
        return (m_special[b[0]] | m_special[b[1]] | m_special[b[2]] | m_special[b[3]] | m_special[b[4]] |
                m_special[b[5]] | m_special[b[6]] | m_special[b[7]]) == 0;
    }

    bool m_unify;
    // Whether the format replaces any printable ASCII character.
    bool m_asciiReplaced = false;
    // Bytes, not bools, so that eight of them are or-ed together without a branch for each.
    std::array<std::uint8_t, 256> m_special{};
    std::array<std::string, 256> m_replace;
};

std::string Trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return std::string(s);
}

// The ISO date and time of pages, read once for a run of pages stamped alike (many a day has several pages).
class IsoReadings {
public:
    const std::optional<CivilDate>& date(std::string_view line) {
        if (!m_dateRead || line != m_dateLine) {
            m_dateLine = line;
            m_date = ReadDateLine(line);
            m_dateRead = true;
        }
        return m_date;
    }
    const std::optional<CivilTime>& time(std::string_view text) {
        if (!m_timeRead || text != m_timeText) {
            m_timeText = text;
            m_time = ReadTimeText(text);
            m_timeRead = true;
        }
        return m_time;
    }

private:
    bool m_dateRead = false;
    bool m_timeRead = false;
    std::string m_dateLine;
    std::string m_timeText;
    std::optional<CivilDate> m_date;
    std::optional<CivilTime> m_time;
};

// One format's layout. Pages come one at a time, each with its position in the book.
class Writer {
public:
    explicit Writer(BufferedOutput& out) : m_out(out) {}
    virtual ~Writer() = default;
    // `title` is the cover name, or the book's file name where no cover name was set.
    virtual void begin(const std::string& coverName, const std::string& title) = 0;
    virtual void page(std::int64_t position, const PageView& page) = 0;
    virtual void end() = 0;

protected:
    std::string& out() { return m_out.text(); }

private:
    BufferedOutput& m_out;
};

class TextWriter : public Writer {
public:
    using Writer::Writer;
    void begin(const std::string& coverName, const std::string&) override { line(coverName); }
    void page(std::int64_t, const PageView& page) override {
        line(page.number);
        line(page.date);
        line(page.time);
        // Tabs take the columns they take on paper, as in the printout. The wrapping changes only a text with a run
        // of the print width between two carriage returns; most pages have none, and are written as they are.
        const bool tabs = page.text.find('\t') != std::string::npos;
        const std::string expanded = tabs ? ExpandTabs(page.text) : std::string();
        const std::string_view text = tabs ? std::string_view(expanded) : std::string_view(page.text);
        if (LongestRunWithoutCr(text) < kPrintWidth)
            line(text);
        else
            line(WrapForPrint(text));
        out() += '\n';
    }
    void end() override {}

private:
    static std::size_t LongestRunWithoutCr(std::string_view text) {
        std::size_t longest = 0;
        for (std::size_t start = 0;;) {
            const std::size_t cr = text.find('\r', start);
            longest = std::max(longest, (cr == std::string_view::npos ? text.size() : cr) - start);
            if (cr == std::string_view::npos)
                return longest;
            start = cr + 1;
        }
    }
    // As the printer prints a line: its own line breaks included, then a line end.
    void line(std::string_view text) {
        static const TextRules rules(true, [](unsigned char) { return std::string_view(); });
        rules.append(out(), text);
        out() += '\n';
    }
};

class MarkdownWriter : public Writer {
public:
    using Writer::Writer;
    void begin(const std::string&, const std::string& title) override {
        out() += "# ";
        inline_(title);
        out() += '\n';
    }
    void page(std::int64_t position, const PageView& page) override {
        const std::string number = Trimmed(page.number);
        out() += "\n## Page ";
        inline_(number.empty() ? std::to_string(position) : number);
        out() += "\n\n*";
        inline_(page.date);
        out() += ", ";
        inline_(page.time);
        out() += "*\n";
        block(page.text);
    }
    void end() override {}

private:
    // Every character that could start markup is taken literally; "#" too, which would close a heading.
    static std::string_view Escape(unsigned char c) {
        switch (c) {
        case '\\':
            return "\\\\";
        case '`':
            return "\\`";
        case '*':
            return "\\*";
        case '_':
            return "\\_";
        case '[':
            return "\\[";
        case ']':
            return "\\]";
        case '<':
            return "\\<";
        case '>':
            return "\\>";
        case '|':
            return "\\|";
        case '~':
            return "\\~";
        case '&':
            return "\\&";
        case '#':
            return "\\#";
        default:
            return IsStrayControl(c) ? kReplacement : std::string_view();
        }
    }

    void inline_(std::string_view text) {
        static const TextRules rules(true, Escape);
        rules.append(out(), text);
    }

    // The page's lines as paragraphs: each line break a hard break ("\" at the end of the line), each empty line
    // the end of a paragraph. A line is never read as a heading, list, quote, rule or code block.
    void block(std::string_view text) {
        std::vector<std::string_view> lines;
        for (std::size_t start = 0;;) {
            std::size_t end = start;
            while (end < text.size() && text[end] != '\r' && text[end] != '\n')
                ++end;
            if (end == text.size())
                end = std::string_view::npos;
            lines.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
            if (end == std::string_view::npos)
                break;
            start = end + 1 + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n');
        }
        auto blank = [](std::string_view line) {
            return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
        };
        bool open = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (blank(lines[i])) {
                open = false;
                continue;
            }
            if (!open)
                out() += '\n';
            open = true;
            lineStart(lines[i]);
            if (i + 1 < lines.size() && !blank(lines[i + 1]))
                out() += '\\';
            out() += '\n';
        }
    }

    // What a line begins with decides what block it is: indentation (a code block) is written as a character
    // reference, and a character that would open a list, heading or rule is escaped.
    void lineStart(std::string_view line) {
        if (line.front() == ' ' || line.front() == '\t') {
            out() += line.front() == ' ' ? "&#32;" : "&#9;";
            inline_(line.substr(1));
            return;
        }
        std::size_t digits = 0;
        while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits])))
            ++digits;
        if (digits > 0 && digits < line.size() && (line[digits] == '.' || line[digits] == ')')) {
            inline_(line.substr(0, digits));
            out() += '\\';
            inline_(line.substr(digits));
            return;
        }
        if (line.front() == '+' || line.front() == '-' || line.front() == '=')
            out() += '\\';
        inline_(line);
    }
};

class HtmlWriter : public Writer {
public:
    using Writer::Writer;
    void begin(const std::string&, const std::string& title) override {
        out() += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                 "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                 "<meta name=\"generator\" content=\"Dayvell ";
        out() += kVersion;
        out() += "\">\n<title>";
        escaped(title);
        out() += "</title>\n<style>\n"
                 "body { font-family: Georgia, 'DejaVu Serif', serif; line-height: 1.5; color: #222; background: #fff;"
                 " max-width: 42em; margin: 2em auto; padding: 0 1em; }\n"
                 "h1 { text-align: center; font-size: 2em; margin-bottom: 1.5em; }\n"
                 "article { border-top: 1px solid #bbb; margin-top: 2em; padding-top: 0.5em; }\n"
                 "h2 { font-size: 1.1em; margin: 0; }\n"
                 ".stamp { color: #555; font-style: italic; margin: 0 0 1em; }\n"
                 ".text { white-space: pre-wrap; overflow-wrap: break-word; }\n"
                 "@media print {\n"
                 "  body { max-width: none; margin: 0; padding: 0; font-size: 11pt; }\n"
                 "  h2, .stamp { break-after: avoid; page-break-after: avoid; }\n"
                 "}\n"
                 "@page { margin: 2cm; }\n"
                 "</style>\n</head>\n<body>\n<h1>";
        escaped(title);
        out() += "</h1>\n";
    }
    void page(std::int64_t position, const PageView& page) override {
        const std::string id = std::to_string(position);
        out() += "<article class=\"page\" id=\"page-" + id + "\">\n<h2>Page ";
        const std::string number = Trimmed(page.number);
        escaped(number.empty() ? id : number);
        out() += "</h2>\n<p class=\"stamp\">";
        const std::optional<CivilDate>& date = m_readings.date(page.date);
        const std::optional<CivilTime>& time = m_readings.time(page.time);
        if (date) {
            out() += "<time datetime=\"";
            out() += IsoDate(*date);
            if (time) {
                out() += 'T';
                out() += IsoTime(*time);
            }
            out() += "\">";
        }
        escaped(page.date);
        out() += ", ";
        escaped(page.time);
        if (date)
            out() += "</time>";
        out() += "</p>\n<div class=\"text\">";
        escaped(page.text);
        out() += "</div>\n</article>\n";
    }
    void end() override { out() += "</body>\n</html>\n"; }

private:
    static std::string_view Escape(unsigned char c) {
        switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        default:
            // The C1 codes that Windows-1252 leaves undefined are no characters for a browser either.
            return IsStrayControl(c) || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D
                       ? kReplacement
                       : std::string_view();
        }
    }
    void escaped(std::string_view text) {
        static const TextRules rules(true, Escape);
        rules.append(out(), text);
    }

    IsoReadings m_readings;
};

// The JSON of a book. Strings are escaped here rather than by the JSON library: its escaping reads every byte as
// UTF-8 of unknown validity and took more time than everything else an export does, while a book's text is
// Windows-1252 and needs only quotes, backslashes and control characters escaped. The tests read every export back
// with the library's parser.
class JsonWriter : public Writer {
public:
    using Writer::Writer;
    void begin(const std::string& coverName, const std::string&) override {
        out() += "{\"format\":";
        string(kJsonExportFormat);
        out() += ",\"version\":" + std::to_string(kJsonExportVersion) + ",\"coverName\":";
        string(coverName);
        out() += ",\"pages\":[";
    }
    void page(std::int64_t, const PageView& page) override {
        // Every field as stored, line breaks included; the ISO readings beside them where they can be made.
        out() += m_first ? "\n{\"number\":" : ",\n{\"number\":";
        m_first = false;
        string(page.number);
        out() += ",\"date\":";
        string(page.date);
        out() += ",\"time\":";
        string(page.time);
        out() += ",\"text\":";
        string(page.text);
        out() += ",\"isoDate\":";
        const std::optional<CivilDate>& date = m_readings.date(page.date);
        out() += date ? "\"" + IsoDate(*date) + "\"" : std::string("null");
        out() += ",\"isoTime\":";
        const std::optional<CivilTime>& time = m_readings.time(page.time);
        out() += time ? "\"" + IsoTime(*time) + "\"" : std::string("null");
        out() += '}';
    }
    void end() override { out() += "\n]}\n"; }

private:
    static std::string_view Escape(unsigned char c) {
        static const std::array<std::string, 32> kControls = [] {
            std::array<std::string, 32> names;
            for (int i = 0; i < 32; ++i) {
                char name[8];
                std::snprintf(name, sizeof name, "\\u%04x", i);
                names[static_cast<std::size_t>(i)] = name;
            }
            names['\b'] = "\\b";
            names['\t'] = "\\t";
            names['\n'] = "\\n";
            names['\f'] = "\\f";
            names['\r'] = "\\r";
            return names;
        }();
        if (c < 0x20)
            return kControls[c];
        if (c == '"')
            return "\\\"";
        if (c == '\\')
            return "\\\\";
        return {};
    }
    void string(std::string_view text) {
        static const TextRules rules(false, Escape);
        out() += '"';
        rules.append(out(), text);
        out() += '"';
    }

    bool m_first = true;
    IsoReadings m_readings;
};

// The document the whole book's print makes, on the paper of the user's locale, as the print into a PDF file does.
class PdfWriter : public Writer {
public:
    explicit PdfWriter(BufferedOutput& out)
        : Writer(out), m_pdf(DefaultPaper(), [this](std::string_view bytes) { this->out().append(bytes); }) {}
    void begin(const std::string& coverName, const std::string&) override { m_pdf.printLine(coverName); }
    void page(std::int64_t, const PageView& page) override { PrintBookPage(m_pdf, page); }
    void end() override { m_pdf.end(); }

private:
    PdfPrintout m_pdf;
};

void RefuseUnavailable(ExportFormat format) {
    if (!InfoOf(format).available)
        throw ExportRefused(std::string(InfoOf(format).title) + ": this export is not available in this version of "
                                                                "Dayvell yet");
}

std::unique_ptr<Writer> MakeWriter(ExportFormat format, BufferedOutput& out) {
    switch (format) {
    case ExportFormat::Text:
        return std::make_unique<TextWriter>(out);
    case ExportFormat::Markdown:
        return std::make_unique<MarkdownWriter>(out);
    case ExportFormat::Json:
        return std::make_unique<JsonWriter>(out);
    case ExportFormat::Html:
        return std::make_unique<HtmlWriter>(out);
    case ExportFormat::Pdf:
        return std::make_unique<PdfWriter>(out);
    }
    RefuseUnavailable(format);
    return nullptr;
}

std::string FileNameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// The book's file name without its extension: the title of a book that has no cover name.
std::string BookTitle(const Book& book) {
    std::string name = FileNameOf(book.path());
    if (name.size() > kBookExtension.size() && HasBookExtension(name))
        name.resize(name.size() - kBookExtension.size());
    return name;
}

ExportOutcome Stream(const Book& book, ExportFormat format, BufferedOutput& out, Progress* progress) {
    RefuseUnavailable(format);
    // A password that no longer opens the book (another copy changed it) is refused here, before anything is
    // written, rather than writing pages of garbage.
    const BookHeader header = book.readHeader();
    std::unique_ptr<ProgressTask> task;
    if (progress)
        task = progress->start("Exporting your dayvell, pages written:", "Export dayvell", book.countPages());
    if (task && !task->advance(0))
        return ExportOutcome::Cancelled;
    const auto writer = MakeWriter(format, out);
    writer->begin(header.coverName, header.coverName != kNoCoverName ? header.coverName : BookTitle(book));
    bool cancelled = false;
    book.forEachPage([&](std::int64_t position, const PageView& page) {
        writer->page(position, page);
        out.pass();
        cancelled = task && !task->advance(position);
        return !cancelled;
    });
    if (cancelled)
        return ExportOutcome::Cancelled;
    writer->end();
    out.flush();
    return ExportOutcome::Written;
}

// The export file under a scratch name beside its target until it is complete: created for its owner alone,
// removed again unless it was put in place.
class ScratchExport {
public:
    ScratchExport(FileSystem& fs, const std::string& target) : m_fs(fs), m_target(target) {
        std::random_device random;
        for (int attempt = 0; attempt < 16; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
            // Hidden, and named after the file it becomes.
            std::string name = ".";
            name += FileNameOf(target);
            name += suffix;
            m_path = JoinPath(ParentDirectory(target), name);
            m_fd = fs.open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
            if (m_fd >= 0 || errno != EEXIST)
                break;
        }
        if (m_fd < 0) {
            const int err = errno;
            struct stat st {};
            throw ErrnoError(err, err == ENOENT && fs.stat(ParentDirectory(target).c_str(), &st) != 0);
        }
    }
    ScratchExport(const ScratchExport&) = delete;
    ScratchExport& operator=(const ScratchExport&) = delete;
    ~ScratchExport() {
        if (m_fd >= 0)
            m_fs.close(m_fd);
        if (!m_placed)
            m_fs.unlink(m_path.c_str());
    }

    int fd() const { return m_fd; }

    // Syncs the export and renames it over the target (or, with Existing::Keep, only where there is none).
    void place(Existing existing) {
        // Whatever the process's umask: the export holds the diary in the clear.
        if (m_fs.fchmod(m_fd, 0600) != 0)
            throw ErrnoError(errno);
        SyncFile(m_fs, m_fd);
        const int fd = m_fd;
        m_fd = -1;
        if (m_fs.close(fd) != 0)
            throw ErrnoError(errno);
        const int r = existing == Existing::Replace ? m_fs.rename(m_path.c_str(), m_target.c_str())
                                                    : m_fs.renameNoReplace(m_path.c_str(), m_target.c_str());
        if (r != 0)
            throw ErrnoError(errno);
        m_placed = true;
        // The rename is made; a failure to make it durable is not reported, as for the books themselves.
        const int dir = m_fs.open(ParentDirectory(m_target).c_str(), O_RDONLY | O_DIRECTORY);
        if (dir >= 0) {
            m_fs.fsync(dir);
            m_fs.close(dir);
        }
    }

private:
    FileSystem& m_fs;
    std::string m_target;
    std::string m_path;
    int m_fd = -1;
    bool m_placed = false;
};

// A target that would put a book at risk: a book's name, the books' scratch file, or the book itself by another
// path.
void RefuseTarget(const Book& book, const std::string& target, FileSystem& fs) {
    const std::string name = FileNameOf(target);
    if (name.empty() || name == "." || name == "..")
        throw RuntimeError(code::BadFileName);
    if (HasBookExtension(name) || IsScratchName(name))
        throw ExportRefused("An export is not a book: its name cannot end in .dvl");
    struct stat targetStat {};
    struct stat bookStat {};
    if (fs.stat(target.c_str(), &targetStat) == 0 && fs.stat(NativePath(book.path()).c_str(), &bookStat) == 0 &&
        targetStat.st_dev == bookStat.st_dev && targetStat.st_ino == bookStat.st_ino)
        throw ExportRefused("An export cannot take the place of the book itself");
    if (fs.stat(target.c_str(), &targetStat) == 0 && S_ISDIR(targetStat.st_mode))
        throw ExportRefused("The export's name is that of a folder");
}

} // namespace

ExportRefused::ExportRefused(const std::string& description) : RuntimeError(code::BadFileName, description) {}

std::span<const ExportFormatInfo> ExportFormats() {
    return kFormats;
}

const ExportFormatInfo& InfoOf(ExportFormat format) {
    for (const ExportFormatInfo& info : kFormats)
        if (info.format == format)
            return info;
    return kFormats.front();
}

std::optional<ExportFormat> ExportFormatNamed(std::string_view name) {
    for (const ExportFormatInfo& info : kFormats)
        if (name == info.name)
            return info.format;
    return std::nullopt;
}

ExportOutcome WriteExport(const Book& book, ExportFormat format, int fd, Progress* progress, FileSystem& fs) {
    BufferedOutput out(fs, fd);
    return Stream(book, format, out, progress);
}

ExportOutcome ExportBook(const Book& book, ExportFormat format, const std::string& target, Existing existing,
                         Progress& progress, FileSystem& fs) {
    RefuseUnavailable(format);
    RefuseTarget(book, target, fs);
    struct stat st {};
    if (existing == Existing::Keep && fs.stat(target.c_str(), &st) == 0)
        throw RuntimeError(code::FileExists);
    ScratchExport scratch(fs, target);
    BufferedOutput out(fs, scratch.fd());
    if (Stream(book, format, out, &progress) == ExportOutcome::Cancelled)
        return ExportOutcome::Cancelled;
    scratch.place(existing);
    return ExportOutcome::Written;
}

} // namespace dayvell
