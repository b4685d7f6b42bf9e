#pragma once
// Moments for the alert and schedule tests: local time is UTC for the whole test program, so
// that a date written here is the moment it names on any machine.

#include "app/alerts/WeekTimes.h"

#include <cstdlib>
#include <ctime>

inline void UseUtcAsLocalTime() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

// 2026-12-07 is a Monday.
inline TimePoint At(int day, int hour, int minute, int second = 0) {
    UseUtcAsLocalTime();
    return LocalMoment(LocalTime{2026, 12, day, 0, 0, 0, 0}, hour * 60 + minute) +
           std::chrono::seconds(second);
}
