#pragma once
// The program without a window: the settings, the activity log (echoed to standard error for
// the journal), the capture graph kept on its camera by the camera keeper, and the mail check
// host, wired as the main window wires them. It needs Qt Gui (the stamp's fonts and QImage)
// but no display: it runs on the offscreen platform, and no widget is ever created.

#include "app/ActivityLog.h"
#include "app/CameraKeeper.h"
#include "app/FaultNotices.h"
#include "app/LoggingCaptureUi.h"
#include "app/MailCheckHost.h"
#include "app/MessageSink.h"
#include "app/ReplySender.h"
#include "app/ServiceAdapters.h"
#include "app/ServiceInterfaces.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "capture/CaptureGraph.h"
#include "capture/FrameGrabber.h"

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class CCodePageService;

class CHeadlessService final : public QObject, private IMessageSink {
    Q_OBJECT
public:
    static constexpr const char* kReloadedLine = "setup.ini と device.ini を読み込み直しました。";

    // Exit statuses of --check-once.
    static constexpr int kCheckCompleted = 0;
    static constexpr int kCheckFailed = 1;
    static constexpr int kSettingsMissing = 2;
    static constexpr int kRequestsLeft = 3; // completed, but requests stayed: no camera

    struct Options {
        std::string folder;                         // ProgramFolder()
        std::string device;                         // --device (empty: the saved one)
        bool echoToStandardError = true;            // log lines on standard error too
        uint16_t helloPort = CReplySender::kHelloPort; // tests only
        int teardownPauseMs = 1000;                 // tests shorten the graph's pause
        std::chrono::milliseconds cameraRetry{2000};
        std::function<void()> onGrab; // tests: runs on this thread as a reply grab starts
    };

    explicit CHeadlessService(Options options, QObject* parent = nullptr);
    ~CHeadlessService() override;

    // Loads the settings, takes up the camera (or runs on without one) and readies the mail
    // check. With timer, checks at once and then once a minute. False when the program cannot
    // run at all (no code page conversion).
    bool Start(bool timer);
    // SIGHUP: reads both files again; a changed device or frame size rebuilds the graph.
    void Reload();
    // SIGTERM, SIGINT: cancels every wait at once (nothing unanswered is deleted) and ends the
    // event loop.
    void Stop();
    // One check cycle; done(status, reason) when it has ended (reason empty on success).
    void CheckOnce(std::function<void(int status, const std::string& reason)> done);

    Settings& settings() { return m_settings; }
    ActivityLog& log() { return m_log; }
    CCaptureGraph& graph() { return m_graph; }
    CCameraKeeper& keeper() { return *m_keeper; }
    CMailCheckHost& mailHost() { return *m_mailHost; }

private:
    // IServiceLog that remembers the last line, for the reason --check-once gives.
    class RecordingLog final : public IServiceLog {
    public:
        explicit RecordingLog(ActivityLog& log) : m_log(log) {}
        void AddLog(const std::string& message) override {
            m_last = message;
            m_log.AddLog(message);
        }
        void WriteLogFile(const std::string& message) override {
            m_last = message;
            m_log.WriteLogFile(message);
        }
        std::string TakeLast() { return std::exchange(m_last, {}); }

    private:
        ActivityLog& m_log;
        std::string m_last;
    };

    void ShowMessage(const std::string& text) override { m_log.AddLog(text); }
    GrabRequest MakeGrabRequest();
    void SyncFlags();
    void LoadInto(Settings& settings);

    Options m_options;
    Settings m_settings;
    SystemClock m_clock;
    ActivityLog m_log;
    RecordingLog m_serviceLog;
    CFaultNotices m_settingsNotices{m_serviceLog}; // settings files that cannot be written
    ServiceFlags m_flags;
    CLoggingCaptureUi m_ui;
    CCaptureGraph m_graph;
    std::unique_ptr<CCameraKeeper> m_keeper;
    std::shared_ptr<CCodePageService> m_codePages;
    // Made after and stopped before everything its worker reaches.
    std::unique_ptr<CMailCheckHost> m_mailHost;
    int m_grabsWithoutCamera = 0;
};

// --headless and --check-once: runs the service in the event loop of the QGuiApplication that
// exists, with SIGTERM/SIGINT (and, as a service, SIGHUP) handled. Returns the exit status.
int RunHeadless(CHeadlessService::Options options, bool checkOnce);
