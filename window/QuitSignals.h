#pragma once
// SIGTERM and SIGINT end the program the way "終了" does: the signal handler only writes a byte
// to a socket pair (all it may safely do); the event loop reads it and calls the handler, which
// closes the window cleanly (mail waits cancelled, settings saved).

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

class CQuitSignals final : public QObject {
    Q_OBJECT
public:
    explicit CQuitSignals(std::function<void()> onQuit, QObject* parent = nullptr);
    ~CQuitSignals() override; // restores the default handlers

private:
    std::function<void()> m_onQuit;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
