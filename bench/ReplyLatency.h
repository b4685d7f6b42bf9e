#pragma once
// Reply latency of the benchmarks that answer picture requests through the SMTP peer
// (aiosmtpd): the settings that point the service at the peers, when the peer accepted each
// mail, and percentiles of the figures.

#include "app/settings/SettingsTable.h"
#include "base/Settings.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The mail settings of a benchmark: dovecot's POP3 with the log-in camera/secret, the SMTP peer
// (which logs in the same), and no hourly reply limit worth the name: a benchmark asks one
// requester for far more pictures in a minute than a person would in an hour.
inline MailSettings PeerMailSettings(int pop3Port, int smtpPort) {
    MailSettings settings;
    settings.pop3Server = settings.smtpServer = "127.0.0.1";
    settings.pop3Port = pop3Port;
    settings.pop3Id = "camera";
    settings.pop3Pass = "secret";
    settings.smtpPort = smtpPort;
    settings.senderAddress = "camera@example.com";
    settings.maxRepliesPerHour = int(SettingOf("MAIL.MAX_REPLIES_PER_HOUR").high);
    return settings;
}

// When aiosmtpd accepted each mail: the SMTP peer renames "<n>.env" into its folder right
// before it answers the end of the data with 250; an inotify watch notes the moment.
class AcceptanceClock {
public:
    using Clock = std::chrono::steady_clock;

    explicit AcceptanceClock(const std::filesystem::path& folder)
        : m_fd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
        if (m_fd < 0 || ::inotify_add_watch(m_fd, folder.c_str(), IN_MOVED_TO) < 0) {
            if (m_fd >= 0)
                ::close(m_fd);
            throw std::runtime_error("cannot watch the SMTP peer's folder");
        }
        m_thread = std::thread([this] { Run(); });
    }
    ~AcceptanceClock() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    AcceptanceClock(const AcceptanceClock&) = delete;
    AcceptanceClock& operator=(const AcceptanceClock&) = delete;

    // The moment mail number n (from 1) was accepted, once it has been; nothing when it has
    // not been within wait.
    std::optional<Clock::time_point>
    AcceptedAt(int n, std::chrono::milliseconds wait = std::chrono::seconds(1)) {
        const auto deadline = Clock::now() + wait;
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (const auto found = m_accepted.find(n); found != m_accepted.end())
                    return found->second;
            }
            if (Clock::now() >= deadline)
                return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

private:
    void Run() {
        alignas(inotify_event) char buffer[4096];
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const auto now = Clock::now();
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                const std::string name = event->len ? event->name : "";
                if (name.size() > 4 && name.ends_with(".env")) {
                    std::lock_guard lock(m_mutex);
                    m_accepted.emplace(std::atoi(name.c_str()), now);
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    int m_fd;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::map<int, Clock::time_point> m_accepted;
    std::thread m_thread;
};

// The value below which the share p (0 to 1) of values lies; 0 for none.
inline double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

inline double MillisecondsBetween(std::chrono::steady_clock::time_point from,
                                  std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}
