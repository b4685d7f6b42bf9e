#pragma once
// What the process costs while it waits: percent of one core over a stretch of time, the way
// the waiting-cost benchmarks compare the program with a bare source in the same run.

#include <chrono>
#include <functional>
#include <sys/resource.h>
#include <thread>

// Processor seconds this process has used, user and system.
inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Percent of one core over `seconds`, after one second to settle; wait(seconds) passes the time
// (a sleep by default; an event loop where one must run).
inline double CpuShare(double seconds, const std::function<void(double)>& wait = {}) {
    const auto pass = [&](double s) {
        if (wait)
            wait(s);
        else
            std::this_thread::sleep_for(std::chrono::duration<double>(s));
    };
    pass(1.0);
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    pass(seconds);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return 100.0 * (CpuSeconds() - cpuBefore) / wall;
}
