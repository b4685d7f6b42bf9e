#include "app/alerts/WeekTimes.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"sun", "mon", "tue", "wed",
                                                       "thu", "fri", "sat"};

std::optional<int> DayIndex(std::string_view name) {
    name = StripBlanks(name);
    if (name.size() != 3)
        return std::nullopt;
    for (std::size_t i = 0; i < kDayNames.size(); ++i) {
        bool same = true;
        for (std::size_t k = 0; k < 3; ++k)
            same = same && std::tolower(static_cast<unsigned char>(name[k])) == kDayNames[i][k];
        if (same)
            return static_cast<int>(i);
    }
    return std::nullopt;
}

bool Digits(std::string_view text) {
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return !text.empty();
}

} // namespace

std::string_view StripBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::optional<int> ParseTimeOfDay(std::string_view text, bool endOfDay) {
    text = StripBlanks(text);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    const std::string_view hours = text.substr(0, colon);
    const std::string_view minutes = text.substr(colon + 1);
    if (!Digits(hours) || !Digits(minutes))
        return std::nullopt;
    const int h = hours.size() == 1 ? hours[0] - '0' : (hours[0] - '0') * 10 + (hours[1] - '0');
    const int m = (minutes[0] - '0') * 10 + (minutes[1] - '0');
    if (m > 59 || h > 24 || (h == 24 && (m != 0 || !endOfDay)))
        return std::nullopt;
    return h * 60 + m;
}

std::string FormatTimeOfDay(int minutes) {
    char out[8];
    std::snprintf(out, sizeof out, "%02d:%02d", (minutes / 60) % 100, minutes % 60);
    return out;
}

std::optional<WeekdaySet> ParseWeekdays(std::string_view text) {
    text = StripBlanks(text);
    if (text.size() == 3 && (text[0] | 0x20) == 'a' && (text[1] | 0x20) == 'l' &&
        (text[2] | 0x20) == 'l')
        return kEveryDay;
    WeekdaySet days = 0;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        const std::size_t dash = part.find('-');
        const std::optional<int> first = DayIndex(part.substr(0, dash));
        const std::optional<int> last =
            dash == std::string_view::npos ? first : DayIndex(part.substr(dash + 1));
        if (!first || !last)
            return std::nullopt;
        for (int d = *first;; d = (d + 1) % 7) {
            days = static_cast<WeekdaySet>(days | (1u << d));
            if (d == *last)
                break;
        }
        if (comma == std::string_view::npos)
            return days;
        text = text.substr(comma + 1);
    }
}

LocalTime ToLocalTime(TimePoint moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_wday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

LocalTime AddDays(const LocalTime& date, int days) {
    // Noon, so that no change of summer time moves it to another day.
    std::tm parts{};
    parts.tm_year = date.year - 1900;
    parts.tm_mon = date.month - 1;
    parts.tm_mday = date.day + days;
    parts.tm_hour = 12;
    parts.tm_isdst = -1;
    std::mktime(&parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_wday, 0, 0, 0};
}

TimePoint LocalMoment(const LocalTime& date, int minutes) {
    std::tm parts{};
    parts.tm_year = date.year - 1900;
    parts.tm_mon = date.month - 1;
    parts.tm_mday = date.day;
    parts.tm_hour = 0;
    parts.tm_min = minutes;
    parts.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&parts));
}

long LocalDayNumber(const LocalTime& date) {
    // Days from the civil date (Howard Hinnant's days_from_civil).
    const int y = date.year - (date.month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
