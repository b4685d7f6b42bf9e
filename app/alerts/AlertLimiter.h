#pragma once
// How many motion alerts go out: at most one per camera per interval (ALERT.INTERVAL_MINUTES)
// and at most a number per camera per local day (ALERT.MAX_PER_DAY). What is held back is
// counted, and the next alert sent for that camera says so ("and 3 more since 10:42").
//
// Kept in memory only: a restart starts each camera's day afresh. The interval and the cap
// bound a mailbox's load within one run; a program restarted many times a day is a fault of
// its own that the log shows.

#include "app/alerts/WeekTimes.h"

#include <map>
#include <optional>
#include <string>

struct AlertDecision {
    bool send = false;
    // With send: the alerts held back since the last one sent for this camera, and when the
    // first of them was.
    int heldBack = 0;
    std::optional<TimePoint> heldSince;
};

class AlertLimiter {
public:
    AlertLimiter(std::chrono::minutes interval, int maxPerDay);

    // Motion seen by camera at the moment given: send an alert now, or hold it back (counted).
    AlertDecision Offer(const std::string& camera, TimePoint at);

private:
    struct CameraState {
        std::optional<TimePoint> lastSent;
        long day = 0; // LocalDayNumber of sentToday's day
        int sentToday = 0;
        int heldBack = 0;
        std::optional<TimePoint> heldSince;
    };
    std::chrono::minutes m_interval;
    int m_maxPerDay;
    std::map<std::string, CameraState> m_cameras;
};
