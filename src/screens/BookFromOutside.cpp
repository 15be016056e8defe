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

#include <QFileInfo>

namespace dayvell {

void OpenBookFromOutside(Services& services, const QString& path) {
    SharedState& state = services.state;
    Guarded(services.dialogs, [&] {
        // Links are left as given, as the open browser leaves them: the book is rewritten where the user sees it.
        const QFileInfo file(path);
        std::string bookdir = WithSeparator(Cp1252Path(file.absolutePath()));
        std::string bookname = Cp1252Path(file.fileName());
        // The prompt reads the same record once a password is typed. Reading it now, before asking for a password
        // that could never open anything, reports a missing file, a folder or a file of another kind straight away.
        Book(JoinPath(bookdir, bookname), std::string()).readHeaderRecord();
        state.bookdir = std::move(bookdir);
        state.bookname = std::move(bookname);
        state.password.clear();
        state.passwordok = 0;
        state.purpose = purpose::OpenBook;
        services.windows.show(QStringLiteral("frmpassword"));
        services.windows.unload(QStringLiteral("form1"));
    });
}

} // namespace dayvell
