// SPDX-License-Identifier: GPL-3.0-or-later
// dayvell search BOOK.dvl WORD
#include "Subcommands.h"

#include "core/Charset.h"
#include "core/Search.h"

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
        SearchBook(book, word, [](const std::string& line) { PrintLine(OnOneLine(line)); });
        return 0;
    });
    return kSuccess;
}

} // namespace dayvell::cli
