// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Dialogs.h"
#include "core/Printer.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace dayvell {

inline constexpr std::size_t kPrintWidth = 90;

// Asks the user to make the printer ready; false when they cancel.
bool PrinterReady(Dialogs& dialogs);

// Breaks `text` into lines of at most `width` characters, each broken line ending in the space it was broken at
// and a CR. Every character counts, the LF after a CR included; a CR in the text ends a line and restarts the count.
std::string WrapForPrint(std::string_view text, std::size_t width = kPrintWidth);

// Prints `text` wrapped to the print width, as one item. Beginning and ending the job is the caller's work.
void PrintWrapped(PrintJob& job, std::string_view text);

} // namespace dayvell
