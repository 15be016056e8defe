// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Book.h"
#include "Dialogs.h"
#include "SharedState.h"

#include <string>

namespace dayvell {

// The open book's file: `bookdir` (a separator added when missing) followed by `bookname`.
std::string BookPath(const SharedState& state);
// The open book, keyed with the password in force.
Book OpenBook(const SharedState& state, FileSystem& fs = SystemFileSystem());

// How the pages are counted: every record read to the end, which finds a damaged one anywhere, or the last page's
// number taken from the end of the book, which costs the same on any book.
enum class Counting { EveryRecord, FromTheEnd };

// Counts the open book's pages into `pagecount` (" 12"). A failure is reported here and leaves `pagecount` as it
// was; returns whether the count succeeded.
bool CountPages(SharedState& state, Dialogs& dialogs, FileSystem& fs = SystemFileSystem(),
                Counting how = Counting::EveryRecord);

} // namespace dayvell
