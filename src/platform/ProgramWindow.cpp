// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramWindow.h"

#include "Services.h"
#include "WindowSystem.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace dayvell {

namespace {

// A screen reader announces a control by its accessible name, which Qt takes from a button's caption or from a
// label that names the control. A control with neither is named by the tool tip that sighted users read.
void NameByToolTips(QWidget* window) {
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->accessibleName().isEmpty() || widget->toolTip().isEmpty())
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (accessible && accessible->text(QAccessible::Name).trimmed().isEmpty())
            widget->setAccessibleName(widget->toolTip());
    }
}

// Enter on a focused button presses that button, as in every dialog: Enter on a focused Cancel cancels, never the
// default button in its place. A button takes the key for itself only when it is the one the key was typed on.
void PressedByEnterWhenFocused(QWidget* window) {
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->setAutoDefault(true);
}

} // namespace

ProgramWindow::ProgramWindow(Services& services, const QString& id) : m_services(services) {
    setObjectName(id);
}

bool ProgramWindow::event(QEvent* event) {
    // Once the window is built: every control exists by its first showing.
    if (event->type() == QEvent::Show && !m_finished) {
        m_finished = true;
        NameByToolTips(this);
        PressedByEnterWhenFocused(this);
    }
    if (event->type() == QEvent::WindowActivate)
        m_services.windows.platformActivated(this);
    return QMainWindow::event(event);
}

bool ProgramWindow::Form_QueryUnload(Closing) {
    return true;
}

void ProgramWindow::closeEvent(QCloseEvent* event) {
    if (!Form_QueryUnload(Closing::CanBeCalledOff)) {
        event->ignore();
        return;
    }
    // Hidden by unload; the object itself goes once control is back in the event loop.
    event->accept();
    m_services.windows.unloadWindow(this);
}

void ProgramWindow::handOverTo(const QString& next) {
    WindowSystem& windows = m_services.windows;
    windows.unload(id());
    windows.show(next);
}

void ProgramWindow::setDefaultButton(QPushButton* button) {
    if (m_defaultButton)
        m_defaultButton->setDefault(false);
    m_defaultButton = button;
    if (button) {
        button->setDefault(true);
        button->setAutoDefault(true);
    }
}

void ProgramWindow::setCancelButton(QPushButton* button) {
    m_cancelButton = button;
}

void ProgramWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        QPushButton* button = nullptr;
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            button = m_defaultButton;
        else if (event->key() == Qt::Key_Escape)
            button = m_cancelButton;
        if (button && button->isVisible() && button->isEnabled()) {
            button->click();
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

} // namespace dayvell
