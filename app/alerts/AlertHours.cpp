#include "app/alerts/AlertHours.h"

#include <cctype>

namespace {

bool IsAlways(std::string_view word) {
    constexpr std::string_view kAlways = "always";
    if (word.size() != kAlways.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(word[i])) != kAlways[i])
            return false;
    return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text = text.substr(at + 1);
    }
}

} // namespace

AlertHours::AlertHours() : m_ranges{Range{}} {}

std::optional<AlertHours> AlertHours::Parse(const std::string& text, std::string* why) {
    AlertHours hours;
    hours.m_ranges.clear();
    for (const std::string_view rawRule : Split(text, ';')) {
        const std::string_view rule = StripBlanks(rawRule);
        const auto refuse = [&]() -> std::optional<AlertHours> {
            if (why)
                *why = std::string(rule);
            return std::nullopt;
        };
        if (rule.empty()) {
            if (Split(text, ';').size() > 1)
                continue; // "a; b;" as a list may end
            return refuse();
        }
        // Weekdays come first, up to the first time or "always" (no day's name holds either).
        std::size_t hoursAt = rule.find_first_of("0123456789");
        for (std::size_t i = 0; i + 6 <= rule.size() && i < hoursAt; ++i)
            if (IsAlways(rule.substr(i, 6)))
                hoursAt = i;
        if (hoursAt == std::string_view::npos)
            return refuse();
        WeekdaySet days = kEveryDay;
        if (const std::string_view named = StripBlanks(rule.substr(0, hoursAt)); !named.empty()) {
            const std::optional<WeekdaySet> parsed = ParseWeekdays(named);
            if (!parsed)
                return refuse();
            days = *parsed;
        }
        const std::string_view rest = rule.substr(hoursAt);
        for (std::string_view part : Split(rest, ',')) {
            part = StripBlanks(part);
            if (IsAlways(part)) {
                hours.m_ranges.push_back({days, 0, kMinutesPerDay});
                continue;
            }
            const std::size_t dash = part.find('-');
            const std::optional<int> start = dash == std::string_view::npos
                                                 ? std::nullopt
                                                 : ParseTimeOfDay(part.substr(0, dash));
            const std::optional<int> end = dash == std::string_view::npos
                                               ? std::nullopt
                                               : ParseTimeOfDay(part.substr(dash + 1), true);
            // An empty range ("22:00-22:00") says nothing a user would mean.
            if (!start || !end || *start == *end)
                return refuse();
            hours.m_ranges.push_back({days, *start, *end});
        }
    }
    if (hours.m_ranges.empty()) {
        if (why)
            *why = text;
        return std::nullopt;
    }
    return hours;
}

bool AlertHours::Allows(const LocalTime& time) const {
    const int minute = time.hour * 60 + time.minute;
    for (const Range& range : m_ranges) {
        if (range.start < range.end) {
            if (HasWeekday(range.days, time.weekday) && minute >= range.start && minute < range.end)
                return true;
        } else if ((HasWeekday(range.days, time.weekday) && minute >= range.start) ||
                   (HasWeekday(range.days, time.weekday + 6) && minute < range.end)) {
            return true; // the evening of its day, or the morning after the day before
        }
    }
    return false;
}
