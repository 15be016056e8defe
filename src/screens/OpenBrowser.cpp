// SPDX-License-Identifier: GPL-3.0-or-later
#include "OpenBrowser.h"

#include "FolderLists.h"
#include "ScreenParts.h"

#include "core/Book.h"
#include "core/ErrorReporter.h"
#include "core/FileSystem.h"
#include "core/Help.h"
#include "core/Purposes.h"
#include "core/SharedState.h"
#include "platform/DirList.h"
#include "platform/DriveList.h"
#include "platform/FileList.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace dayvell {

namespace {

constexpr int kOpenBrowserHelp = 3;

} // namespace

OpenBrowser::OpenBrowser(Services& services) : ProgramWindow(services, QStringLiteral("form3")) {
    setWindowTitle(QStringLiteral("Open a Dayvell"));
    parts::KeepOutOfTaskbar(this);

    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);

    grid->addWidget(parts::Label(central, "Label1", QStringLiteral("Choose which drive to look in for your dayvell")),
                    0, 0);
    m_drive1 = new DriveList(central);
    m_drive1->setObjectName(QStringLiteral("Drive1"));
    m_drive1->setToolTip(QStringLiteral("Choose drive here"));
    grid->addWidget(m_drive1, 1, 0);
    grid->addWidget(parts::Line(central, "Line1"), 2, 0);
    grid->addWidget(parts::Label(central, "Label2", QStringLiteral("Choose which directory your dayvell is in.")), 3,
                    0);
    m_dir1 = new DirList(services.dialogs, central);
    m_dir1->setObjectName(QStringLiteral("Dir1"));
    m_dir1->setToolTip(QStringLiteral("Choose folder here"));
    grid->addWidget(m_dir1, 4, 0);

    grid->addWidget(parts::Line(central, "Line2", Qt::Vertical), 0, 1, 5, 1);

    auto* label3 =
        parts::Label(central, "Label3",
                     QStringLiteral("The dayvells in this directory are listed here. Choose which dayvell to open."));
    label3->setWordWrap(true);
    grid->addWidget(label3, 0, 2, 2, 1);
    m_file1 = new FileList(central);
    m_file1->setObjectName(QStringLiteral("File1"));
    m_file1->setToolTip(QStringLiteral("Choose dayvell file to open."));
    // The scratch file of an interrupted rewrite matches the pattern but is no book.
    m_file1->setExcluded({QString::fromLatin1(kScratchName.data(), qsizetype(kScratchName.size()))});
    m_file1->setPattern(QStringLiteral("*.dvl"));
    grid->addWidget(m_file1, 2, 2, 3, 1);

    grid->addWidget(parts::Line(central, "Line3"), 5, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    m_command1 =
        parts::Button(central, "Command1", QStringLiteral("&Open"), QStringLiteral("Press to open selected dayvell"));
    m_command1->setEnabled(false);
    auto* command2 =
        parts::Button(central, "Command2", QStringLiteral("&Cancel"), QStringLiteral("Get me out of here!"));
    auto* command3 = parts::Button(central, "Command3", QStringLiteral("&Help"), QStringLiteral("More info."));
    buttons->addStretch();
    buttons->addWidget(m_command1);
    buttons->addWidget(command2);
    buttons->addWidget(command3);
    grid->addLayout(buttons, 6, 0, 1, 3);
    setCentralWidget(central);

    connect(m_drive1, &DriveList::changed, this, &OpenBrowser::Drive1_Change);
    connect(m_dir1, &DirList::changed, this, &OpenBrowser::Dir1_Change);
    connect(m_file1, &FileList::fileClicked, this, &OpenBrowser::File1_Click);
    connect(m_file1, &FileList::fileDoubleClicked, this, &OpenBrowser::File1_DblClick);
    connect(m_command1, &QPushButton::clicked, this, &OpenBrowser::Command1_Click);
    connect(command2, &QPushButton::clicked, this, &OpenBrowser::Command2_Click);
    connect(command3, &QPushButton::clicked, this, &OpenBrowser::Command3_Click);

    resize(640, 440);
    parts::CentreOnScreen(this);
}

void OpenBrowser::Form_Activate() {
    // Setting the lists runs their change handlers, which make the file list and `bookdir` follow.
    Guarded(services().dialogs, [&] {
        const QString first = FirstDirectory(services().state.bookdir);
        m_drive1->setDrive(first);
        m_dir1->setPath(first);
    });
}

void OpenBrowser::Drive1_Change() {
    Guarded(services().dialogs, [&] {
        m_dir1->setDrive(m_drive1->drive());
        m_file1->setPath(m_dir1->path());
        services().state.bookdir = Cp1252Path(m_file1->path());
        m_command1->setEnabled(false);
    });
}

void OpenBrowser::Dir1_Change() {
    Guarded(services().dialogs, [&] {
        m_file1->setPath(m_dir1->path());
        services().state.bookdir = Cp1252Path(m_dir1->path());
        m_command1->setEnabled(false);
    });
}

void OpenBrowser::File1_Click() {
    if (!m_file1->fileName().isEmpty())
        m_command1->setEnabled(true);
}

void OpenBrowser::File1_DblClick() {
    SharedState& state = services().state;
    Guarded(services().dialogs, [&] {
        const QString name = m_file1->fileName();
        if (name.isEmpty())
            return;
        // Converted before anything changes, so that a name the shared state cannot hold leaves it as it was.
        std::string bookname = Cp1252Path(name);
        std::string bookdir = Cp1252Path(m_file1->path());
        state.bookname = std::move(bookname);
        state.bookdir = std::move(bookdir);
        state.passwordok = 0;
        state.purpose = purpose::OpenBook;
        services().windows.show(QStringLiteral("frmpassword"));
        services().windows.unload(id());
    });
}

void OpenBrowser::Command1_Click() {
    SharedState& state = services().state;
    Guarded(services().dialogs, [&] {
        const QString name = m_file1->fileName();
        if (name.isEmpty())
            return;
        // The root already ends in its separator and gets no second one.
        std::string bookdir = WithSeparator(Cp1252Path(m_dir1->path()));
        std::string bookname = Cp1252Path(name);
        state.bookdir = std::move(bookdir);
        state.bookname = std::move(bookname);
        state.clearPassword();
        state.passwordok = 0;
        state.purpose = purpose::OpenBook;
        services().windows.show(QStringLiteral("frmpassword"));
        services().windows.unload(id());
    });
}

void OpenBrowser::Command2_Click() {
    services().state.bookname.clear();
    services().windows.unload(id());
    services().windows.show(QStringLiteral("form1"));
}

void OpenBrowser::Command3_Click() {
    ShowHelp(services().dialogs, kOpenBrowserHelp);
}

} // namespace dayvell
