#include "app/alerts/Schedule.h"

#include "base/AtomicFile.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>

namespace {

// A week holds every pattern the schedule can have; one more day covers the day begun.
constexpr int kDaysSearched = 8;

} // namespace

std::optional<Schedule> Schedule::Parse(const ScheduleSettings& settings, std::string* why) {
    const auto refuse = [&](const char* key, std::string_view part) -> std::optional<Schedule> {
        if (why)
            *why = std::string(key) + ": " + std::string(part);
        return std::nullopt;
    };
    Schedule schedule;
    if (!StripBlanks(settings.times).empty()) {
        std::string_view rest = settings.times;
        while (true) {
            const std::size_t comma = rest.find(',');
            const std::string_view part = rest.substr(0, comma);
            const std::optional<int> minute = ParseTimeOfDay(part);
            if (!minute)
                return refuse("TIMES", StripBlanks(part));
            schedule.m_minutes.push_back(*minute);
            if (comma == std::string_view::npos)
                break;
            rest = rest.substr(comma + 1);
        }
    }
    const std::optional<int> from = ParseTimeOfDay(settings.from);
    if (!from)
        return refuse("FROM", settings.from);
    const std::optional<int> to = ParseTimeOfDay(settings.to, true);
    if (!to)
        return refuse("TO", settings.to);
    if (settings.everyMinutes < 0 || settings.everyMinutes > kMinutesPerDay)
        return refuse("EVERY_MINUTES", std::to_string(settings.everyMinutes));
    if (settings.everyMinutes > 0) {
        if (*from >= *to)
            return refuse("FROM", settings.from + "-" + settings.to);
        // TO is the last moment when the steps land on it; 24:00 is the next day's 00:00.
        for (int minute = *from; minute <= *to && minute < kMinutesPerDay;
             minute += settings.everyMinutes)
            schedule.m_minutes.push_back(minute);
    }
    const std::optional<WeekdaySet> days = ParseWeekdays(settings.days);
    if (!days)
        return refuse("DAYS", settings.days);
    schedule.m_days = *days;
    std::ranges::sort(schedule.m_minutes);
    // std::unique, not std::ranges::unique: clang's fuzz build cannot read libstdc++'s subrange.
    schedule.m_minutes.erase(std::unique(schedule.m_minutes.begin(), schedule.m_minutes.end()),
                             schedule.m_minutes.end());
    return schedule;
}

std::optional<TimePoint> Schedule::Due(TimePoint lastSent, TimePoint now) const {
    if (Empty() || now <= lastSent)
        return std::nullopt;
    const LocalTime today = ToLocalTime(now);
    for (int back = 0; back < kDaysSearched; ++back) {
        const LocalTime day = AddDays(today, -back);
        if (LocalMoment(AddDays(day, 1), 0) <= lastSent)
            return std::nullopt; // the whole day was before the last sent
        if (!HasWeekday(m_days, day.weekday))
            continue;
        for (auto minute = m_minutes.rbegin(); minute != m_minutes.rend(); ++minute) {
            const TimePoint moment = LocalMoment(day, *minute);
            if (moment <= lastSent)
                return std::nullopt;
            if (moment <= now)
                return moment;
        }
    }
    return std::nullopt;
}

std::optional<TimePoint> Schedule::Next(TimePoint now) const {
    if (Empty())
        return std::nullopt;
    const LocalTime today = ToLocalTime(now);
    for (int ahead = 0; ahead < kDaysSearched; ++ahead) {
        const LocalTime day = AddDays(today, ahead);
        if (!HasWeekday(m_days, day.weekday))
            continue;
        for (const int minute : m_minutes)
            if (const TimePoint moment = LocalMoment(day, minute); moment > now)
                return moment;
    }
    return std::nullopt;
}

ScheduleRecord::ScheduleRecord(std::string path) : m_path(std::move(path)) {}

std::optional<TimePoint> ScheduleRecord::Read() const {
    std::ifstream file(m_path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string text;
    std::getline(file, text);
    long long seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || seconds < 0)
        return std::nullopt;
    return TimePoint(std::chrono::seconds(seconds));
}

std::optional<TimePoint> ScheduleRecord::Due(const Schedule& schedule, TimePoint now) {
    if (!m_lastSent)
        m_lastSent = Read();
    if (!m_lastSent || *m_lastSent > now) {
        MarkSent(now);
        return std::nullopt;
    }
    return schedule.Due(*m_lastSent, now);
}

bool ScheduleRecord::MarkSent(TimePoint moment, std::string* why) {
    m_lastSent = std::chrono::time_point_cast<std::chrono::seconds>(moment);
    const long long seconds =
        std::chrono::duration_cast<std::chrono::seconds>(moment.time_since_epoch()).count();
    int error = 0;
    if (ReplaceFileContents(m_path, std::to_string(seconds) + "\n", &error))
        return true;
    if (why)
        *why = std::strerror(error);
    return false;
}

std::optional<ScheduleCameras> ParseScheduleCameras(const std::string& text, std::string* why) {
    const std::string_view whole = StripBlanks(text);
    if (whole.size() == 3 && (whole[0] | 0x20) == 'a' && (whole[1] | 0x20) == 'l' &&
        (whole[2] | 0x20) == 'l')
        return ScheduleCameras{};
    ScheduleCameras choice{false, {}};
    std::string_view rest = whole;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view name = StripBlanks(rest.substr(0, comma));
        if (name.empty()) {
            if (why)
                *why = text;
            return std::nullopt;
        }
        choice.names.emplace_back(name);
        if (comma == std::string_view::npos)
            return choice;
        rest = rest.substr(comma + 1);
    }
}
