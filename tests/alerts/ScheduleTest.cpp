// Scheduled pictures: the moments a schedule holds, the one due after a sleep (once), the next
// one, and the record of the last one sent that outlives a restart.

#include "app/alerts/Schedule.h"

#include "tests/alerts/AlertTestTime.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

ScheduleSettings Settings(const char* times, int every = 0, const char* from = "00:00",
                          const char* to = "24:00", const char* days = "all") {
    ScheduleSettings settings;
    settings.times = times;
    settings.everyMinutes = every;
    settings.from = from;
    settings.to = to;
    settings.days = days;
    return settings;
}

Schedule Parsed(const ScheduleSettings& settings) {
    std::string why;
    std::optional<Schedule> schedule = Schedule::Parse(settings, &why);
    EXPECT_TRUE(schedule) << why;
    return schedule.value_or(Schedule{});
}

TEST(Schedule, TheMomentDueAndTheNext) {
    struct Case {
        const char* name;
        ScheduleSettings settings;
        TimePoint lastSent;
        TimePoint now;
        std::optional<TimePoint> due;
        std::optional<TimePoint> next;
    };
    const Case cases[] = {
        {"a fixed time just passed", Settings("07:00, 12:00,18:00"), At(7, 6, 0), At(7, 7, 0),
         At(7, 7, 0), At(7, 12, 0)},
        {"nothing since the last", Settings("07:00,12:00"), At(7, 7, 0), At(7, 11, 59),
         std::nullopt, At(7, 12, 0)},
        // Slept from 06:00 to 19:00 over three moments: only the latest is due.
        {"a sleep over three moments", Settings("07:00,12:00,18:00"), At(7, 6, 0), At(7, 19, 0),
         At(7, 18, 0), At(8, 7, 0)},
        {"a sleep over days", Settings("07:00"), At(7, 7, 0), At(10, 8, 0), At(10, 7, 0),
         At(11, 7, 0)},
        {"every 30 minutes from 09:00 to 10:00", Settings("", 30, "09:00", "10:00"), At(7, 9, 0),
         At(7, 9, 45), At(7, 9, 30), At(7, 10, 0)},
        {"none after TO", Settings("", 30, "09:00", "10:00"), At(7, 10, 0), At(7, 10, 45),
         std::nullopt, At(8, 9, 0)},
        {"TO 24:00 ends the day", Settings("", 360, "00:00", "24:00"), At(7, 0, 0), At(7, 23, 59),
         At(7, 18, 0), At(8, 0, 0)},
        // 2026-12-07 is a Monday: the weekend's moments are skipped.
        {"weekdays only", Settings("08:00", 0, "00:00", "24:00", "mon-fri"), At(11, 8, 0),
         At(13, 20, 0), std::nullopt, At(14, 8, 0)},
        {"times and steps together", Settings("12:00", 120, "07:00", "11:00"), At(7, 0, 0),
         At(7, 10, 0), At(7, 9, 0), At(7, 11, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Schedule schedule = Parsed(c.settings);
        EXPECT_EQ(schedule.Due(c.lastSent, c.now), c.due);
        EXPECT_EQ(schedule.Next(c.now), c.next);
    }
}

TEST(Schedule, NoMomentsNothingDue) {
    const Schedule schedule = Parsed(Settings(""));
    EXPECT_TRUE(schedule.Empty());
    EXPECT_FALSE(schedule.Due(At(1, 0, 0), At(7, 0, 0)));
    EXPECT_FALSE(schedule.Next(At(7, 0, 0)));
}

TEST(Schedule, RefusedValuesNameTheirKey) {
    struct Case {
        ScheduleSettings settings;
        const char* why;
    };
    const Case cases[] = {
        {Settings("07:00,7.30"), "TIMES: 7.30"},
        {Settings("07:00,"), "TIMES: "},
        {Settings("24:00"), "TIMES: 24:00"},
        {Settings("", 30, "9"), "FROM: 9"},
        {Settings("", 30, "09:00", "24:01"), "TO: 24:01"},
        {Settings("", 30, "10:00", "09:00"), "FROM: 10:00-09:00"},
        {Settings("07:00", 0, "00:00", "24:00", "monday"), "DAYS: monday"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string why;
        EXPECT_FALSE(Schedule::Parse(c.settings, &why));
        EXPECT_EQ(why, c.why);
    }
}

TEST(ScheduleRecord, AMomentMissedWhileOffIsSentOnceAtStart) {
    TempDir dir;
    const std::string path = dir.folder() + kScheduleRecordName;
    const Schedule schedule = Parsed(Settings("07:00,12:00,18:00"));
    {
        ScheduleRecord record(path);
        EXPECT_FALSE(record.Due(schedule, At(7, 6, 0))); // the first start sends nothing past
        const std::optional<TimePoint> due = record.Due(schedule, At(7, 7, 0, 30));
        ASSERT_EQ(due, At(7, 7, 0));
        EXPECT_TRUE(record.MarkSent(*due));
    }
    // Off from 07:01 to 19:00; started again.
    ScheduleRecord restarted(path);
    EXPECT_EQ(restarted.Read(), At(7, 7, 0));
    const std::optional<TimePoint> due = restarted.Due(schedule, At(7, 19, 0));
    ASSERT_EQ(due, At(7, 18, 0));
    restarted.MarkSent(*due);
    EXPECT_FALSE(restarted.Due(schedule, At(7, 19, 1)));
}

TEST(ScheduleRecord, AnUnreadableRecordOrAClockSetBackSendsNothingPast) {
    TempDir dir;
    const std::string path = dir.folder() + kScheduleRecordName;
    const Schedule schedule = Parsed(Settings("07:00"));
    TempDir::WriteFile(path, "not a time\n");
    ScheduleRecord record(path);
    EXPECT_FALSE(record.Read());
    EXPECT_FALSE(record.Due(schedule, At(7, 8, 0)));
    EXPECT_EQ(record.Read(), At(7, 8, 0));

    // The record is ahead of the clock: it is brought back, and the next moment goes.
    ScheduleRecord ahead(path);
    ahead.MarkSent(At(20, 7, 0));
    EXPECT_FALSE(ahead.Due(schedule, At(8, 6, 0)));
    EXPECT_EQ(ahead.Due(schedule, At(8, 7, 0)), At(8, 7, 0));
}

TEST(ScheduleCameras, AllOrNames) {
    EXPECT_TRUE(ParseScheduleCameras(" All ")->all);
    const std::optional<ScheduleCameras> named = ParseScheduleCameras("玄関, garden");
    ASSERT_TRUE(named);
    EXPECT_FALSE(named->all);
    EXPECT_EQ(named->names, (std::vector<std::string>{"玄関", "garden"}));
    for (const char* bad : {"", "玄関,", ",garden"})
        EXPECT_FALSE(ParseScheduleCameras(bad)) << bad;
}

} // namespace
