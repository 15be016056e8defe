// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileNameWindow.h"

#include "ScreenParts.h"

#include "core/Book.h"
#include "core/BookName.h"
#include "core/Dialogs.h"
#include "core/ErrorReporter.h"
#include "core/FileSystem.h"
#include "core/Help.h"
#include "core/PageCounter.h"
#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dayvell {

namespace {

constexpr int kFileNameWindowHelp = 12;

} // namespace

FileNameWindow::FileNameWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form12")) {
    auto* central = new QWidget(this);
    auto* label1 = parts::Label(central, "Label1", QStringLiteral("Enter new file name 1-8 characters"));
    m_text1 = new QLineEdit(central);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setToolTip(QStringLiteral("Enter the new file name here"));
    auto* accept =
        parts::Button(central, "Command1", QStringLiteral("&Accept"), QStringLiteral("Accept new file name"));
    auto* cancel = parts::Button(central, "Command2", QStringLiteral("&Cancel"), QStringLiteral("Get me out of here!"));
    auto* help = parts::Button(central, "Command3", QStringLiteral("&Help"), QStringLiteral("More info"));
    setDefaultButton(accept);
    setCancelButton(cancel);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(accept);
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(help);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(label1);
    layout->addWidget(m_text1);
    layout->addLayout(buttons);
    setCentralWidget(central);
    resize(460, sizeHint().height());

    connect(accept, &QPushButton::clicked, this, &FileNameWindow::Command1_Click);
    connect(cancel, &QPushButton::clicked, this, &FileNameWindow::Command2_Click);
    connect(help, &QPushButton::clicked, this, &FileNameWindow::Command3_Click);
}

void FileNameWindow::Form_Activate() {
    setWindowTitle(QStringFromCp1252(BookPath(services().state)));
}

void FileNameWindow::Command1_Click() {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;
    Guarded(dialogs, [&] {
        // The name as the file system will see it; a character it cannot be given is reported as a bad name.
        std::string name = Cp1252Path(m_text1->text());
        // Only the ending as the program writes it is taken off: "diary.DVL" is a name of nine characters.
        if (name.ends_with(kBookExtension))
            name.erase(name.size() - kBookExtension.size());
        if (name.empty())
            return;
        if (name.size() > kMaxBookNameLength) {
            dialogs.message("File name cannot be over 8 characters long!");
            return;
        }
        if (const std::string refusal = BookNameRefusal(name); !refusal.empty()) {
            dialogs.message(refusal);
            return;
        }
        name += kBookExtension;
        if (KindOfFile(JoinPath(state.bookdir, name)) != FileKind::None) {
            dialogs.message("This file already exists! Either pick a different name or change the path and enter "
                            "again.");
            return;
        }
        // The book takes its new name in one step: there is never a moment without it under one name or the
        // other, and a name the file system refuses leaves it as it was.
        OpenBook(state).rename(name);
        state.bookname = name;
        if (ProgramWindow* cover = services().windows.window(QStringLiteral("Form5")))
            cover->setWindowTitle(QStringFromCp1252(BookPath(state)));
        dialogs.message("File name was changed!");
        leave();
    });
}

void FileNameWindow::Command2_Click() {
    leave();
}

void FileNameWindow::Command3_Click() {
    ShowHelp(services().dialogs, kFileNameWindowHelp);
}

void FileNameWindow::leave() {
    handOverTo(QStringLiteral("Form5"));
}

} // namespace dayvell
