// SPDX-License-Identifier: GPL-3.0-or-later
// The printout drawn as PDF, read back with poppler's tools: every character, where it stands, and what becomes of
// a job that fails or is dropped.
#include "core/Charset.h"
#include "core/PdfPrintout.h"
#include "core/PdfReading.h"
#include "core/PrintText.h"
#include "core/RuntimeError.h"
#include "core/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <locale.h>
#include <string>
#include <vector>

namespace dayvell::test {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

// Prints `lines` on `paper` into the file `pdf`.
void PrintToFile(const std::string& pdf, const Paper& paper, const std::vector<std::string>& lines) {
    std::string bytes;
    PdfPrintout job(paper, [&](std::string_view b) { bytes.append(b); });
    for (const std::string& line : lines)
        job.printLine(line);
    job.end();
    WriteFileBytes(pdf, bytes);
}

std::string Utf8Lines(const std::vector<std::string>& cp1252) {
    std::string all;
    for (const std::string& line : cp1252)
        all += Utf8FromCp1252(line) + "\n";
    return all;
}

TEST(PdfPrintout, EveryCharacterReadsBackInOrderWithNothingCut) {
    std::string everyPrintable;
    for (int code = 0x21; code < 0x100; ++code) {
        // Windows-1252 leaves five codes undefined, 0x7F is a control code, and a no-break space reads back as the
        // blank it is.
        if (code != 0x7F && code != 0x81 && code != 0x8D && code != 0x8F && code != 0x90 && code != 0x9D &&
            code != 0xA0)
            everyPrintable += static_cast<char>(code);
    }
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        // What pdftotext reads, blanks aside; the lines themselves where empty.
        std::string expected;
    };
    const Case cases[] = {
        {"Windows-1252 beyond ASCII", {Cp1252FromUtf8("Price: 12 € — café, naïve, ÿes; “quoted” ‘words’ …")}, ""},
        {"every printable character of Windows-1252", {everyPrintable}, ""},
        {"a word longer than any line goes on to the next lines", {std::string(300, 'W') + " tail"}, ""},
        {"words wider than the sheet break at a space",
         {"start " + std::string(80, 'm') + " " + std::string(80, 'n') + " end"},
         ""},
        {"line breaks of every kind", {"one\r\ntwo\rthree\nfour\r\n\r\nsix"}, ""},
        {"tabs are expanded, and what follows a run of them is printed", {std::string(30, '\t') + "|TABEND3"}, ""},
        {"control codes show as the replacement character",
         {std::string("bell\x07"
                      "end\x81x")},
         "bell\xEF\xBF\xBD"
         "end\xEF\xBF\xBD"
         "x"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string pdf = dir.file("chars.pdf");
        PrintToFile(pdf, Paper{}, c.lines);
        const std::string expected = c.expected.empty() ? Utf8Lines(c.lines) : c.expected;
        EXPECT_EQ(WithoutBlanks(PdfToText(pdf, true)), WithoutBlanks(expected));
    }
}

TEST(PdfPrintout, LinesBreakAtTheirLastSpaceThatFitsAndTabsReachTheirStops) {
    TempDir dir;
    const std::string pdf = dir.file("layout.pdf");
    PdfPrintout probe(Paper{}, [](std::string_view) {});
    const int columns = probe.columns();
    ASSERT_GE(columns, int(kPrintWidth)) << "a line of the print width fits the paper";
    // A line one word too long for the sheet, and a tab after one character.
    const std::string longer = std::string(std::size_t(columns) - 3, 'a') + " bbbbbb cc";
    PrintToFile(pdf, Paper{}, {longer, "x\ty"});
    const std::vector<PdfWordBox> words = PdfWordBoxes(pdf);
    ASSERT_EQ(words.size(), 5u);
    EXPECT_EQ(words[0].text, std::string(std::size_t(columns) - 3, 'a'));
    // The word that did not fit begins the next line, at the left margin.
    EXPECT_EQ(words[1].text, "bbbbbb");
    EXPECT_GT(words[1].yMin, words[0].yMax - 1);
    EXPECT_NEAR(words[1].xMin, words[0].xMin, 0.5);
    EXPECT_EQ(words[2].text, "cc");
    // "y" stands at the ninth column, where the tab stop is.
    EXPECT_EQ(words[3].text, "x");
    EXPECT_EQ(words[4].text, "y");
    const double advance = (words[3].xMax - words[3].xMin);
    EXPECT_NEAR(words[4].xMin - words[3].xMin, 8 * advance, 0.5);
}

TEST(PdfPrintout, TheTextStaysWithinTheMarginsOnEverySheetOfEveryPaper) {
    struct Case {
        const char* what;
        Paper paper;
    };
    const Case cases[] = {
        {"A4 with the least margins", PaperWithMargins(210, 297, 0, 0, 0, 0)},
        {"US Letter with the least margins", PaperWithMargins(215.9, 279.4, 0, 0, 0, 0)},
        {"a printer that cannot print near its edges", PaperWithMargins(210, 297, 20, 25, 18, 30)},
        {"a narrow card", PaperWithMargins(105, 148, 3, 3, 3, 3)},
    };
    // Lines as wide as the print width, longer ones, and enough of them for several sheets.
    std::vector<std::string> lines;
    for (int n = 0; n < 200; ++n)
        lines.push_back(n % 3 == 0 ? std::string(kPrintWidth, 'W') : n % 3 == 1 ? std::string(150, 'M') : "left");
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string pdf = dir.file("margins.pdf");
        PrintToFile(pdf, c.paper, lines);
        EXPECT_EQ(WithoutBlanks(PdfToText(pdf, true)), WithoutBlanks(Utf8Lines(lines)));
        const std::vector<PdfWordBox> words = PdfWordBoxes(pdf);
        ASSERT_FALSE(words.empty());
        EXPECT_GT(words.back().page, 1);
        EXPECT_EQ(PdfSheets(pdf), words.back().page);
        double left = 1e9, top = 1e9;
        for (const PdfWordBox& w : words) {
            EXPECT_NEAR(w.pageWidth, c.paper.widthMm * kPointsPerMm, 0.5);
            EXPECT_NEAR(w.pageHeight, c.paper.heightMm * kPointsPerMm, 0.5);
            EXPECT_GE(w.xMin, c.paper.leftMm * kPointsPerMm - 0.5) << w.text;
            EXPECT_GE(w.yMin, c.paper.topMm * kPointsPerMm - 0.5) << w.text;
            EXPECT_LE(w.xMax, w.pageWidth - c.paper.rightMm * kPointsPerMm + 0.5) << w.text;
            EXPECT_LE(w.yMax, w.pageHeight - c.paper.bottomMm * kPointsPerMm + 0.5) << w.text;
            left = std::min(left, w.xMin);
            top = std::min(top, w.yMin);
        }
        // The text starts at the margins themselves, not somewhere further in.
        EXPECT_NEAR(left, c.paper.leftMm * kPointsPerMm, 1.0);
        EXPECT_NEAR(top, c.paper.topMm * kPointsPerMm, 3.0);
    }
}

TEST(PdfPrintout, TheDefaultPaperIsTheLocalesWithTheLeastMargins) {
    struct Case {
        const char* locale;
        double width;
        double height;
    };
    const Case cases[] = {{"C", 210, 297}, {"en_US.UTF-8", 215.9, 279.4}};
    const char* saved = std::getenv("LC_PAPER");
    const std::string keep = saved ? saved : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        ::setenv("LC_PAPER", c.locale, 1);
        ::unsetenv("LC_ALL");
        const locale_t installed = ::newlocale(LC_PAPER_MASK, c.locale, locale_t(0));
        if (!installed)
            continue; // a locale not installed here says nothing
        ::freelocale(installed);
        const Paper paper = DefaultPaper();
        EXPECT_NEAR(paper.widthMm, c.width, 1.0);
        EXPECT_NEAR(paper.heightMm, c.height, 1.0);
        EXPECT_EQ(paper.leftMm, kLeastMarginMm);
        EXPECT_EQ(paper.bottomMm, kLeastMarginMm);
    }
    if (saved)
        ::setenv("LC_PAPER", keep.c_str(), 1);
    else
        ::unsetenv("LC_PAPER");
}

// The sink's failure (a full disk, say) is the printout's, at the line that met it or at the end; a job dropped
// half-way sends nothing more.
TEST(PdfPrintout, AFailingSinkFailsTheJobWithItsErrorAndADroppedJobSendsNothingMore) {
    std::vector<std::string> lines;
    for (int n = 0; n < 400; ++n)
        lines.push_back("Line " + std::to_string(n) + " of a printout long enough for several sheets.");
    for (int failAt : {1, 5, 40}) {
        SCOPED_TRACE("the sink fails at its call " + std::to_string(failAt));
        int calls = 0;
        bool failed = false;
        try {
            PdfPrintout job(Paper{}, [&](std::string_view) {
                if (++calls == failAt)
                    throw RuntimeError(code::DiskFull);
            });
            for (const std::string& line : lines)
                job.printLine(line);
            job.end();
        } catch (const RuntimeError& e) {
            failed = true;
            EXPECT_EQ(e.code(), code::DiskFull);
        }
        EXPECT_TRUE(failed);
        EXPECT_EQ(calls, failAt) << "nothing was sent after the failure";
    }

    std::size_t sent = 0;
    {
        PdfPrintout job(Paper{}, [&](std::string_view bytes) { sent += bytes.size(); });
        for (const std::string& line : lines)
            job.printLine(line);
        const std::size_t beforeDropping = sent;
        EXPECT_GT(beforeDropping, 0u) << "the sheets printed so far went out as they were done";
        sent = 0;
    }
    EXPECT_EQ(sent, 0u);
}

} // namespace
} // namespace dayvell::test
