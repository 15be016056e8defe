// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintText.h"

namespace dayvell {

bool PrinterReady(Dialogs& dialogs) {
    return dialogs.message("Make sure the printer is ready, then click OK to continue.", "Printer check",
                           Buttons::OkCancel, Icon::Information) != Answer::Cancel;
}

std::string WrapForPrint(std::string_view text, std::size_t width) {
    // A width of 0 wraps nothing.
    if (width == 0 || text.size() < width)
        return std::string(text);

    // The line being filled is always the run of the text from `start` to the character at hand: a break leaves
    // the characters after it, a carriage return none. So whole runs are copied, and only a run of the full width
    // with no carriage return in it is looked at for a space.
    std::string out;
    out.reserve(text.size() + text.size() / width + 1);
    std::size_t start = 0;
    while (true) {
        std::size_t cr = text.find('\r', start);
        const std::size_t runEnd = cr == std::string_view::npos ? text.size() : cr;
        while (runEnd - start >= width) {
            const std::string_view full = text.substr(start, width);
            const std::size_t space = full.rfind(' ');
            // A run of a full line without a space (a long web address, say) has nowhere to break. Refusing to
            // print would make such a page unprintable for good, so the run is cut at the width instead; no
            // character is lost.
            const std::size_t taken = space == std::string_view::npos ? width : space + 1;
            out.append(text, start, taken);
            out += '\r';
            start += taken;
        }
        if (cr == std::string_view::npos)
            break;
        out.append(text, start, cr + 1 - start);
        start = cr + 1;
    }
    out.append(text, start, text.size() - start);
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
