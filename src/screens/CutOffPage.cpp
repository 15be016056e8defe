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

bool DropCutOffText(Dialogs& dialogs) {
    return dialogs.message("Sure you want to quit without saving this page?", "Quit without saving?", Buttons::YesNo,
                           Icon::Question, Answer::No) == Answer::Yes;
}

} // namespace dayvell
