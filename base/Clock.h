#pragma once
// The wall clock as the log and the picture names see it: broken-down local time. Behind an
// interface so that tests can fix the time.

#include <string_view>

struct LocalTime {
    int year = 1970; // e.g. 2026
    int month = 1;   // 1 to 12
    int day = 1;     // 1 to 31
    int weekday = 4; // 0 = Sunday … 6 = Saturday
    int hour = 0;    // 0 to 23
    int minute = 0;  // 0 to 59
    int second = 0;  // 0 to 60
};

// The weekday's name, 0 = Sunday … 6 = Saturday; any other number counts modulo 7.
// English: "Sun" … "Sat" (mail dates, the stamp's %W); Japanese: "日" … "土" (the log, the
// reply's text, the stamp's %w).
std::string_view EnglishWeekday(int weekday);
std::string_view JapaneseWeekday(int weekday);

class IClock {
public:
    virtual ~IClock() = default;
    virtual LocalTime LocalNow() const = 0;
};

// The system clock in the process's time zone (localtime_r).
class SystemClock final : public IClock {
public:
    LocalTime LocalNow() const override;
};

// A clock that shows whatever time it was last given.
class FixedClock final : public IClock {
public:
    FixedClock() = default;
    explicit FixedClock(const LocalTime& time) : m_time(time) {}
    void Set(const LocalTime& time) { m_time = time; }
    LocalTime LocalNow() const override { return m_time; }

private:
    LocalTime m_time;
};
