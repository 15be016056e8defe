// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowSystem.h"

#include "ProgramWindow.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QWindow>

#include <algorithm>

namespace dayvell {

WindowSystem::WindowSystem(std::function<void()> endProgram) : m_endProgram(std::move(endProgram)) {
    qApp->installEventFilter(this);
}

WindowSystem::~WindowSystem() {
    qApp->removeEventFilter(this);
    while (!m_loaded.empty())
        m_loaded.pop_back();
    for (const auto& window : m_discarded)
        delete window.data();
}

void WindowSystem::registerWindow(const QString& id, Factory factory) {
    m_factories[id] = std::move(factory);
}

bool WindowSystem::isRegistered(const QString& id) const {
    return m_factories.count(id) != 0;
}

QStringList WindowSystem::registeredIds() const {
    QStringList ids;
    for (const auto& [id, factory] : m_factories)
        ids << id;
    return ids;
}

ProgramWindow* WindowSystem::show(const QString& id) {
    ProgramWindow* window = this->window(id);
    if (!window) {
        auto factory = m_factories.find(id);
        if (factory == m_factories.end())
            return nullptr;
        m_loaded.push_back({id, factory->second()});
        window = m_loaded.back().window.get();
        placeOverOpener(*window);
    }
    window->show();
    window->raise();
    m_requests.push_back(window);
    m_endPending = false;
    schedule();
    return window;
}

void WindowSystem::unload(const QString& id) {
    if (ProgramWindow* window = this->window(id))
        unloadWindow(window);
}

void WindowSystem::unloadAll() {
    if (m_unloadingAll)
        return;
    m_unloadingAll = true;
    for (auto i = m_loaded.size(); i-- > 0;) {
        if (i < m_loaded.size())
            unloadWindow(m_loaded[i].window.get());
    }
    m_unloadingAll = false;
}

bool WindowSystem::queryUnload(const QString& id, ProgramWindow::Closing how) {
    ProgramWindow* window = this->window(id);
    return !window || window->Form_QueryUnload(how);
}

bool WindowSystem::queryUnloadAll(ProgramWindow::Closing how) {
    const QStringList ids = loadedIds();
    for (auto i = ids.size(); i-- > 0;) {
        if (!queryUnload(ids[i], how))
            return false;
    }
    return true;
}

bool WindowSystem::isLoaded(const QString& id) const {
    return find(id) != m_loaded.end();
}

ProgramWindow* WindowSystem::window(const QString& id) const {
    auto it = find(id);
    return it == m_loaded.end() ? nullptr : it->window.get();
}

QStringList WindowSystem::loadedIds() const {
    QStringList ids;
    for (const auto& loaded : m_loaded)
        ids << loaded.id;
    return ids;
}

void WindowSystem::activate(const QString& id) {
    ProgramWindow* window = this->window(id);
    if (!window)
        return;
    window->raise();
    window->activateWindow();
    m_awaiting = window;
    m_platformChoice = window;
    schedule();
}

void WindowSystem::placeOverOpener(ProgramWindow& window) const {
    // The window it is opened from is the active one, or the one that was active until its handler unloaded it
    // just before showing this one.
    ProgramWindow* opener = m_active && m_active->isVisible() ? m_active.data() : nullptr;
    if (!opener && !m_unloadedActivePlace)
        return;
    // A window takes the size its layout asks for before it is centred, not when it is shown: it is centred as it
    // will be shown.
    if (!window.testAttribute(Qt::WA_Resized))
        window.adjustSize();
    else
        window.resize(window.size().expandedTo(window.minimumSizeHint()));
    CentreOver(window, opener ? PlaceOf(*opener) : *m_unloadedActivePlace);
    // A dialog (a window kept out of the taskbar) belongs to the window it was opened from: the window manager keeps
    // it above that window, whatever is clicked or closed meanwhile.
    if (opener && (window.windowType() == Qt::Tool || window.windowType() == Qt::Dialog)) {
        window.winId();
        opener->winId();
        window.windowHandle()->setTransientParent(opener->windowHandle());
    }
}

void WindowSystem::platformActivated(ProgramWindow* window) {
    // After the program chose an active window, the platform may still report activations it decided before,
    // for instance the return to a box's parent. Until it reports the chosen window, the choice stands.
    if (m_awaiting && m_awaiting != window && holds(m_awaiting) && m_awaiting->isVisible())
        return;
    m_awaiting = nullptr;
    m_platformChoice = window;
    schedule();
}

bool WindowSystem::eventFilter(QObject* watched, QEvent* event) {
    // A click inside another program window is the user's own choice, whatever the platform reported before.
    if (event->type() == QEvent::MouseButtonPress && !m_awaiting.isNull() && watched->isWidgetType()) {
        auto* window = qobject_cast<ProgramWindow*>(static_cast<QWidget*>(watched)->window());
        if (window && window != m_awaiting && holds(window)) {
            m_awaiting = nullptr;
            if (QApplication::activeWindow() == window)
                platformActivated(window);
        }
    }
    return QObject::eventFilter(watched, event);
}

void WindowSystem::unloadWindow(ProgramWindow* window) {
    auto it = std::find_if(m_loaded.begin(), m_loaded.end(), [&](const Loaded& l) { return l.window.get() == window; });
    if (it == m_loaded.end())
        return;
    std::unique_ptr<ProgramWindow> owned = std::move(it->window);
    m_loaded.erase(it);
    if (m_active == window)
        m_unloadedActivePlace = PlaceOf(*owned);
    owned->hide();
    if (m_active == window) {
        m_active = nullptr;
        m_activeUnloaded = true;
    }
    std::erase(m_activationHistory, window);
    std::erase_if(m_discarded, [](const QPointer<ProgramWindow>& w) { return w.isNull(); });
    // deleteLater, unlike a queued call of our own, never deletes while a box opened by the window's own running
    // handler is still on the stack.
    owned->deleteLater();
    m_discarded.push_back(owned.release());
    if (m_loaded.empty())
        m_endPending = true;
    schedule();
}

void WindowSystem::schedule() {
    if (m_scheduled)
        return;
    m_scheduled = true;
    QMetaObject::invokeMethod(this, &WindowSystem::settle, Qt::QueuedConnection);
}

void WindowSystem::settle() {
    m_scheduled = false;
    if (m_openBoxes > 0 || m_settling)
        return;
    m_settling = true;

    // Windows shown by handlers, in the order they were shown: each becomes active in turn, the last one stays.
    bool requested = false;
    while (!m_requests.empty()) {
        QPointer<ProgramWindow> window = m_requests.front();
        m_requests.pop_front();
        if (!window || !holds(window) || !window->isVisible())
            continue;
        requested = true;
        window->raise();
        window->activateWindow();
        m_awaiting = window;
        becameActive(window);
    }

    ProgramWindow* choice = m_platformChoice;
    m_platformChoice = nullptr;
    if (!requested) {
        if (m_activeUnloaded && !m_active) {
            // What takes over from an unloaded active window is the program's decision, not the window
            // manager's, so that every platform runs the same handlers.
            if (ProgramWindow* next = fallbackWindow()) {
                next->raise();
                next->activateWindow();
                m_awaiting = next;
                becameActive(next);
            }
        } else if (choice && holds(choice) && choice->isVisible()) {
            becameActive(choice);
        }
    }
    m_activeUnloaded = false;
    m_unloadedActivePlace.reset();

    m_settling = false;
    if (m_loaded.empty() && m_endPending) {
        m_endPending = false;
        m_endProgram();
    }
}

void WindowSystem::becameActive(ProgramWindow* window) {
    if (m_active == window)
        return;
    m_active = window;
    std::erase(m_activationHistory, window);
    m_activationHistory.push_back(window);
    window->Form_Activate();
}

ProgramWindow* WindowSystem::fallbackWindow() const {
    for (auto it = m_activationHistory.rbegin(); it != m_activationHistory.rend(); ++it) {
        if (*it && holds(*it) && (*it)->isVisible())
            return *it;
    }
    for (auto it = m_loaded.rbegin(); it != m_loaded.rend(); ++it) {
        if (it->window->isVisible())
            return it->window.get();
    }
    return nullptr;
}

std::vector<WindowSystem::Loaded>::const_iterator WindowSystem::find(const QString& id) const {
    return std::find_if(m_loaded.begin(), m_loaded.end(), [&](const Loaded& l) { return l.id == id; });
}

bool WindowSystem::holds(const ProgramWindow* window) const {
    return std::any_of(m_loaded.begin(), m_loaded.end(), [&](const Loaded& l) { return l.window.get() == window; });
}

WindowSystem::BoxScope::BoxScope(WindowSystem& windows) : m_windows(windows) {
    ++m_windows.m_openBoxes;
}

WindowSystem::BoxScope::~BoxScope() {
    if (--m_windows.m_openBoxes > 0)
        return;
    // Not every platform gives the activation back to the window under a closed box; the program does, so that
    // the same window is active afterwards everywhere.
    if (ProgramWindow* window = m_windows.m_active; window && window->isVisible()) {
        window->activateWindow();
        m_windows.m_awaiting = window;
    }
    m_windows.schedule();
}

} // namespace dayvell
