// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

class QPushButton;

namespace dayvell {

class DirList;
class DriveList;
class FileList;

// "form3": picks a book file by drive, directory and name, then hands over to the password prompt. It never reads
// a book file itself.
class OpenBrowser : public ProgramWindow {
    Q_OBJECT
public:
    explicit OpenBrowser(Services& services);

    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void File1_DblClick();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

protected:
    void Form_Activate() override;

private:
    DriveList* m_drive1;
    DirList* m_dir1;
    FileList* m_file1;
    QPushButton* m_command1;
};

} // namespace dayvell
