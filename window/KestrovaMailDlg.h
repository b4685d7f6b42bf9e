#pragma once
// The main window: live preview, the six icon buttons, the log, the menu bar, the tray icon,
// the once-a-minute mail check, and every command of the menus, buttons and tray.

#include "app/ActivityLog.h"
#include "app/CameraKeeper.h"
#include "app/FaultNotices.h"
#include "app/MailCheckHost.h"
#include "app/MessageSink.h"
#include "app/ServiceAdapters.h"
#include "app/ServiceInterfaces.h"
#include "app/ServiceStart.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "capture/CaptureGraph.h"
#include "capture/CaptureUi.h"
#include "capture/FrameGrabber.h"

#include <QMainWindow>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

class CAppConfigDlg;
class CIconButton;
class CMailSetupDialog;
class CPreviewWidget;
class CTimeTextSetupDialog;
class CTrayIcon;
class CCodePageService;
class QAction;
class QPlainTextEdit;

class CKestrovaMailDlg final : public QMainWindow, public ICaptureUi, public IMessageSink {
    Q_OBJECT
public:
    static constexpr const char* kStartLine = ::kStartLine;
    static constexpr const char* kInitFailed = ::kInitFailed;
    static constexpr const char* kHomePageUrl = "https://zentrivo.example/kestrovamail/";

    struct Options {
        std::string folder;         // ProgramFolder(), ending in "/"
        uint16_t helloPort = 25;    // tests only: the fallback SMTP path's port
        int teardownPauseMs = 1000; // tests shorten the capture graph's pause after a teardown
        std::string device;         // the camera named on the command line (empty: SELECT)
        std::chrono::milliseconds cameraRetry{2000}; // looking again for a missing camera
    };

    // The preview's notice while no camera is there.
    static constexpr const char* kNoCameraNotice = QT_TRANSLATE_NOOP(
        "CKestrovaMailDlg", "カメラが見つかりません。\n"
                            "メールの確認は続けます（写真の依頼はサーバーに残ります）。\n"
                            "カメラをつなぐと使い始めます。\n\n"
                            "カメラなしで試すには:\n"
                            "kestrovamail --test-pattern");

    explicit CKestrovaMailDlg(Options options, QWidget* parent = nullptr);
    ~CKestrovaMailDlg() override;

    // The start-up sequence after construction. False when the program must end (the device
    // dialog was cancelled, or the text conversion cannot start). Without any camera the window
    // opens all the same, with a notice in the preview, and takes a camera up when one comes.
    bool Initialise();

    // The status text while mail work runs on the worker.
    static constexpr const char* kMailCheckRunning =
        QT_TRANSLATE_NOOP("CKestrovaMailDlg", "メールチェック中…");

    // Runs the command with this id, as its menu item, button or tray item would.
    void RunCommand(int id);
    // "終了(&X)": ends the program whatever closeCancel says.
    void Exit();

    // State, for the tray and for tests.
    Settings& settings() { return m_settings; }
    ServiceFlags& flags() { return m_flags; }
    CCaptureGraph& graph() { return m_graph; }
    CPreviewWidget* preview() const { return m_preview; }
    CTrayIcon* tray() const { return m_tray.get(); }
    QPlainTextEdit* logView() const { return m_logView; }
    ActivityLog& log() { return m_log; }
    CMailService& mailService() { return m_mailHost->service(); }
    CMailWorker& mailWorker() { return m_mailHost->worker(); }
    // True from the moment a check is handed to the worker until it has ended.
    bool mailCheckRunning() const { return m_mailHost && m_mailHost->checkRunning(); }
    // Stops the worker (its waits end at once) and writes the lines it left; then settings
    // can be saved. Called by the destructor; closing the program calls it before anything.
    void StopMailWork();
    QTimer& mailTimer() { return m_mailHost->timer(); }
    CCameraKeeper& cameraKeeper() { return *m_keeper; }
    QAction* action(int id) const;
    CIconButton* button(int id) const;
    CMailSetupDialog& mailSetupDialog() { return *m_mailDialog; }
    CAppConfigDlg& appConfigDialog() { return *m_appDialog; }
    CTimeTextSetupDialog& timeTextDialog() { return *m_timeTextDialog; }

    // Tests replace the snapshot dialog (default: the real one, modal).
    using SnapshotDialogRunner = std::function<std::string(const std::string& stem)>;
    void SetSnapshotDialogRunner(SnapshotDialogRunner runner) {
        m_snapshotRunner = std::move(runner);
    }

    // ICaptureUi
    void ShowMessage(const std::string& text) override;
    std::optional<int> ChooseDevice(const std::vector<std::string>& names,
                                    int preselected) override;
    bool ConfigureDevice(const DeviceSetup& setup, FrameSize& size) override;
    void ShowProperties(const DeviceSetup& setup) override;
    void SetTitle(const std::string& title) override;
    void FrameArrived() override;
    void StreamLost(const std::string& reason) override;

    // Commands with their own names
    void TakeSnapshot();
    void ToggleWindow();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildLayout();
    void BuildMenus();
    QAction* AddCommand(QMenu* menu, const QString& text, int id);
    void RebuildGraph(bool configureDevice);
    void SyncGraphReady();
    GrabRequest MakeGrabRequest();
    void ShowAbout(bool hideWindow);
    void OnLogAdded(std::string_view added);
    std::string RunSnapshotDialog(const std::string& stem);
    void ShowMailBusy(bool busy);
    void ShowFaultState(const QString& state);
    // The title the capture graph gave, with the error state while a cause lasts.
    void ApplyTitle();
    // The tray tooltip: the mail work running now and the error state.
    void ApplyTrayStatus();
    void ShowCameraState(bool available);
    void SaveAllSettings();

    Options m_options;
    Settings m_settings;
    SystemClock m_clock;
    ActivityLog m_log;
    ServiceFlags m_flags;
    CCaptureGraph m_graph;
    CFrameGrabber m_grabber;
    CActivityLogAdapter m_logAdapter;
    CFaultNotices m_settingsNotices{m_logAdapter}; // settings files that cannot be written
    std::shared_ptr<CCodePageService> m_codePages;
    std::unique_ptr<CCameraKeeper> m_keeper;
    // Made after and stopped before everything its worker reaches.
    std::unique_ptr<CMailCheckHost> m_mailHost;

    std::unique_ptr<CMailSetupDialog> m_mailDialog;
    std::unique_ptr<CAppConfigDlg> m_appDialog;
    std::unique_ptr<CTimeTextSetupDialog> m_timeTextDialog;
    std::unique_ptr<CTrayIcon> m_tray;

    CPreviewWidget* m_preview = nullptr;
    QPlainTextEdit* m_logView = nullptr;
    std::map<int, CIconButton*> m_buttons;
    std::map<int, QAction*> m_actions;
    SnapshotDialogRunner m_snapshotRunner;
    bool m_initialised = false;
    bool m_exitRequested = false;
    QString m_baseTitle = QStringLiteral("KestrovaMail");
    QString m_faultState;
    bool m_mailBusy = false;
};
