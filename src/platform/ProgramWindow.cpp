// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramWindow.h"

#include "Services.h"
#include "WindowSystem.h"

#include <QCloseEvent>

namespace dayvell {

ProgramWindow::ProgramWindow(Services& services, const QString& id) : m_services(services) {
    setObjectName(id);
}

bool ProgramWindow::event(QEvent* event) {
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

} // namespace dayvell
