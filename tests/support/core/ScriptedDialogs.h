// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Dialogs.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace dayvell::test {

// A Dialogs fake that answers from a queue of expected boxes and records every box shown. A box nobody expected
// fails the test and is answered with Cancel (or the empty text), so nothing blocks; expectations left unused fail
// the test when the fake is destroyed.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        bool isInput = false;
        std::string text; // message text or input prompt
        std::string title;
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        std::optional<Answer> defaultButton;
    };

    ~ScriptedDialogs() override;

    // Expects a message box whose text equals `text` (and title, when given); answers `answer`.
    ScriptedDialogs& expectMessage(std::string text, Answer answer = Answer::Ok,
                                   std::optional<std::string> title = std::nullopt);
    // Expects an input box whose prompt equals `prompt`; answers `reply` (empty for Cancel).
    ScriptedDialogs& expectInput(std::string prompt, std::string reply,
                                 std::optional<std::string> title = std::nullopt);

    Answer message(const std::string& text, const std::string& title, Buttons buttons, Icon icon,
                   std::optional<Answer> defaultButton) override;
    std::string input(const std::string& prompt, const std::string& title) override;

    const std::vector<Shown>& shown() const { return m_shown; }
    bool allAnswered() const { return m_expected.empty(); }
    // Forgets what is still expected, without failing (for a test that fails on its own terms first).
    void clear();

private:
    struct Expected {
        bool isInput = false;
        std::string text;
        std::optional<std::string> title;
        Answer answer = Answer::Ok;
        std::string reply;
    };
    std::optional<Expected> next(bool isInput, const std::string& text, const std::string& title);

    std::deque<Expected> m_expected;
    std::vector<Shown> m_shown;
};

} // namespace dayvell::test
