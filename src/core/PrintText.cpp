// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintText.h"

namespace dayvell {

bool PrinterReady(Dialogs& dialogs) {
    return dialogs.message("Make sure the printer is ready, then click OK to continue.", "Printer check",
                           Buttons::OkCancel, Icon::Information) != Answer::Cancel;
}

std::string WrapForPrint(std::string_view text, std::size_t width) {
    // A width of 0 wraps nothing (and must not reach the division below).
    if (width == 0 || text.size() < width)
        return std::string(text);

    std::string out;
    out.reserve(text.size() + text.size() / width + 1);
    std::string line;
    for (char c : text) {
        line += c;
        if (c == '\r') {
            out += line;
            line.clear();
        }
        if (width == 0 || line.size() != width)
            continue;
        const auto space = line.rfind(' ');
        if (space == std::string::npos) {
            // A run of a full line without a space (a long web address, say) has nowhere to break. Refusing to
            // print would make such a page unprintable for good, so the run is cut at the width instead; no
            // character is lost.
            out += line;
            out += '\r';
            line.clear();
            continue;
        }
        out.append(line, 0, space + 1);
        out += '\r';
        line.erase(0, space + 1);
    }
    out += line;
    return out;
}

std::string ExpandTabs(std::string_view text, std::size_t stop) {
    if (stop == 0 || text.find('\t') == std::string_view::npos)
        return std::string(text);
    std::string out;
    out.reserve(text.size() + stop);
    std::size_t column = 0;
    for (char c : text) {
        if (c == '\t') {
            const std::size_t blanks = stop - column % stop;
            out.append(blanks, ' ');
            column += blanks;
            continue;
        }
        out += c;
        column = c == '\r' || c == '\n' ? 0 : column + 1;
    }
    return out;
}

void PrintWrapped(PrintJob& job, std::string_view text) {
    job.printLine(WrapForPrint(ExpandTabs(text)));
}

} // namespace dayvell
