// SPDX-License-Identifier: GPL-3.0-or-later
#include "UsEnglishClock.h"

#include "core/DateReading.h"

#include <cstdio>

namespace dayvell::test {

ClockReading UsEnglishClock::at(const CivilDate& date, const CivilTime& time) const {
    static const char* const kDays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
    const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
    char clock[32];
    std::snprintf(clock, sizeof clock, "%d:%02d:%02d %s", hour12, time.minute, time.second,
                  time.hour < 12 ? "AM" : "PM");
    return {kDays[Weekday(date) - 1],
            std::to_string(date.month) + "/" + std::to_string(date.day) + "/" + std::to_string(date.year), clock};
}

} // namespace dayvell::test
