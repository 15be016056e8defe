// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SharedState.h"
#include "platform/Disks.h"
#include "platform/QtDialogs.h"
#include "platform/QtPrinter.h"
#include "platform/QtProgress.h"
#include "platform/Services.h"
#include "platform/SystemClock.h"
#include "platform/WindowSystem.h"
#include "screens/Windows.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The window system ends the program when its last window is unloaded, not when one is merely hidden.
    app.setQuitOnLastWindowClosed(false);

    dayvell::SharedState state;
    dayvell::SystemClock clock;
    dayvell::SystemDisks disks;
    dayvell::QtPrinter printer;
    dayvell::WindowSystem windows([] { QCoreApplication::quit(); });
    dayvell::QtDialogs dialogs(windows);
    dayvell::QtProgress progress(windows);
    dayvell::Services services{windows, dialogs, clock, disks, printer, progress, state};
    dayvell::RegisterWindows(services);

    windows.show(QStringLiteral("form1"));
    return app.exec();
}
