// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramIdentity.h"

#include "core/Version.h"

#include <QApplication>
#include <QDirIterator>

namespace dayvell {

QIcon ProgramIcon() {
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/hicolor"), {kAppId + QStringLiteral(".png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext())
        icon.addFile(sizes.next());
    return icon;
}

void NameProgram() {
    QCoreApplication::setApplicationName(QStringLiteral("dayvell"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersion.data(), qsizetype(kVersion.size())));
}

void IdentifyProgram() {
    NameProgram();
    // Lets Wayland compositors and docks match the windows to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(kAppId);
    QApplication::setWindowIcon(ProgramIcon());
}

} // namespace dayvell
