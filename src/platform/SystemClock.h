// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Clock.h"

#include <QDateTime>
#include <QLocale>

#include <functional>

namespace dayvell {

// The formats of the user's locale, made to fit what the program stamps into books.
// The short date with a four-digit year: "M/d/yy" becomes "M/d/yyyy".
QString ShortDateFormat(const QLocale& locale);
// The time with seconds and without a time zone: "h:mm:ss AP t" becomes "h:mm:ss AP".
QString TimeFormat(const QLocale& locale);

class SystemClock : public Clock {
public:
    // The defaults are the system's locale and the current time; tests fix both.
    explicit SystemClock(
        QLocale locale = QLocale::system(),
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); });

    std::string shortDate() const override;
    std::string weekdayName() const override;
    std::string timeText() const override;

private:
    QLocale m_locale;
    std::function<QDateTime()> m_now;
};

} // namespace dayvell
