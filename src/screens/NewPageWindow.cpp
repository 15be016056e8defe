// SPDX-License-Identifier: GPL-3.0-or-later
#include "NewPageWindow.h"

#include "CutOffPage.h"
#include "ScreenParts.h"
#include "StorableText.h"

#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/Numbers.h"
#include "core/PageCounter.h"
#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dayvell {

namespace {

constexpr int kNewPageWindowHelp = 2;

constexpr const char* kSaveNewPageQuestion = "Do you want to save this page?";
constexpr const char* kSaveTitle = "Save this page?";

} // namespace

NewPageWindow::NewPageWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form2")) {
    setWindowTitle(QStringLiteral("New page in your Dayvell"));

    auto* page = menuBar()->addMenu(QStringLiteral("&Page"));
    page->setObjectName(QStringLiteral("page"));
    m_saveItem = parts::MenuItem(page, "save", QStringLiteral("Quit &with save"));
    connect(m_saveItem, &QAction::triggered, this, &NewPageWindow::save_Click);
    connect(parts::MenuItem(page, "nosave", QStringLiteral("Quit with&out saving")), &QAction::triggered, this,
            &NewPageWindow::nosave_Click);

    auto* central = new QWidget(this);
    m_coverName = parts::LongText(central, "Label2", QStringLiteral("This is cover name."));
    m_dateLine = parts::Label(central, "Label3", {});
    m_time = parts::Label(central, "Label4", {});
    m_pageNumber = parts::Label(central, "Label6", {}, QStringLiteral("This is the number of your new page."));
    m_pageCount =
        parts::Label(central, "Label8", {}, QStringLiteral("This is total number of pages in your dayvell now."));
    m_text = new QPlainTextEdit(central);
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->setToolTip(QStringLiteral("Compose your page."));
    // Tab moves on to the buttons, as everywhere else; a tab character is no part of a page.
    m_text->setTabChangesFocus(true);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_hint = MakeUnstorableHint(central);
    m_save = parts::Button(central, "Command2", QStringLiteral("&Save and Exit (ESC)"),
                           QStringLiteral("Save this page, then exit"));
    m_cutOffNotice = MakeCutOffNotice(central);
    auto* noSave = parts::Button(central, "Command3", QStringLiteral("E&xit and dont save"),
                                 QStringLiteral("Exit without saving this page"));
    auto* help = parts::Button(central, "Command1", QStringLiteral("&Help"), QStringLiteral("More info"));

    auto* stamps = new QGridLayout;
    stamps->addWidget(parts::Label(central, "Label1", QStringLiteral("Dayvell Name:")), 0, 0);
    stamps->addWidget(m_coverName, 0, 1, 1, 3);
    stamps->addWidget(m_dateLine, 1, 0, 1, 2);
    stamps->addWidget(m_time, 1, 2, 1, 2);
    stamps->addWidget(parts::Label(central, "Label5", QStringLiteral("Page #")), 2, 0);
    stamps->addWidget(m_pageNumber, 2, 1);
    stamps->addWidget(parts::Label(central, "Label7", QStringLiteral("Total # of pages in this book:")), 2, 2);
    stamps->addWidget(m_pageCount, 2, 3);
    stamps->setColumnStretch(1, 1);
    stamps->setColumnStretch(3, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_save);
    buttons->addWidget(noSave);
    buttons->addStretch();
    buttons->addWidget(help);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_cutOffNotice);
    layout->addWidget(parts::Line(central, "Line1"));
    layout->addLayout(stamps);
    layout->addWidget(parts::Line(central, "Line2"));
    layout->addWidget(m_text, 1);
    layout->addWidget(m_hint);
    layout->addWidget(parts::Line(central, "Line3"));
    layout->addLayout(buttons);
    setCentralWidget(central);
    resize(560, 460);

    connect(m_save, &QPushButton::clicked, this, &NewPageWindow::Command2_Click);
    connect(noSave, &QPushButton::clicked, this, &NewPageWindow::Command3_Click);
    connect(help, &QPushButton::clicked, this, &NewPageWindow::Command1_Click);
    connect(m_text, &QPlainTextEdit::textChanged, this, &NewPageWindow::Text1_Change);
    // Save and Exit is the window's cancel button: Esc presses it.
    setCancelButton(m_save);
}

void NewPageWindow::Form_Activate() {
    if (m_cutOff)
        return;
    SharedState& state = services().state;
    // The number the page will get, as the save will take it: from the end of the book, at the same cost on any book.
    CountPages(state, services().dialogs, SystemFileSystem(), Counting::FromTheEnd);
    m_number = PageNumberText(std::int64_t{RoundHalfEven(NumericValue(state.pagecount))} + 1);
    const ClockReading now = services().clock.now();
    m_date = now.weekdayName + ", " + now.shortDate;
    m_timeText = now.timeText;
    m_pageNumber->setText(QStringFromCp1252(m_number));
    m_pageCount->setText(QStringFromCp1252(state.pagecount));
    m_coverName->setText(QStringFromCp1252(state.covername));
    m_dateLine->setText(QStringFromCp1252(m_date));
    m_time->setText(QStringFromCp1252(m_timeText));
    // The password may have changed while the window was in the background.
    Text1_Change();
}

bool NewPageWindow::Form_QueryUnload(Closing how) {
    if (EditorText(*m_text).isEmpty())
        return true;
    // The question is about the text in this window: it is brought to the front to be seen.
    raise();
    return QueryUnloadUnsaved(services().dialogs, how, m_cutOff,
                              {kSaveNewPageQuestion, kSaveTitle, [this] { return savepage(); }, [this] { cutOff(); }});
}

void NewPageWindow::cutOff() {
    m_cutOff = true;
    m_text->setReadOnly(true);
    m_save->setEnabled(false);
    m_saveItem->setEnabled(false);
    SetUnstorableHint(*m_hint, {});
    m_cutOffNotice->show();
}

bool NewPageWindow::savepage() {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;

    // Refuse what cannot be stored before anything is written, and keep the text so that it can be mended.
    const QString typed = EditorText(*m_text);
    Book book = OpenBook(state);
    const UnstorableCharacters unstorable = FindUnstorable(typed, &book);
    if (!unstorable.empty()) {
        dialogs.message(UnstorableMessage(unstorable), "Page not saved", Buttons::Ok, Icon::Exclamation);
        return false;
    }
    bool stampsFit = true;
    if (!Guarded(dialogs, [&] {
            for (const std::string* stamp : {&m_number, &m_date, &m_timeText})
                stampsFit = stampsFit && book.firstUnstorable(*stamp) == std::string::npos;
        }))
        return false;
    if (!stampsFit) {
        dialogs.message("This page has not been saved: its date and time, " + m_date + " " + m_timeText +
                            ", hold characters that cannot be stored with this dayvell's password.",
                        "Page not saved", Buttons::Ok, Icon::Exclamation);
        return false;
    }

    const Page page{m_number, m_date, m_timeText, PageTextFromEditor(typed)};
    return Guarded(dialogs, [&] { book.appendPage(page); });
}

void NewPageWindow::Command2_Click() {
    if (m_cutOff)
        return;
    // A page that could not be written stays on screen with its text: the user may try again or leave on purpose.
    if (savepage())
        leave();
}

void NewPageWindow::Command3_Click() {
    if (services().dialogs.message("Sure you want to quit without saving this page?", "Quit without saving?",
                                   Buttons::YesNo, Icon::Question) == Answer::Yes)
        leave();
}

void NewPageWindow::Command1_Click() {
    ShowHelp(services().dialogs, kNewPageWindowHelp);
}

void NewPageWindow::save_Click() {
    Command2_Click();
}

void NewPageWindow::nosave_Click() {
    Command3_Click();
}

void NewPageWindow::Text1_Change() {
    if (m_cutOff)
        return;
    const Book book = OpenBook(services().state);
    const QString hint = UnstorableHint(FindUnstorable(EditorText(*m_text), &book));
    SetUnstorableHint(*m_hint, hint);
}

void NewPageWindow::leave() {
    // Cut off, the window has no book to return to.
    handOverTo(m_cutOff ? QStringLiteral("form1") : QStringLiteral("Form5"));
}

} // namespace dayvell
