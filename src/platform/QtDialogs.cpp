// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtDialogs.h"

#include "ProgramWindow.h"
#include "Text.h"
#include "WindowPlacement.h"
#include "WindowSystem.h"

#include "core/Charset.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSpacerItem>
#include <QTextBoundaryFinder>

namespace dayvell {

namespace {

QMessageBox::StandardButtons StandardButtons(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return QMessageBox::Ok;
    case Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon StandardIcon(Icon icon) {
    switch (icon) {
    case Icon::None:
        return QMessageBox::NoIcon;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton StandardButton(Answer answer) {
    switch (answer) {
    case Answer::Ok:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

// A box sizes itself to its text alone; an error box whose text is short would cut its title, which names the
// failure. A strut as wide as the title needs keeps the box from getting narrower than that.
void KeepTitleWhole(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    grid->addItem(new QSpacerItem(WidthForTitle(box, box.windowTitle()), 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// A box breaks its text only where a line may break, at blanks mostly: a path or a name typed without one would run
// past the box's edge, cut off. Such a word is offered an invisible break every few characters; text that breaks by
// itself is left exactly as it is.
QString Breakable(const QString& text) {
    constexpr int kLongestUnbroken = 30;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    QString out;
    out.reserve(text.size());
    int sinceBreak = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        breaks.setPosition(i);
        if (breaks.isAtBoundary())
            sinceBreak = 0;
        if (sinceBreak >= kLongestUnbroken && !text[i].isLowSurrogate()) {
            out += QChar(0x200B);
            sinceBreak = 0;
        }
        out += text[i];
        ++sinceBreak;
    }
    return out;
}

// Closing a box without choosing counts as its Cancel, or as No where there is no Cancel.
Answer AnswerOf(QMessageBox::StandardButton button, Buttons buttons) {
    switch (button) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return buttons == Buttons::YesNo ? Answer::No : buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

} // namespace

QString BoxTitle(const std::string& title) {
    return title.empty() ? QStringLiteral("dayvell") : QStringFromCp1252(title);
}

QtDialogs::QtDialogs(WindowSystem& windows) : m_windows(windows) {}

Answer QtDialogs::message(const std::string& text, const std::string& title, Buttons buttons, Icon icon,
                          std::optional<Answer> defaultButton) {
    WindowSystem::BoxScope scope(m_windows);
    QMessageBox box(StandardIcon(icon), BoxTitle(title), Breakable(BoxText(text)), StandardButtons(buttons),
                    m_windows.activeWindow());
    // A book's text is shown as written, never read as markup.
    box.setTextFormat(Qt::PlainText);
    if (defaultButton && box.button(StandardButton(*defaultButton)))
        box.setDefaultButton(StandardButton(*defaultButton));
    KeepTitleWhole(box);
    box.exec();
    return AnswerOf(box.standardButton(box.clickedButton()), buttons);
}

std::string QtDialogs::input(const std::string& prompt, const std::string& title) {
    QString typed;
    for (;;) {
        bool accepted = false;
        {
            WindowSystem::BoxScope scope(m_windows);
            QInputDialog box(m_windows.activeWindow());
            box.setWindowTitle(BoxTitle(title));
            box.setLabelText(BoxText(prompt));
            box.setInputMode(QInputDialog::TextInput);
            if (auto* label = box.findChild<QLabel*>()) {
                label->setTextFormat(Qt::PlainText);
                // The input box lays itself out anew when shown: its prompt carries the width the title needs.
                label->setMinimumWidth(WidthForTitle(box, box.windowTitle()));
            }
            box.setTextValue(typed);
            accepted = box.exec() == QDialog::Accepted;
            typed = box.textValue();
        }
        if (!accepted)
            return {};
        try {
            return Cp1252FromQString(typed);
        } catch (const UnstorableText& e) {
            message(e.what(), {}, Buttons::Ok, Icon::Exclamation);
        }
    }
}

} // namespace dayvell
