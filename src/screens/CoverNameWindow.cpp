// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoverNameWindow.h"

#include "ScreenParts.h"
#include "StorableText.h"

#include "core/Book.h"
#include "core/Dialogs.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/PageCounter.h"
#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dayvell {

namespace {

constexpr int kCoverNameWindowHelp = 10;

} // namespace

CoverNameWindow::CoverNameWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form10")) {
    setWindowTitle(QStringLiteral("Change Cover Name"));
    auto* central = new QWidget(this);
    m_text1 = new QLineEdit(central);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setToolTip(QStringLiteral("Enter the new cover name here"));
    auto* accept = parts::Button(central, "Command1", QStringLiteral("&Accept New Cover Name"),
                                 QStringLiteral("Accept the new cover name"));
    auto* cancel = parts::Button(central, "Command2", QStringLiteral("&Cancel"),
                                 QStringLiteral("Changed my mind, get me out of here."));
    auto* help = parts::Button(central, "Command3", QStringLiteral("&Help"), QStringLiteral("More info"));
    setDefaultButton(accept);
    setCancelButton(cancel);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(accept);
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(help);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_text1);
    layout->addLayout(buttons);
    setCentralWidget(central);
    resize(460, sizeHint().height());

    connect(accept, &QPushButton::clicked, this, &CoverNameWindow::Command1_Click);
    connect(cancel, &QPushButton::clicked, this, &CoverNameWindow::Command2_Click);
    connect(help, &QPushButton::clicked, this, &CoverNameWindow::Command3_Click);
}

void CoverNameWindow::Form_Activate() {
    m_text1->setText(QStringFromCp1252(services().state.covername));
}

void CoverNameWindow::Command1_Click() {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;
    const QString typed = m_text1->text();
    // Refused before anything is written, with the text kept for mending: a name the book cannot hold would
    // otherwise end in the cipher's failure, reported as a corrupted program.
    const Book book = OpenBook(state);
    const UnstorableCharacters unstorable = FindUnstorable(typed, &book);
    if (!unstorable.empty()) {
        dialogs.message("The cover name was not changed: a dayvell cannot store some of its characters.\r\r" +
                            UnstorableList(unstorable) + "\rRemove or replace them, then accept again.",
                        "Cover name not changed", Buttons::Ok, Icon::Exclamation);
        return;
    }
    // The cover field never holds the empty text: an empty name is stored as one space, which shows blank.
    state.covername = typed.isEmpty() ? std::string(" ") : Cp1252FromQString(typed);
    if (!Guarded(dialogs, [&] { OpenBook(state).replaceCoverName(state.covername); }))
        return;
    dialogs.message("Cover name was changed successfully!");
    leave();
}

void CoverNameWindow::Command2_Click() {
    leave();
}

void CoverNameWindow::Command3_Click() {
    ShowHelp(services().dialogs, kCoverNameWindowHelp);
}

void CoverNameWindow::leave() {
    handOverTo(QStringLiteral("Form5"));
}

} // namespace dayvell
