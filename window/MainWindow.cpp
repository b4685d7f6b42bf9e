#include "window/MainWindow.h"

#include "window/AboutDialog.h"
#include "window/CommandIds.h"
#include "window/IconButton.h"
#include "window/PreviewGrid.h"
#include "window/PreviewWidget.h"
#include "window/TrayIcon.h"
#include "app/report/ScreenText.h"
#include "dialogs/AppConfigDialog.h"
#include "dialogs/BusyCursor.h"
#include "dialogs/DeviceSelectDialog.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/DeviceSettingsDialog.h"
#include "dialogs/MailSetupDialog.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/SnapShotDialog.h"
#include "dialogs/TimeTextSetupDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLocale>
#include <QLabel>
#include <QMenuBar>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>
#include <thread>

namespace {

// The window was laid out in dialog units; these factors give the same proportions in pixels
// with the 320 x 240 preview (the banner and the buttons keep those sizes).
constexpr double kUnitX = 1.75;
constexpr double kUnitY = 1.6;

QRect Units(int x, int y, int w, int h) {
    return QRect(int(x * kUnitX), int(y * kUnitY), int(w * kUnitX), int(h * kUnitY));
}

QIcon IconResource(int number) {
    return QIcon(QStringLiteral(":/icons/icon%1.svg").arg(number));
}

struct ButtonSpec {
    int id;
    int x;
    int hotIcon;
    int normalIcon;
    const char* tooltip;
};

// Position, icons (pointer over / normal) and tooltip of the six icon buttons.
constexpr ButtonSpec kButtons[] = {
    {ids::kSnapshotButton, 37, 165, 166, QT_TRANSLATE_NOOP("MainWindow", "スナップショット")},
    {ids::kChangeDeviceButton, 68, 167, 168, QT_TRANSLATE_NOOP("MainWindow", "入力機器変更")},
    {ids::kMailSetupButton, 99, 158, 159, QT_TRANSLATE_NOOP("MainWindow", "メール設定")},
    {ids::kMailCheckButton, 130, 161, 160, QT_TRANSLATE_NOOP("MainWindow", "メールチェック")},
    {ids::kDeviceSetupButton, 161, 163, 162, QT_TRANSLATE_NOOP("MainWindow", "入力設定")},
    {ids::kDevicePropertiesButton, 192, 170, 169,
     QT_TRANSLATE_NOOP("MainWindow", "入力プロパティ")},
};

} // namespace

MainWindow::MainWindow(Options options, QWidget* parent)
    : QMainWindow(parent), m_runtime(std::move(options), this),
      m_grabber(m_runtime.graph()) {
    Q_INIT_RESOURCE(window);

    ApplyTitle();
    setWindowIcon(IconResource(128));
    QFont uiFont(QStringLiteral("IPAGothic"));
    uiFont.setPointSize(9);
    setFont(uiFont);

    Settings& settings = m_runtime.settings();
    m_mailDialog = std::make_unique<CMailSetupDialog>(settings.mail, this);
    m_appDialog = std::make_unique<AppConfigDialog>(settings.app, this);
    m_timeTextDialog = std::make_unique<CTimeTextSetupDialog>(settings.timeText, this);

    BuildLayout();
    BuildMenus();

    CTrayIcon::Handlers handlers;
    handlers.windowMinimised = [this] { return isMinimized() || isHidden(); };
    handlers.windowEnabled = [this] { return QApplication::activeModalWidget() == nullptr; };
    handlers.toggleWindow = [this] { ToggleWindow(); };
    handlers.snapshot = [this] { RunCommand(ids::kSnapshot); };
    handlers.exit = [this] { RunCommand(ids::kTrayExit); };
    m_tray = std::make_unique<CTrayIcon>(std::move(handlers));

    log().SetObserver([this](std::string_view added, const std::string&) { OnLogAdded(added); });
    connect(&m_runtime.keeper(), &CCameraKeeper::cameraAvailable, this,
            &MainWindow::ShowCameraState);
}

MainWindow::~MainWindow() {
    m_runtime.Stop();
    m_previews->SetCameras({}); // nothing reads the graph after this
    if (m_tray)
        m_tray->RemoveTrayIcon();
}

void MainWindow::BuildLayout() {
    auto* central = new QWidget(this);
    central->setAutoFillBackground(true);
    QPalette white = central->palette();
    white.setColor(QPalette::Window, Qt::white);
    central->setPalette(white);
    setCentralWidget(central);
    // The first size is the smallest: the single preview at 320 x 240 as it always was.
    central->setMinimumSize(kMinimumWidth, kMinimumHeight);

    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(12, 11, 12, 10);
    row->setSpacing(5);

    auto* banner = new QLabel(central);
    banner->setFixedSize(Units(7, 7, 27, 307).size());
    banner->setPixmap(QIcon(QStringLiteral(":/icons/bitmap144.svg")).pixmap(banner->size()));
    banner->setScaledContents(true);
    row->addWidget(banner, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(0);
    row->addLayout(column, 1);

    // The previews take what the window grows by; the buttons keep their size.
    m_previews = new PreviewGrid(central);
    m_previews->setObjectName(QStringLiteral("previews"));
    column->addWidget(m_previews, 4);
    column->addSpacing(6);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    for (const ButtonSpec& spec : kButtons) {
        auto* button = new CIconButton(spec.id, IconResource(spec.hotIcon),
                                       IconResource(spec.normalIcon), tr(spec.tooltip), central);
        button->setFixedSize(Units(spec.x, 175, 31, 36).size());
        button->setIconSize(button->size() - QSize(8, 8));
        connect(button, &QToolButton::clicked, this, [this, id = spec.id] { RunCommand(id); });
        m_buttons[spec.id] = button;
        buttons->addWidget(button);
    }
    buttons->addStretch();
    column->addLayout(buttons);
    column->addSpacing(10);

    m_logView = new QPlainTextEdit(central);
    m_logView->setObjectName(QStringLiteral("log"));
    m_logView->setMinimumHeight(100);
    m_logView->setReadOnly(true);
    // Long lines (an English start line, a server's reply) wrap at the pane's edge, Japanese
    // ones between any two characters; nothing needs sideways scrolling.
    m_logView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_logView->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_logView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_logView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette logPalette = m_logView->palette();
    logPalette.setColor(QPalette::Base, Qt::white);
    m_logView->setPalette(logPalette);
    column->addWidget(m_logView, 1);

    // The status line: the next check and the last reply, in their place "メールチェック中…"
    // while a check runs. The reply comes from a mail: a long one is cut, never widening the
    // window; the tooltip has it whole.
    m_nextCheck = new QLabel(this);
    m_nextCheck->setObjectName(QStringLiteral("nextCheck"));
    statusBar()->addWidget(m_nextCheck);
    m_lastReply = new QLabel(this);
    m_lastReply->setObjectName(QStringLiteral("lastReply"));
    m_lastReply->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_lastReply->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(m_lastReply, 1);
    SetNextCheck(QDateTime());
    SetLastReply(QString());

    resize(minimumSizeHint());
}

QAction* MainWindow::AddCommand(QMenu* menu, const QString& text, int id) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    m_actions[id] = action;
    return action;
}

void MainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(tr("ファイル(&F)"));
    AddCommand(file, tr("スナップショット(&P)"), ids::kSnapshot);
    file->addSeparator();
    AddCommand(file, tr("終了(&X)"), ids::kExit);

    QMenu* setup = bar->addMenu(tr("各種設定(&S)"));
    AddCommand(setup, tr("アプリケーション設定(&A)"), ids::kAppSettings);
    AddCommand(setup, tr("メール設定(&M)"), ids::kMailSettings);
    AddCommand(setup, tr("日時表示設定(&T)"), ids::kTimeTextSettings);

    QMenu* device = bar->addMenu(tr("入力機器(&D)"));
    AddCommand(device, tr("変更(&C)"), ids::kChangeDevice);
    AddCommand(device, tr("設定(&S)"), ids::kDeviceSettings);
    AddCommand(device, tr("プロパティ(&P)"), ids::kDeviceProperties);
    device->addSeparator();
    AddCommand(device, tr("カメラの一覧(&L)..."), ids::kCameras);

    QMenu* help = bar->addMenu(tr("ヘルプ(&H)"));
    AddCommand(help, tr("ｾﾞﾝﾄﾘﾎﾞのﾎｰﾑﾍﾟｰｼﾞ(&H)"), ids::kHomePage);
    help->addSeparator();
    AddCommand(help, tr("バージョン情報(&A)"), ids::kAbout);
}

QAction* MainWindow::action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

CIconButton* MainWindow::button(int id) const {
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

bool MainWindow::Initialise() {
    m_tray->AddTrayIcon(false);
    m_previews->SetCameras({{QString(), PreviewSource::Of(&graph())}});
    ShowCameraNames();
    if (!m_runtime.Start(true, [this] { return OpenCameraAndFirstRunDialogs(); })) {
        hide();
        return false;
    }
    TakeCameras();
    connect(&m_runtime, &CKestrovaRuntime::camerasReplaced, this, &MainWindow::TakeCameras);
    return true;
}

void MainWindow::TakeCameras() {
    CMailCheckHost& host = *m_runtime.mailHost();
    connect(&host, &CMailCheckHost::checkRunningChanged, this, &MainWindow::ShowMailBusy);
    connect(&host, &CMailCheckHost::faultStateChanged, this, &MainWindow::ShowFaultState);
    m_mailDialog->SetMailWorker(&host.worker());
    connect(&host.timer(), &QTimer::timeout, this, &MainWindow::ShowNextCheckOfTimer);
    ShowNextCheckOfTimer();

    const auto& cameras = m_runtime.cameras();
    std::vector<PreviewGrid::Camera> cells;
    for (const CKestrovaRuntime::RunningCamera& camera : cameras)
        cells.push_back({cameras.size() > 1 ? ScreenText(ToQt(camera.name)) : QString(),
                         PreviewSource::Of(camera.camera)});
    m_previews->SetCameras(std::move(cells));
    if (m_runtime.UsbIndex() < cameras.size() && m_runtime.keeper().waiting())
        UsbPreview()->SetNotice(tr(kNoCameraNotice)); // the new cell says it again
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        NetworkCameraKeeper* network = cameras[i].network;
        if (!network)
            continue;
        CPreviewWidget* cell = m_previews->preview(int(i));
        const auto notice = [this, cell](bool available) {
            cell->SetNotice(available ? QString() : tr(kNoCameraNotice));
        };
        notice(!network->waiting());
        connect(network, &NetworkCameraKeeper::cameraAvailable, cell, notice);
    }
    // A network camera's frames come on its own threads; the cell is looked up on this one,
    // as the cells may have been made anew meanwhile.
    m_runtime.SetFrameHook([this](std::size_t index) {
        QMetaObject::invokeMethod(
            this,
            [this, index] {
                if (int(index) < m_previews->count())
                    m_previews->preview(int(index))->AnnounceFrame();
            },
            Qt::QueuedConnection);
    });
    if (cameras.size() == 1)
        ShowCameraNames();
    SyncPreviewShown();
}

CPreviewWidget* MainWindow::UsbPreview() const {
    const std::size_t usb = m_runtime.UsbIndex();
    return m_previews->preview(usb < std::size_t(m_previews->count()) ? int(usb) : 0);
}

bool MainWindow::OpenCameraAndFirstRunDialogs() {
    CCaptureGraph& graph = m_runtime.graph();
    const std::string& named = m_runtime.options().device;
    const std::vector<CaptureDevice> devices = graph.ListDevices();
    const bool cameraThere =
        named.empty() ? !devices.empty() : CCaptureGraph::FindDevice(devices, named) >= 0;
    const bool firstRun = settings().device.cameras.front().address.empty();
    if (cameraThere) {
        // First run: choose and set up the device, then the mail and application settings.
        const bool built = firstRun ? graph.BuildGraph(false, true) : graph.BuildGraph(true, false);
        m_runtime.SyncFlags();
        if (!built)
            return false; // the device dialog was cancelled
    }
    if (firstRun) {
        // Without a camera too: a new user reaches the mail settings at once.
        m_mailDialog->exec();
        m_appDialog->exec();
    }
    return true;
}

void MainWindow::RunCommand(int id) {
    switch (id) {
    case ids::kSnapshot:
    case ids::kSnapshotButton:
        TakeSnapshot();
        break;
    case ids::kExit:
    case ids::kTrayExit:
        Exit();
        break;
    case ids::kAppSettings:
        m_appDialog->exec(); // a check may run meanwhile; saved at the next save
        break;
    case ids::kMailSettings:
    case ids::kMailSetupButton: {
        FlagGuard busy(flags().uiBusy);
        if (m_mailDialog->exec() == QDialog::Accepted) {
            m_runtime.SaveAllSettings();
            if (m_runtime.mailHost())
                m_runtime.mailHost()->SettingsChanged();
            ShowNextCheckOfTimer();
        }
        break;
    }
    case ids::kCameras:
        EditCameras();
        break;
    case ids::kTimeTextSettings: {
        FlagGuard busy(flags().uiBusy);
        m_timeTextDialog->exec();
        break;
    }
    case ids::kChangeDevice:
    case ids::kChangeDeviceButton:
        RebuildGraph(false);
        break;
    case ids::kDeviceSettings:
    case ids::kDeviceSetupButton:
        RebuildGraph(true);
        break;
    case ids::kDeviceProperties:
    case ids::kDevicePropertiesButton:
        graph().ShowFilterProperties();
        break;
    case ids::kMailCheckButton:
        if (m_runtime.mailHost())
            m_runtime.mailHost()->PostCheck(true);
        break;
    case ids::kHomePage:
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePageUrl)));
        break;
    case ids::kAbout:
        ShowAbout(true);
        break;
    case ids::kAboutKeepWindow:
        ShowAbout(false);
        break;
    case ids::kTrayShowHide:
        ToggleWindow();
        break;
    default:
        break;
    }
}

void MainWindow::RebuildGraph(bool configureDevice) {
    m_runtime.RebuildGraph(false, configureDevice);
    m_runtime.SaveAllSettings();
    ShowCameraNames();
}

void MainWindow::ShowCameraState(bool available) {
    UsbPreview()->SetNotice(available ? QString() : tr(kNoCameraNotice));
    if (!available) {
        m_baseTitle = QStringLiteral("KestrovaMail");
        ApplyTitle();
    }
}

CPreviewWidget* MainWindow::preview() const {
    return m_previews->preview(0);
}

std::vector<std::string> MainWindow::CameraNames() {
    // As the snapshot grabs them: the cameras that run.
    if (m_runtime.cameras().size() > 1) {
        std::vector<std::string> running;
        for (const CKestrovaRuntime::RunningCamera& camera : m_runtime.cameras())
            running.push_back(camera.name);
        return running;
    }
    const DeviceSettings& device = m_runtime.settings().device;
    std::vector<std::string> names;
    for (size_t i = 0; i < device.cameras.size(); ++i) {
        const std::string& name = device.cameras[i].name;
        names.push_back(name.empty() ? ToStd(tr("カメラ%1").arg(i + 1)) : name);
    }
    return names;
}

void MainWindow::ShowCameraNames() {
    // One camera: the device it shows, as the title says.
    const CameraSettings& first = settings().device.cameras.front();
    const std::string& name =
        first.type == CameraType::Usb && !graph().deviceName().empty() ? graph().deviceName() : first.name;
    m_previews->SetName(0, ScreenText(ToQt(name)));
}

void MainWindow::SetNextCheck(const QDateTime& when) {
    const QString time = when.isValid()
                             ? QLocale::system().toString(when.time(), QStringLiteral("HH:mm"))
                             : tr("新着時");
    m_nextCheck->setText(tr("次のチェック: %1").arg(time));
    m_nextCheck->setToolTip(m_nextCheck->text());
}

void MainWindow::SetLastReply(const QString& text) {
    // One line: what comes from a mail must not break the status line or reach beyond it.
    QString line = text.simplified();
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    m_lastReply->setText(tr("最後の返信: %1").arg(line.isEmpty() ? tr("なし") : line));
    m_lastReply->setToolTip(m_lastReply->text());
}

void MainWindow::ShowNextCheckOfTimer() {
    if (!m_runtime.mailHost() || settings().mail.receiveProtocol == ReceiveProtocol::Imap) {
        SetNextCheck(QDateTime()); // IDLE hears of new mail at once
        return;
    }
    const QTimer& timer = mailTimer();
    SetNextCheck(timer.isActive()
                     ? QDateTime::currentDateTime().addMSecs(std::max(0, timer.remainingTime()))
                     : QDateTime());
}

void MainWindow::EditCameras() {
    FlagGuard busy(flags().uiBusy);
    CamerasDialog dialog(settings().device.cameras,
                         m_cameraProbe ? m_cameraProbe
                                       : [this](const CameraSettings& camera, QString* why) {
                                             return ProbeCamera(camera, why);
                                         },
                         this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (m_runtime.mailHost())
        m_runtime.ReplaceCameras(dialog.cameras());
    else
        settings().device.cameras = dialog.cameras();
    m_runtime.SaveAllSettings();
    ShowCameraNames();
}

std::optional<QImage> MainWindow::ProbeCamera(const CameraSettings& camera, QString* why) {
    QString ignored;
    if (!why)
        why = &ignored;
    const CCaptureGraph& live = graph();
    const bool running = camera.type == CameraType::Usb &&
                         (camera.address.empty() || camera.address == live.deviceName());
    if (running && live.graphReady()) {
        QImage frame = live.PreviewImage(CamerasDialog::kPictureWidth * 2,
                                         CamerasDialog::kPictureHeight * 2);
        if (!frame.isNull())
            return frame;
        *why = tr("カメラからまだ映像が届いていません。");
        return std::nullopt;
    }
    if (camera.type == CameraType::Usb) {
        *why = tr("このカメラは使用中のカメラではないため、まだ試せません。");
        return std::nullopt;
    }
    // Opening waits on the network: on a thread of its own, the window going on meanwhile.
    const NetworkCameraSpec spec{camera.type, camera.address, camera.user, camera.password,
                                 settings().mail.caFile};
    std::optional<QImage> picture;
    std::string reason;
    QEventLoop loop;
    BusyCursor busy;
    std::thread probe([&] {
        picture = TryNetworkCamera(spec, reason);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    probe.join();
    if (!picture)
        *why = ToQt(reason);
    return picture;
}

void MainWindow::TakeSnapshot() {
    // Several cameras: which one first; cancelled, nothing is grabbed.
    const std::optional<int> camera =
        CDeviceSelectDialog::ChooseSnapshotCamera(this, CameraNames());
    if (!camera)
        return;
    m_snapshotCamera = *camera;
    const auto& cameras = m_runtime.cameras();
    const auto run = [this](const Snapshot& snapshot) { return RunSnapshotDialog(snapshot); };
    if (std::size_t(*camera) < cameras.size() && cameras[std::size_t(*camera)].network) {
        const CKestrovaRuntime::RunningCamera& chosen = cameras[std::size_t(*camera)];
        CFrameGrabber grabber(*chosen.camera);
        grabber.TakeSnapshot(m_runtime.MakeGrabRequest(chosen.network), run);
    } else {
        m_grabber.TakeSnapshot(m_runtime.MakeGrabRequest(), run);
    }
    m_runtime.SyncFlags();
}

std::string MainWindow::RunSnapshotDialog(const Snapshot& snapshot) {
    if (m_snapshotRunner)
        return m_snapshotRunner(snapshot);
    CSnapShotDialog dialog(snapshot, settings().mail, this);
    if (m_runtime.mailHost())
        dialog.SetMailWorker(&m_runtime.mailHost()->worker());
    dialog.SetSmtpPort(m_runtime.options().helloPort);
    dialog.exec();
    return dialog.SavePath();
}

void MainWindow::ShowAbout(bool hideWindow) {
    if (hideWindow)
        hide();
    AboutDialog about(hideWindow ? nullptr : this);
    about.exec();
    if (hideWindow)
        show();
}

void MainWindow::ToggleWindow() {
    if (isMinimized() || isHidden()) {
        showNormal();
        raise();
        activateWindow();
    } else {
        showMinimized();
    }
}

void MainWindow::ShowMailBusy(bool busy) {
    m_mailBusy = busy;
    if (busy)
        statusBar()->showMessage(tr(kMailCheckRunning));
    else
        statusBar()->clearMessage();
    ApplyTrayStatus();
}

void MainWindow::ShowFaultState(const QString& state) {
    m_faultState = ScreenText(state);
    ApplyTitle();
    ApplyTrayStatus();
}

void MainWindow::ApplyTitle() {
    setWindowTitle(m_faultState.isEmpty()
                       ? m_baseTitle
                       : m_baseTitle + QStringLiteral(" [") + m_faultState + QStringLiteral("]"));
}

void MainWindow::ApplyTrayStatus() {
    if (!m_tray)
        return;
    QStringList parts;
    if (m_mailBusy)
        parts << tr(kMailCheckRunning);
    if (!m_faultState.isEmpty())
        parts << m_faultState;
    m_tray->SetStatus(parts.join(QStringLiteral(" / ")));
}

void MainWindow::Exit() {
    m_exitRequested = true;
    close();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    // A minimised window lives in the tray only; the camera streams on, undecoded.
    if (isMinimized() && graph().graphReady())
        QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
    SyncPreviewShown();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    SyncPreviewShown();
}

void MainWindow::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    SyncPreviewShown();
}

void MainWindow::SyncPreviewShown() {
    const bool shown = isVisible() && !isMinimized();
    graph().SetPreviewShown(shown);
    for (const CKestrovaRuntime::RunningCamera& camera : m_runtime.cameras()) {
        if (camera.network)
            camera.camera->SetPreviewShown(shown);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (settings().app.closeCancel && !m_exitRequested) {
        // The close box only hides the window into the tray.
        event->ignore();
        showMinimized();
        return;
    }
    event->accept();
    // Waits on servers end at once; nothing is deleted that was not answered.
    StopMailWork();
    QApplication::quit();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape neither press a button nor close the window.
    event->accept();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    // Linux windows have no system menu to extend; its About item lives in the window's own
    // context menu instead.
    QMenu menu(this);
    QAction* about = menu.addAction(tr("バージョン情報 Kestrova(&A)..."));
    about->setData(ids::kAboutKeepWindow);
    if (menu.exec(event->globalPos()) == about)
        RunCommand(ids::kAboutKeepWindow);
}

void MainWindow::OnLogAdded(std::string_view added) {
    // The log keeps the Japanese lines of log.txt; the view shows them in the user's language.
    std::string text = ScreenText(added);
    std::erase(text, '\r');
    QTextCursor cursor(m_logView->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    m_logView->verticalScrollBar()->setValue(m_logView->verticalScrollBar()->maximum());
    // A check blocks the window while it runs; paint the new line at once.
    m_logView->viewport()->repaint();
    // The status line's last reply: the log's "送信完了<address>" lines, with their time.
    constexpr std::string_view kSent = "送信完了<";
    for (std::string_view rest = added; !rest.empty();) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        const auto at = line.find(kSent);
        const auto end = line.find('>', at);
        if (at == std::string_view::npos || end == std::string_view::npos)
            continue;
        const std::string_view stamp = line.substr(0, line.find(" - "));
        const std::string_view time = stamp.substr(std::min(stamp.size(), stamp.rfind(' ') + 1));
        SetLastReply(ToQt(std::string(time) + " " +
                          std::string(line.substr(at + kSent.size(), end - at - kSent.size()))));
    }
}

void MainWindow::ShowMessage(const std::string& text) {
    ShowMessageBox(this, ScreenText(QString::fromStdString(text)));
}

std::optional<int> MainWindow::ChooseDevice(const std::vector<std::string>& names,
                                                  int preselected) {
    return CDeviceSelectDialog::Choose(this, names, preselected);
}

bool MainWindow::ConfigureDevice(const DeviceSetup& setup, FrameSize& size) {
    return CDeviceSettingsDialog::Configure(this, setup, size);
}

void MainWindow::ShowProperties(const DeviceSetup& setup) {
    CDeviceSettingsDialog::ShowProperties(this, setup);
}

void MainWindow::SetTitle(const std::string& title) {
    m_baseTitle = ScreenText(QString::fromStdString(title));
    ApplyTitle();
}

void MainWindow::FrameArrived() {
    UsbPreview()->AnnounceFrame();
}
