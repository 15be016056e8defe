// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

#include <vector>

class QLabel;
class QPushButton;

namespace dayvell {

// "Form5": the hub of an open book. Each activation re-reads the book's header and redraws its cover name and
// information, so that whatever another window changed shows at once. Its menus open the page and maintenance
// windows, through the password prompt where the book's security flags ask for it.
class CoverWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit CoverWindow(Services& services);

    // Closes every window of the program, the most recently loaded first.
    void TerminateProgram();

    void Command1_Click();
    void Command2_Click();
    // Explains the kinds of book.
    void Command3_Click();
    void Label7_Click();
    void enterpage_Click();
    void view_Click();
    void search_Click();
    void printbook_Click();
    void exportbook_Click();
    void importpages_Click();
    void quit_Click();
    void cover_Click();
    void changefile_Click();
    void changepass_Click();
    void movecopy_Click();
    void deletebook_Click();
    void repair_Click();
    void security_Click();
    void helper_Click();

protected:
    void Form_Activate() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Opens the window of `purposeCode` at once, or through the password prompt when the flag at `flagPosition`
    // asks for the password.
    void openGated(int flagPosition, int purposeCode);
    void showBookInformation(bool visible);
    bool passwordGiven(const char* refusal);

    QLabel* m_label2;
    QLabel* m_label7;
    QLabel* m_label8;
    QLabel* m_label9;
    QLabel* m_label10;
    QLabel* m_label11;
    // Which kind of book this is.
    QLabel* m_label13;
    QPushButton* m_command1;
    QPushButton* m_command2;
    QPushButton* m_command3;
    // The book information block: everything Command1 hides and Command2 shows.
    std::vector<QWidget*> m_information;
};

} // namespace dayvell
