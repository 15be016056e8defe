// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ProgramWindow.h"
#include "WindowPlacement.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace dayvell {

// Owns the program's windows by their ids ("form1", "Form5", "frmpassword", ...): one instance of each at most,
// created on show in its designed state and destroyed on unload. Decides which window is the program's active
// one and runs Form_Activate when that changes, and ends the program when no window is left.
class WindowSystem : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<std::unique_ptr<ProgramWindow>()>;

    // `endProgram` runs once no window is loaded any more, after the handler that unloaded the last one returned
    // without showing another. The application passes QCoreApplication::quit; tests observe it.
    explicit WindowSystem(std::function<void()> endProgram);
    ~WindowSystem() override;

    void registerWindow(const QString& id, Factory factory);
    bool isRegistered(const QString& id) const;
    // The ids of every registered window, in id order.
    QStringList registeredIds() const;

    // Loads the window if it is not loaded, makes it visible and asks for it to become the active window; its
    // Form_Activate runs after the calling handler returns. A window loaded here opens centred over the program's
    // active window, the one it is opened from; a dialog (a window kept out of the taskbar) also stays above it.
    // Returns the window, or null for an id that no window is registered under.
    ProgramWindow* show(const QString& id);
    // Hides the window and discards it: the next show builds a new instance. Does nothing when it is not loaded.
    void unload(const QString& id);
    // Unloads every loaded window, the most recently loaded first. A call made while it runs returns at once.
    void unloadAll();

    // Asks a loaded window whether it may be closed from outside its own handlers (Form_QueryUnload); true for a
    // window that is not loaded. Closing it is the caller's next step.
    bool queryUnload(const QString& id, ProgramWindow::Closing how);
    // Asks every loaded window in turn, the most recently loaded first; false as soon as one stays open.
    bool queryUnloadAll(ProgramWindow::Closing how);

    bool isLoaded(const QString& id) const;
    ProgramWindow* window(const QString& id) const;
    // The ids of the loaded windows, in the order they were loaded.
    QStringList loadedIds() const;
    // The program window that was active last, or null when none is (a box open over it does not change it).
    ProgramWindow* activeWindow() const { return m_active; }

    // Makes a loaded window active the way a user's click on it does, through the same path as the window
    // manager's activation. Used by tests; the real user's clicks arrive through platformActivated.
    void activate(const QString& id);

    // While a box is open, activation changes wait: they belong after the handler that opened the box.
    class BoxScope {
    public:
        explicit BoxScope(WindowSystem& windows);
        ~BoxScope();
        BoxScope(const BoxScope&) = delete;
        BoxScope& operator=(const BoxScope&) = delete;

    private:
        WindowSystem& m_windows;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class ProgramWindow;

    struct Loaded {
        QString id;
        std::unique_ptr<ProgramWindow> window;
    };

    // The window manager made `window` active: settle it once the current events are handled.
    void platformActivated(ProgramWindow* window);
    void placeOverOpener(ProgramWindow& window) const;
    void unloadWindow(ProgramWindow* window);
    void schedule();
    void settle();
    void becameActive(ProgramWindow* window);
    ProgramWindow* fallbackWindow() const;
    std::vector<Loaded>::const_iterator find(const QString& id) const;
    bool holds(const ProgramWindow* window) const;

    std::function<void()> m_endProgram;
    std::map<QString, Factory> m_factories;
    std::vector<Loaded> m_loaded;
    // Unloaded windows wait here for the event loop to delete them; a handler may still be running in one.
    std::vector<QPointer<ProgramWindow>> m_discarded;

    QPointer<ProgramWindow> m_active;
    // Most recently active last: the window that takes over when the active one is unloaded.
    std::vector<QPointer<ProgramWindow>> m_activationHistory;
    std::deque<QPointer<ProgramWindow>> m_requests;
    // The window the window manager (or a test acting as the user) made active last, not yet settled.
    QPointer<ProgramWindow> m_platformChoice;
    // The window the program last made active, until the platform reports it active too.
    QPointer<ProgramWindow> m_awaiting;
    bool m_activeUnloaded = false;
    // Where the active window stood when a handler unloaded it, until the handler's work is settled: a window shown
    // next by that handler opens there.
    std::optional<WindowPlace> m_unloadedActivePlace;
    bool m_endPending = false;
    bool m_scheduled = false;
    bool m_unloadingAll = false;
    bool m_settling = false;
    int m_openBoxes = 0;
};

} // namespace dayvell
