// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeDisks.h"
#include "RecordingPrinter.h"
#include "ScriptedProgress.h"
#include "core/ScriptedDialogs.h"

#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/SystemClock.h"
#include "platform/WindowSystem.h"

#include <QAction>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace dayvell::test {

// Thrown after a failure has been recorded, to stop a test that cannot go on (gtest reports it as well).
struct GuiTestAbort : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The child of `window` of type T named `name`; fails the test, naming both, when there is none.
template <class T> T* find(const QObject* window, const QString& name) {
    if (!window) {
        ADD_FAILURE() << "No window to look for \"" << name.toStdString() << "\" in";
        throw GuiTestAbort("no window");
    }
    T* child = window->findChild<T*>(name);
    if (!child) {
        ADD_FAILURE() << "Window \"" << window->objectName().toStdString() << "\" has no "
                      << T::staticMetaObject.className() << " named \"" << name.toStdString() << "\"";
        throw GuiTestAbort("no such control");
    }
    return child;
}

// The caption a button or menu item shows: its text less the "&" that marks its accelerator key ("&&" shows "&").
QString Caption(const QString& text);

// Chooses the menu item named `name` of `window` as the user would; fails the test when it is disabled.
void trigger(const QObject* window, const QString& name);

// Lets posted events run, as returning to the event loop does after a handler.
void settle();

// Waits (up to a few seconds) until `id` is the program's active window, for the program and for the platform
// alike; fails the test otherwise. Waiting for the platform keeps its late activation events from looking like a
// user's click in a later step.
void waitUntilActive(WindowSystem& windows, const QString& id);

// A fresh set of services for one test: scripted boxes, a clock fixed at Saturday 12/5/2026 1:46:33 PM in US
// English, fake disks, a recording printer, a scripted progress dialog, and a window system whose program end is
// counted instead of quitting.
struct TestServices {
    TestServices();
    ~TestServices();

    SharedState state;
    ScriptedDialogs dialogs;
    SystemClock clock;
    FakeDisks disks;
    RecordingPrinter printer;
    ScriptedProgress progress;
    int programEnds = 0;
    WindowSystem windows;
    Services services;
};

} // namespace dayvell::test
