// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"

#include <optional>
#include <string>
#include <string_view>

namespace dayvell {

// Reading back the dates and times stamped on pages. A book does not record the locale it was written in, so a
// date line is read with every short-date order the program's locales use: day, month and year in any of the
// orders M/d/yyyy (US English), d/M/yyyy, d.M.yyyy, d-M-yyyy and yyyy-M-d, separated by "/", ".", "-" or blanks.
// Where two orders give different days, the weekday named at the start of the line decides: the date must fall
// on that weekday. What still has more than one reading, or none, is left unread.

// The day of a date line such as "Saturday, 12/5/2026" or "samedi, 05/12/2026".
std::optional<CivilDate> ReadDateLine(std::string_view dateLine);
// The time of day of a page's time such as "1:46:33 PM" or "13.46.33".
std::optional<CivilTime> ReadTimeText(std::string_view timeText);

// ISO 8601: "2026-12-05" and "13:46:33".
std::string IsoDate(const CivilDate& date);
std::string IsoTime(const CivilTime& time);
// Exactly "YYYY-MM-DD" naming a real day, and "HH:MM" or "HH:MM:SS" naming a real time of day.
std::optional<CivilDate> ParseIsoDate(std::string_view text);
std::optional<CivilTime> ParseIsoTime(std::string_view text);

bool IsRealDate(const CivilDate& date);
// 1 for Monday to 7 for Sunday.
int Weekday(const CivilDate& date);
// The weekday a name stands for in one of the languages the program is used in (letter case ignored), or 0.
int WeekdayNamed(std::string_view name);

} // namespace dayvell
