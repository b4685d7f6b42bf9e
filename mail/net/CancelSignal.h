#pragma once
// A cancel signal for the waits of the mail connection layer. Another thread calls Cancel();
// every wait that was given the signal polls its descriptor beside the socket and ends at once
// with MailErrorCode::Cancelled. The signal stays raised until Reset().

#include "base/EventFd.h"

#include <atomic>
#include <chrono>

class CCancelSignal {
public:
    CCancelSignal();
    CCancelSignal(const CCancelSignal&) = delete;
    CCancelSignal& operator=(const CCancelSignal&) = delete;

    void Cancel();
    void Reset();
    bool IsCancelled() const { return m_cancelled.load(); }
    // Waits for pause, or less when the signal is raised meanwhile: false then.
    bool Pause(std::chrono::milliseconds pause) const;
    // Readable while the signal is raised; for poll().
    int fd() const { return m_raised.fd(); }

private:
    EventFd m_raised;
    std::atomic<bool> m_cancelled{false};
};
