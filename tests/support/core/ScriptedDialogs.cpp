// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace dayvell::test {

ScriptedDialogs::~ScriptedDialogs() {
    for (const auto& e : m_expected)
        ADD_FAILURE() << "Expected " << (e.isInput ? "input box" : "message box") << " never shown: \"" << e.text
                      << "\"";
}

ScriptedDialogs& ScriptedDialogs::expectMessage(std::string text, Answer answer, std::optional<std::string> title) {
    m_expected.push_back({false, std::move(text), std::move(title), answer, {}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectInput(std::string prompt, std::string reply, std::optional<std::string> title) {
    m_expected.push_back({true, std::move(prompt), std::move(title), Answer::Ok, std::move(reply)});
    return *this;
}

void ScriptedDialogs::clear() {
    m_expected.clear();
}

std::optional<ScriptedDialogs::Expected> ScriptedDialogs::next(bool isInput, const std::string& text,
                                                               const std::string& title) {
    const char* kind = isInput ? "input box" : "message box";
    if (m_expected.empty()) {
        ADD_FAILURE() << "Unexpected " << kind << ": \"" << text << "\" titled \"" << title << "\"";
        return std::nullopt;
    }
    Expected e = m_expected.front();
    m_expected.pop_front();
    if (e.isInput != isInput || e.text != text || (e.title && *e.title != title)) {
        ADD_FAILURE() << "Expected " << (e.isInput ? "input box" : "message box") << " \"" << e.text << "\""
                      << (e.title ? " titled \"" + *e.title + "\"" : std::string()) << ", but got " << kind << " \""
                      << text << "\" titled \"" << title << "\"";
        return std::nullopt;
    }
    return e;
}

Answer ScriptedDialogs::message(const std::string& text, const std::string& title, Buttons buttons, Icon icon,
                                std::optional<Answer> defaultButton) {
    m_shown.push_back({false, text, title, buttons, icon, defaultButton});
    auto e = next(false, text, title);
    if (!e)
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    return e->answer;
}

std::string ScriptedDialogs::input(const std::string& prompt, const std::string& title) {
    m_shown.push_back({true, prompt, title, Buttons::OkCancel, Icon::None, std::nullopt});
    auto e = next(true, prompt, title);
    return e ? e->reply : std::string();
}

} // namespace dayvell::test
