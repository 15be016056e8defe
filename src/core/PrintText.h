// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Dialogs.h"
#include "core/Printer.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace dayvell {

inline constexpr std::size_t kPrintWidth = 90;
inline constexpr std::size_t kTabStop = 8;

// Asks the user to make the printer ready; false when they cancel.
bool PrinterReady(Dialogs& dialogs);

// Breaks `text` into lines of at most `width` characters, each broken line ending in the space it was broken at
// and a CR. Every character counts, the LF after a CR included; a CR in the text ends a line and restarts the count.
std::string WrapForPrint(std::string_view text, std::size_t width = kPrintWidth);

// `text` with each tab replaced by the blanks that reach the next multiple of `stop` columns, counted from the start
// of its line (a CR or LF starts a new one). A printer draws a tab as a jump of its own width, which a line counted
// in characters cannot allow for: text after a run of tabs would land past the paper's edge.
std::string ExpandTabs(std::string_view text, std::size_t stop = kTabStop);

// Prints `text`, its tabs expanded, wrapped to the print width, as one item. Beginning and ending the job is the
// caller's work.
void PrintWrapped(PrintJob& job, std::string_view text);

} // namespace dayvell
