// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Dialogs.h"

#include <QString>

namespace dayvell {

class WindowSystem;

// A box given no title of its own shows the program's title.
QString BoxTitle(const std::string& title);

// Message and input boxes on QMessageBox and QInputDialog, modal over the program's active window.
//
// An input box answered with characters that a book cannot hold is not returned: the user is told which
// characters they are and asked again, with the typed text still in the box to correct. A caller thus only ever
// receives text it can store, and the empty text for Cancel.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(WindowSystem& windows);

    Answer message(const std::string& text, const std::string& title = {}, Buttons buttons = Buttons::Ok,
                   Icon icon = Icon::None, std::optional<Answer> defaultButton = std::nullopt) override;
    std::string input(const std::string& prompt, const std::string& title = {}) override;

private:
    WindowSystem& m_windows;
};

} // namespace dayvell
