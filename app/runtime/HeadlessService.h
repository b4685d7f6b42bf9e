#pragma once
// The program without a window: the runtime with its log echoed to standard error (for the
// journal), SIGHUP reloading and SIGTERM stopping, and --check-once. It needs Qt Gui (the
// stamp's fonts and QImage) but no display: it runs on the offscreen platform, and no widget
// is ever created.

#include "app/runtime/KestrovaRuntime.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <string>

class CHeadlessService final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kReloadedLine = CKestrovaRuntime::kReloadedLine;

    // Exit statuses of --check-once.
    static constexpr int kCheckCompleted = 0;
    static constexpr int kCheckFailed = 1;
    static constexpr int kSettingsMissing = 2;
    static constexpr int kRequestsLeft = 3; // completed, but requests stayed: no camera

    struct Options : CKestrovaRuntime::Options {
        Options() { saveAtStop = false; }
        bool echoToStandardError = true; // log lines on standard error too
        std::function<void()> onGrab;    // tests: runs on this thread as a reply grab starts
    };

    explicit CHeadlessService(Options options, QObject* parent = nullptr);

    // The runtime's start. With timer, checks at once and then once a minute. False when the
    // program cannot run at all (no code page conversion).
    bool Start(bool timer);
    // SIGHUP: reads both files again; a changed device or frame size rebuilds the graph.
    void Reload() { m_runtime.Reload(); }
    // SIGTERM, SIGINT: cancels every wait at once (nothing unanswered is deleted) and ends the
    // event loop.
    void Stop();
    // One check cycle; done(status, reason) when it has ended (reason empty on success).
    void CheckOnce(std::function<void(int status, const std::string& reason)> done);

    CKestrovaRuntime& runtime() { return m_runtime; }
    Settings& settings() { return m_runtime.settings(); }
    ActivityLog& log() { return m_runtime.log(); }
    CCaptureGraph& graph() { return m_runtime.graph(); }
    CCameraKeeper& keeper() { return m_runtime.keeper(); }
    CMailCheckHost& mailHost() { return *m_runtime.mailHost(); }

private:
    // then, once every network camera has had its first attempt to open (at most
    // kSettleLimitMs from the start).
    void WhenCamerasSettled(std::function<void()> then);
    // How long a check waits for network cameras still being opened (from the start).
    static constexpr qint64 kSettleLimitMs = 20000;
    std::function<void()> m_onGrab;
    CKestrovaRuntime m_runtime;
    QElapsedTimer m_settleWait;
    int m_grabsWithoutCamera = 0;
};

// --headless and --check-once: runs the service in the event loop of the QGuiApplication that
// exists, with SIGTERM/SIGINT (and, as a service, SIGHUP) handled. Returns the exit status.
int RunHeadless(CHeadlessService::Options options, bool checkOnce);
