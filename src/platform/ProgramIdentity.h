// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>

namespace dayvell {

// The id the desktop knows the program by: its menu entry, icon, file type and store description are named so.
inline const QString kAppId = QStringLiteral("io.github.dayvell.Dayvell");

// The application icon in every size it is drawn at.
QIcon ProgramIcon();

// The program's name and version, for the command line's answers; needs no application object.
void NameProgram();
// Names the running application and gives it its desktop entry and the icon that every window then shows.
// Needs the QApplication to exist.
void IdentifyProgram();

} // namespace dayvell
