// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookFromOutside.h"

#include "core/Book.h"
#include "core/ErrorReporter.h"
#include "core/FileSystem.h"
#include "core/Purposes.h"
#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QDir>
#include <QFileInfo>

namespace dayvell {

namespace {

// Why the book named from outside cannot be opened, naming it: the user gave the path outside the program, and no
// window of it shows the path now.
std::string NotOpenedText(const RuntimeError& e, const std::string& shown) {
    const std::string start = "Dayvell cannot open " + shown;
    switch (e.code()) {
    case code::FileNotFound:
        return start + ": there is no such file.";
    case code::PathNotFound:
        return start + ": its folder does not exist.";
    case code::PastEndOfFile:
        return start + ": it is not a dayvell. A dayvell begins with its header record, and this file does not. "
                       "Nothing has been changed.";
    case code::NotABookFile:
        return start + ": it is not a dayvell. A dayvell is an ordinary file, and this name belongs to a folder or "
                       "something else. Nothing has been read or written.";
    default:
        return start + ".\r\r" + ErrorBoxText(e.code(), e.description());
    }
}

} // namespace

void OpenBookFromOutside(Services& services, const QString& path) {
    SharedState& state = services.state;
    const QFileInfo file(path);
    Guarded(services.dialogs, [&] {
        std::string bookdir;
        std::string bookname;
        try {
            // Links are left as given, as the open browser leaves them: the book is rewritten where the user sees
            // it.
            bookdir = WithSeparator(Cp1252Path(file.absolutePath()));
            bookname = Cp1252Path(file.fileName());
            // The prompt reads the same record once a password is typed. Reading it now, before asking for a
            // password that could never open anything, reports a missing file, a folder or a file of another kind
            // straight away.
            Book(JoinPath(bookdir, bookname), std::string()).inspect();
        } catch (const RuntimeError& e) {
            services.dialogs.message(NotOpenedText(e, LossyCp1252FromQString(QDir::cleanPath(file.absoluteFilePath()))),
                                     ErrorTitle(e.code(), e.description()), Buttons::Ok, Icon::Exclamation);
            return;
        }
        state.bookdir = std::move(bookdir);
        state.bookname = std::move(bookname);
        state.clearPassword();
        state.passwordok = 0;
        state.purpose = purpose::OpenBook;
        services.windows.show(QStringLiteral("frmpassword"));
        services.windows.unload(QStringLiteral("form1"));
    });
}

} // namespace dayvell
