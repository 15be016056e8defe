// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoverWindow.h"

#include "ScreenParts.h"

#include "core/Book.h"
#include "core/Clock.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/PageCounter.h"
#include "core/PrintBook.h"
#include "core/PrintText.h"
#include "core/Purposes.h"
#include "core/SharedState.h"
#include "platform/Disks.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace dayvell {

namespace {

constexpr int kCoverWindowHelp = 5;
constexpr int kLowSpaceHelpTopic = 51;
constexpr int kRepairHelpTopic = 15;
constexpr int kKindsHelpTopic = 16;
// Below this many kilobytes free, the next rewrite of the book may not fit on its disk.
constexpr std::int64_t kLowSpaceKB = 10;

} // namespace

CoverWindow::CoverWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form5")) {
    setWindowTitle(QStringLiteral("My Dayvell"));

    auto* page = menuBar()->addMenu(QStringLiteral("&Dayvell"));
    page->setObjectName(QStringLiteral("page"));
    connect(parts::MenuItem(page, "enterpage", QStringLiteral("&Enter a new page"),
                            QKeySequence(Qt::SHIFT | Qt::Key_Insert)),
            &QAction::triggered, this, &CoverWindow::enterpage_Click);
    connect(parts::MenuItem(page, "view", QStringLiteral("&View and Edit pages"), QKeySequence(Qt::CTRL | Qt::Key_E)),
            &QAction::triggered, this, &CoverWindow::view_Click);
    connect(parts::MenuItem(page, "search", QStringLiteral("&Search the Dayvell"), QKeySequence(Qt::CTRL | Qt::Key_S)),
            &QAction::triggered, this, &CoverWindow::search_Click);
    connect(
        parts::MenuItem(page, "printbook", QStringLiteral("&Print the Dayvell"), QKeySequence(Qt::CTRL | Qt::Key_P)),
        &QAction::triggered, this, &CoverWindow::printbook_Click);
    connect(parts::MenuItem(page, "exportbook", QStringLiteral("E&xport the Dayvell...")), &QAction::triggered, this,
            &CoverWindow::exportbook_Click);
    connect(parts::MenuItem(page, "importpages", QStringLiteral("&Import pages...")), &QAction::triggered, this,
            &CoverWindow::importpages_Click);
    connect(parts::MenuItem(page, "quit", QStringLiteral("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q)),
            &QAction::triggered, this, &CoverWindow::quit_Click);

    auto* maint = menuBar()->addMenu(QStringLiteral("&Maintenance"));
    maint->setObjectName(QStringLiteral("maint"));
    connect(parts::MenuItem(maint, "cover", QStringLiteral("Change &Cover name"), QKeySequence(Qt::CTRL | Qt::Key_C)),
            &QAction::triggered, this, &CoverWindow::cover_Click);
    connect(
        parts::MenuItem(maint, "changefile", QStringLiteral("Change &file name"), QKeySequence(Qt::CTRL | Qt::Key_F)),
        &QAction::triggered, this, &CoverWindow::changefile_Click);
    connect(
        parts::MenuItem(maint, "changepass", QStringLiteral("Change &password"), QKeySequence(Qt::CTRL | Qt::Key_A)),
        &QAction::triggered, this, &CoverWindow::changepass_Click);
    connect(
        parts::MenuItem(maint, "movecopy", QStringLiteral("&Move/Copy Dayvell"), QKeySequence(Qt::CTRL | Qt::Key_M)),
        &QAction::triggered, this, &CoverWindow::movecopy_Click);
    connect(parts::MenuItem(maint, "deletebook", QStringLiteral("&Delete the Dayvell"),
                            QKeySequence(Qt::SHIFT | Qt::Key_Delete)),
            &QAction::triggered, this, &CoverWindow::deletebook_Click);
    connect(parts::MenuItem(maint, "repair", QStringLiteral("&Repair the Dayvell")), &QAction::triggered, this,
            &CoverWindow::repair_Click);
    connect(parts::MenuItem(maint, "security", QStringLiteral("&Security"), QKeySequence(Qt::ALT | Qt::Key_Backspace)),
            &QAction::triggered, this, &CoverWindow::security_Click);
    // A top-level item that acts at once, without a menu of its own.
    connect(parts::MenuItem(menuBar(), "helper", QStringLiteral("&Help")), &QAction::triggered, this,
            &CoverWindow::helper_Click);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    m_label2 =
        parts::LongText(central, "Label2",
                        QStringLiteral("This is your Dayvell's cover name. You can change it under Maintenance."), 3);
    m_label2->setAlignment(Qt::AlignCenter);
    QFont coverFont = m_label2->font();
    coverFont.setPointSizeF(coverFont.pointSizeF() * 1.6);
    coverFont.setBold(true);
    m_label2->setFont(coverFont);
    layout->addWidget(m_label2);

    m_label7 = parts::Label(central, "Label7", QStringLiteral("** Warning! File size/disk space critical! **"),
                            QStringLiteral("Your file is getting too big. Move it to a different floppy or CD!"));
    m_label7->setAlignment(Qt::AlignCenter);
    m_label7->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    m_label7->setCursor(Qt::PointingHandCursor);
    m_label7->installEventFilter(this);
    m_label7->hide();
    layout->addWidget(m_label7);

    // Which kind of book this is, in one line, with a help button that explains the two kinds.
    auto* kind = new QHBoxLayout;
    m_label13 = parts::Label(central, "Label13", {}, QStringLiteral("How this dayvell is protected"));
    m_command3 = parts::Button(central, "Command3", QStringLiteral("&?"),
                               QStringLiteral("What the kinds of dayvell protect, and what they do not"));
    kind->addStretch();
    kind->addWidget(m_label13);
    kind->addWidget(m_command3);
    kind->addStretch();
    layout->addLayout(kind);
    layout->addStretch();

    // The book information: size and page count in the first row, free space and last access in the second,
    // framed by four lines.
    auto* info = new QGridLayout;
    auto* line1 = parts::Line(central, "Line1");
    auto* line2 = parts::Line(central, "Line2");
    auto* line3 = parts::Line(central, "Line3", Qt::Vertical);
    auto* line4 = parts::Line(central, "Line4", Qt::Vertical);
    auto* label3 = parts::Label(central, "Label3", QStringLiteral("Dayvell size:"));
    m_label8 = parts::Label(central, "Label8", {}, QStringLiteral("Current Dayvell size"));
    auto* label1 = parts::Label(central, "Label1", QStringLiteral("(KiloBytes)"));
    auto* label4 = parts::Label(central, "Label4", QStringLiteral("Available space:"));
    m_label9 = parts::Label(central, "Label9", {}, QStringLiteral("Available space on disk"));
    auto* label12 = parts::Label(central, "Label12", QStringLiteral("(KiloBytes)"));
    auto* label5 = parts::Label(central, "Label5", QStringLiteral("Total pages in book:"));
    m_label10 = parts::Label(central, "Label10", {}, QStringLiteral("Total pages in your Dayvell"));
    auto* label6 = parts::Label(central, "Label6", QStringLiteral("Last accessed on:"));
    m_label11 = parts::LongText(central, "Label11", QStringLiteral("This was when the Dayvell was last opened."));
    info->addWidget(line1, 0, 0, 1, 8);
    info->addWidget(line3, 1, 0, 2, 1);
    info->addWidget(label3, 1, 1);
    info->addWidget(m_label8, 1, 2, Qt::AlignRight);
    info->addWidget(label1, 1, 3);
    info->addWidget(label5, 1, 5);
    info->addWidget(m_label10, 1, 6);
    info->addWidget(label4, 2, 1);
    info->addWidget(m_label9, 2, 2, Qt::AlignRight);
    info->addWidget(label12, 2, 3);
    info->addWidget(label6, 2, 5);
    info->addWidget(m_label11, 2, 6);
    info->addWidget(line4, 1, 7, 2, 1);
    info->addWidget(line2, 3, 0, 1, 8);
    info->setColumnMinimumWidth(4, 24);
    layout->addLayout(info);
    m_information = {label1,    label3,    label4,  label5, label6, m_label8, m_label9,
                     m_label10, m_label11, label12, line1,  line2,  line3,    line4};

    auto* buttons = new QHBoxLayout;
    m_command1 = parts::Button(central, "Command1", QStringLiteral("&X"), QStringLiteral("Hide dayvell info"));
    m_command2 = parts::Button(central, "Command2", QStringLiteral("&I"), QStringLiteral("Show dayvell info"));
    m_command2->hide();
    buttons->addStretch();
    buttons->addWidget(m_command1);
    buttons->addWidget(m_command2);
    layout->addLayout(buttons);
    setCentralWidget(central);

    connect(m_command1, &QPushButton::clicked, this, &CoverWindow::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &CoverWindow::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &CoverWindow::Command3_Click);

    resize(620, 380);
    parts::CentreOnScreen(this);
}

void CoverWindow::Form_Activate() {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;
    // Any failure leaves the labels as they were: a book deleted or a disk gone behind the program's back is
    // reported, and the window stays.
    Guarded(dialogs, [&] {
        const std::string path = BookPath(state);
        m_label8->setText(QString::number(FileLength(path) / 1024));
        const std::int64_t freeKB = services().disks.freeSpaceKB(state.bookdir);
        m_label9->setText(QString::number(freeKB));
        if (freeKB < kLowSpaceKB)
            m_label7->show();

        const Book book = OpenBook(state);
        const BookHeader header = book.readHeader();
        state.secflags = header.flags;
        m_label11->setText(QStringFromCp1252(header.lastAccess));
        setWindowTitle(QStringFromCp1252(path));
        state.covername = header.coverName;
        m_label2->setText(state.covername != kNoCoverName
                              ? QStringFromCp1252(state.covername)
                              : QStringLiteral("You can put your name here by clicking on Maintenance."));
        m_label13->setText(parts::KindLine(book.kind()));
        if (CountPages(state, dialogs))
            m_label10->setText(QStringFromCp1252(state.pagecount));
    });
}

bool CoverWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_label7 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label7_Click();
        return true;
    }
    return ProgramWindow::eventFilter(watched, event);
}

void CoverWindow::TerminateProgram() {
    services().windows.unloadAll();
}

void CoverWindow::showBookInformation(bool visible) {
    for (QWidget* widget : m_information)
        widget->setVisible(visible);
}

void CoverWindow::Command1_Click() {
    showBookInformation(false);
    m_command2->show();
    m_command1->hide();
}

void CoverWindow::Command2_Click() {
    showBookInformation(true);
    m_command2->hide();
    m_command1->show();
}

void CoverWindow::Command3_Click() {
    ShowHelp(services().dialogs, kKindsHelpTopic);
}

void CoverWindow::Label7_Click() {
    ShowHelp(services().dialogs, kLowSpaceHelpTopic);
}

void CoverWindow::openGated(int flagPosition, int purposeCode) {
    SharedState& state = services().state;
    WindowSystem& windows = services().windows;
    if (NeedsPassword(state.secflags, flagPosition)) {
        state.purpose = purposeCode;
        // The file-name window tells by this whether the password was given for it.
        if (purposeCode == purpose::FileName)
            state.passwordok = 0;
        windows.show(QStringLiteral("frmpassword"));
    } else {
        // A window that is not part of the program yet opens nothing.
        windows.show(QString::fromStdString(WindowForPurpose(purposeCode)));
    }
}

void CoverWindow::enterpage_Click() {
    openGated(flag::NewPage, purpose::NewPage);
}

void CoverWindow::view_Click() {
    openGated(flag::ViewPages, purpose::ViewPages);
}

void CoverWindow::search_Click() {
    openGated(flag::Search, purpose::Search);
}

void CoverWindow::cover_Click() {
    openGated(flag::CoverName, purpose::CoverName);
}

void CoverWindow::changefile_Click() {
    openGated(flag::FileName, purpose::FileName);
}

void CoverWindow::movecopy_Click() {
    openGated(flag::MoveCopy, purpose::MoveCopy);
}

void CoverWindow::security_Click() {
    openGated(flag::Security, purpose::Security);
}

// The password change asks for the current password in its own window.
void CoverWindow::changepass_Click() {
    services().state.passwordok = 0;
    services().windows.show(QStringLiteral("newpassword"));
}

// Printing, deleting and repairing the whole book ask for the password in a plain box, whatever the security flags
// say. Returns true when the typed password is the one in force and the book, as it is now, proves it; says
// `refusal` when it is not, nothing when the user typed nothing.
bool CoverWindow::passwordGiven(const char* refusal) {
    Dialogs& dialogs = services().dialogs;
    const SharedState& state = services().state;
    const SecretText typed(dialogs.input("Please enter your password.", "Password required."));
    if (typed.str().empty())
        return false;
    bool proven = false;
    if (typed.str() == state.password &&
        !Guarded(dialogs, [&] { proven = Book(BookPath(state), typed.str()).checkPassword(); }))
        return false;
    if (!proven) {
        dialogs.message(refusal);
        return false;
    }
    return true;
}

void CoverWindow::printbook_Click() {
    Dialogs& dialogs = services().dialogs;
    if (dialogs.message("This will print your entire dayvell, it could take a while, depending on dayvell size.",
                        "Print dayvell?", Buttons::OkCancel, Icon::Question) != Answer::Ok)
        return;
    if (!passwordGiven("Incorrect password. Print cancelled."))
        return;
    Guarded(dialogs, [&] {
        if (!PrinterReady(dialogs))
            return;
        PrintBook(OpenBook(services().state), services().printer, services().progress);
    });
}

// The export leaves the password's protection behind: it asks for the password as printing does, whatever the
// security flags say.
void CoverWindow::exportbook_Click() {
    if (!passwordGiven("Incorrect password. Export cancelled."))
        return;
    services().windows.show(QStringLiteral("Form13"));
}

// Adding pages is writing pages: the new page's flag guards it.
void CoverWindow::importpages_Click() {
    openGated(flag::NewPage, purpose::Import);
}

void CoverWindow::deletebook_Click() {
    Dialogs& dialogs = services().dialogs;
    if (dialogs.message("WARNING! This function will delete your dayvell forever!", "DELETE DAYVELL?",
                        Buttons::OkCancel, Icon::Question, Answer::Cancel) != Answer::Ok)
        return;
    if (!passwordGiven("Incorrect password. Dayvell not deleted."))
        return;
    SharedState& state = services().state;
    if (!Guarded(dialogs, [&] { OpenBook(state).remove(); }))
        return;
    // Every window of the book closes with it, not only this one: the viewer, the search or a maintenance window
    // would go on working on a file that is gone.
    TerminateProgram();
    dialogs.message("Your dayvell was deleted!", "Dayvell Deleted.", Buttons::Ok, Icon::Information);
    state.forgetBook();
    services().windows.show(QStringLiteral("form1"));
}

// Rescues what can still be read of a damaged book into a new one beside it; the book itself stays as it is and
// stays open.
void CoverWindow::repair_Click() {
    Dialogs& dialogs = services().dialogs;
    if (dialogs.message(HelpText(kRepairHelpTopic), "Repair dayvell?", Buttons::OkCancel, Icon::Question,
                        Answer::Cancel) != Answer::Ok)
        return;
    if (!passwordGiven("Incorrect password. Dayvell not repaired."))
        return;
    RescueReport report;
    if (!Guarded(dialogs, [&] { report = OpenBook(services().state).rescue(services().clock.shortDate()); }))
        return;
    dialogs.message(RescueMessage(report), "Dayvell repaired.", Buttons::Ok, Icon::Information);
}

void CoverWindow::helper_Click() {
    ShowHelp(services().dialogs, kCoverWindowHelp);
}

void CoverWindow::quit_Click() {
    Dialogs& dialogs = services().dialogs;
    if (dialogs.message("Sure you want to quit?", "Quit Dayvell?", Buttons::YesNo, Icon::Question) != Answer::Yes)
        return;
    // A page typed and not saved in another window is saved or dropped first, while the book is still open; the
    // user may call the quit off there.
    if (!services().windows.queryUnloadAll(Closing::CanBeCalledOff))
        return;
    SharedState& state = services().state;
    // A date that cannot be stamped is reported; the book is closed all the same, unchanged.
    Guarded(dialogs, [&] { OpenBook(state).refreshDate(services().clock.shortDate()); });
    state.forgetBook();
    TerminateProgram();
    services().windows.unload(id());
    services().windows.show(QStringLiteral("form1"));
}

} // namespace dayvell
