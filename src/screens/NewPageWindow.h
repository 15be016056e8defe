// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

#include <string>

class QAction;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace dayvell {

// "Form2": writes a new page, stamped with its number, the date line and the time, at the end of the open book.
class NewPageWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit NewPageWindow(Services& services);

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void save_Click();
    void nosave_Click();
    void Text1_Change();

    // Appends the page as shown; false when nothing was written, after telling the user why.
    bool savepage();

protected:
    void Form_Activate() override;
    bool Form_QueryUnload(Closing how) override;

private:
    void leave();
    // The book was closed under the window with its text unsaved: the text stays on screen, out of the book's reach.
    void cutOff();

    QLabel* m_coverName;
    QLabel* m_dateLine;
    QLabel* m_time;
    QLabel* m_pageNumber;
    QLabel* m_pageCount;
    QLabel* m_hint;
    QPlainTextEdit* m_text;
    QPushButton* m_save;
    QAction* m_saveItem;
    QLabel* m_cutOffNotice;
    bool m_cutOff = false;

    // The stamps as computed at the last activation, in the bytes the book stores.
    std::string m_number;
    std::string m_date;
    std::string m_timeText;
};

} // namespace dayvell
