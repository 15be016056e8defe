// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/GuiTest.h"

#include "platform/QtProgress.h"

#include <QApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

namespace dayvell::test {
namespace {

QProgressDialog* ShownDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// Whether a queued event runs while `task` is advanced step by step, as the windows need to paint. Steps come faster
// than events are let through; within a moment they are.
bool LetsEventsThrough(ProgressTask& task) {
    bool handled = false;
    QMetaObject::invokeMethod(
        qApp, [&] { handled = true; }, Qt::QueuedConnection);
    for (int done = 1; done <= 150 && !handled; ++done) {
        QThread::msleep(1);
        EXPECT_TRUE(task.advance(done));
    }
    return handled;
}

// Between steps the program goes on handling its events, so its windows paint; and the dialog tells how far
// the task got.
TEST(ProgressTest, StepsLetEventsThroughAndShowHowFarTheTaskGot) {
    TestServices t;
    QtProgress progress(t.windows);
    auto task = progress.start("Printing your dayvell.", "Print dayvell", 200);
    QProgressDialog* dialog = ShownDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Print dayvell"));
    EXPECT_TRUE(dialog->isModal());

    EXPECT_TRUE(LetsEventsThrough(*task));
    EXPECT_TRUE(task->advance(200));
    EXPECT_TRUE(dialog->labelText().endsWith(QStringLiteral("200 of 200"))) << dialog->labelText().toStdString();

    task.reset();
    EXPECT_EQ(ShownDialog(), nullptr);
}

TEST(ProgressTest, CancelStopsTheTaskAtItsNextStep) {
    TestServices t;
    QtProgress progress(t.windows);
    auto task = progress.start("Printing your dayvell.", "Print dayvell", 20000);
    QProgressDialog* dialog = ShownDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(task->advance(1));
    QPushButton* cancel = dialog->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(task->advance(2));
}

// A wait for something else to finish has no steps to count: the dialog says what it waits for, shows a busy bar,
// lets events through and offers Cancel.
TEST(ProgressTest, ATaskWithoutStepsShowsItsTextABusyBarAndCancel) {
    TestServices t;
    QtProgress progress(t.windows);
    auto task = progress.start("Waiting for another Dayvell to finish with this folder...", "", 0);
    QProgressDialog* dialog = ShownDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->labelText(), QStringLiteral("Waiting for another Dayvell to finish with this folder..."));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("dayvell"));
    EXPECT_EQ(dialog->minimum(), 0);
    EXPECT_EQ(dialog->maximum(), 0);

    EXPECT_TRUE(LetsEventsThrough(*task));
    EXPECT_EQ(dialog->labelText(), QStringLiteral("Waiting for another Dayvell to finish with this folder..."));

    QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
    EXPECT_FALSE(task->advance(151));
    task.reset();
    EXPECT_EQ(ShownDialog(), nullptr);
}

} // namespace
} // namespace dayvell::test
