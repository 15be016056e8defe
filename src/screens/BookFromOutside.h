// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace dayvell {

struct Services;

// Opens the book file at `path`, named from outside the program (its command line, and so a double click in the
// file manager), the way the open browser's Open does: its directory and name go into the shared state and the
// password prompt is shown for it in place of the start window. A relative path is taken from the current
// directory. A path that is no readable book file is reported with the error the password prompt would give, and
// the start window stays.
void OpenBookFromOutside(Services& services, const QString& path);

} // namespace dayvell
