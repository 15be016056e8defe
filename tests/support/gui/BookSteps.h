// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GuiTest.h"

#include "core/Book.h"
#include "platform/ProgramWindow.h"

#include <QListWidget>

#include <optional>
#include <string>

namespace dayvell::test {

// Stands in for a window that is not part of the program yet (or not under test), so a test can see that it was
// shown. Counts its activations.
class StandInWindow : public ProgramWindow {
public:
    StandInWindow(Services& services, const QString& id, int& activations)
        : ProgramWindow(services, id), m_activations(activations) {}

protected:
    void Form_Activate() override { ++m_activations; }

private:
    int& m_activations;
};

// Registers a stand-in under `id`, replacing whatever was registered there; its activations go to `activations`.
void RegisterStandIn(TestServices& t, const QString& id, int& activations);

// Clicks the button named `name` of `window` as the user would; fails the test when it is hidden or disabled.
void click(const QObject* window, const QString& name);

// The line of `list` whose text (leading indentation ignored) is `text`; fails the test when there is none.
QListWidgetItem* lineOf(QListWidget& list, const QString& text);
// The texts of all lines of `list`, indentation ignored.
QStringList linesOf(const QListWidget& list);
void clickLine(QListWidget& list, const QString& text);
void doubleClickLine(QListWidget& list, const QString& text);

// What the reporter says when something other than the scratch file holds its name in the book's folder.
inline constexpr const char* kScratchNameTaken =
    "The scratch name dvltemp.dvl is taken in this folder by something that is not Dayvell's scratch file";

// Expects the error reporter's box for `code` (two boxes for reading past the end, as the reporter shows them), with
// the failure's own description where it has one.
void ExpectErrorReport(ScriptedDialogs& dialogs, int code, std::optional<std::string> description = std::nullopt);

// What a test book holds when it is written.
struct TestBook {
    std::string password = "Secret1";
    std::string coverName = std::string(kNoCoverName);
    std::string lastAccess = "1/2/2025";
    std::string flags = std::string(kNewBookFlags);
    int pages = 0;
};

// Writes the book `name` into the directory `dir` (ending in "/"), as the program would have: header, then
// `pages` short pages. Returns its path.
std::string WriteBook(const std::string& dir, const std::string& name, const TestBook& plan = {});

} // namespace dayvell::test
