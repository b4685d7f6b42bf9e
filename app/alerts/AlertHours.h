#pragma once
// When motion alerts may be sent (ALERT.HOURS): "always", or rules separated by ";", each
// weekdays then time ranges or "always": "mon-fri 22:00-06:00; sat,sun always". A rule without
// weekdays holds every day. A range over midnight belongs to the day it starts on: "fri
// 22:00-06:00" covers Saturday 03:00.

#include "app/alerts/WeekTimes.h"
#include "base/Clock.h"

#include <optional>
#include <string>
#include <vector>

class AlertHours {
public:
    // Every hour of every day.
    AlertHours();

    // nullopt for text that is not of this form; *why (when given) then names the rule at fault.
    static std::optional<AlertHours> Parse(const std::string& text, std::string* why = nullptr);

    bool Allows(const LocalTime& time) const;

private:
    struct Range {
        WeekdaySet days = kEveryDay;
        int start = 0;            // minutes since midnight
        int end = kMinutesPerDay; // up to 1440; below start: runs into the next day
    };
    std::vector<Range> m_ranges;
};
