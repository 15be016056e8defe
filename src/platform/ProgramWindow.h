// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>

namespace dayvell {

struct Services;

// A window of the program. Its object name is its window id, the name other windows show it by. The window
// system creates it on show and destroys it on unload; a window never deletes itself.
class ProgramWindow : public QMainWindow {
    Q_OBJECT
public:
    ProgramWindow(Services& services, const QString& id);

    QString id() const { return objectName(); }

protected:
    friend class WindowSystem;

    // Runs when the window is first shown and whenever it becomes the program's active window after another
    // program window was active; never in the middle of the handler that showed it, never when a box closes.
    virtual void Form_Activate() {}

    Services& services() const { return m_services; }

    bool event(QEvent* event) override;
    // The close box unloads the window and runs none of its handlers.
    void closeEvent(QCloseEvent* event) final;

private:
    Services& m_services;
    bool m_named = false;
};

} // namespace dayvell
