// SPDX-License-Identifier: GPL-3.0-or-later
// Exports read back with real parsers, and the file they are written to.
#include "BookFixture.h"
#include "HostilePages.h"

#include "core/Charset.h"
#include "core/Export.h"
#include "core/Numbers.h"
#include "core/PdfPrintout.h"
#include "core/PdfReading.h"
#include "core/PrintBook.h"
#include "core/PrintText.h"
#include "core/Printer.h"
#include "gui/ScriptedProgress.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::test;

namespace {

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override { makeBook(HostilePages(), Cp1252FromUtf8("Days of <2026> & “more”")); }

    void makeBook(const std::vector<Page>& pages, const std::string& coverName) {
        std::filesystem::remove(path);
        Book::Create(SystemFileSystem(), path, kKey, Book::NewHeader(tmp.dir(), "12/5/2026"));
        Book book(path, kKey);
        book.replaceCoverName(coverName);
        for (const Page& p : pages)
            book.appendPage(p);
        m_pages = pages;
        m_coverName = coverName;
    }

    std::string exported(ExportFormat format) {
        const std::string target = tmp.file(std::string("out") + InfoOf(format).extension);
        std::filesystem::remove(target);
        EXPECT_EQ(ExportBook(Book(path, kKey), format, target, Existing::Keep, progress), ExportOutcome::Written);
        return ReadFileBytes(target);
    }

    // The files of the book's folder, the book and the given names apart.
    std::vector<std::string> strayFiles(const std::vector<std::string>& expected = {}) const {
        std::vector<std::string> stray;
        for (const auto& e : std::filesystem::directory_iterator(tmp.path())) {
            const std::string name = e.path().filename().string();
            if (name != "diary.dvl" && std::find(expected.begin(), expected.end(), name) == expected.end())
                stray.push_back(name);
        }
        return stray;
    }

    TempDir tmp;
    std::string path = tmp.file("diary.dvl");
    ScriptedProgress progress;
    std::vector<Page> m_pages;
    std::string m_coverName;
};

// Line breaks of every kind as a reader of the exported text sees them.
std::string Lf(const std::string& cp1252) {
    std::string out;
    for (std::size_t i = 0; i < cp1252.size(); ++i) {
        if (cp1252[i] == '\r') {
            out += '\n';
            if (i + 1 < cp1252.size() && cp1252[i + 1] == '\n')
                ++i;
        } else {
            out += cp1252[i];
        }
    }
    return Utf8FromCp1252(out);
}

TEST_F(ExportTest, JsonHoldsEveryPageAsStoredWithItsIsoDateAndTime) {
    const auto json = nlohmann::json::parse(exported(ExportFormat::Json));
    EXPECT_EQ(json["format"], "dayvell-export");
    EXPECT_EQ(json["version"], 1);
    EXPECT_EQ(json["coverName"], Utf8FromCp1252(m_coverName));
    const auto& pages = json["pages"];
    ASSERT_TRUE(pages.is_array());
    ASSERT_EQ(pages.size(), m_pages.size());
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        EXPECT_EQ(pages[i]["number"], Utf8FromCp1252(m_pages[i].number));
        EXPECT_EQ(pages[i]["date"], Utf8FromCp1252(m_pages[i].date));
        EXPECT_EQ(pages[i]["time"], Utf8FromCp1252(m_pages[i].time));
        // As stored: CR LF line breaks, and every byte, even those no reader shows, back to its own byte.
        EXPECT_EQ(Cp1252FromUtf8(pages[i]["text"].get<std::string>()), m_pages[i].text);
    }
    const std::pair<nlohmann::json, nlohmann::json> iso[] = {
        {"2026-12-05", "13:46:33"}, {"2026-12-06", "09:05:00"}, {"2026-12-07", "23:59:59"}, {"2026-12-08", "08:00:00"},
        {nullptr, nullptr},         {"2026-12-09", "10:00:00"}, {"2026-12-10", "00:00:00"}};
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        EXPECT_EQ(pages[i]["isoDate"], iso[i].first) << "page " << i + 1;
        EXPECT_EQ(pages[i]["isoTime"], iso[i].second) << "page " << i + 1;
    }
}

// The text of a node and everything in it.
std::string TextOf(xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

std::string Attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

bool Is(xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

void Collect(xmlNode* node, const char* name, std::vector<xmlNode*>& found) {
    for (; node; node = node->next) {
        if (Is(node, name))
            found.push_back(node);
        Collect(node->children, name, found);
    }
}

std::vector<xmlNode*> All(xmlDoc* doc, const char* name) {
    std::vector<xmlNode*> found;
    Collect(xmlDocGetRootElement(doc), name, found);
    return found;
}

std::vector<xmlNode*> Children(xmlNode* node) {
    std::vector<xmlNode*> children;
    for (xmlNode* c = node->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            children.push_back(c);
    return children;
}

TEST_F(ExportTest, HtmlIsOneWellFormedDocumentWhosePagesHoldTheirTextAndNothingMore) {
    const std::string html = exported(ExportFormat::Html);
    std::vector<std::string> errors;
    htmlParserCtxtPtr context = htmlNewParserCtxt();
    ASSERT_NE(context, nullptr);
    xmlSetStructuredErrorFunc(&errors, [](void* sink, xmlError* e) {
        static_cast<std::vector<std::string>*>(sink)->push_back(e->message ? e->message : "?");
    });
    xmlDoc* doc = htmlCtxtReadMemory(context, html.data(), static_cast<int>(html.size()), "export.html", nullptr,
                                     HTML_PARSE_NONET);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    ASSERT_NE(doc, nullptr);
    // The parser knows HTML 4, and says so of the sections and times of HTML 5; nothing else may need mending.
    std::erase_if(errors,
                  [](const std::string& e) { return e == "Tag article invalid\n" || e == "Tag time invalid\n"; });
    EXPECT_EQ(errors, std::vector<std::string>{}) << "the parser had to mend the document";

    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>\n"));
    ASSERT_EQ(All(doc, "title").size(), 1u);
    EXPECT_EQ(TextOf(All(doc, "title")[0]), Utf8FromCp1252(m_coverName));
    ASSERT_EQ(All(doc, "h1").size(), 1u) << "a page's text made a heading of its own";
    EXPECT_EQ(TextOf(All(doc, "h1")[0]), Utf8FromCp1252(m_coverName));
    EXPECT_TRUE(All(doc, "script").empty()) << "a page's text made a script";
    EXPECT_TRUE(All(doc, "link").empty()) << "the document is not self-contained";
    EXPECT_TRUE(All(doc, "img").empty());
    ASSERT_EQ(All(doc, "meta").size(), 3u);
    EXPECT_EQ(Attribute(All(doc, "meta")[0], "charset"), "utf-8");
    ASSERT_EQ(All(doc, "style").size(), 1u);
    EXPECT_NE(TextOf(All(doc, "style")[0]).find("@media print"), std::string::npos);

    const std::vector<xmlNode*> articles = All(doc, "article");
    ASSERT_EQ(articles.size(), m_pages.size());
    const char* const datetimes[] = {
        "2026-12-05T13:46:33", "2026-12-06T09:05:00", "2026-12-07T23:59:59", "2026-12-08T08:00:00", "",
        "2026-12-09T10:00:00", "2026-12-10T00:00:00"};
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        const Page& page = m_pages[i];
        EXPECT_EQ(Attribute(articles[i], "id"), "page-" + std::to_string(i + 1));
        const auto parts = Children(articles[i]);
        ASSERT_EQ(parts.size(), 3u);
        EXPECT_TRUE(Is(parts[0], "h2"));
        EXPECT_EQ(TextOf(parts[0]), "Page " + std::to_string(i + 1));
        EXPECT_EQ(TextOf(parts[1]), Utf8FromCp1252(page.date + ", " + page.time));
        const auto times = Children(parts[1]);
        if (*datetimes[i]) {
            ASSERT_EQ(times.size(), 1u);
            EXPECT_EQ(Attribute(times[0], "datetime"), datetimes[i]);
        } else {
            EXPECT_TRUE(times.empty()) << "a date no reading settles carries no machine-readable date";
        }
        EXPECT_EQ(Attribute(parts[2], "class"), "text");
        EXPECT_TRUE(Children(parts[2]).empty()) << "the page's text made elements";
        std::string expected = Lf(page.text);
        // Characters no browser shows as such come out as the replacement character.
        for (const char* gone : {"\xC2\x81", "\x03"}) {
            for (std::size_t at; (at = expected.find(gone)) != std::string::npos;)
                expected.replace(at, std::strlen(gone), "\xEF\xBF\xBD");
        }
        EXPECT_EQ(TextOf(parts[2]), expected);
    }
    xmlFreeDoc(doc);
    htmlFreeParserCtxt(context);
}

// Undoes the Markdown escapes of one line of text: what a reader of the rendered document reads.
std::string Unescaped(std::string line) {
    if (line.starts_with("&#32;"))
        line.replace(0, 5, " ");
    else if (line.starts_with("&#9;"))
        line.replace(0, 4, "\t");
    std::string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && std::ispunct(static_cast<unsigned char>(line[i + 1])))
            ++i;
        out += line[i];
    }
    return out;
}

TEST_F(ExportTest, MarkdownHasOneSectionPerPageAndNoLineOfTextMakesMarkup) {
    const std::string md = exported(ExportFormat::Markdown);
    std::vector<std::string> lines;
    std::istringstream in(md);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "# " + Utf8FromCp1252(Cp1252FromUtf8("Days of \\<2026\\> \\& “more”")));

    std::size_t at = 1;
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        const Page& page = m_pages[i];
        // The blank line before a heading ends the section before it.
        if (i == 0) {
            ASSERT_LT(at, lines.size());
            EXPECT_EQ(lines[at++], "");
        }
        ASSERT_LT(at + 2, lines.size());
        EXPECT_EQ(lines[at - 1], "");
        EXPECT_EQ(lines[at], "## Page " + std::to_string(i + 1));
        EXPECT_EQ(lines[at + 1], "");
        EXPECT_EQ(Unescaped(lines[at + 2]), "*" + Utf8FromCp1252(page.date + ", " + page.time) + "*");
        at += 3;
        // The text's lines in order; empty lines part paragraphs, and every line but a paragraph's last ends in a
        // hard break.
        std::vector<std::string> expected;
        std::istringstream text(Lf(page.text));
        for (std::string line; std::getline(text, line);)
            expected.push_back(line);
        std::vector<std::string> got;
        while (at < lines.size() && !lines[at].starts_with("## ")) {
            const std::string& line = lines[at++];
            if (line.empty())
                continue;
            // A line of text never begins what Markdown reads as a block of its own.
            EXPECT_FALSE(line.starts_with("#") || line.starts_with("-") || line.starts_with("+") ||
                         line.starts_with("=") || line.starts_with(">") || line.starts_with(" ") ||
                         line.starts_with("\t") || line.starts_with("<") || line.starts_with("*") ||
                         line.starts_with("_"))
                << line;
            std::size_t digits = 0;
            while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits])))
                ++digits;
            EXPECT_FALSE(digits > 0 && digits < line.size() && (line[digits] == '.' || line[digits] == ')')) << line;
            // An odd number of backslashes at the end: the last is a hard break, not an escaped backslash.
            const std::size_t backslashes = line.size() - 1 - line.find_last_not_of('\\');
            const bool hardBreak = backslashes % 2 == 1;
            got.push_back(Unescaped(hardBreak ? line.substr(0, line.size() - 1) : line));
            const bool nextIsText = at < lines.size() && !lines[at].empty() && !lines[at].starts_with("## ");
            EXPECT_EQ(hardBreak, nextIsText) << line;
        }
        std::erase_if(expected, [](const std::string& l) { return l.find_first_not_of(" \t") == std::string::npos; });
        for (std::string& l : expected) {
            for (std::size_t p; (p = l.find("\x03")) != std::string::npos;)
                l.replace(p, 1, "\xEF\xBF\xBD");
        }
        EXPECT_EQ(got, expected);
    }
}

// Keeps the lines of every print job that ended.
class LinePrinter : public Printer {
public:
    std::unique_ptr<PrintJob> begin() override { return std::make_unique<Job>(*this); }
    std::vector<std::string> lines;

private:
    class Job : public PrintJob {
    public:
        explicit Job(LinePrinter& printer) : m_printer(printer) {}
        void printLine(const std::string& text) override { m_lines.push_back(text); }
        void end() override { m_printer.lines = m_lines; }

    private:
        LinePrinter& m_printer;
        std::vector<std::string> m_lines;
    };
};

// What the whole book's print sends, one line of text per printed line.
std::string PrintedText(const std::string& path) {
    LinePrinter printer;
    ScriptedProgress printing;
    EXPECT_EQ(PrintBook(Book(path, kKey), printer, printing), PrintOutcome::Sent);
    std::string printed;
    for (const std::string& line : printer.lines)
        printed += Lf(line) + "\n";
    return printed;
}

TEST_F(ExportTest, PlainTextIsTheWholeBookPrintLineForLine) {
    const std::string printed = PrintedText(path);
    EXPECT_EQ(exported(ExportFormat::Text), printed);
    // A text that wraps: the print width holds in the file too.
    for (std::istringstream in(printed); !in.eof();) {
        std::string line;
        std::getline(in, line);
        EXPECT_LE(line.size(), 90u) << line;
    }
}

// Every character the key carries, at every place within a block of eight bytes, comes out of the formats that
// keep text as it is: every byte back from the JSON, and the print line for line in the plain text.
TEST_F(ExportTest, EveryCharacterAtEveryPlaceOfABlockComesOutWhole) {
    // Code 1 would encipher to a quote under this key, which a book cannot store; above 218 the key cannot carry.
    std::string all;
    for (int c = 2; c <= 218; ++c)
        all += static_cast<char>(c);
    std::vector<Page> pages;
    for (int shift = 0; shift <= 8; ++shift)
        pages.push_back({PageNumberText(shift + 1), "Saturday, 12/5/2026", "1:46:33 PM",
                         std::string(std::size_t(shift), 'a') + all + "plain text " + all});
    makeBook(pages, "Every character");

    const auto json = nlohmann::json::parse(exported(ExportFormat::Json));
    ASSERT_EQ(json["pages"].size(), pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i)
        EXPECT_EQ(Cp1252FromUtf8(json["pages"][i]["text"].get<std::string>()), pages[i].text) << "page " << i + 1;

    const std::string printed = PrintedText(path);
    EXPECT_EQ(exported(ExportFormat::Text), printed);
}

// The PDF holds every character the whole book's print sends, in order, on the paper of the user's locale, and
// keeps the margins on every sheet.
TEST_F(ExportTest, PdfIsTheWholeBookPrintWithEveryCharacterWithinTheMargins) {
    std::vector<Page> pages = HostilePages();
    pages.push_back({" 8", "Friday, 12/11/2026", "7:00:00 PM",
                     Cp1252FromUtf8("Tabs:\tone\t\ttwo\r\n€ É Ö ") + std::string(200, 'x') + " the end"});
    for (int n = 9; n <= 120; ++n)
        pages.push_back({PageNumberText(n), "Saturday, 12/12/2026", "8:00:00 AM",
                         "Page " + std::to_string(n) + " fills the sheets.\r\nA second line."});
    makeBook(pages, Cp1252FromUtf8("Days of <2026> & “more”"));
    LinePrinter printer;
    ScriptedProgress printing;
    ASSERT_EQ(PrintBook(Book(path, kKey), printer, printing), PrintOutcome::Sent);
    std::string printed;
    for (const std::string& line : printer.lines) {
        // Control characters are drawn as the replacement character.
        std::string shown = ExpandTabs(line);
        for (char& c : shown) {
            if (c == '\x03' || c == '\x81')
                c = '?';
        }
        printed += Utf8FromCp1252(shown) + "\n";
    }
    for (std::size_t at; (at = printed.find('?')) != std::string::npos;)
        printed.replace(at, 1, "\xEF\xBF\xBD");

    exported(ExportFormat::Pdf);
    const std::string pdf = tmp.file("out.pdf");
    // As laid out on the sheets: read as running text, a line that ends in a hyphen would be joined to the next.
    const std::string text = PdfToText(pdf, true);
    EXPECT_EQ(WithoutBlanks(text), WithoutBlanks(printed));
    // The long run of one letter goes on over lines of its own, cut nowhere.
    EXPECT_NE(text.find(std::string(90, 'x')), std::string::npos);
    EXPECT_NE(text.find("€ É Ö"), std::string::npos);

    const Paper paper = DefaultPaper();
    constexpr double kPointsPerMm = 72.0 / 25.4;
    const std::vector<PdfWordBox> words = PdfWordBoxes(pdf);
    ASSERT_FALSE(words.empty());
    EXPECT_GT(words.back().page, 2);
    for (const PdfWordBox& w : words) {
        ASSERT_NEAR(w.pageWidth, paper.widthMm * kPointsPerMm, 0.5);
        ASSERT_NEAR(w.pageHeight, paper.heightMm * kPointsPerMm, 0.5);
        EXPECT_GE(w.xMin, kLeastMarginMm * kPointsPerMm - 0.5) << w.text;
        EXPECT_GE(w.yMin, kLeastMarginMm * kPointsPerMm - 0.5) << w.text;
        EXPECT_LE(w.xMax, w.pageWidth - kLeastMarginMm * kPointsPerMm + 0.5) << w.text;
        EXPECT_LE(w.yMax, w.pageHeight - kLeastMarginMm * kPointsPerMm + 0.5) << w.text;
    }
    struct stat st {};
    ASSERT_EQ(::stat(pdf.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(ExportTest, EveryFormatStreamsPageByPageWithProgressAndNoCoverNameGivesTheBooksName) {
    makeBook({{" 1", "Saturday, 12/5/2026", "1:46:33 PM", "One"}, {" 2", "Sunday, 12/6/2026", "2:00:00 PM", "Two"}},
             std::string(kNoCoverName));
    for (ExportFormat format :
         {ExportFormat::Text, ExportFormat::Markdown, ExportFormat::Json, ExportFormat::Html, ExportFormat::Pdf}) {
        SCOPED_TRACE(InfoOf(format).name);
        progress.shown.clear();
        const std::string out = exported(format);
        ASSERT_EQ(progress.shown.size(), 1u);
        EXPECT_EQ(progress.shown[0].total, 2);
        EXPECT_EQ(progress.shown[0].steps, (std::vector<std::int64_t>{0, 1, 2}));
        EXPECT_TRUE(progress.shown[0].closed);
        if (format == ExportFormat::Markdown) {
            EXPECT_TRUE(out.starts_with("# diary\n")) << out;
        } else if (format == ExportFormat::Html) {
            EXPECT_NE(out.find("<h1>diary</h1>"), std::string::npos);
        } else if (format == ExportFormat::Text) {
            // The stored cover name, for those who read it back.
            EXPECT_TRUE(out.starts_with("___\n"));
        } else if (format == ExportFormat::Pdf) {
            EXPECT_TRUE(out.starts_with("%PDF-"));
            EXPECT_TRUE(PdfToText(tmp.file("out.pdf")).starts_with("___\n1\n")) << "as the print, the stored name";
        } else {
            EXPECT_EQ(nlohmann::json::parse(out)["coverName"], "___");
        }
    }
}

TEST_F(ExportTest, TheFileIsItsOwnersAloneAndReplacesNothingUnasked) {
    const std::string target = tmp.file("diary.txt");
    const mode_t oldMask = ::umask(0);
    const ExportOutcome outcome = ExportBook(Book(path, kKey), ExportFormat::Text, target, Existing::Keep, progress);
    ::umask(oldMask);
    ASSERT_EQ(outcome, ExportOutcome::Written);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    WriteFileBytes(target, "keep me");
    try {
        ExportBook(Book(path, kKey), ExportFormat::Json, target, Existing::Keep, progress);
        ADD_FAILURE() << "an existing file was replaced";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::FileExists);
    }
    EXPECT_EQ(ReadFileBytes(target), "keep me");
    ::chmod(target.c_str(), 0644);
    ASSERT_EQ(ExportBook(Book(path, kKey), ExportFormat::Json, target, Existing::Replace, progress),
              ExportOutcome::Written);
    EXPECT_EQ(nlohmann::json::parse(ReadFileBytes(target))["pages"].size(), m_pages.size());
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the export of a diary is never left readable by others";
    EXPECT_EQ(strayFiles({"diary.txt"}), std::vector<std::string>{});
}

TEST_F(ExportTest, TargetsThatPutABookAtRiskAreRefusedBeforeAnythingIsWritten) {
    ASSERT_EQ(::symlink(path.c_str(), tmp.file("book-link.txt").c_str()), 0);
    std::filesystem::create_directory(tmp.file("folder.html"));
    const std::string book = ReadFileBytes(path);
    struct Case {
        const char* what;
        std::string target;
        ExportFormat format;
        Existing existing;
    };
    const Case cases[] = {
        {"the book itself", path, ExportFormat::Json, Existing::Replace},
        {"the book through a link", tmp.file("book-link.txt"), ExportFormat::Text, Existing::Replace},
        {"another book's name", tmp.file("other.DVL"), ExportFormat::Json, Existing::Keep},
        {"the scratch file", tmp.file("dvltemp.dvl"), ExportFormat::Json, Existing::Replace},
        {"a folder", tmp.file("folder.html"), ExportFormat::Html, Existing::Replace},
        {"a PDF named as a book", tmp.file("printout.dvl"), ExportFormat::Pdf, Existing::Replace},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW(ExportBook(Book(path, kKey), c.format, c.target, c.existing, progress), ExportRefused);
        EXPECT_EQ(ReadFileBytes(path), book);
        EXPECT_EQ(strayFiles({"book-link.txt", "folder.html"}), std::vector<std::string>{});
    }
    EXPECT_TRUE(progress.shown.empty());
}

TEST_F(ExportTest, AKeyThatNoLongerOpensTheBookExportsNothing) {
    // Another copy of the program changed the password since this one opened the book.
    Book(path, kKey).changePassword("%$#!");
    for (ExportFormat format : {ExportFormat::Text, ExportFormat::Json}) {
        try {
            ExportBook(Book(path, kKey), format, tmp.file("out.txt"), Existing::Keep, progress);
            ADD_FAILURE() << "pages deciphered with the old key were written";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.code(), code::BookChangedElsewhere);
        }
        EXPECT_EQ(strayFiles(), std::vector<std::string>{});
    }
}

TEST_F(ExportTest, ACancelledExportLeavesNoFile) {
    const std::string target = tmp.file("diary.json");
    for (ExportFormat format : {ExportFormat::Json, ExportFormat::Pdf}) {
        for (std::int64_t at : {0, 3}) {
            SCOPED_TRACE(std::string(InfoOf(format).name) + " cancelled at " + std::to_string(at));
            progress.cancelAt = at;
            EXPECT_EQ(ExportBook(Book(path, kKey), format, target, Existing::Keep, progress), ExportOutcome::Cancelled);
            EXPECT_FALSE(std::filesystem::exists(target));
            EXPECT_EQ(strayFiles(), std::vector<std::string>{});
        }
    }
    // Over an older export, that one stays as it was.
    WriteFileBytes(target, "older");
    EXPECT_EQ(ExportBook(Book(path, kKey), ExportFormat::Json, target, Existing::Replace, progress),
              ExportOutcome::Cancelled);
    EXPECT_EQ(ReadFileBytes(target), "older");
}

// Fails the n-th call that writes the export (opening, writing, syncing, closing, renaming).
class FailingWrites : public FileSystem {
public:
    explicit FailingWrites(int failAt) : m_failAt(failAt) {}
    bool fired() const { return m_fired; }
    int open(const char* p, int f, mode_t m) override {
        return (f & O_CREAT) && fail(ENOSPC) ? -1 : FileSystem::open(p, f, m);
    }
    ssize_t write(int fd, const void* b, size_t n) override {
        if (m_calls + 1 == m_failAt && n > 1) {
            // Half lands, then the disk is full.
            FileSystem::write(fd, b, n / 2);
            return fail(ENOSPC) ? -1 : -1;
        }
        return fail(ENOSPC) ? -1 : FileSystem::write(fd, b, n);
    }
    int fchmod(int fd, mode_t m) override { return fail(EPERM) ? -1 : FileSystem::fchmod(fd, m); }
    int fsync(int fd) override { return fail(EIO) ? -1 : FileSystem::fsync(fd); }
    int close(int fd) override {
        if (fail(EIO)) {
            FileSystem::close(fd);
            return -1;
        }
        return FileSystem::close(fd);
    }
    int rename(const char* a, const char* b) override { return fail(EXDEV) ? -1 : FileSystem::rename(a, b); }
    int renameNoReplace(const char* a, const char* b) override {
        return fail(EXDEV) ? -1 : FileSystem::renameNoReplace(a, b);
    }

private:
    bool fail(int err) {
        if (++m_calls != m_failAt)
            return false;
        m_fired = true;
        errno = err;
        return true;
    }
    int m_failAt;
    int m_calls = 0;
    bool m_fired = false;
};

TEST_F(ExportTest, AFailedExportLeavesNoFileAndNoScratchFile) {
    for (ExportFormat format : {ExportFormat::Markdown, ExportFormat::Pdf}) {
        SCOPED_TRACE(InfoOf(format).name);
        // A PDF carries the moment it was made: two exports are the same when they read the same.
        const auto reading = [format](const std::string& file) {
            return format == ExportFormat::Pdf ? PdfToText(file) : ReadFileBytes(file);
        };
        exported(format);
        const std::string whole = reading(tmp.file(std::string("out") + InfoOf(format).extension));
        std::filesystem::remove(tmp.file(std::string("out") + InfoOf(format).extension));
        const std::string target = tmp.file(std::string("diary") + InfoOf(format).extension);
        int failures = 0;
        for (int k = 1;; ++k) {
            SCOPED_TRACE("failing call " + std::to_string(k));
            FailingWrites faulty(k);
            bool failed = false;
            try {
                // The book is read on the real file system; the export is written through the failing one.
                ExportBook(Book(path, kKey), format, target, Existing::Keep, progress, faulty);
            } catch (const RuntimeError&) {
                failed = true;
            }
            if (!faulty.fired()) {
                EXPECT_FALSE(failed);
                std::filesystem::remove(target);
                break;
            }
            // A failure after the rename (syncing the folder) no longer matters: the export is complete.
            if (failed) {
                ++failures;
                EXPECT_FALSE(std::filesystem::exists(target));
            } else {
                EXPECT_EQ(reading(target), whole);
                std::filesystem::remove(target);
            }
            EXPECT_EQ(strayFiles(), std::vector<std::string>{});
        }
        EXPECT_GT(failures, 3);
    }
}

TEST_F(ExportTest, FormatsAreKnownByTheirNames) {
    for (const ExportFormatInfo& info : ExportFormats()) {
        EXPECT_EQ(ExportFormatNamed(info.name), info.format);
        EXPECT_EQ(std::string(".") + info.name, info.extension);
    }
    EXPECT_FALSE(ExportFormatNamed("TXT"));
    EXPECT_FALSE(ExportFormatNamed("doc"));
    for (const ExportFormatInfo& info : ExportFormats())
        EXPECT_TRUE(info.available) << info.name;
}

} // namespace
