// SPDX-License-Identifier: GPL-3.0-or-later
#include "DirList.h"

#include "Listing.h"
#include "Volumes.h"

#include "core/ErrorReporter.h"

#include <QDir>
#include <QKeyEvent>
#include <QStyle>

namespace dayvell {

DirList::DirList(Dialogs& dialogs, QWidget* parent) : QListWidget(parent), m_dialogs(dialogs) {
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::go);
    try {
        setPath(QDir::currentPath());
    } catch (const std::exception&) {
        setPath(QDir::rootPath());
    }
}

void DirList::setPath(const QString& directory) {
    const QString path = CleanDirectory(directory);
    // Listed before anything changes, so that a failure leaves the list as it was.
    const QStringList children = ListEntries(path, EntryKind::Directory, {});
    if (path == m_path)
        return;

    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QStringList chain;
    for (QString up = path;; up = QFileInfo(up).path()) {
        chain.prepend(up);
        if (QDir(up).isRoot())
            break;
    }
    int depth = 0;
    for (const QString& ancestor : chain) {
        const QString name = QDir(ancestor).isRoot() ? ancestor : QFileInfo(ancestor).fileName();
        auto* item = new QListWidgetItem(open, QString(depth++ * 2, QLatin1Char(' ')) + name, this);
        item->setData(Qt::UserRole, ancestor);
    }
    for (const QString& child : children) {
        auto* item = new QListWidgetItem(closed, QString(depth * 2, QLatin1Char(' ')) + child, this);
        item->setData(Qt::UserRole, QDir(path).filePath(child));
    }
    setCurrentRow(int(chain.size()) - 1);
    m_path = path;
    emit changed();
}

void DirList::setDrive(const QString& root) {
    setPath(DriveCurrentDirectory(root));
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        go(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirList::go(QListWidgetItem* item) {
    const QString target = item->data(Qt::UserRole).toString();
    Guarded(m_dialogs, [&] { setPath(target); });
}

} // namespace dayvell
