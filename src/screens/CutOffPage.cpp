// SPDX-License-Identifier: GPL-3.0-or-later
#include "CutOffPage.h"

#include "ScreenParts.h"

#include "core/Dialogs.h"

#include <QLabel>

namespace dayvell {

QLabel* MakeCutOffNotice(QWidget* parent) {
    QLabel* notice = parts::Label(
        parent, "CutOffNotice",
        QStringLiteral("Your dayvell was closed before this page could be saved: the text below is not in your "
                       "dayvell. It stays here so that it is not lost. Select it and copy it (Ctrl+C) to keep it "
                       "elsewhere, then close this window."));
    notice->setWordWrap(true);
    notice->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    notice->hide();
    return notice;
}

bool QueryUnloadUnsaved(Dialogs& dialogs, ProgramWindow::Closing how, bool cutOff, const UnsavedPage& page) {
    const bool canBeCalledOff = how == ProgramWindow::Closing::CanBeCalledOff;
    if (cutOff)
        return canBeCalledOff && DropCutOffText(dialogs);
    const Answer answer = dialogs.message(page.question, page.title,
                                          canBeCalledOff ? Buttons::YesNoCancel : Buttons::YesNo, Icon::Question);
    if (answer == Answer::No)
        return true;
    if (answer != Answer::Yes)
        return false;
    if (page.save())
        return true;
    // The book closes whatever happens here: the text stays, but nothing may reach the book any more.
    if (!canBeCalledOff)
        page.cutOff();
    return false;
}

bool DropCutOffText(Dialogs& dialogs) {
    return dialogs.message("Sure you want to quit without saving this page?", "Quit without saving?", Buttons::YesNo,
                           Icon::Question, Answer::No) == Answer::Yes;
}

} // namespace dayvell
