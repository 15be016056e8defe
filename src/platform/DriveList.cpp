// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveList.h"

#include "Volumes.h"

#include <QDir>

namespace dayvell {

namespace {

constexpr int kShownCharacters = 24;

} // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    // A drive is shown by its mount point and label, which may be of any length: the list asks for room for a few
    // words, and its opened list shows each in full.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(kShownCharacters);
    try {
        m_drive = VolumeRoot(QDir::currentPath());
    } catch (const std::exception&) {
        m_drive = QDir::rootPath();
    }
    fill();
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::choose);
}

void DriveList::setDrive(const QString& path) {
    const QString root = VolumeRoot(CleanDirectory(path));
    if (root == m_drive)
        return;
    m_drive = root;
    fill();
    emit changed();
}

void DriveList::showPopup() {
    fill();
    QComboBox::showPopup();
}

void DriveList::fill() {
    m_filling = true;
    clear();
    bool listed = false;
    for (const Volume& volume : MountedVolumes()) {
        addItem(volume.label.isEmpty() ? volume.root : volume.root + QStringLiteral("  [") + volume.label + ']',
                volume.root);
        listed = listed || volume.root == m_drive;
    }
    // The drive shown stays in the list even when it is of a kind not offered, e.g. a temporary file system.
    if (!listed)
        addItem(m_drive, m_drive);
    setCurrentIndex(findData(m_drive));
    m_filling = false;
}

void DriveList::choose(int index) {
    if (m_filling || index < 0)
        return;
    const QString root = itemData(index).toString();
    if (root == m_drive)
        return;
    m_drive = root;
    emit changed();
}

} // namespace dayvell
