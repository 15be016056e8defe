// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageCounter.h"

#include "ErrorReporter.h"
#include "Numbers.h"

namespace dayvell {

std::string BookPath(const SharedState& state) {
    return JoinPath(state.bookdir, state.bookname);
}

Book OpenBook(const SharedState& state, FileSystem& fs) {
    return Book(BookPath(state), state.password, fs);
}

bool CountPages(SharedState& state, Dialogs& dialogs, FileSystem& fs, Counting how) {
    return Guarded(dialogs, [&] {
        const Book book = OpenBook(state, fs);
        state.pagecount = PageNumberText(how == Counting::FromTheEnd ? book.pageCountAtEnd() : book.countPages());
    });
}

} // namespace dayvell
