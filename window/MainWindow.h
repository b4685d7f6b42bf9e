#pragma once
// The main window: live previews, the six icon buttons, the log, the status line, the menu
// bar, the tray icon, the once-a-minute mail check, and every command of the menus, buttons and
// tray. It can be made larger than its first size, never smaller; the previews take the room.

#include "app/runtime/KestrovaRuntime.h"
#include "app/runtime/ServiceStart.h"
#include "capture/CaptureUi.h"
#include "capture/FrameGrabber.h"
#include "dialogs/CamerasDialog.h"

#include <QDateTime>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

class AppConfigDialog;
class CIconButton;
class CMailSetupDialog;
class CPreviewWidget;
class PreviewGrid;
class CTimeTextSetupDialog;
class CTrayIcon;
class QAction;
class QLabel;
class QPlainTextEdit;

// Widgets, tray and preview around the runtime, which owns everything else.
class MainWindow final : public QMainWindow, public ICaptureUi {
    Q_OBJECT
public:
    static constexpr const char* kStartLine = ::kStartLine;
    static constexpr const char* kInitFailed = ::kInitFailed;
    static constexpr const char* kHomePageUrl = "https://zentrivo.example/kestrovamail/";
    // The window area below the menu bar when it is smallest (the first size).
    static constexpr int kMinimumWidth = 402;
    static constexpr int kMinimumHeight = 512;

    using Options = CKestrovaRuntime::Options;

    // The preview's notice while no camera is there.
    static constexpr const char* kNoCameraNotice = QT_TRANSLATE_NOOP(
        "MainWindow", "カメラが見つかりません。\n"
                            "メールの確認は続けます（写真の依頼はサーバーに残ります）。\n"
                            "カメラをつなぐと使い始めます。\n\n"
                            "カメラなしで試すには:\n"
                            "kestrovamail --test-pattern");

    explicit MainWindow(Options options, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence after construction. False when the program must end (the device
    // dialog was cancelled, or the text conversion cannot start). Without any camera the window
    // opens all the same, with a notice in the preview, and takes a camera up when one comes.
    bool Initialise();

    // The status text while mail work runs on the worker.
    static constexpr const char* kMailCheckRunning =
        QT_TRANSLATE_NOOP("MainWindow", "メールチェック中…");

    // Runs the command with this id, as its menu item, button or tray item would.
    void RunCommand(int id);
    // "終了(&X)": ends the program whatever closeCancel says.
    void Exit();

    // State, for the tray and for tests.
    CKestrovaRuntime& runtime() { return m_runtime; }
    Settings& settings() { return m_runtime.settings(); }
    ServiceFlags& flags() { return m_runtime.flags(); }
    CCaptureGraph& graph() { return m_runtime.graph(); }
    // The first camera's preview (the one the capture graph feeds).
    CPreviewWidget* preview() const;
    PreviewGrid* previewGrid() const { return m_previews; }
    QLabel* nextCheckLabel() const { return m_nextCheck; }
    QLabel* lastReplyLabel() const { return m_lastReply; }
    CTrayIcon* tray() const { return m_tray.get(); }
    QPlainTextEdit* logView() const { return m_logView; }
    ActivityLog& log() { return m_runtime.log(); }
    CMailService& mailService() { return m_runtime.mailHost()->service(); }
    CMailWorker& mailWorker() { return m_runtime.mailHost()->worker(); }
    // True from the moment a check is handed to the worker until it has ended.
    bool mailCheckRunning() const { return m_runtime.mailCheckRunning(); }
    // Stops the worker (its waits end at once) and writes the lines it left; then settings
    // can be saved. Closing the program calls it before anything.
    void StopMailWork() { m_runtime.StopMail(); }
    QTimer& mailTimer() { return m_runtime.mailHost()->timer(); }
    CCameraKeeper& cameraKeeper() { return m_runtime.keeper(); }
    QAction* action(int id) const;
    CIconButton* button(int id) const;
    CMailSetupDialog& mailSetupDialog() { return *m_mailDialog; }
    AppConfigDialog& appConfigDialog() { return *m_appDialog; }
    CTimeTextSetupDialog& timeTextDialog() { return *m_timeTextDialog; }

    // Tests replace the snapshot dialog (default: the real one, modal).
    using SnapshotDialogRunner = CFrameGrabber::SnapshotDialog;
    void SetSnapshotDialogRunner(SnapshotDialogRunner runner) {
        m_snapshotRunner = std::move(runner);
    }

    // How "フレームを表示" in the cameras dialog reaches a camera (default: the live picture of
    // the camera the capture graph runs, when it is that one).
    void SetCameraProbe(CamerasDialog::FrameProbe probe) { m_cameraProbe = std::move(probe); }
    // The cameras' names for choosing one: the configured cameras, else the device in use.
    std::vector<std::string> CameraNames();
    // The camera the last snapshot was asked of (an index into CameraNames()).
    int snapshotCamera() const { return m_snapshotCamera; }

    // ICaptureUi
    void ShowMessage(const std::string& text) override;
    std::optional<int> ChooseDevice(const std::vector<std::string>& names,
                                    int preselected) override;
    bool ConfigureDevice(const DeviceSetup& setup, FrameSize& size) override;
    void ShowProperties(const DeviceSetup& setup) override;
    void SetTitle(const std::string& title) override;
    void FrameArrived() override;

    // Commands with their own names
    void TakeSnapshot();
    void ToggleWindow();

public slots:
    // The status line: when the mailbox is read next (invalid: on arrival of new mail, as
    // with IMAP) and what the last reply was.
    void SetNextCheck(const QDateTime& when);
    void SetLastReply(const QString& text);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildLayout();
    void BuildMenus();
    QAction* AddCommand(QMenu* menu, const QString& text, int id);
    // The start's step before the mail host: the camera there is built (on the first run the
    // user chooses and sets it up), and a new user gets the mail and application settings.
    bool OpenCameraAndFirstRunDialogs();
    void RebuildGraph(bool configureDevice);
    // Tells the graph whether the preview is on screen (shown and not minimised).
    void SyncPreviewShown();
    void ShowAbout(bool hideWindow);
    void OnLogAdded(std::string_view added);
    std::string RunSnapshotDialog(const Snapshot& snapshot);
    void ShowMailBusy(bool busy);
    void ShowFaultState(const QString& state);
    // The title the capture graph gave, with the error state while a cause lasts.
    void ApplyTitle();
    // The tray tooltip: the mail work running now and the error state.
    void ApplyTrayStatus();
    void ShowCameraState(bool available);
    // The previews, the availability notices and the mail host's signals, for the runtime's
    // cameras of now.
    void TakeCameras();
    // The cell of the USB graph's preview (cell 0 before the cameras are made).
    CPreviewWidget* UsbPreview() const;
    // The next check from the check timer (POP3), or on arrival (IMAP).
    void ShowNextCheckOfTimer();
    void EditCameras();
    // The first cell's name: the configured camera's, else the device's.
    void ShowCameraNames();
    std::optional<QImage> ProbeCamera(const CameraSettings& camera, QString* why);

    CKestrovaRuntime m_runtime;
    CFrameGrabber m_grabber;

    std::unique_ptr<CMailSetupDialog> m_mailDialog;
    std::unique_ptr<AppConfigDialog> m_appDialog;
    std::unique_ptr<CTimeTextSetupDialog> m_timeTextDialog;
    std::unique_ptr<CTrayIcon> m_tray;

    PreviewGrid* m_previews = nullptr;
    QPlainTextEdit* m_logView = nullptr;
    QLabel* m_nextCheck = nullptr;
    QLabel* m_lastReply = nullptr;
    CamerasDialog::FrameProbe m_cameraProbe;
    int m_snapshotCamera = 0;
    std::map<int, CIconButton*> m_buttons;
    std::map<int, QAction*> m_actions;
    SnapshotDialogRunner m_snapshotRunner;
    bool m_exitRequested = false;
    QString m_baseTitle = QStringLiteral("KestrovaMail");
    QString m_faultState;
    bool m_mailBusy = false;
};
