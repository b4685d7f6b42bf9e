#include "base/Clock.h"

#include <array>
#include <ctime>

namespace {

constexpr std::array<std::string_view, 7> kEnglishWeekdays = {"Sun", "Mon", "Tue", "Wed",
                                                              "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 7> kJapaneseWeekdays = {"日", "月", "火", "水",
                                                               "木", "金", "土"};

std::size_t WeekdayIndex(int weekday) {
    return static_cast<std::size_t>(((weekday % 7) + 7) % 7);
}

} // namespace

std::string_view EnglishWeekday(int weekday) {
    return kEnglishWeekdays[WeekdayIndex(weekday)];
}

std::string_view JapaneseWeekday(int weekday) {
    return kJapaneseWeekdays[WeekdayIndex(weekday)];
}

LocalTime SystemClock::LocalNow() const {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    LocalTime time;
    time.year = parts.tm_year + 1900;
    time.month = parts.tm_mon + 1;
    time.day = parts.tm_mday;
    time.weekday = parts.tm_wday;
    time.hour = parts.tm_hour;
    time.minute = parts.tm_min;
    time.second = parts.tm_sec;
    return time;
}
