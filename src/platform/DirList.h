// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

namespace dayvell {

class Dialogs;

// Shows one directory: the chain of directories from the drive's root down to it, then its subdirectories. A double
// click (or Enter) on any line goes there. changed() fires at once whenever the directory shown changes, whether
// the user or the program changed it.
class DirList : public QListWidget {
    Q_OBJECT
public:
    // Starts in the process's current directory. A directory the user picks that cannot be read is reported in a
    // box through `dialogs`, and the list stays where it was.
    explicit DirList(Dialogs& dialogs, QWidget* parent = nullptr);

    // A full path without a trailing separator, except "/".
    QString path() const { return m_path; }
    // Throws RuntimeError (76 for a missing directory) when it cannot be listed; the list then keeps its content.
    void setPath(const QString& directory);
    // Shows the drive's current directory; throws RuntimeError 68 or 71 when the drive is gone or not ready.
    void setDrive(const QString& root);

signals:
    void changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void go(QListWidgetItem* item);

    Dialogs& m_dialogs;
    QString m_path;
};

} // namespace dayvell
