// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

namespace dayvell {

// Shows one drive (a mounted volume) by its root and label and lets the user pick another. changed() fires at once
// whenever the drive shown changes, whether the user or the program changed it.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    // Starts on the drive of the process's current directory.
    explicit DriveList(QWidget* parent = nullptr);

    // The root of the drive shown, e.g. "/" or "/media/usb".
    QString drive() const { return m_drive; }
    // Shows the drive holding `path`. Throws RuntimeError 68 or 71 when no ready volume holds it; the list then
    // keeps its drive.
    void setDrive(const QString& path);

signals:
    void changed();

protected:
    // Volumes come and go: the choice offered is the one of the moment it is opened.
    void showPopup() override;

private:
    void fill();
    void choose(int index);

    QString m_drive;
    bool m_filling = false;
};

} // namespace dayvell
