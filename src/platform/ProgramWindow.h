// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QPointer>

class QPushButton;

namespace dayvell {

struct Services;

// A window of the program. Its object name is its window id, the name other windows show it by. The window
// system creates it on show and destroys it on unload; a window never deletes itself.
class ProgramWindow : public QMainWindow {
    Q_OBJECT
public:
    // How a window is being closed from outside its own handlers.
    enum class Closing {
        // The close box, Quit: the user may still call the closing off.
        CanBeCalledOff,
        // A refused password: the book closes whatever the answer.
        Forced,
    };

    ProgramWindow(Services& services, const QString& id);

    QString id() const { return objectName(); }

protected:
    friend class WindowSystem;

    // Runs when the window is first shown and whenever it becomes the program's active window after another
    // program window was active; never in the middle of the handler that showed it, never when a box closes.
    virtual void Form_Activate() {}
    // Runs before the window is closed by anything but its own handlers. A window holding typed text that is not
    // saved asks whether to save it; false keeps the window open (the user called the closing off, or the text
    // could not be saved).
    virtual bool Form_QueryUnload(Closing how);

    Services& services() const { return m_services; }
    // Enter presses the default button and Esc the cancel button, wherever the focus is in the window, unless the
    // control with the focus uses the key itself; a focused button takes Enter for itself. A hidden or disabled
    // button is not pressed.
    void setDefaultButton(QPushButton* button);
    void setCancelButton(QPushButton* button);
    // Closes this window and shows `next`: the way a window hands the user back, to the cover window most often.
    void handOverTo(const QString& next);

    bool event(QEvent* event) override;
    // The close box unloads the window and runs none of its handlers but Form_QueryUnload.
    void closeEvent(QCloseEvent* event) final;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Services& m_services;
    // Set once the window is built, at its first showing.
    bool m_finished = false;
    QPointer<QPushButton> m_defaultButton;
    QPointer<QPushButton> m_cancelButton;
};

} // namespace dayvell
