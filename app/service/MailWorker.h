#pragma once
// The one thread that runs all mail work of the program: the check cycles, replies, the
// snapshot mail and the connection tests. Jobs run one after another in the order posted; each
// gets the worker's cancel signal, which every network wait of the mail layer polls, so that
// cancelling a job (or stopping the worker when the program ends) ends its waits at once.
// The worker holds the jobs' one source of OAuth 2.0 access tokens (CTokenSource), which the
// mail log-ins of its jobs find through CTokenSource::OfThisThread.

#include "app/service/MailClients.h"
#include "mail/net/CancelSignal.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

class CMailWorker {
public:
    using Job = std::function<void(const CCancelSignal& cancel)>;

    CMailWorker();
    ~CMailWorker(); // Stop()
    CMailWorker(const CMailWorker&) = delete;
    CMailWorker& operator=(const CMailWorker&) = delete;

    // Queues job; returns its number (0 after Stop: the job is dropped).
    uint64_t Post(Job job);
    // Cancels job number id: its waits end at once when it runs now; when it is still queued
    // it starts with its signal raised, so it ends at its first wait and reports as cancelled.
    void Cancel(uint64_t id);
    // Cancels the running job, drops the queued ones and joins the thread.
    void Stop();
    // True while no job runs or waits.
    bool Idle() const;
    // The signal the jobs get (for objects that hold it for every job, as the picture source).
    const CCancelSignal& Signal() const { return m_cancel; }
    // Raised while jobs wait in the queue. A job that waits long for news (the IMAP session
    // idling) also polls this one and returns early, to be posted again after the others.
    const CCancelSignal& JobsWaiting() const { return m_waiting; }
    // The access tokens of the jobs (used on the worker's thread; set its folder before the
    // first job is posted).
    CTokenSource& tokens() { return m_tokens; }

private:
    struct Entry {
        uint64_t id;
        Job job;
    };
    void Run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Entry> m_queue;
    std::set<uint64_t> m_cancelled; // queued jobs cancelled before they ran
    uint64_t m_nextId = 1;
    uint64_t m_runningId = 0;
    bool m_stopping = false;
    CCancelSignal m_cancel;
    CCancelSignal m_waiting;
    CTokenSource m_tokens;
    std::thread m_thread;
};
