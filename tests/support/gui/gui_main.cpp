// SPDX-License-Identifier: GPL-3.0-or-later
// The main() of every GUI test executable: the widgets need a QApplication before the first test runs.
#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

namespace {

// The offscreen platform warns about every window operation it leaves out (raise, size hints); those warnings
// say nothing about the program and would bury the ones that do.
QtMessageHandler standard = nullptr;

void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    standard(type, context, message);
}

} // namespace

// On a real X server Qt opens a D-Bus connection whose library keeps one buffer to the end of the process; the
// leak checker of sanitizer builds would otherwise fail every GUI test run under Xvfb for it. Likewise the CUPS
// library keeps the strings of each printer description it reads when Qt asks a scheduler about its printers. Only
// those two libraries are excused.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:libcups.so\n";
}

int main(int argc, char** argv) {
    standard = qInstallMessageHandler(FilterMessages);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // Windows are unloaded through the window system, which tells each test when the program would end.
    app.setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    return RUN_ALL_TESTS();
}
