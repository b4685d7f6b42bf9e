#pragma once
// Runs the event loop of this thread until done() holds or timeoutMs has passed; whether done()
// held. For tests of objects that work through queued calls and timers.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

inline bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
