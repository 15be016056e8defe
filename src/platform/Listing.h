// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace dayvell {

enum class EntryKind { Directory, File };

// The names in `directory` of the subdirectories or ordinary files (links followed) whose names match one of
// `patterns` (wildcards, letter case ignored; empty matches all), hidden ones left out, in name order.
// Throws the RuntimeError that matches the failure, e.g. 76 when the directory is missing.
QStringList ListEntries(const QString& directory, EntryKind kind, const QStringList& patterns);

} // namespace dayvell
