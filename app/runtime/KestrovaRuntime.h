#pragma once
// The program's core, built once for the window and the headless service alike: the settings,
// the activity log, the code pages, the capture graph kept on its camera by the camera keeper,
// and the mail check host. The window adds widgets, tray and preview around it; the service
// adds signal handling and the log on standard error.
//
// Start: settings loaded; the shell's own step (the window's first-run dialogs); code pages;
// mail host; the start line, the notes of loading, the camera (or the line that none is
// there); the mail timer, and with IMAP its session; settings saved. Stop: the worker stopped
// (its waits end at once, its last log lines written), then settings saved, then the graph
// torn down.

#include "app/report/ActivityLog.h"
#include "app/camera/CameraKeeper.h"
#include "app/report/FaultNotices.h"
#include "app/camera/LoggingCaptureUi.h"
#include "app/camera/NetworkCameraKeeper.h"
#include "app/runtime/AlertDispatch.h"
#include "app/service/MailCheckHost.h"
#include "app/report/MessageSink.h"
#include "app/service/ReplySender.h"
#include "app/service/ServiceAdapters.h"
#include "app/camera/ServiceInterfaces.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "capture/CaptureGraph.h"
#include "capture/CaptureUi.h"
#include "capture/FrameGrabber.h"

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CCodePageService;

class CKestrovaRuntime final : public QObject, private IMessageSink {
    Q_OBJECT
public:
    static constexpr const char* kReloadedLine = "setup.ini と device.ini を読み込み直しました。";

    struct Options {
        std::string folder;                            // ProgramFolder(), ending in "/"
        std::string device;                            // --device (empty: the saved one)
        uint16_t helloPort = CReplySender::kHelloPort; // tests only: the fallback SMTP port
        int teardownPauseMs = 1000;                    // tests shorten the graph's pause
        std::chrono::milliseconds cameraRetry{2000};   // looking again for a missing camera
        // The service does not save on its way out: its files are edited by --set while it
        // runs and read again on reload.
        bool saveAtStop = true;
    };

    // ui: the window's dialogs, message boxes, title and preview; null: messages become log
    // lines and nobody is asked (the service). A failed stream reaches the camera keeper
    // either way.
    explicit CKestrovaRuntime(Options options, ICaptureUi* ui = nullptr, QObject* parent = nullptr);
    ~CKestrovaRuntime() override; // Stop()

    // beforeMail runs after the settings are loaded and before the mail host exists (the
    // window's camera build and first-run dialogs); false ends the start. With timer the mail
    // check timer runs. False when the program must end (beforeMail said so, or no code page
    // conversion: kInitFailed is shown).
    bool Start(bool timer, const std::function<bool()>& beforeMail = {});
    // Reads both files again; a changed device or frame size rebuilds the graph. While a grab
    // or a dialog holds the graph, again half a second later.
    void Reload();
    // The worker stopped: its waits end at once (nothing unanswered is deleted) and its last
    // log lines are written. Closing calls it before anything else.
    void StopMail();
    // StopMail, then settings saved (saveAtStop, once started), then the graph torn down.
    // Once; the destructor calls it.
    void Stop();

    // A rebuild the user asked for (device change, device settings) or a reload made: uiBusy
    // while it runs; a failed build leaves the program waiting for a camera.
    bool RebuildGraph(bool useFirstDevice, bool configureDevice);
    // A file that cannot be written is said in the log, once until a save works again.
    void SaveAllSettings();

    // Runs on this thread as a reply or snapshot grab starts, after the request is filled in
    // (the window says whether it is minimised).
    void SetGrabHook(std::function<void(GrabRequest&)> hook) { m_grabHook = std::move(hook); }
    // network: the network camera grabbed from; null for the USB graph.
    GrabRequest MakeGrabRequest(const NetworkCameraKeeper* network = nullptr);
    // Every network camera has had its first attempt to open (--check-once waits for it).
    bool CamerasSettled() const;
    // flags().graphReady from the keeper: checks run with a graph, or without a camera.
    void SyncFlags();
    // The last log line since the last call (for the reason --check-once gives).
    std::string TakeLastLine() { return m_serviceLog.TakeLast(); }

    const Options& options() const { return m_options; }
    Settings& settings() { return m_settings; }
    ActivityLog& log() { return m_log; }
    ServiceFlags& flags() { return m_flags; }
    CCaptureGraph& graph() { return m_graph; }
    CCameraKeeper& keeper() { return m_keeper; }
    // One camera of the settings as it runs: the USB graph above (network null), or a network
    // camera and what keeps it open.
    struct RunningCamera {
        std::string name;
        ICamera* camera = nullptr;
        NetworkCameraKeeper* network = nullptr;
        bool waiting() const;
    };
    // Every camera in the settings' order (the USB graph alone when none is set).
    const std::vector<RunningCamera>& cameras() const { return m_cameras; }
    // The cameras of the settings become these (the network ones opened anew, the mail host
    // made again over them); camerasReplaced follows. Once started.
    void ReplaceCameras(const std::vector<CameraSettings>& cameras);
    // Index of the USB graph among cameras(); cameras().size() when it is not one of them.
    std::size_t UsbIndex() const;
    // A new frame of a network camera is there (index into cameras()); any thread. Set before
    // Start.
    void SetFrameHook(std::function<void(std::size_t)> hook) { m_frameHook = std::move(hook); }
    // Null until Start has made it.
    CMailCheckHost* mailHost() { return m_mailHost.get(); }
    // Motion alerts and scheduled pictures; null until Start.
    AlertDispatch* alerts() { return m_alerts.get(); }
    // True from the moment a check is handed to the worker until it has ended.
    bool mailCheckRunning() const { return m_mailHost && m_mailHost->checkRunning(); }

signals:
    // The list of cameras was made anew (a reload, the cameras dialog) and with it the mail host:
    // whoever shows cameras or listens to the host takes the new ones.
    void camerasReplaced();
    // The alerts were switched by a verified mail (ALERT.ARMED now says so and is saved).
    void armedChanged(bool armed);

private:
    // The shell's capture user interface, with a failed stream handed to the keeper.
    class CaptureUi final : public ICaptureUi {
    public:
        CaptureUi(ICaptureUi& shell, CKestrovaRuntime& runtime)
            : m_shell(shell), m_runtime(runtime) {}
        void ShowMessage(const std::string& text) override { m_shell.ShowMessage(text); }
        std::optional<int> ChooseDevice(const std::vector<std::string>& names,
                                        int preselected) override {
            return m_shell.ChooseDevice(names, preselected);
        }
        bool ConfigureDevice(const DeviceSetup& setup, FrameSize& size) override {
            return m_shell.ConfigureDevice(setup, size);
        }
        void ShowProperties(const DeviceSetup& setup) override { m_shell.ShowProperties(setup); }
        void SetTitle(const std::string& title) override { m_shell.SetTitle(title); }
        void FrameArrived() override { m_shell.FrameArrived(); }
        // A GStreamer thread; Stop tears the graph down before the keeper goes.
        void StreamLost(const std::string& reason) override {
            m_runtime.m_keeper.NotifyStreamLost(reason);
        }

    private:
        ICaptureUi& m_shell;
        CKestrovaRuntime& m_runtime;
    };

    // Where the settings store's messages go: the window's message box, or the log.
    void ShowMessage(const std::string& text) override { m_ui.ShowMessage(text); }
    // The network cameras of the settings opened, and the list of every camera made.
    void MakeCameras();
    // What a camera's motion detection calls (index: its place among cameras()).
    MotionTap::Handler MotionHandler(std::size_t index);
    // The USB graph's motion detection as the settings say, for its next build.
    void InstallUsbMotion();
    // The mail host over the cameras of now.
    void MakeMailHost();
    bool UsesUsbGraph() const;
    CameraSettings* UsbEntry();
    void TakeUsbCamera();
    void GiveBackUsbCamera();

    Options m_options;
    Settings m_settings;
    SystemClock m_clock;
    ActivityLog m_log;
    CActivityLogAdapter m_serviceLog;
    CFaultNotices m_settingsNotices{m_serviceLog}; // settings files that cannot be written
    ServiceFlags m_flags;
    CLoggingCaptureUi m_loggingUi;
    CaptureUi m_ui;
    // The USB graph's record: a copy of the first USB camera's, so that no change to the list
    // moves it from under the graph; taken from the list after loading and given back before
    // saving.
    CameraSettings m_usbCamera;
    CCaptureGraph m_graph;
    CCameraKeeper m_keeper;
    std::shared_ptr<CCodePageService> m_codePages;
    // Made after and stopped before everything its worker reaches.
    std::unique_ptr<CMailCheckHost> m_mailHost;
    std::function<void(GrabRequest&)> m_grabHook;
    std::function<void(std::size_t)> m_frameHook;
    std::vector<std::unique_ptr<NetworkCameraKeeper>> m_network;
    std::vector<RunningCamera> m_cameras;
    // Made once the settings are loaded; told of every new mail host and camera list.
    std::unique_ptr<AlertDispatch> m_alerts;
    bool m_timer = false;
    bool m_started = false;
    bool m_stopped = false;
};
