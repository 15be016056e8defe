// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Clock.h"

#include <QDateTime>
#include <QLocale>

#include <functional>

namespace dayvell {

// The locale's formats, made to fit what the program stamps into books (quoted literals are left alone).
// A short date with a four-digit year: "M/d/yy" becomes "M/d/yyyy".
QString FourDigitYear(const QString& dateFormat);
// A time without its time zone: "h:mm:ss AP t" becomes "h:mm:ss AP".
QString WithoutTimeZone(const QString& timeFormat);

class SystemClock : public Clock {
public:
    // The defaults are the system's locale and the current time; tests fix both.
    explicit SystemClock(
        QLocale locale = QLocale::system(),
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); });

    ClockReading now() const override;
    std::string shortDate() const override;
    std::string weekdayName() const override;
    std::string timeText() const override;
    ClockReading at(const CivilDate& date, const CivilTime& time) const override;

private:
    std::string shortDate(const QDateTime& moment) const;
    std::string weekdayName(const QDateTime& moment) const;
    std::string timeText(const QDateTime& moment) const;

    QLocale m_locale;
    std::function<QDateTime()> m_now;
};

} // namespace dayvell
