// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Printer.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace dayvell {

// Half an inch: no printer clips that much, and a PDF printed later on any of them keeps every character.
inline constexpr double kLeastMarginMm = 12.7;

// A sheet of paper and the edges of it that stay free of print, in millimetres.
struct Paper {
    double widthMm = 210;
    double heightMm = 297;
    double leftMm = kLeastMarginMm;
    double topMm = kLeastMarginMm;
    double rightMm = kLeastMarginMm;
    double bottomMm = kLeastMarginMm;
};

// A sheet of `widthMm` by `heightMm` whose edges keep the printer's unprintable margins, and at least
// kLeastMarginMm. A size of 0 (a printer that does not say) takes the default paper's.
Paper PaperWithMargins(double widthMm, double heightMm, double leftMm, double topMm, double rightMm, double bottomMm);

// The paper of the user's locale (LC_PAPER, else LC_ALL or LANG), A4 where it names none, with the least margins.
Paper DefaultPaper();

// Takes the bytes of a PDF file as they are made. It may throw RuntimeError; the printout then fails with that
// error.
using PdfSink = std::function<void(std::string_view bytes)>;

// A print job drawn as a PDF document, sheet by sheet as its lines arrive: only the sheet being filled is held in
// memory, whatever the length of the job. Lines are set in a fixed-pitch font sized so that a line of the print
// width fits between the margins; a line too long for the sheet is broken after its last space that fits, or at
// the edge where it has none, so no character is ever cut off. Tabs become the blanks up to the next tab stop; a
// CR LF, a lone CR or a lone LF ends a line. Characters no font draws (control codes) show as the replacement
// character. end() finishes the document; a job dropped before it sends nothing more to the sink.
//
// The PDF is written by cairo's PDF surface with DejaVu Sans Mono (found through fontconfig), embedded as a
// subset. Failures throw RuntimeError with code 482, or the sink's own error.
class PdfPrintout : public PrintJob {
public:
    PdfPrintout(const Paper& paper, PdfSink sink);
    ~PdfPrintout() override;
    PdfPrintout(const PdfPrintout&) = delete;
    PdfPrintout& operator=(const PdfPrintout&) = delete;

    void printLine(const std::string& text) override;
    void end() override;

    // The number of characters that fit on a line of this paper, and of lines on a sheet.
    int columns() const;
    int linesPerSheet() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace dayvell
