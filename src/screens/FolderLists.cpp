// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderLists.h"

#include "platform/DirList.h"
#include "platform/DriveList.h"
#include "platform/Text.h"

namespace dayvell {

QString FirstDirectory(const std::string& bookdir) {
    std::string_view dir = bookdir;
    if (dir.size() > 1 && dir.back() == '/')
        dir.remove_suffix(1);
    return QStringFromCp1252(dir);
}

void ShowBookFolder(const std::string& bookdir, DriveList& drive, DirList& dir) {
    const QString own = FirstDirectory(bookdir);
    drive.setDrive(own);
    dir.setPath(own);
}

} // namespace dayvell
