// SPDX-License-Identifier: GPL-3.0-or-later
#include "MoveCopyWindow.h"

#include "FolderLists.h"
#include "ScreenParts.h"
#include "StorableText.h"

#include "core/Book.h"
#include "core/DescribedFormat.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/PageCounter.h"
#include "core/SharedState.h"
#include "platform/DirList.h"
#include "platform/DriveList.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dayvell {

namespace {

constexpr int kMoveCopyWindowHelp = 9;

QLineEdit* ShowOnlyBox(QWidget* parent, const char* name, const QString& toolTip) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(toolTip);
    box->setReadOnly(true);
    return box;
}

} // namespace

MoveCopyWindow::MoveCopyWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form9")) {
    setWindowTitle(QStringLiteral("Move or Copy"));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(parts::Label(central, "Label1", QStringLiteral("This is where your dayvell is located:")));
    m_text1 = ShowOnlyBox(central, "Text1", QStringLiteral("This is where your Dayvell is now."));
    layout->addWidget(m_text1);
    layout->addWidget(parts::Line(central, "Line1"));

    auto* grid = new QGridLayout;
    auto* label2 = parts::Label(
        central, "Label2",
        QStringLiteral("Choose a Drive\\Directory that you wish your dayvell to be moved to or copied to."));
    label2->setWordWrap(true);
    grid->addWidget(label2, 0, 0);
    m_drive1 = new DriveList(central);
    m_drive1->setObjectName(QStringLiteral("Drive1"));
    m_drive1->setToolTip(QStringLiteral("Pick a  destination drive."));
    grid->addWidget(m_drive1, 1, 0);
    m_dir1 = new DirList(services.dialogs, central);
    m_dir1->setObjectName(QStringLiteral("Dir1"));
    m_dir1->setToolTip(QStringLiteral("Pick a destination folder."));
    grid->addWidget(m_dir1, 2, 0, 3, 1);
    grid->addWidget(parts::Line(central, "Line2", Qt::Vertical), 0, 1, 5, 1);

    auto* command1 = parts::Button(central, "Command1", QStringLiteral("&Copy To-->"),
                                   QStringLiteral("This makes an exact copy of your dayvell."));
    auto* command2 =
        parts::Button(central, "Command2", QStringLiteral("&Move To-->"), QStringLiteral("This moves your Dayvell."));
    grid->addWidget(
        parts::Label(central, "Label4", QStringLiteral("You can move your dayvell here, or make a backup.")), 0, 2);
    grid->addWidget(command2, 1, 2);
    grid->addWidget(command1, 2, 2);
    grid->addWidget(parts::Line(central, "Line3"), 3, 2);
    m_label3 = parts::Label(central, "Label3", QStringLiteral("There is now an exact copy at:"));
    m_text2 = ShowOnlyBox(central, "Text2", QStringLiteral("There is an exact copy of your dayvell here."));
    auto* notice = new QVBoxLayout;
    notice->addWidget(m_label3);
    notice->addWidget(m_text2);
    notice->addStretch();
    grid->addLayout(notice, 4, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid, 1);

    layout->addWidget(parts::Line(central, "Line4"));
    auto* buttons = new QHBoxLayout;
    auto* command3 = parts::Button(central, "Command3", QStringLiteral("E&xit"), QStringLiteral("Get me out of here!"));
    auto* command4 = parts::Button(central, "Command4", QStringLiteral("&Help"), QStringLiteral("More info on this."));
    buttons->addWidget(command3);
    buttons->addStretch();
    buttons->addWidget(command4);
    layout->addLayout(buttons);
    layout->addWidget(parts::Line(central, "Line5"));
    setCentralWidget(central);

    m_label3->hide();
    m_text2->hide();

    connect(m_drive1, &DriveList::changed, this, &MoveCopyWindow::Drive1_Change);
    connect(m_dir1, &DirList::changed, this, &MoveCopyWindow::Dir1_Change);
    connect(command1, &QPushButton::clicked, this, &MoveCopyWindow::Command1_Click);
    connect(command2, &QPushButton::clicked, this, &MoveCopyWindow::Command2_Click);
    // Esc leaves; Enter presses nothing, since Move and Copy are not to be set off by a stray key.
    setCancelButton(command3);
    connect(command3, &QPushButton::clicked, this, &MoveCopyWindow::Command3_Click);
    connect(command4, &QPushButton::clicked, this, &MoveCopyWindow::Command4_Click);

    resize(720, 480);
    parts::CentreOnScreen(this);
}

void MoveCopyWindow::Form_Activate() {
    SharedState& state = services().state;
    Guarded(services().dialogs, [&] {
        const QString own = FirstDirectory(state.bookdir);
        m_drive1->setDrive(own);
        m_dir1->setPath(own);
        // The lists report a change only when they move; already on the book's folder they stay silent, and the
        // target must name that folder all the same.
        m_target = m_dir1->path();
        m_text1->setText(QStringFromCp1252(BookPath(state)));
    });
}

void MoveCopyWindow::Drive1_Change() {
    Guarded(services().dialogs, [&] {
        m_target = m_drive1->drive();
        m_dir1->setDrive(m_drive1->drive());
    });
}

void MoveCopyWindow::Dir1_Change() {
    m_target = m_dir1->path();
}

void MoveCopyWindow::transfer(bool move) {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;
    const char* const sameDirectory = move ? "Cannot move a file to same directory! Choose a different directory!"
                                           : "Cannot copy a file to same directory! Choose a different directory!";
    // The notice of an earlier copy goes as soon as another move or copy starts: left beside a failure, it would
    // read as the outcome of the latest try.
    m_text2->hide();
    m_label3->hide();
    Guarded(dialogs, [&] {
        const std::string target = WithSeparator(Cp1252Path(m_target));
        Book book = OpenBook(state);
        if (book.isIn(target)) {
            dialogs.message(sameDirectory);
            return;
        }
        try {
            // Asked before the replace question: a folder the copy cannot record is refused whatever the answer.
            book.refuseUnstorable(target, Place::Folder);
        } catch (const UncarriedCharacter& e) {
            dialogs.message(UncarriedFolderMessage(e, target), {}, Buttons::Ok, Icon::Exclamation);
            return;
        }
        Existing existing = Existing::Keep;
        if (KindOfFile(JoinPath(target, state.bookname)) == FileKind::Regular) {
            if (dialogs.message(
                    "The target directory already has a file by the same name. Do you want to replace the target?",
                    "File already exists!", Buttons::YesNoCancel, Icon::None, Answer::No) != Answer::Yes)
                return;
            existing = Existing::Replace;
        }
        try {
            book.copyTo(target, existing, move ? Transfer::Move : Transfer::Copy);
        } catch (const SameDirectory&) {
            // The folder was swapped for the book's own between the check and the copy.
            dialogs.message(sameDirectory);
            return;
        }
        dialogs.message(move ? "Move complete!" : "Copy complete!");
        if (move)
            state.bookdir = target;
        m_text1->setText(QStringFromCp1252(BookPath(state)));
        if (!move) {
            m_label3->show();
            m_text2->setText(QStringFromCp1252(JoinPath(target, state.bookname)));
            m_text2->show();
        }
    });
}

void MoveCopyWindow::Command1_Click() {
    transfer(false);
}

void MoveCopyWindow::Command2_Click() {
    transfer(true);
}

void MoveCopyWindow::Command3_Click() {
    handOverTo(QStringLiteral("Form5"));
}

void MoveCopyWindow::Command4_Click() {
    ShowHelp(services().dialogs, kMoveCopyWindowHelp);
}

} // namespace dayvell
