#include "window/MainWindow.h"

#include "window/AboutDialog.h"
#include "window/CommandIds.h"
#include "window/IconButton.h"
#include "window/PreviewWidget.h"
#include "window/TrayIcon.h"
#include "app/report/ScreenText.h"
#include "dialogs/AppConfigDialog.h"
#include "dialogs/BusyCursor.h"
#include "dialogs/DeviceSelectDialog.h"
#include "dialogs/DeviceSettingsDialog.h"
#include "dialogs/MailSetupDialog.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/SnapShotDialog.h"
#include "dialogs/TimeTextSetupDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QMenuBar>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextCursor>
#include <QUrl>

namespace {

// The window was laid out in dialog units; these factors give the same proportions in pixels
// with the 320 x 240 preview.
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
    m_preview->SetGraph(nullptr);
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
    central->setFixedSize(int(230 * kUnitX), int(320 * kUnitY));

    auto* banner = new QLabel(central);
    banner->setGeometry(Units(7, 7, 27, 307));
    banner->setPixmap(QIcon(QStringLiteral(":/icons/bitmap144.svg")).pixmap(banner->size()));
    banner->setScaledContents(true);

    m_preview = new CPreviewWidget(central);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->move(Units(38, 7, 0, 0).topLeft());
    m_preview->setFixedSize(CPreviewWidget::kWidth, CPreviewWidget::kHeight);

    for (const ButtonSpec& spec : kButtons) {
        auto* button = new CIconButton(spec.id, IconResource(spec.hotIcon),
                                       IconResource(spec.normalIcon), tr(spec.tooltip), central);
        button->setGeometry(Units(spec.x, 175, 31, 36));
        button->setIconSize(button->size() - QSize(8, 8));
        connect(button, &QToolButton::clicked, this, [this, id = spec.id] { RunCommand(id); });
        m_buttons[spec.id] = button;
    }

    m_logView = new QPlainTextEdit(central);
    m_logView->setObjectName(QStringLiteral("log"));
    m_logView->setGeometry(Units(38, 217, 184, 96));
    m_logView->setReadOnly(true);
    m_logView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_logView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_logView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette logPalette = m_logView->palette();
    logPalette.setColor(QPalette::Base, Qt::white);
    m_logView->setPalette(logPalette);

    adjustSize();
    setFixedSize(sizeHint());
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
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
    m_preview->SetGraph(&graph());
    if (!m_runtime.Start(true, [this] { return OpenCameraAndFirstRunDialogs(); })) {
        hide();
        return false;
    }
    CMailCheckHost& host = *m_runtime.mailHost();
    connect(&host, &CMailCheckHost::checkRunningChanged, this, &MainWindow::ShowMailBusy);
    connect(&host, &CMailCheckHost::faultStateChanged, this, &MainWindow::ShowFaultState);
    m_mailDialog->SetMailWorker(&host.worker());
    return true;
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
        }
        break;
    }
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
}

void MainWindow::ShowCameraState(bool available) {
    m_preview->SetNotice(available ? QString() : tr(kNoCameraNotice));
    if (!available) {
        m_baseTitle = QStringLiteral("KestrovaMail");
        ApplyTitle();
    }
}

void MainWindow::TakeSnapshot() {
    m_grabber.TakeSnapshot(m_runtime.MakeGrabRequest(),
                           [this](const Snapshot& snapshot) { return RunSnapshotDialog(snapshot); });
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
    graph().SetPreviewShown(isVisible() && !isMinimized());
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
    m_preview->AnnounceFrame();
}
