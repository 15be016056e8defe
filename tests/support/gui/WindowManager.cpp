// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowManager.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <cstdlib>

namespace dayvell::test {

namespace {

qint64 startedManager = 0;

void StopStartedManager() {
    if (startedManager > 0)
        ::kill(static_cast<pid_t>(startedManager), SIGTERM);
}

// A property of the root window, as xprop prints it; empty when xprop cannot be run.
QString RootProperty(const char* name) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("-notype"), QString::fromLatin1(name)});
    if (!xprop.waitForFinished(5000))
        return {};
    return QString::fromLocal8Bit(xprop.readAllStandardOutput());
}

bool ManagerRuns() {
    return RootProperty("_NET_SUPPORTING_WM_CHECK").contains(QStringLiteral("window id"));
}

} // namespace

std::string EnsureWindowManager() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        return "needs a real X server with a window manager (this run uses the \"" +
               QGuiApplication::platformName().toStdString() + "\" platform; the _xvfb run of this test has one)";
    if (QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
        return "xprop (Debian package x11-utils) is not installed";
    if (ManagerRuns())
        return {};
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
        return "no window manager runs and openbox (Debian package openbox) is not installed";
    if (!QProcess::startDetached(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")}, {}, &startedManager))
        return "openbox could not be started";
    std::atexit(StopStartedManager);
    if (!QTest::qWaitFor(ManagerRuns, 10000))
        return "openbox did not take over the display";
    // It announces itself before it has finished setting up; the first window it manages must not come before.
    QTest::qWait(500);
    return {};
}

std::vector<WId> StackingOrder() {
    std::vector<WId> order;
    static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
    for (const QRegularExpressionMatch& m : id.globalMatch(RootProperty("_NET_CLIENT_LIST_STACKING")))
        order.push_back(static_cast<WId>(m.captured().toULongLong(nullptr, 16)));
    return order;
}

bool WaitUntilPlaced(QWidget& window) {
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    // Framed: the window manager's decoration around it is known to the program.
    const bool framed = QTest::qWaitFor([&] { return window.frameGeometry() != window.geometry(); });
    QTest::qWait(100);
    return framed;
}

} // namespace dayvell::test
