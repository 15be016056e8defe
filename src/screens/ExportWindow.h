// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

class QComboBox;
class QLineEdit;

namespace dayvell {

struct ExportFormatInfo;
class DirList;
class DriveList;

// "Form13": writes the open book to a file in an open format, for other programs and for keeping. It opens from
// the cover window after the password in force has been typed again, and says plainly that the file it writes is
// not protected by that password. The folder starts as the book's own; the file's name follows the format.
class ExportWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit ExportWindow(Services& services);

    void Combo1_Change();
    void Drive1_Change();
    void Command1_Click();
    void Command2_Click();

protected:
    void Form_Activate() override;

private:
    const ExportFormatInfo& chosen() const;

    bool m_placed = false;
    QComboBox* m_combo1;
    DriveList* m_drive1;
    DirList* m_dir1;
    QLineEdit* m_text1;
};

} // namespace dayvell
