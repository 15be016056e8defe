// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchWindow.h"

#include "ScreenParts.h"

#include "core/Charset.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/Numbers.h"
#include "core/PageCounter.h"
#include "core/Search.h"
#include "core/SharedState.h"
#include "platform/Services.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace dayvell {

namespace {

constexpr int kSearchWindowHelp = 8;

// The widest a caption column insists on being, in characters of the result lines.
constexpr int kWidestColumn = 40;

} // namespace

QString ShownResultLine(const std::string& resultLine) {
    // A search may list every page of a book of many years: the common line, plain ASCII on one line, takes the
    // short way.
    const bool plain = std::all_of(resultLine.begin(), resultLine.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80 && c != '\r' && c != '\n';
    });
    if (plain)
        return QString::fromLatin1(resultLine.data(), static_cast<qsizetype>(resultLine.size()));
    return QStringFromCp1252(OnOneLine(resultLine));
}

SearchWindow::SearchWindow(Services& services) : ProgramWindow(services, QStringLiteral("Form8")) {
    setWindowTitle(QStringLiteral("Search dayvell pages"));

    auto* central = new QWidget(this);
    m_text = new QLineEdit(central);
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->setToolTip(QStringLiteral("Enter text here"));
    auto* begin = parts::Button(central, "Command2", QStringLiteral("&Begin search"),
                                QStringLiteral("Press to start the search"));
    m_list = new QListWidget(central);
    m_list->setObjectName(QStringLiteral("List1"));
    m_list->setToolTip(QStringLiteral("Any matches will be displayed here, double click one to open the page."));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    // A book of many years lists thousands of lines; equal heights spare the list measuring each one.
    m_list->setUniformItemSizes(true);
    m_list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);
    m_noMatches = parts::Label(central, "Label2", QStringLiteral("Sorry, no matches were found."));
    m_found = parts::Label(central, "Label3", QStringLiteral("Found"), QStringLiteral("Number of matches found"));
    m_match = parts::Label(central, "Label7", QStringLiteral("Match"));
    m_es = parts::Label(central, "Label8", QStringLiteral("es"));
    for (QLabel* label : {m_noMatches, m_found, m_match, m_es})
        label->hide();
    auto* cancel = parts::Button(central, "Command1", QStringLiteral("&Cancel"), QStringLiteral("Get me out of here!"));
    auto* help = parts::Button(central, "Command3", QStringLiteral("&Help"), QStringLiteral("More info"));

    auto* asking = new QHBoxLayout;
    asking->addWidget(parts::Label(central, "Label4", QStringLiteral("Type text to search for:")));
    asking->addWidget(m_text, 1);
    asking->addWidget(begin);

    // The captions stand over the columns of the fixed-width result lines, from where the list starts its text.
    const QFontMetrics columns(m_list->font());
    auto* captions = new QHBoxLayout;
    captions->setSpacing(0);
    captions->addSpacing(m_list->frameWidth() +
                         m_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1);
    m_numberCaption = parts::Label(central, "Label6", QStringLiteral("Page #"));
    m_dateCaption = parts::Label(central, "Label9", QStringLiteral("Page date and Time"));
    auto* contentCaption = parts::Label(central, "Label10", QStringLiteral("Partial page content"));
    // A little smaller than the lines: "Page #" is as wide as the shortest number column and would run into the
    // next caption.
    QFont captionFont = m_list->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    for (QLabel* caption : {m_numberCaption, m_dateCaption, contentCaption}) {
        caption->setFont(captionFont);
        caption->setContentsMargins(0, 0, 0, 0);
        caption->setIndent(0);
    }
    captions->addWidget(m_numberCaption);
    captions->addWidget(m_dateCaption);
    captions->addWidget(contentCaption, 1);
    // Until a search has found something, the columns are those of a page written now.
    const ClockReading now = services.clock.now();
    alignCaptions(ShownResultLine(" 1    " + now.weekdayName + ", " + now.shortDate + " " + now.timeText + "  "));

    // "Found 2", "Match" and "es" read as one phrase.
    auto* count = new QHBoxLayout;
    count->setSpacing(0);
    count->addWidget(m_noMatches);
    count->addWidget(m_found);
    count->addSpacing(columns.horizontalAdvance(QLatin1Char(' ')));
    count->addWidget(m_match);
    count->addWidget(m_es);
    count->addStretch();
    count->addWidget(cancel);
    count->addWidget(help);

    auto* layout = new QVBoxLayout(central);
    layout->addLayout(asking);
    layout->addWidget(parts::Label(central, "Label1",
                                   QStringLiteral("Type what you wish to search for , then press \"Begin Search\".")));
    layout->addWidget(parts::Label(central, "Label5",
                                   QStringLiteral("Search results: (Double click on any result to see that page.)")));
    layout->addLayout(captions);
    layout->addWidget(m_list, 1);
    layout->addLayout(count);
    setCentralWidget(central);
    resize(720, 480);

    connect(begin, &QPushButton::clicked, this, &SearchWindow::Command2_Click);
    connect(m_text, &QLineEdit::returnPressed, this, &SearchWindow::Command2_Click);
    connect(cancel, &QPushButton::clicked, this, &SearchWindow::Command1_Click);
    // Esc leaves as Cancel does.
    setCancelButton(cancel);
    connect(help, &QPushButton::clicked, this, &SearchWindow::Command3_Click);
}

void SearchWindow::Command2_Click() {
    SharedState& state = services().state;
    m_list->clear();
    state.gotopage = 0;
    for (QLabel* label : {m_noMatches, m_found, m_match, m_es})
        label->hide();

    std::string text;
    try {
        text = Cp1252FromQString(m_text->text());
    } catch (const UnstorableText&) {
        // No page can hold a character a book cannot store.
        showCount(0);
        return;
    }

    QStringList lines;
    const bool searched = Guarded(services().dialogs, [&] {
        try {
            SearchBook(OpenBook(state), text, [&](const std::string& line) { lines << ShownResultLine(line); });
        } catch (...) {
            // The lines found before the failure stay in the list.
            m_list->addItems(lines);
            throw;
        }
        m_list->addItems(lines);
    });
    if (searched)
        showCount(static_cast<int>(lines.size()));
    if (!lines.isEmpty())
        alignCaptions(lines.front());
}

void SearchWindow::alignCaptions(const QString& line) {
    // A line is the page number, four blanks, the date line, a blank, the time, two blanks and the text: the date
    // starts after the first four blanks, the text after the first two blanks that follow the date.
    const qsizetype date = line.indexOf(QStringLiteral("    "));
    const qsizetype text = date < 0 ? -1 : line.indexOf(QStringLiteral("  "), date + 4);
    if (text < 0)
        return;
    const QFontMetrics columns(m_list->font());
    const auto at = [&](qsizetype characters) { return columns.horizontalAdvance(line.left(characters)); };
    // A column as wide as a book written elsewhere may make it would widen the window past the screen: beyond a
    // sensible width the caption may be narrower than its column.
    const int widest = columns.horizontalAdvance(QString(kWidestColumn, QLatin1Char('0')));
    const auto fit = [&](QLabel* caption, int width) {
        caption->setMinimumWidth(std::min(width, widest));
        caption->setMaximumWidth(width);
    };
    fit(m_numberCaption, at(date + 4));
    fit(m_dateCaption, at(text + 2) - at(date + 4));
}

void SearchWindow::showCount(int matches) {
    m_noMatches->setVisible(matches == 0);
    m_found->setVisible(matches > 0);
    m_match->setVisible(matches > 0);
    m_es->setVisible(matches > 1);
    m_found->setText(QStringLiteral("Found") + QStringFromCp1252(PageNumberText(matches)));
}

void SearchWindow::List1_DblClick() {
    const QListWidgetItem* selected = m_list->currentItem();
    const QString line = selected && selected->isSelected() ? selected->text() : QString();
    // The line begins with its page number; the weekday name after it ends the number.
    services().state.gotopage = RoundHalfEven(NumericValue(LossyCp1252FromQString(line)));
    WindowSystem& windows = services().windows;
    windows.unload(id());
    windows.show(QStringLiteral("Form7"));
}

void SearchWindow::Command1_Click() {
    handOverTo(QStringLiteral("Form5"));
}

void SearchWindow::Command3_Click() {
    ShowHelp(services().dialogs, kSearchWindowHelp);
}

bool SearchWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter on the chosen line opens it, as a double click does.
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && m_list->currentItem()) {
            // The line with the focus frame is the one meant, chosen or not (Tab into the list chooses none).
            m_list->currentItem()->setSelected(true);
            List1_DblClick();
            return true;
        }
    }
    // A double click anywhere in the list counts, as the list's own event; the first click has already chosen
    // the line.
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        List1_DblClick();
        return true;
    }
    return ProgramWindow::eventFilter(watched, event);
}

} // namespace dayvell
