// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Clock.h"

#include <string>

namespace dayvell::test {

// The clock's texts as a system set to United States English makes them ("Saturday", "12/5/2026", "1:46:33 PM"),
// without the window system; `now` is fixed.
class UsEnglishClock : public Clock {
public:
    explicit UsEnglishClock(CivilDate date = {2026, 12, 5}, CivilTime time = {13, 46, 33})
        : m_date(date), m_time(time) {}

    ClockReading now() const override { return at(m_date, m_time); }
    std::string shortDate() const override { return now().shortDate; }
    std::string weekdayName() const override { return now().weekdayName; }
    std::string timeText() const override { return now().timeText; }
    ClockReading at(const CivilDate& date, const CivilTime& time) const override;

private:
    CivilDate m_date;
    CivilTime m_time;
};

} // namespace dayvell::test
