#pragma once
// Scheduled pictures (section SCHEDULE): fixed times (TIMES) and/or every EVERY_MINUTES minutes
// from FROM to TO, on the weekdays of DAYS (which hold for both). A moment passed while the
// machine slept or the program was off is sent once afterwards, not once for each moment missed:
// Due() names only the latest moment not yet sent.

#include "app/alerts/WeekTimes.h"
#include "base/Settings.h"

#include <optional>
#include <string>
#include <vector>

class Schedule {
public:
    // No moments at all.
    Schedule() = default;

    // nullopt when a value is not of its form; *why (when given) then names the key and the
    // part at fault ("TIMES: 7.00").
    static std::optional<Schedule> Parse(const ScheduleSettings& settings,
                                         std::string* why = nullptr);

    bool Empty() const { return m_minutes.empty() || m_days == 0; }
    // The latest scheduled moment after lastSent and at or before now; nullopt when none.
    std::optional<TimePoint> Due(TimePoint lastSent, TimePoint now) const;
    // The first scheduled moment after now (for the status line); nullopt when there is none.
    std::optional<TimePoint> Next(TimePoint now) const;

private:
    std::vector<int> m_minutes; // the moments of a chosen day, minutes after midnight, ascending
    WeekdaySet m_days = 0;
};

// The last scheduled moment sent, kept in a small file of the program folder so that a moment
// missed while the program was off is sent once when it starts.
class ScheduleRecord {
public:
    explicit ScheduleRecord(std::string path);

    // The moment due now, if any. With no record yet (the first start) or one later than now
    // (the clock was set back), now is recorded as sent: nothing from before is sent.
    std::optional<TimePoint> Due(const Schedule& schedule, TimePoint now);
    // After the mail for moment went out. False when the file could not be written (*why the
    // system's reason); the moment then counts as sent for this run all the same.
    bool MarkSent(TimePoint moment, std::string* why = nullptr);

    // The file's record; nullopt for no file or contents that are not a record.
    std::optional<TimePoint> Read() const;

private:
    std::string m_path;
    std::optional<TimePoint> m_lastSent; // as read or written in this run
};

inline constexpr const char* kScheduleRecordName = "schedule-sent.txt";

// SCHEDULE.CAMERAS: "all", or camera names separated by "," (blanks around each removed).
// nullopt for an empty text or an empty name; which names exist is the caller's to say.
struct ScheduleCameras {
    bool all = true;
    std::vector<std::string> names;
};
std::optional<ScheduleCameras> ParseScheduleCameras(const std::string& text, std::string* why = nullptr);
