#include "app/service/MailWorker.h"

CMailWorker::CMailWorker() : m_thread([this] { Run(); }) {}

CMailWorker::~CMailWorker() {
    Stop();
}

uint64_t CMailWorker::Post(Job job) {
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return 0;
    const uint64_t id = m_nextId++;
    m_queue.push_back({id, std::move(job)});
    m_waiting.Cancel(); // a job that waits for news lets this one in
    m_wake.notify_one();
    return id;
}

void CMailWorker::Cancel(uint64_t id) {
    std::lock_guard lock(m_mutex);
    if (id != 0 && id == m_runningId)
        m_cancel.Cancel();
    else if (id != 0)
        m_cancelled.insert(id);
}

void CMailWorker::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
        m_cancel.Cancel();
        m_wake.notify_one();
    }
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

bool CMailWorker::Idle() const {
    std::lock_guard lock(m_mutex);
    return m_runningId == 0 && m_queue.empty();
}

void CMailWorker::Run() {
    CTokenSource::BindToThisThread(&m_tokens);
    for (;;) {
        Entry entry;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            entry = std::move(m_queue.front());
            m_queue.pop_front();
            if (m_queue.empty())
                m_waiting.Reset();
            m_runningId = entry.id;
            m_cancel.Reset();
            if (m_cancelled.erase(entry.id) > 0)
                m_cancel.Cancel();
        }
        try {
            entry.job(m_cancel);
        } catch (...) {
            // Nothing may end the worker. A job says its outcome from a guard that also runs
            // while the exception unwinds it, as a failure: nothing here turns it into success.
        }
        std::lock_guard lock(m_mutex);
        m_runningId = 0;
    }
}
