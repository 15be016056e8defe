// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/BookFormat.h"
#include "platform/ProgramWindow.h"

#include <string>

class QCheckBox;
class QLabel;
class QPushButton;

namespace dayvell {

class DirList;
class DriveList;

// "Form4": creates a book in four steps on one window: directory, file name, password, Finish. The step buttons
// and their arrows show how far the user has come; the choices live in the shared state.
class CreateWizard : public ProgramWindow {
    Q_OBJECT
public:
    explicit CreateWizard(Services& services);

    void Drive1_Change();
    void Dir1_Change();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Check1_Click();

protected:
    void Form_Activate() override;

private:
    void showLabel15();
    // The kind of book Finish makes: sealed when Check1 is checked.
    BookKind chosenKind() const;

    // `bookdir` as it was at the last activation; Start over goes back to it.
    std::string m_savedDir;

    DriveList* m_drive1;
    DirList* m_dir1;
    QLabel* m_label7;
    QLabel* m_label8;
    QLabel* m_label9;
    QLabel* m_label10;
    QLabel* m_label11;
    QLabel* m_label12;
    QLabel* m_label13;
    QLabel* m_label15;
    QCheckBox* m_check1;
    QPushButton* m_command2;
    QPushButton* m_command3;
    QPushButton* m_command4;
};

} // namespace dayvell
