// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace dayvell {

// The system printer: lines go into the current document, which endDocument sends to print.
// Failures throw RuntimeError with code 482.
class Printer {
public:
    virtual ~Printer() = default;
    // Prints `text` (which may hold CR LF line breaks) followed by a line end.
    virtual void printLine(const std::string& text) = 0;
    virtual void endDocument() = 0;
};

} // namespace dayvell
