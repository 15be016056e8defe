// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileList.h"

#include "Listing.h"
#include "Volumes.h"

#include <QDir>
#include <QKeyEvent>

namespace dayvell {

namespace {

QStringList Patterns(const QString& pattern) {
    return pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

} // namespace

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemClicked, this, &FileList::fileClicked);
    connect(this, &QListWidget::itemDoubleClicked, this, &FileList::fileDoubleClicked);
    try {
        setPath(QDir::currentPath());
    } catch (const std::exception&) {
        m_path = CleanDirectory(QDir::currentPath());
    }
}

void FileList::setPath(const QString& directory) {
    const QString path = CleanDirectory(directory);
    const QStringList names = ListEntries(path, EntryKind::File, Patterns(m_pattern));
    const bool changed = path != m_path;
    fill(path, names);
    if (changed)
        emit pathChanged();
}

void FileList::setPattern(const QString& pattern) {
    if (pattern == m_pattern)
        return;
    m_pattern = pattern;
    refresh();
}

void FileList::setExcluded(const QStringList& names) {
    m_excluded = names;
    refresh();
}

void FileList::refresh() {
    try {
        fill(m_path, ListEntries(m_path, EntryKind::File, Patterns(m_pattern)));
    } catch (const std::exception&) {
        // The directory went away under the list: nothing in it can be chosen any more.
        clear();
    }
}

QString FileList::fileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !fileName().isEmpty()) {
        emit fileDoubleClicked();
        return;
    }
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && !fileName().isEmpty())
        emit fileClicked();
}

void FileList::fill(const QString& path, const QStringList& names) {
    clear();
    for (const QString& name : names) {
        if (!m_excluded.contains(name, Qt::CaseInsensitive))
            addItem(name);
    }
    m_path = path;
}

} // namespace dayvell
