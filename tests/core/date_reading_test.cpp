// SPDX-License-Identifier: GPL-3.0-or-later
// Reading back the dates and times stamped on pages, whatever locale wrote them.
#include "core/Charset.h"
#include "core/DateReading.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace dayvell;

namespace {

std::optional<std::string> IsoOfDateLine(const std::string& utf8) {
    const auto date = ReadDateLine(Cp1252FromUtf8(utf8));
    return date ? std::optional(IsoDate(*date)) : std::nullopt;
}

std::optional<std::string> IsoOfTime(const std::string& utf8) {
    const auto time = ReadTimeText(Cp1252FromUtf8(utf8));
    return time ? std::optional(IsoTime(*time)) : std::nullopt;
}

TEST(DateReading, DateLinesOfEveryShortDateOrderAreRead) {
    struct Case {
        const char* line;
        std::optional<std::string> iso;
    };
    const Case cases[] = {
        {"Saturday, 12/5/2026", "2026-12-05"},   // US English, M/d/yyyy
        {"samedi, 05/12/2026", "2026-12-05"},    // French, dd/MM/yyyy
        {"Samstag, 5.12.2026", "2026-12-05"},    // German, d.M.yyyy
        {"zaterdag, 5-12-2026", "2026-12-05"},   // Dutch, d-M-yyyy
        {"lördag, 2026-12-05", "2026-12-05"},    // Swedish, yyyy-MM-dd
        {"sábado, 5/12/2026", "2026-12-05"},     // Spanish, accented name
        {"lauantai, 5.12.2026.", "2026-12-05"},  // a trailing dot
        {"SATURDAY, 12/5/2026", "2026-12-05"},   // letter case of the name does not matter
        {"Friday, 13/3/2026", "2026-03-13"},     // only one order makes a day of it
        {"Wednesday, 12/31/2025", "2025-12-31"}, // ditto, the other way round
        {"Thursday, 2/29/2024", "2024-02-29"},   // a leap day
        {"Someday, 13/3/2026", "2026-03-13"},    // an unknown name does not matter when one reading is left
        {"12/12/2026", "2026-12-12"},            // both orders give the same day
        // Left unread: the weekday cannot decide, the name contradicts every reading, or nothing is a date.
        {"Someday, 3/4/2026", std::nullopt},     // 4 March or 3 April, and no known name to decide
        {"3/4/2026", std::nullopt},              // no name at all
        {"Sunday, 12/5/2026", std::nullopt},     // neither 5 December nor 12 May 2026 is a Sunday
        {"Saturday, 2/30/2026", std::nullopt},   // no such day
        {"Saturday, 12/5/26", std::nullopt},     // a two-digit year
        {"Saturday, 12/5/2026/1", std::nullopt}, // four numbers
        {"Saturday, 123456789/5/2026", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsoOfDateLine(c.line), c.iso) << c.line;
}

TEST(DateReading, TheWeekdayDecidesBetweenTwoDays) {
    // 3/4/2026 is 4 March (a Wednesday) in the US order and 3 April (a Friday) in the day-first order.
    EXPECT_EQ(IsoOfDateLine("Wednesday, 3/4/2026"), "2026-03-04");
    EXPECT_EQ(IsoOfDateLine("Friday, 3/4/2026"), "2026-04-03");
    EXPECT_EQ(IsoOfDateLine("vendredi, 03/04/2026"), "2026-04-03");
    EXPECT_EQ(IsoOfDateLine("Monday, 3/4/2026"), std::nullopt);
}

TEST(DateReading, TimesInTwelveAndTwentyFourHourClocks) {
    struct Case {
        const char* text;
        std::optional<std::string> iso;
    };
    const Case cases[] = {
        {"1:46:33 PM", "13:46:33"},    {"12:00:00 AM", "00:00:00"},
        {"12:30:00 PM", "12:30:00"},   {"11:59:59 PM", "23:59:59"},
        {"9:05:00 a.m.", "09:05:00"},  {"9:05:00 p. m.", "21:05:00"},
        {"PM 1:46:33", "13:46:33"},    {"13:46:33", "13:46:33"},
        {"13.46.33", "13:46:33"}, // Finnish
        {"0:00:00", "00:00:00"},       {"8:15", "08:15:00"},
        {"13:46:33 PM", std::nullopt}, // no thirteen o'clock in the afternoon
        {"0:10:00 AM", std::nullopt},  {"24:00:00", std::nullopt},
        {"12:60:00", std::nullopt},    {"1:46:33 nachm.", std::nullopt}, // a mark that is not known
        {"146:33", std::nullopt},      {"1:2:3:4", std::nullopt},
        {"noon", std::nullopt},        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsoOfTime(c.text), c.iso) << c.text;
}

TEST(DateReading, IsoTextsAreReadExactly) {
    EXPECT_EQ(IsoDate(*ParseIsoDate("2024-02-29")), "2024-02-29");
    for (const char* bad : {"2023-02-29", "2026-1-05", "26-12-05", "2026/12/05", "2026-12-05T10:00", "", "abcd-ef-gh"})
        EXPECT_FALSE(ParseIsoDate(bad)) << bad;
    EXPECT_EQ(IsoTime(*ParseIsoTime("09:15")), "09:15:00");
    EXPECT_EQ(IsoTime(*ParseIsoTime("23:59:59")), "23:59:59");
    for (const char* bad : {"9:15", "24:00", "12:60", "12:00:60", "12-00", "", "12:00:00.5"})
        EXPECT_FALSE(ParseIsoTime(bad)) << bad;
}

TEST(DateReading, WeekdaysAndTheirNames) {
    EXPECT_EQ(Weekday({2026, 12, 5}), 6);
    EXPECT_EQ(Weekday({2000, 1, 1}), 6);
    EXPECT_EQ(Weekday({2024, 2, 29}), 4);
    EXPECT_EQ(WeekdayNamed("Sunday"), 7);
    EXPECT_EQ(WeekdayNamed(Cp1252FromUtf8("MIÉRCOLES")), 3);
    EXPECT_EQ(WeekdayNamed("Caturday"), 0);
}

} // namespace
