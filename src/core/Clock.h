// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace dayvell {

// A day of the calendar and a time of day, as numbers: month and day from 1, hour from 0 to 23.
struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};
struct CivilTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The weekday, date and time of one moment, as the texts below.
struct ClockReading {
    std::string weekdayName;
    std::string shortDate;
    std::string timeText;
};

// Today's date and the time, as texts in the user's locale (Windows-1252 bytes).
class Clock {
public:
    virtual ~Clock() = default;
    // All three texts from a single look at the clock: taken one by one, they could fall on both sides of midnight.
    virtual ClockReading now() const = 0;
    // Short date with a four-digit year, e.g. "12/5/2026".
    virtual std::string shortDate() const = 0;
    // Full name of today's weekday, e.g. "Saturday".
    virtual std::string weekdayName() const = 0;
    // Time with seconds and without a time zone, e.g. "1:46:33 PM".
    virtual std::string timeText() const = 0;
    // The same texts for another moment: what a page written then would have been stamped with.
    virtual ClockReading at(const CivilDate& date, const CivilTime& time) const = 0;
};

} // namespace dayvell
