// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

namespace dayvell {

// One printed document. Lines go in as they come; end sends the document to print. A job dropped before it ended
// is abandoned: nothing of it is printed, and nothing of it reaches a later job. Failures throw RuntimeError with
// code 482.
class PrintJob {
public:
    virtual ~PrintJob() = default;
    // Prints `text` (which may hold CR LF line breaks) followed by a line end.
    virtual void printLine(const std::string& text) = 0;
    virtual void end() = 0;
};

// The system printer.
class Printer {
public:
    virtual ~Printer() = default;
    // A new job; null when the user declined to say where the printout goes (the file of a printer-less desktop):
    // the user chose not to print, which is no failure, and nothing is printed or said.
    virtual std::unique_ptr<PrintJob> begin() = 0;
};

} // namespace dayvell
