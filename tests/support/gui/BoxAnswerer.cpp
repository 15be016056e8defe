// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoxAnswerer.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

namespace dayvell::test {

BoxAnswerer::BoxAnswerer() {
    qApp->installEventFilter(this);
}

BoxAnswerer::~BoxAnswerer() {
    qApp->removeEventFilter(this);
}

BoxAnswerer& BoxAnswerer::then(Step step) {
    m_steps.push_back(std::move(step));
    return *this;
}

bool BoxAnswerer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && (qobject_cast<QMessageBox*>(watched) || qobject_cast<QInputDialog*>(watched) ||
                                          qobject_cast<QFileDialog*>(watched))) {
        QPointer<QDialog> box = static_cast<QDialog*>(watched);
        // Queued: the box's own event loop must be running before it can be answered.
        QMetaObject::invokeMethod(
            this,
            [this, box] {
                if (box)
                    answer(box);
            },
            Qt::QueuedConnection);
    }
    return false;
}

void BoxAnswerer::answer(QDialog* box) {
    if (QApplication::activeModalWidget() != box) {
        // Not up yet: look again once more events have run.
        QPointer<QDialog> later = box;
        QMetaObject::invokeMethod(
            this,
            [this, later] {
                if (later)
                    answer(later);
            },
            Qt::QueuedConnection);
        return;
    }
    if (m_steps.empty()) {
        ++m_unexpected;
        box->reject();
        return;
    }
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    ++m_answered;
    step(*box);
}

} // namespace dayvell::test
