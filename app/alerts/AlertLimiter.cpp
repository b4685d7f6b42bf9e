#include "app/alerts/AlertLimiter.h"

AlertLimiter::AlertLimiter(std::chrono::minutes interval, int maxPerDay)
    : m_interval(interval), m_maxPerDay(maxPerDay) {}

AlertDecision AlertLimiter::Offer(const std::string& camera, TimePoint at) {
    CameraState& state = m_cameras[camera];
    const long day = LocalDayNumber(ToLocalTime(at));
    if (day != state.day) {
        state.day = day;
        state.sentToday = 0;
    }
    // A clock set back makes the last alert look later than this one: the interval counts as
    // passed rather than silencing the camera until the clock catches up.
    const bool tooSoon =
        state.lastSent && at >= *state.lastSent && at - *state.lastSent < m_interval;
    if (tooSoon || state.sentToday >= m_maxPerDay) {
        if (state.heldBack++ == 0)
            state.heldSince = at;
        return {};
    }
    AlertDecision decision{true, state.heldBack, state.heldSince};
    state.lastSent = at;
    ++state.sentToday;
    state.heldBack = 0;
    state.heldSince.reset();
    return decision;
}
