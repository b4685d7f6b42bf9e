// When alerts may go (ALERT.HOURS), how many go (the interval, the daily cap, what was held
// back) and the texts they carry.

#include "app/alerts/AlertHours.h"
#include "app/alerts/AlertLimiter.h"
#include "app/alerts/MailTexts.h"
#include "tests/alerts/AlertTestTime.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

LocalTime Weekday(int weekday, int hour, int minute) {
    return {2026, 12, 6 + weekday, weekday, hour, minute, 0}; // 2026-12-06 is a Sunday
}

TEST(AlertHours, ReadAndAllowedAtTheClocksTime) {
    struct Case {
        const char* hours;
        LocalTime time;
        bool allowed;
    };
    constexpr int kSun = 0, kMon = 1, kFri = 5, kSat = 6;
    const Case cases[] = {
        {"always", Weekday(kMon, 12, 0), true},
        {"ALWAYS", Weekday(kSun, 3, 0), true},
        {"mon-fri 22:00-06:00; sat,sun always", Weekday(kMon, 23, 30), true},
        {"mon-fri 22:00-06:00; sat,sun always", Weekday(kMon, 12, 0), false},
        {"mon-fri 22:00-06:00; sat,sun always", Weekday(kSun, 12, 0), true},
        // Over midnight, the range belongs to the day it starts on.
        {"mon-fri 22:00-06:00; sat,sun always", Weekday(kMon, 5, 59), false}, // Sunday's night
        {"fri 22:00-06:00", Weekday(kSat, 5, 59), true},
        {"fri 22:00-06:00", Weekday(kSat, 6, 0), false},
        {"fri 22:00-06:00", Weekday(kFri, 3, 0), false},
        {"sat 22:00-06:00", Weekday(kSun, 1, 0), true}, // over the week's end
        {"22:00-06:00", Weekday(kMon, 2, 0), true},     // every day without weekdays
        {"sat, sun always", Weekday(kSun, 9, 0), true},
        {"mon 09:00-12:00, 13:00-24:00", Weekday(kMon, 23, 59), true},
        {"mon 09:00-12:00, 13:00-24:00", Weekday(kMon, 12, 30), false},
        {"mon 09:00-12:00, 13:00-24:00", Weekday(kMon, 12, 0), false}, // the end is not in it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hours);
        const std::optional<AlertHours> hours = AlertHours::Parse(c.hours);
        ASSERT_TRUE(hours);
        FixedClock clock(c.time);
        EXPECT_EQ(hours->Allows(clock.LocalNow()), c.allowed)
            << c.time.weekday << " " << c.time.hour << ":" << c.time.minute;
    }
}

TEST(AlertHours, RefusedTextsNameTheRuleAtFault) {
    struct Case {
        const char* hours;
        const char* why;
    };
    const Case cases[] = {
        {"", ""},
        {"sometimes", "sometimes"},
        {"mon-fri 22:00-6", "mon-fri 22:00-6"},
        {"mon-fri 25:00-06:00", "mon-fri 25:00-06:00"},
        {"always; xyz 10:00-11:00", "xyz 10:00-11:00"},
        {"mon", "mon"}, // weekdays without hours
        {"monday 10:00-11:00", "monday 10:00-11:00"},
        {"mon always-ish", "mon always-ish"},
        {"mon 10:00-10:00", "mon 10:00-10:00"}, // an empty range
        {"mon 24:00-06:00", "mon 24:00-06:00"}, // 24:00 only ends a range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hours);
        std::string why;
        EXPECT_FALSE(AlertHours::Parse(c.hours, &why));
        EXPECT_EQ(why, c.why);
    }
}

TEST(AlertLimiter, OneAlertPerCameraPerIntervalAndTheHeldBackCounted) {
    AlertLimiter limiter(10min, 48);
    const AlertDecision first = limiter.Offer("玄関", At(7, 10, 40));
    EXPECT_TRUE(first.send);
    EXPECT_EQ(first.heldBack, 0);
    EXPECT_TRUE(limiter.Offer("garden", At(7, 10, 41)).send); // another camera counts apart
    EXPECT_FALSE(limiter.Offer("玄関", At(7, 10, 42)).send);
    EXPECT_FALSE(limiter.Offer("玄関", At(7, 10, 45)).send);
    EXPECT_FALSE(limiter.Offer("玄関", At(7, 10, 49, 59)).send);
    const AlertDecision next = limiter.Offer("玄関", At(7, 10, 50));
    EXPECT_TRUE(next.send);
    EXPECT_EQ(next.heldBack, 3);
    EXPECT_EQ(next.heldSince, At(7, 10, 42));
    const AlertDecision after = limiter.Offer("玄関", At(7, 11, 0));
    EXPECT_TRUE(after.send);
    EXPECT_EQ(after.heldBack, 0); // counted once only
    EXPECT_FALSE(after.heldSince);
}

TEST(AlertLimiter, TheDailyCapEndsAtLocalMidnight) {
    AlertLimiter limiter(1min, 3);
    for (int minute : {0, 10, 20})
        EXPECT_TRUE(limiter.Offer("玄関", At(7, 23, minute)).send);
    EXPECT_FALSE(limiter.Offer("玄関", At(7, 23, 30)).send);
    EXPECT_FALSE(limiter.Offer("玄関", At(7, 23, 59)).send);
    const AlertDecision morning = limiter.Offer("玄関", At(8, 0, 0));
    EXPECT_TRUE(morning.send);
    EXPECT_EQ(morning.heldBack, 2); // held back before midnight, said after it
    EXPECT_EQ(morning.heldSince, At(7, 23, 30));
}

TEST(AlertLimiter, AClockSetBackDoesNotSilenceTheCamera) {
    AlertLimiter limiter(10min, 48);
    EXPECT_TRUE(limiter.Offer("玄関", At(7, 12, 0)).send);
    EXPECT_TRUE(limiter.Offer("玄関", At(7, 11, 0)).send);
    EXPECT_FALSE(limiter.Offer("玄関", At(7, 11, 5)).send);
}

TEST(MailTexts, SubjectsAndTheHeldBackLineInBothLanguages) {
    const LocalTime at{2026, 12, 7, 1, 12, 34, 56};
    const LocalTime since{2026, 12, 7, 1, 10, 42, 0};
    EXPECT_EQ(AlertSubject(MailLanguage::Japanese, "玄関", at), "動き検知: 玄関 12:34");
    EXPECT_EQ(AlertSubject(MailLanguage::English, "garden", at), "Motion: garden 12:34");
    EXPECT_EQ(HeldBackLine(MailLanguage::English, 3, since), "and 3 more since 10:42");
    EXPECT_EQ(HeldBackLine(MailLanguage::Japanese, 3, since),
              "ほかに 3 回（10:42 から）の動きは知らせていません。");
    EXPECT_EQ(HeldBackLine(MailLanguage::English, 0, since), "");
    EXPECT_EQ(ScheduledSubject(MailLanguage::Japanese, at), "定時の写真 12:34");
    EXPECT_EQ(ScheduledSubject(MailLanguage::English, at), "Scheduled pictures 12:34");

    const std::vector<std::string> body = AlertBody(MailLanguage::English, "garden", at, 3, since);
    ASSERT_EQ(body.size(), 3u);
    EXPECT_EQ(body[0], "Something moved in front of garden at 2026-12-07 12:34:56.");
    EXPECT_EQ(body[2], "and 3 more since 10:42");
    EXPECT_EQ(AlertBody(MailLanguage::Japanese, "玄関", at, 0, since).size(), 2u);
    EXPECT_EQ(ScheduledBody(MailLanguage::Japanese, at, {"玄関"}).back(),
              "玄関: 写真はありません（カメラにつながりません）");
}

TEST(MailTexts, ALineBreakInANameCannotStartAHeader) {
    const std::string subject =
        AlertSubject(MailLanguage::English, "garden\r\nBcc: x@example.com", LocalTime{});
    EXPECT_EQ(subject.find_first_of("\r\n"), std::string::npos);
}

} // namespace
