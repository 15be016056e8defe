// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

#include <QString>

class QLabel;
class QLineEdit;

namespace dayvell {

class DirList;
class DriveList;

// "Form9": puts the open book into another folder, as a move (the book then lives there) or as a copy (a backup).
// The target folder follows the drive and directory lists; each activation puts them back on the book's own
// folder, so a Move or Copy pressed at once is refused as the same directory.
class MoveCopyWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit MoveCopyWindow(Services& services);

    void Drive1_Change();
    void Dir1_Change();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

protected:
    void Form_Activate() override;

private:
    // Copies or moves the book to the target folder, after its checks and questions.
    void transfer(bool move);

    // The target folder, as the lists last reported it.
    QString m_target;

    QLineEdit* m_text1;
    DriveList* m_drive1;
    DirList* m_dir1;
    QLabel* m_label3;
    QLineEdit* m_text2;
};

} // namespace dayvell
