// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

namespace dayvell {

class DirList;
class DriveList;
class FileList;

// "Form14": adds pages to the open book from files: a JSON export of this program or of jrnl, or text files of one
// page each. It opens from the cover window like the new-page window, through the password prompt when the book's
// security flags ask for it. Pages the book cannot store are named, one by one, before anything is written; the
// user skips each or stops.
class ImportWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit ImportWindow(Services& services);

    void Drive1_Change();
    void Dir1_Change();
    void Command1_Click();
    void Command2_Click();

protected:
    void Form_Activate() override;

private:
    bool m_placed = false;
    DriveList* m_drive1;
    DirList* m_dir1;
    FileList* m_file1;
};

} // namespace dayvell
