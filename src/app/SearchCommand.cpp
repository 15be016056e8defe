// SPDX-License-Identifier: GPL-3.0-or-later
// dayvell search BOOK.dvl WORD
#include "Subcommands.h"

#include "core/Charset.h"
#include "core/Search.h"

#include <algorithm>

namespace dayvell::cli {

int Search(const Invocation& call) {
    if (call.arguments.size() != 2)
        throw UsageError{"give the book and the word to look for"};
    const std::string& path = call.arguments[0];
    std::string word;
    try {
        word = Cp1252FromUtf8(call.arguments[1]);
    } catch (const UnstorableText& e) {
        throw Failure{{}, "no page can hold '" + call.arguments[1] + "': " + e.what()};
    }
    const Book book = OpenBookForCommand(call, path);
    NamingFailures(path, [&] {
        SearchBook(book, word, [](const std::string& line) {
            // A page holds what was typed or imported into it; a control character printed as it is would act on
            // the terminal (an escape sequence, a bell), so each is shown as "?".
            std::string shown = OnOneLine(line);
            std::replace_if(shown.begin(), shown.end(), IsCp1252Control, '?');
            PrintLine(shown);
        });
        return 0;
    });
    return kSuccess;
}

} // namespace dayvell::cli
