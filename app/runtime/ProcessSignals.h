#pragma once
// SIGTERM and SIGINT end the program the way "終了" does, and SIGHUP (when a handler is given)
// reloads the settings. The signal handler only writes the signal's number to a socket pair
// (all it may safely do); the event loop reads it and calls the matching handler on this
// thread. One object per process at a time.

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

class CProcessSignals final : public QObject {
    Q_OBJECT
public:
    // onReload empty: SIGHUP keeps its default action.
    explicit CProcessSignals(std::function<void()> onQuit, std::function<void()> onReload = {},
                             QObject* parent = nullptr);
    ~CProcessSignals() override; // restores the default actions

private:
    std::function<void()> m_onQuit;
    std::function<void()> m_onReload;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
