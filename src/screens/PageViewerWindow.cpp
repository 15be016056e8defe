// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageViewerWindow.h"

#include "CutOffPage.h"
#include "ScreenParts.h"
#include "StorableText.h"

#include "core/Dialogs.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/Numbers.h"
#include "core/PageCounter.h"
#include "core/PrintText.h"
#include "core/Printer.h"
#include "core/Purposes.h"
#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace dayvell {

namespace {

constexpr int kPageViewerWindowHelp = 7;
constexpr int kEditHelpTopic = 71;

constexpr const char* kSaveChangedPageQuestion = "Do you want to save the changed page?";

} // namespace

PageViewerWindow::PageViewerWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form7")) {
    setWindowTitle(QStringLiteral("View/Search/Edit pages"));

    auto* page = menuBar()->addMenu(QStringLiteral("&Page"));
    page->setObjectName(QStringLiteral("page"));
    m_editPage = parts::MenuItem(page, "editpage", QStringLiteral("&Edit this page"));
    m_printPage = parts::MenuItem(page, "printpage", QStringLiteral("&Print this page"));
    m_deletePage = parts::MenuItem(page, "delpage", QStringLiteral("&Delete this page"));
    // Top-level items that act at once, without a menu of their own.
    m_search = parts::MenuItem(menuBar(), "searchbook", QStringLiteral("&Search"));
    auto* exit = parts::MenuItem(menuBar(), "exit", QStringLiteral("E&xit"));
    auto* helpMe = parts::MenuItem(menuBar(), "helpme", QStringLiteral("&Help"));

    auto* central = new QWidget(this);
    m_cutOffNotice = MakeCutOffNotice(central);
    // The stamps are shown as the book holds them, and a book written elsewhere may hold anything there.
    m_number = parts::LongText(central, "Label1", QStringLiteral("This is this page and total of pages in dayvell."));
    m_number->setText(QStringLiteral("0 of 0"));
    m_date = parts::LongText(central, "Label3", QStringLiteral("Date page was created."));
    m_time = parts::LongText(central, "Label5", QStringLiteral("Time page was created."));
    m_editMode = parts::Label(central, "Label2", QStringLiteral("EDIT MODE"));
    m_editMode->setStyleSheet(QStringLiteral("font-weight: bold; color: #b00000"));
    m_editMode->hide();
    m_text = new QPlainTextEdit(central);
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setReadOnly(true);
    // Tab moves on to the next control, as everywhere else; a tab character is no part of a page.
    m_text->setTabChangesFocus(true);
    m_text->setAccessibleName(QStringLiteral("Page text"));
    m_hint = MakeUnstorableHint(central);
    m_previous = parts::Button(central, "Command6", QStringLiteral("P&revious page"),
                               QStringLiteral("Look at page before this one."));
    m_next = parts::Button(central, "Command7", QStringLiteral("&Next Page"),
                           QStringLiteral("Look at page after this one."));
    auto* jumpLabel = parts::Label(central, "Label8", QStringLiteral("Jump to page:"),
                                   QStringLiteral("You can jump to a page number."));
    m_jumpTo = new QLineEdit(central);
    m_jumpTo->setObjectName(QStringLiteral("Text2"));
    m_jumpTo->setMaximumWidth(90);
    jumpLabel->setBuddy(m_jumpTo);
    m_jump =
        parts::Button(central, "Command8", QStringLiteral("&Jump"), QStringLiteral("Jump to a certain page number."));
    m_jump->setEnabled(false);
    m_searchAgain = parts::Button(central, "Command1", QStringLiteral("Search &again"));
    m_searchAgain->hide();
    m_save = parts::Button(central, "Command5", QStringLiteral("Sa&ve the edited page"),
                           QStringLiteral("Save the changes you made to this page."));
    m_save->setEnabled(false);
    m_save->hide();
    auto* cancel = parts::Button(central, "Command4", QStringLiteral("&Cancel"), QStringLiteral("Get me out of here!"));

    auto* heading = new QHBoxLayout;
    heading->addWidget(parts::Label(central, "Label7", QStringLiteral("Page")));
    heading->addWidget(m_number);
    heading->addSpacing(16);
    heading->addWidget(m_date);
    heading->addWidget(m_time);
    heading->addStretch();
    heading->addWidget(m_editMode);

    auto* moving = new QHBoxLayout;
    moving->addWidget(m_previous);
    moving->addWidget(m_next);
    moving->addStretch();
    moving->addWidget(jumpLabel);
    moving->addWidget(m_jumpTo);
    moving->addWidget(m_jump);

    auto* leaving = new QHBoxLayout;
    leaving->addWidget(m_searchAgain);
    leaving->addStretch();
    leaving->addWidget(m_save);
    leaving->addWidget(cancel);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_cutOffNotice);
    layout->addWidget(parts::Line(central, "Line1"));
    layout->addLayout(heading);
    layout->addWidget(parts::Line(central, "Line2"));
    layout->addWidget(m_text, 1);
    layout->addWidget(m_hint);
    layout->addWidget(parts::Line(central, "Line3"));
    layout->addLayout(moving);
    layout->addWidget(parts::Line(central, "Line4"));
    layout->addLayout(leaving);
    layout->addWidget(parts::Line(central, "Line5"));
    setCentralWidget(central);
    resize(620, 500);

    connect(m_editPage, &QAction::triggered, this, &PageViewerWindow::editpage_Click);
    connect(m_printPage, &QAction::triggered, this, &PageViewerWindow::printpage_Click);
    connect(m_deletePage, &QAction::triggered, this, &PageViewerWindow::delpage_Click);
    connect(m_search, &QAction::triggered, this, &PageViewerWindow::searchbook_Click);
    connect(exit, &QAction::triggered, this, &PageViewerWindow::exit_Click);
    connect(helpMe, &QAction::triggered, this, &PageViewerWindow::helpme_Click);
    connect(m_searchAgain, &QPushButton::clicked, this, &PageViewerWindow::Command1_Click);
    connect(cancel, &QPushButton::clicked, this, &PageViewerWindow::Command4_Click);
    // Esc leaves as Cancel does, asking first about a changed page.
    setCancelButton(cancel);
    connect(m_save, &QPushButton::clicked, this, &PageViewerWindow::Command5_Click);
    connect(m_previous, &QPushButton::clicked, this, &PageViewerWindow::Command6_Click);
    connect(m_next, &QPushButton::clicked, this, &PageViewerWindow::Command7_Click);
    connect(m_jump, &QPushButton::clicked, this, &PageViewerWindow::Command8_Click);
    connect(m_text, &QPlainTextEdit::textChanged, this, &PageViewerWindow::Text1_Change);
    connect(m_jumpTo, &QLineEdit::textChanged, this, &PageViewerWindow::Text2_Change);
    connect(m_jumpTo, &QLineEdit::returnPressed, this, [this] {
        if (m_jump->isEnabled())
            Command8_Click();
    });
}

void PageViewerWindow::Form_Activate() {
    if (m_cutOff)
        return;
    SharedState& state = services().state;
    // Without a count nothing else can be read; the counter has said why.
    if (!CountPages(state, services().dialogs))
        return;
    const std::int64_t count = pageCount();
    // Text typed into the page and not saved stays, on the page it was typed into, unless the viewer is to show
    // another page now (a search result chosen meanwhile): then the text is offered for saving first, as Jump does.
    bool keepTyped = hasUnsavedChanges();
    if (keepTyped && count > 0 && pageToOpen(count) != m_currentpage) {
        if (!offerToSave("Save before jumping?"))
            return;
        keepTyped = false;
    }
    if (!keepTyped)
        setShownText({});
    if (count <= 0) {
        services().dialogs.message("There are no pages in your book yet.", {}, Buttons::Ok, Icon::None);
        returnToCover();
        return;
    }
    if (count == 1) {
        m_previous->setEnabled(false);
        m_next->setEnabled(false);
    } else if (m_save->isHidden()) {
        // Pages written meanwhile elsewhere make moving possible again, unless edit mode has turned it off.
        m_previous->setEnabled(true);
        m_next->setEnabled(true);
    }
    if (state.gotopage != 0)
        m_searchAgain->show();
    if (keepTyped) {
        m_number->setText(QStringFromCp1252(m_page.number + " of" + state.pagecount));
        return;
    }
    m_currentpage = pageToOpen(count);
    if (readpage())
        showpage();
}

std::int32_t PageViewerWindow::pageToOpen(std::int64_t count) const {
    const std::int32_t gotopage = services().state.gotopage;
    // A page beyond the end is shown as the last page.
    return static_cast<std::int32_t>(gotopage != 0 ? std::min<std::int64_t>(gotopage, count) : count);
}

bool PageViewerWindow::readpage() {
    SharedState& state = services().state;
    return Guarded(services().dialogs, [&] {
        const Book book = OpenBook(state);
        const std::string flags = book.readHeader().flags;
        // A page beyond the end (the last page deleted after a search found it) shows the last page instead.
        const auto found = book.readPageOrLast(std::max<std::int32_t>(m_currentpage, 1));
        if (!found)
            return;
        m_currentpage = static_cast<std::int32_t>(found->first);
        m_page = found->second;
        state.pagenum = m_page.number;
        state.pagedate = m_page.date;
        state.pagetime = m_page.time;
        state.pagetext = m_page.text;
        state.secflags = flags;
    });
}

void PageViewerWindow::showpage() {
    m_date->setText(QStringFromCp1252(m_page.date));
    m_time->setText(QStringFromCp1252(m_page.time));
    setShownText(EditorTextFromPage(m_page.text));
    m_number->setText(QStringFromCp1252(m_page.number + " of" + services().state.pagecount));
}

bool PageViewerWindow::replacepage() {
    SharedState& state = services().state;
    Dialogs& dialogs = services().dialogs;
    // Refuse what cannot be stored before anything is written; the text stays for the user to mend.
    const QString typed = EditorText(*m_text);
    const Book book = OpenBook(state);
    const UnstorableCharacters unstorable = FindUnstorable(typed, &book);
    if (!unstorable.empty()) {
        dialogs.message(UnstorableMessage(unstorable), "Page not saved", Buttons::Ok, Icon::Exclamation);
        return false;
    }
    const std::string text = PageTextFromEditor(typed);
    if (!Guarded(dialogs, [&] { OpenBook(state).replacePage(m_page.number, text); }))
        return false;
    m_page.text = text;
    state.pagetext = text;
    m_shownText = typed;

    m_save->setEnabled(false);
    m_editMode->hide();
    m_deletePage->setEnabled(true);
    m_search->setEnabled(true);
    m_printPage->setEnabled(true);
    if (state.gotopage != 0)
        m_searchAgain->show();
    return true;
}

void PageViewerWindow::Command6_Click() {
    --m_currentpage;
    if (m_currentpage < 1)
        m_currentpage = RoundHalfEven(NumericValue(services().state.pagecount));
    if (pageCount() < m_currentpage)
        m_currentpage = 1;
    if (readpage())
        showpage();
}

void PageViewerWindow::Command7_Click() {
    ++m_currentpage;
    if (pageCount() < m_currentpage)
        m_currentpage = 1;
    if (readpage())
        showpage();
}

void PageViewerWindow::Command8_Click() {
    if (hasUnsavedChanges() && !offerToSave("Save before jumping?"))
        return;
    std::int64_t n = RoundHalfEven(NumericValue(LossyCp1252FromQString(m_jumpTo->text())));
    if (n < 1)
        n = 1;
    if (pageCount() < n)
        n = pageCount();
    m_currentpage = static_cast<std::int32_t>(n);
    if (readpage())
        showpage();
    m_jumpTo->setText(QString::number(m_currentpage));
}

void PageViewerWindow::Text1_Change() {
    // Any change counts, typed or a page put on screen: whether there is anything to write is decided by comparing
    // the texts when it comes to writing.
    if (!m_save->isHidden())
        m_save->setEnabled(true);
    updateHint();
}

void PageViewerWindow::Text2_Change() {
    m_jump->setEnabled(true);
}

void PageViewerWindow::editpage_Click() {
    m_text->setReadOnly(false);
    m_save->show();
    m_save->setEnabled(false);
    m_previous->setEnabled(false);
    m_next->setEnabled(false);
    m_editMode->show();
    m_deletePage->setEnabled(false);
    m_search->setEnabled(false);
    m_printPage->setEnabled(false);
    m_searchAgain->hide();
    updateHint();
}

void PageViewerWindow::Command5_Click() {
    m_save->setEnabled(false);
    if (!replacepage())
        m_save->setEnabled(true); // still unsaved
}

void PageViewerWindow::Command4_Click() {
    leave(true);
}

void PageViewerWindow::exit_Click() {
    leave(false);
}

void PageViewerWindow::delpage_Click() {
    // Enter must not delete a page: No is the default answer.
    if (services().dialogs.message("Are you sure you want to permantly delete this page?", "Delete Page?",
                                   Buttons::YesNo, Icon::Question, Answer::No) != Answer::Yes)
        return;
    const std::int64_t position = RoundHalfEven(NumericValue(m_page.number));
    if (!Guarded(services().dialogs, [&] { OpenBook(services().state).removePage(position); }))
        return;
    // Whatever was typed into the page went with it.
    setShownText({});
    Form_Activate();
}

void PageViewerWindow::printpage_Click() {
    Dialogs& dialogs = services().dialogs;
    if (!PrinterReady(dialogs))
        return;
    Guarded(dialogs, [&] {
        // A job that fails half-way is abandoned on the way out: none of its lines reach a later print.
        const auto job = services().printer.begin();
        if (!job)
            return;
        job->printLine(services().state.covername);
        job->printLine(Cp1252FromQString(m_date->text() + QStringLiteral("  ") + m_time->text()));
        job->printLine(Cp1252FromQString(m_number->text()));
        PrintWrapped(*job, PageTextFromEditor(EditorText(*m_text)));
        job->end();
    });
}

void PageViewerWindow::searchbook_Click() {
    if (hasUnsavedChanges() && !offerToSave("Save before searching?"))
        return;
    SharedState& state = services().state;
    WindowSystem& windows = services().windows;
    if (NeedsPassword(state.secflags, flag::Search)) {
        state.purpose = purpose::Search;
        windows.show(QStringLiteral("frmpassword"));
    } else {
        windows.show(QStringLiteral("Form8"));
    }
    windows.unload(id());
}

void PageViewerWindow::Command1_Click() {
    if (hasUnsavedChanges() && !offerToSave("Save before searching?"))
        return;
    WindowSystem& windows = services().windows;
    windows.unload(id());
    windows.show(QStringLiteral("Form8"));
}

void PageViewerWindow::helpme_Click() {
    ShowHelp(services().dialogs, m_editMode->isHidden() ? kPageViewerWindowHelp : kEditHelpTopic);
}

std::int64_t PageViewerWindow::pageCount() const {
    return RoundHalfEven(NumericValue(services().state.pagecount));
}

bool PageViewerWindow::editing() const {
    return !m_text->isReadOnly();
}

bool PageViewerWindow::hasUnsavedChanges() const {
    return editing() && EditorText(*m_text) != m_shownText;
}

bool PageViewerWindow::offerToSave(const char* title) {
    if (services().dialogs.message(kSaveChangedPageQuestion, title, Buttons::YesNo, Icon::Question) == Answer::Yes)
        return replacepage();
    return true;
}

void PageViewerWindow::setShownText(const QString& text) {
    m_text->setPlainText(text);
    m_shownText = EditorText(*m_text);
}

void PageViewerWindow::leave(bool clearGotoPage) {
    if (m_cutOff) {
        if (DropCutOffText(services().dialogs))
            handOverTo(QStringLiteral("form1"));
        return;
    }
    SharedState& state = services().state;
    // Leaving writes the page shown back with the text on screen, after asking when it was changed. Text that
    // matches the page as stored would write the same bytes again, so it is left alone: merely viewing a book on
    // a medium that cannot be written must not fail.
    bool writeBack = true;
    if (m_save->isEnabled())
        writeBack = services().dialogs.message(kSaveChangedPageQuestion, "Save before exiting?", Buttons::YesNo,
                                               Icon::Question) == Answer::Yes;
    if (writeBack && EditorText(*m_text) != m_shownText && !replacepage())
        return; // not written: stay, so that the text is not lost
    if (clearGotoPage)
        state.gotopage = 0;
    returnToCover();
}

bool PageViewerWindow::Form_QueryUnload(Closing how) {
    if (!m_cutOff && !hasUnsavedChanges())
        return true;
    // The question is about the text in this window: it is brought to the front to be seen.
    raise();
    return QueryUnloadUnsaved(
        services().dialogs, how, m_cutOff,
        {kSaveChangedPageQuestion, "Save before exiting?", [this] { return replacepage(); }, [this] { cutOff(); }});
}

void PageViewerWindow::cutOff() {
    m_cutOff = true;
    m_text->setReadOnly(true);
    for (QWidget* control : std::initializer_list<QWidget*>{m_previous, m_next, m_jump, m_jumpTo, m_save})
        control->setEnabled(false);
    for (QAction* item : {m_editPage, m_printPage, m_deletePage, m_search})
        item->setEnabled(false);
    m_searchAgain->hide();
    m_editMode->hide();
    updateHint();
    m_cutOffNotice->show();
}

void PageViewerWindow::returnToCover() {
    handOverTo(QStringLiteral("Form5"));
}

void PageViewerWindow::updateHint() {
    QString hint;
    if (editing()) {
        const Book book = OpenBook(services().state);
        hint = UnstorableHint(FindUnstorable(EditorText(*m_text), &book));
    }
    SetUnstorableHint(*m_hint, hint);
}

} // namespace dayvell
