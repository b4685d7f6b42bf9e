#pragma once
// Counts the frames a capture stream delivers and lets another thread wait for the next one,
// so that a grab wakes on the first frame after its request instead of sleeping and looking.
// It also holds who wants frames at all: the stream decodes and converts the camera's pictures
// only while someone does (a visible preview, a running grab), so an idle camera costs what its
// driver costs. The capture graph keeps one for its whole life (across rebuilds of its stream),
// so the count only grows and a want outlives a rebuild.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class CFrameSignal {
public:
    // From the streaming thread, once per frame.
    void Notify() {
        {
            std::lock_guard lock(m_mutex);
            ++m_count;
        }
        m_arrived.notify_all();
    }
    uint64_t Count() const {
        std::lock_guard lock(m_mutex);
        return m_count;
    }
    // Waits until the count passes seen or limit has passed; the count then.
    uint64_t WaitBeyond(uint64_t seen, std::chrono::milliseconds limit) const {
        std::unique_lock lock(m_mutex);
        m_arrived.wait_for(lock, limit, [&] { return m_count > seen; });
        return m_count;
    }

    // Any thread; calls pair up (true, then false). Const, so that a holder of the read-only
    // signal (the grab on the mail worker) can ask for frames too.
    void Want(bool want) const {
        {
            std::lock_guard lock(m_mutex);
            m_wanted.fetch_add(want ? 1 : -1);
            if (want)
                ++m_wantSerial;
        }
        m_arrived.notify_all();
    }
    bool Wanted() const { return m_wanted.load() > 0; }
    // How many wants began so far: a source that fetches pictures one at a time tells by it
    // whether a want began while a fetch was under way (its picture is then older than that
    // want, and must not count as a frame after it).
    uint64_t WantSerial() const {
        std::lock_guard lock(m_mutex);
        return m_wantSerial;
    }
    // Waits until someone wants frames, stop() holds, or limit has passed; Wanted() then.
    // Wake() makes the waiter look at stop() again.
    template <class Stop>
    bool WaitForWant(std::chrono::milliseconds limit, Stop stop) const {
        std::unique_lock lock(m_mutex);
        m_arrived.wait_for(lock, limit, [&] { return m_wanted.load() > 0 || stop(); });
        return m_wanted.load() > 0;
    }
    void Wake() const {
        { std::lock_guard lock(m_mutex); }
        m_arrived.notify_all();
    }

private:
    mutable std::atomic<int> m_wanted{0};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    uint64_t m_count = 0;
    mutable uint64_t m_wantSerial = 0;
};
