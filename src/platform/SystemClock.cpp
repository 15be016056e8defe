// SPDX-License-Identifier: GPL-3.0-or-later
#include "SystemClock.h"

#include "Text.h"

#include <QRegularExpression>

namespace dayvell {

namespace {

// Applies `edit` to the parts of a Qt date/time format outside quoted literals.
template <class Edit> QString EditOutsideQuotes(const QString& format, Edit edit) {
    const QStringList parts = format.split(QLatin1Char('\''));
    QStringList edited;
    for (qsizetype i = 0; i < parts.size(); ++i)
        edited << (i % 2 == 0 ? edit(parts[i]) : parts[i]);
    return edited.join(QLatin1Char('\''));
}

} // namespace

QString FourDigitYear(const QString& dateFormat) {
    return EditOutsideQuotes(dateFormat, [](QString part) {
        static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
        return part.replace(twoDigitYear, QStringLiteral("yyyy"));
    });
}

QString WithoutTimeZone(const QString& timeFormat) {
    QString format = EditOutsideQuotes(timeFormat, [](QString part) {
        static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
        return part.replace(zone, QStringLiteral(" "));
    });
    return format.trimmed();
}

SystemClock::SystemClock(QLocale locale, std::function<QDateTime()> now)
    : m_locale(std::move(locale)), m_now(std::move(now)) {}

ClockReading SystemClock::now() const {
    const QDateTime moment = m_now();
    return {weekdayName(moment), shortDate(moment), timeText(moment)};
}

ClockReading SystemClock::at(const CivilDate& date, const CivilTime& time) const {
    const QDateTime moment(QDate(date.year, date.month, date.day), QTime(time.hour, time.minute, time.second));
    return {weekdayName(moment), shortDate(moment), timeText(moment)};
}

std::string SystemClock::shortDate() const {
    return shortDate(m_now());
}

std::string SystemClock::weekdayName() const {
    return weekdayName(m_now());
}

std::string SystemClock::timeText() const {
    return timeText(m_now());
}

std::string SystemClock::shortDate(const QDateTime& moment) const {
    const QString format = FourDigitYear(m_locale.dateFormat(QLocale::ShortFormat));
    return LossyCp1252FromQString(m_locale.toString(moment.date(), format));
}

std::string SystemClock::weekdayName(const QDateTime& moment) const {
    return LossyCp1252FromQString(m_locale.dayName(moment.date().dayOfWeek(), QLocale::LongFormat));
}

std::string SystemClock::timeText(const QDateTime& moment) const {
    // The long format is the one that carries seconds; it also names the time zone, which a page's time does not.
    const QString format = WithoutTimeZone(m_locale.timeFormat(QLocale::LongFormat));
    return LossyCp1252FromQString(m_locale.toString(moment.time(), format));
}

} // namespace dayvell
