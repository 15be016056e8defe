// SPDX-License-Identifier: GPL-3.0-or-later
#include "DateReading.h"

#include "Charset.h"
#include "Cp1252Case.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <map>
#include <vector>

namespace dayvell {

namespace {

// Full day names, Monday first, of the languages whose names Windows-1252 can hold. Written here in UTF-8 and
// compared in capitals.
constexpr const char* kDayNames[][7] = {
    {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"},
    {"Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag", "Sonntag"},
    {"lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi", "dimanche"},
    {"lunes", "martes", "miércoles", "jueves", "viernes", "sábado", "domingo"},
    {"lunedì", "martedì", "mercoledì", "giovedì", "venerdì", "sabato", "domenica"},
    {"segunda-feira", "terça-feira", "quarta-feira", "quinta-feira", "sexta-feira", "sábado", "domingo"},
    {"maandag", "dinsdag", "woensdag", "donderdag", "vrijdag", "zaterdag", "zondag"},
    {"måndag", "tisdag", "onsdag", "torsdag", "fredag", "lördag", "söndag"},
    {"mandag", "tirsdag", "onsdag", "torsdag", "fredag", "lørdag", "søndag"},
    {"maanantai", "tiistai", "keskiviikko", "torstai", "perjantai", "lauantai", "sunnuntai"},
    {"mánudagur", "þriðjudagur", "miðvikudagur", "fimmtudagur", "föstudagur", "laugardagur", "sunnudagur"},
    {"dilluns", "dimarts", "dimecres", "dijous", "divendres", "dissabte", "diumenge"},
    {"Maandag", "Dinsdag", "Woensdag", "Donderdag", "Vrydag", "Saterdag", "Sondag"},
    {"Senin", "Selasa", "Rabu", "Kamis", "Jumat", "Sabtu", "Minggu"},
    {"astelehena", "asteartea", "asteazkena", "osteguna", "ostirala", "larunbata", "igandea"},
    {"luns", "martes", "mércores", "xoves", "venres", "sábado", "domingo"},
};

std::string Upper(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = static_cast<char>(UpperCode(static_cast<unsigned char>(c)));
    return s;
}

const std::map<std::string, int>& DayNames() {
    static const std::map<std::string, int> names = [] {
        std::map<std::string, int> m;
        for (const auto& language : kDayNames)
            for (int d = 0; d < 7; ++d)
                m.emplace(Upper(Cp1252FromUtf8(language[d])), d + 1);
        return m;
    }();
    return names;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The runs of digits of `text`, each with its length; nothing when something other than a separator stands
// between them, or a run is absurdly long.
std::optional<std::vector<std::pair<int, size_t>>> Numbers(std::string_view text, std::string_view separators) {
    std::vector<std::pair<int, size_t>> numbers;
    size_t i = 0;
    while (i < text.size()) {
        if (IsDigit(text[i])) {
            size_t start = i;
            int value = 0;
            while (i < text.size() && IsDigit(text[i])) {
                if (i - start >= 4)
                    return std::nullopt;
                value = value * 10 + (text[i] - '0');
                ++i;
            }
            numbers.emplace_back(value, i - start);
        } else if (separators.find(text[i]) != std::string_view::npos) {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return numbers;
}

// The month an English month name or its first three letters stand for, or 0.
int MonthNamed(std::string_view word) {
    static constexpr const char* kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                              "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
    const std::string upper = Upper(word);
    for (int m = 0; m < 12; ++m) {
        const std::string_view name = kMonths[m];
        if (upper == name || (upper.size() == 3 && name.starts_with(upper)))
            return m + 1;
    }
    return 0;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

bool IsRealDate(const CivilDate& date) {
    using namespace std::chrono;
    return date.year >= 1 && date.year <= 9999 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           year_month_day(year(date.year), month(static_cast<unsigned>(date.month)),
                          day(static_cast<unsigned>(date.day)))
               .ok();
}

int Weekday(const CivilDate& date) {
    using namespace std::chrono;
    const sys_days days(year_month_day(year(date.year), month(static_cast<unsigned>(date.month)),
                                       day(static_cast<unsigned>(date.day))));
    return static_cast<int>(weekday(days).iso_encoding());
}

int WeekdayNamed(std::string_view name) {
    const auto& names = DayNames();
    const auto it = names.find(Upper(Trim(name)));
    return it == names.end() ? 0 : it->second;
}

std::optional<CivilDate> ReadDateLine(std::string_view dateLine) {
    // The program writes the weekday, a comma and a blank, then the short date.
    int weekday = 0;
    std::string_view date = dateLine;
    if (const size_t comma = dateLine.find(", "); comma != std::string_view::npos) {
        weekday = WeekdayNamed(dateLine.substr(0, comma));
        date = dateLine.substr(comma + 2);
    }
    // A month by its English name, as the program writes dates where the system names no locale ("5 Dec 2026").
    std::string digits(Trim(date));
    int month = 0;
    for (std::size_t i = 0; i < digits.size();) {
        if (!std::isalpha(static_cast<unsigned char>(digits[i]))) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < digits.size() && std::isalpha(static_cast<unsigned char>(digits[end])))
            ++end;
        const int named = MonthNamed(std::string_view(digits).substr(i, end - i));
        if (named == 0 || month != 0)
            return std::nullopt;
        month = named;
        digits.replace(i, end - i, end - i, ' ');
        i = end;
    }
    const auto numbers = Numbers(Trim(digits), month ? "/.-, " : "/.- ");
    if (!numbers || numbers->size() != (month ? 2u : 3u))
        return std::nullopt;
    const auto& n = *numbers;
    std::vector<CivilDate> readings;
    if (month) {
        if (n[0].second <= 2 && n[1].second == 4)
            readings.push_back({n[1].first, month, n[0].first});
        else if (n[0].second == 4 && n[1].second <= 2)
            readings.push_back({n[0].first, month, n[1].first});
    } else if (n[0].second == 4 && n[1].second <= 2 && n[2].second <= 2) {
        readings.push_back({n[0].first, n[1].first, n[2].first});
    } else if (n[2].second == 4 && n[0].second <= 2 && n[1].second <= 2) {
        readings.push_back({n[2].first, n[0].first, n[1].first});
        readings.push_back({n[2].first, n[1].first, n[0].first});
    }
    std::optional<CivilDate> found;
    for (const CivilDate& d : readings) {
        if (!IsRealDate(d) || (weekday != 0 && Weekday(d) != weekday))
            continue;
        if (found && (found->month != d.month || found->day != d.day))
            return std::nullopt; // two different days: nothing decides between them
        found = d;
    }
    return found;
}

std::optional<CivilTime> ReadTimeText(std::string_view timeText) {
    // Hours, minutes and perhaps seconds, with a morning or afternoon mark before or after them.
    const size_t first = timeText.find_first_of("0123456789");
    if (first == std::string_view::npos)
        return std::nullopt;
    size_t last = first;
    while (last < timeText.size() && (IsDigit(timeText[last]) || timeText[last] == ':' || timeText[last] == '.'))
        ++last;
    // A mark such as "a.m." may follow at once: the clock ends with its last digit.
    while (last > first && !IsDigit(timeText[last - 1]))
        --last;
    const auto numbers = Numbers(timeText.substr(first, last - first), ":.");
    if (!numbers || numbers->size() < 2 || numbers->size() > 3)
        return std::nullopt;
    for (const auto& [value, digits] : *numbers)
        if (digits > 2)
            return std::nullopt;
    std::string mark;
    for (char c : std::string(timeText.substr(0, first)) + std::string(timeText.substr(last)))
        if (c != ' ' && c != '.')
            mark += static_cast<char>(UpperCode(static_cast<unsigned char>(c)));
    CivilTime t{(*numbers)[0].first, (*numbers)[1].first, numbers->size() == 3 ? (*numbers)[2].first : 0};
    if (t.minute > 59 || t.second > 59)
        return std::nullopt;
    if (mark.empty())
        return t.hour <= 23 ? std::optional(t) : std::nullopt;
    if ((mark != "AM" && mark != "PM") || t.hour < 1 || t.hour > 12)
        return std::nullopt;
    t.hour = t.hour % 12 + (mark == "PM" ? 12 : 0);
    return t;
}

std::string IsoDate(const CivilDate& date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

std::string IsoTime(const CivilTime& time) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return text;
}

std::optional<CivilDate> ParseIsoDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto numbers = Numbers(text, "-");
    if (!numbers || numbers->size() != 3 || (*numbers)[0].second != 4 || (*numbers)[1].second != 2)
        return std::nullopt;
    const CivilDate d{(*numbers)[0].first, (*numbers)[1].first, (*numbers)[2].first};
    return IsRealDate(d) ? std::optional(d) : std::nullopt;
}

std::optional<CivilTime> ParseIsoTime(std::string_view text) {
    if ((text.size() != 5 && text.size() != 8) || text[2] != ':' || (text.size() == 8 && text[5] != ':'))
        return std::nullopt;
    const auto numbers = Numbers(text, ":");
    if (!numbers)
        return std::nullopt;
    for (const auto& [value, digits] : *numbers)
        if (digits != 2)
            return std::nullopt;
    const CivilTime t{(*numbers)[0].first, (*numbers)[1].first, numbers->size() == 3 ? (*numbers)[2].first : 0};
    if (t.hour > 23 || t.minute > 59 || t.second > 59)
        return std::nullopt;
    return t;
}

} // namespace dayvell
