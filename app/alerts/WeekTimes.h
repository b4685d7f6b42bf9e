#pragma once
// The pieces the alert hours and the schedule are written in: times of day "HH:MM" and weekdays
// "mon", "mon-fri", "sat,sun", "all".

#include "base/Clock.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr int kMinutesPerDay = 24 * 60;

// "07:00" -> 420. Hours 00 to 23 (one or two digits), minutes two digits; with endOfDay, also
// "24:00" (1440), the end of a range.
std::optional<int> ParseTimeOfDay(std::string_view text, bool endOfDay = false);

// "HH:MM" of minutes since midnight (1440 is "24:00").
std::string FormatTimeOfDay(int minutes);

// A set of weekdays, bit n for weekday n (0 = Sunday ... 6 = Saturday, as LocalTime counts).
using WeekdaySet = uint8_t;
inline constexpr WeekdaySet kEveryDay = 0x7F;
inline bool HasWeekday(WeekdaySet days, int weekday) {
    return (days >> (((weekday % 7) + 7) % 7)) & 1;
}

// "all", or days and ranges separated by ",": "mon,wed", "mon-fri", "fri-mon" (over the week's
// end); English three-letter names in any letter case. nullopt for anything else or nothing.
std::optional<WeekdaySet> ParseWeekdays(std::string_view text);

// Blanks (spaces, tabs) around text removed.
std::string_view StripBlanks(std::string_view text);

// Moments and the local calendar (the process's time zone, as base/Clock.h's SystemClock).
using TimePoint = std::chrono::system_clock::time_point;

// The local time of a moment.
LocalTime ToLocalTime(TimePoint moment);
// The date days after (or before) date's, its weekday set; the time of day is left at 00:00.
LocalTime AddDays(const LocalTime& date, int days);
// The moment of minutes after midnight of date's day, in local time (a time a change to summer
// time skips reads as the moment after it).
TimePoint LocalMoment(const LocalTime& date, int minutes);
// The day's number, the same for every moment of one local day and one more the next day.
long LocalDayNumber(const LocalTime& date);
