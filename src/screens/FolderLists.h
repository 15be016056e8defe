// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

namespace dayvell {

// The directory the create wizard and the open browser show first. The start window leaves a "/" on `bookdir` as
// a terminator, not as part of the name ("/opt/dayvell/" is /opt/dayvell, "//" is the root); a `bookdir` that a
// directory list set carries none, and is the directory itself.
QString FirstDirectory(const std::string& bookdir);

class DirList;
class DriveList;

// Puts a drive list and a directory list on the open book's folder, `bookdir`. Throws RuntimeError when it cannot
// be shown.
void ShowBookFolder(const std::string& bookdir, DriveList& drive, DirList& dir);

} // namespace dayvell
