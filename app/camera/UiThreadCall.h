#pragma once
// Calls from the mail worker into objects that live on the user-interface thread (the capture
// graph, the window's state): the call is queued to the thread of a context object and the
// worker waits for its result, at most a time limit and never past the cancel signal. A call
// the worker gave up on still runs or is dropped safely: its result lives in shared state, and
// Qt drops queued calls whose context object is gone.

#include "base/EventFd.h"
#include "mail/net/CancelSignal.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>

namespace uithread {

template <class Result> struct CallState {
    std::mutex mutex;
    std::optional<Result> result;
    bool abandoned = false;
    EventFd done;
};

// Runs fn on context's thread and returns its result; nullopt when it did not finish within
// timeout or cancel was raised first. On context's own thread fn runs at once.
template <class Result>
std::optional<Result> Call(QObject* context, std::function<Result()> fn,
                           std::chrono::milliseconds timeout, const CCancelSignal* cancel) {
    if (QThread::currentThread() == context->thread())
        return fn();
    auto state = std::make_shared<CallState<Result>>();
    if (!state->done)
        return std::nullopt;
    QMetaObject::invokeMethod(
        context,
        [state, fn = std::move(fn)] {
            {
                std::lock_guard lock(state->mutex);
                if (state->abandoned)
                    return;
            }
            Result value = fn();
            std::lock_guard lock(state->mutex);
            state->result = std::move(value);
            state->done.Signal();
        },
        Qt::QueuedConnection);

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fds[2] = {{state->done.fd(), POLLIN, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        const int pollError = errno;
        std::lock_guard lock(state->mutex);
        if (state->result)
            return std::move(state->result);
        if (ready < 0 && pollError == EINTR)
            continue;
        if (ready <= 0 || (cancel && cancel->IsCancelled())) {
            state->abandoned = true;
            return std::nullopt;
        }
    }
}

} // namespace uithread
