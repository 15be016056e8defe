// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

namespace dayvell {

// The ordinary files of one directory whose names match a pattern such as "*.dvl" (letter case ignored, as on the
// media books are carried on). fileClicked() fires when the user selects a file with the mouse or the keys,
// fileDoubleClicked() on a double click or Enter; pathChanged() whenever the directory shown changes.
class FileList : public QListWidget {
    Q_OBJECT
public:
    // Starts in the process's current directory with the pattern "*".
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    // Throws RuntimeError (76 for a missing directory) when it cannot be listed; the list then keeps its content.
    void setPath(const QString& directory);
    QString pattern() const { return m_pattern; }
    // Several patterns may be given separated by ";".
    void setPattern(const QString& pattern);
    // Names never listed whatever the pattern, letter case ignored: files that match but are no choice for the user.
    void setExcluded(const QStringList& names);
    // Lists the directory again.
    void refresh();

    // The selected file's name without a path, or the empty text when none is selected.
    QString fileName() const;

signals:
    void fileClicked();
    void fileDoubleClicked();
    void pathChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill(const QString& path, const QStringList& names);

    QString m_path;
    QString m_pattern = QStringLiteral("*");
    QStringList m_excluded;
};

} // namespace dayvell
