// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuiTest.h"

#include "core/FileSystem.h"
#include "platform/ProgramWindow.h"

#include <QApplication>
#include <QTest>

namespace dayvell::test {

void trigger(const QObject* window, const QString& name) {
    QAction* action = find<QAction>(window, name);
    if (!action->isEnabled()) {
        ADD_FAILURE() << "Menu item \"" << name.toStdString() << "\" is disabled";
        throw GuiTestAbort("disabled menu item");
    }
    action->trigger();
}

void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void waitUntilActive(WindowSystem& windows, const QString& id) {
    const bool active = QTest::qWaitFor([&] {
        ProgramWindow* window = windows.window(id);
        return window && windows.activeWindow() == window && QApplication::activeWindow() == window;
    });
    if (!active) {
        const QWidget* platform = QApplication::activeWindow();
        ADD_FAILURE() << "\"" << id.toStdString() << "\" did not become the active window; the program's is \""
                      << (windows.activeWindow() ? windows.activeWindow()->id().toStdString() : "none")
                      << "\", the platform's \"" << (platform ? platform->objectName().toStdString() : "none") << "\"";
        throw GuiTestAbort("window not active");
    }
}

QString Caption(const QString& text) {
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

TestServices::TestServices()
    : clock(QLocale(QLocale::English, QLocale::UnitedStates),
            [] { return QDateTime(QDate(2026, 12, 5), QTime(13, 46, 33)); }),
      windows([this] { ++programEnds; }), services{windows, dialogs, clock, disks, printer, progress, state} {
    SystemFileSystem().showWaitingWith(&progress);
}

TestServices::~TestServices() {
    SystemFileSystem().showWaitingWith(nullptr);
    // Unloaded windows are deleted by the event loop; let it do so before the next test builds its own.
    settle();
}

} // namespace dayvell::test
