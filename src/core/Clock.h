// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace dayvell {

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
};

} // namespace dayvell
