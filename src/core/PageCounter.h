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

// Counts the open book's pages into `pagecount` (" 12"). A failure is reported here and leaves `pagecount` as it
// was; returns whether the count succeeded.
bool CountPages(SharedState& state, Dialogs& dialogs, FileSystem& fs = SystemFileSystem());

} // namespace dayvell
