// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtProgress.h"

#include "QtDialogs.h"
#include "Text.h"
#include "WindowSystem.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>

#include <algorithm>
#include <climits>

namespace dayvell {

namespace {

// Events are let through this often: the windows paint smoothly, and the task is not slowed by thousands of
// passes through the event loop a second.
constexpr qint64 kEventsEveryMs = 30;

class QtProgressTask : public ProgressTask {
public:
    QtProgressTask(WindowSystem& windows, const std::string& text, const std::string& title, std::int64_t total)
        : m_scope(windows), m_text(QStringFromCp1252(text)), m_total(std::max<std::int64_t>(total, 0)),
          m_dialog(m_text, QStringLiteral("Cancel"), 0, kSteps, windows.activeWindow()) {
        m_dialog.setObjectName(QStringLiteral("Progress"));
        m_dialog.setWindowTitle(BoxTitle(title));
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setMinimumDuration(0);
        show(0);
        m_dialog.show();
        QCoreApplication::processEvents();
        m_sinceEvents.start();
    }

    bool advance(std::int64_t done) override {
        if (m_sinceEvents.elapsed() >= kEventsEveryMs || (m_total > 0 && done >= m_total)) {
            show(done);
            QCoreApplication::processEvents();
            m_sinceEvents.restart();
        }
        return !m_dialog.wasCanceled();
    }

private:
    // The bar has a fixed number of steps, so that a task of any length fits its whole range.
    static constexpr int kSteps = 10000;

    void show(std::int64_t done) {
        if (m_total == 0) {
            // A task without steps (a wait for something else to finish): a busy bar and the text alone.
            m_dialog.setRange(0, 0);
            m_dialog.setLabelText(m_text);
            return;
        }
        done = std::clamp<std::int64_t>(done, 0, m_total);
        m_dialog.setLabelText(m_text + QStringLiteral("\n") + QString::number(done) + QStringLiteral(" of ") +
                              QString::number(m_total));
        m_dialog.setValue(m_total == 0 ? kSteps : int(done * kSteps / m_total));
    }

    WindowSystem::BoxScope m_scope;
    QString m_text;
    std::int64_t m_total;
    QProgressDialog m_dialog;
    QElapsedTimer m_sinceEvents;
};

} // namespace

QtProgress::QtProgress(WindowSystem& windows) : m_windows(windows) {}

std::unique_ptr<ProgressTask> QtProgress::start(const std::string& text, const std::string& title, std::int64_t total) {
    return std::make_unique<QtProgressTask>(m_windows, text, title, total);
}

} // namespace dayvell
