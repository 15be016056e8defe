// SPDX-License-Identifier: GPL-3.0-or-later
#include "Listing.h"

#include "core/RuntimeError.h"

#include <QRegularExpression>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace dayvell {

QStringList ListEntries(const QString& directory, EntryKind kind, const QStringList& patterns) {
    std::vector<QRegularExpression> matchers;
    for (const QString& pattern : patterns)
        matchers.emplace_back(QRegularExpression::wildcardToRegularExpression(pattern),
                              QRegularExpression::CaseInsensitiveOption);

    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(fs::path(directory.toStdString()), error);
    if (error)
        throw ErrnoError(error.value(), true);
    QStringList names;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        const QString name = QString::fromStdString(it->path().filename().string());
        if (name.startsWith(QLatin1Char('.')))
            continue;
        std::error_code typeError;
        const bool wanted = kind == EntryKind::Directory ? it->is_directory(typeError) : it->is_regular_file(typeError);
        if (!wanted || typeError)
            continue;
        if (!matchers.empty() && std::none_of(matchers.begin(), matchers.end(),
                                              [&](const QRegularExpression& m) { return m.match(name).hasMatch(); }))
            continue;
        names << name;
    }
    if (error)
        throw ErrnoError(error.value(), true);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return names;
}

} // namespace dayvell
