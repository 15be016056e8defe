// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookSteps.h"

#include "core/ErrorReporter.h"
#include "core/Numbers.h"

#include <QPushButton>
#include <QTest>

namespace dayvell::test {

void RegisterStandIn(TestServices& t, const QString& id, int& activations) {
    t.windows.registerWindow(
        id, [&t, id, &activations] { return std::make_unique<StandInWindow>(t.services, id, activations); });
}

void click(const QObject* window, const QString& name) {
    auto* button = find<QPushButton>(window, name);
    if (!button->isVisible() || !button->isEnabled()) {
        ADD_FAILURE() << "Button \"" << name.toStdString() << "\" is " << (button->isVisible() ? "disabled" : "hidden");
        throw GuiTestAbort("button not clickable");
    }
    QTest::mouseClick(button, Qt::LeftButton);
}

QStringList linesOf(const QListWidget& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.item(i)->text().trimmed();
    return texts;
}

QListWidgetItem* lineOf(QListWidget& list, const QString& text) {
    for (int i = 0; i < list.count(); ++i) {
        if (list.item(i)->text().trimmed() == text)
            return list.item(i);
    }
    ADD_FAILURE() << "List \"" << list.objectName().toStdString() << "\" has no line \"" << text.toStdString()
                  << "\"; it has: " << linesOf(list).join(QStringLiteral(", ")).toStdString();
    throw GuiTestAbort("no such line");
}

void clickLine(QListWidget& list, const QString& text) {
    QListWidgetItem* line = lineOf(list, text);
    list.scrollToItem(line);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(line).center());
}

void doubleClickLine(QListWidget& list, const QString& text) {
    QListWidgetItem* line = lineOf(list, text);
    list.scrollToItem(line);
    const QPoint at = list.visualItemRect(line).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
}

void ExpectErrorReport(ScriptedDialogs& dialogs, int code, std::optional<std::string> description) {
    if (code == code::PastEndOfFile)
        dialogs.expectMessage("Dont know what this error is.");
    const std::string said = description ? *description : ErrorDescription(code);
    dialogs.expectMessage(ErrorBoxText(code, said), Answer::Ok, ErrorTitle(code, said));
}

std::string WriteBook(const std::string& dir, const std::string& name, const TestBook& plan) {
    const std::string path = JoinPath(dir, name);
    BookHeader header = Book::NewHeader(dir, plan.lastAccess);
    header.coverName = plan.coverName;
    header.flags = plan.flags;
    Book::Create(SystemFileSystem(), path, plan.password, header);
    Book book(path, plan.password);
    for (int n = 1; n <= plan.pages; ++n)
        book.appendPage({PageNumberText(n), "Saturday, 12/5/2026", "1:46:33 PM", "Page " + std::to_string(n)});
    return path;
}

} // namespace dayvell::test
