#include "app/runtime/KestrovaRuntime.h"

#include "app/settings/MailAccount.h"

#include "app/runtime/ServiceStart.h"
#include "app/settings/SettingsStore.h"
#include "mail/text/CodePageService.h"

#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <ctime>

CKestrovaRuntime::CKestrovaRuntime(Options options, ICaptureUi* ui, QObject* parent)
    : QObject(parent), m_options(std::move(options)),
      m_log(m_settings.app, m_options.folder, m_clock), m_serviceLog(m_log),
      m_loggingUi(m_serviceLog), m_ui(ui ? *ui : m_loggingUi, *this),
      m_graph(m_usbCamera, m_ui), m_keeper(m_graph, m_serviceLog, [this] {
          if (m_flags.uiBusy)
              return false; // a dialog or a grab is using the graph: the next look takes it up
          const bool built = m_graph.BuildGraph(true, false);
          SyncFlags();
          return built;
      }) {
    m_graph.SetTeardownPause(std::chrono::milliseconds(m_options.teardownPauseMs));
    m_graph.SetPinnedDevice(m_options.device);
    m_keeper.SetRetryInterval(m_options.cameraRetry);
    connect(&m_keeper, &CCameraKeeper::cameraAvailable, this, [this] { SyncFlags(); });
}

CKestrovaRuntime::~CKestrovaRuntime() {
    Stop();
}

bool CKestrovaRuntime::Start(bool timer, const std::function<bool()>& beforeMail) {
    const std::vector<std::string> notes = LoadSettings(m_settings, m_options.folder, *this);
    TakeUsbCamera();
    InstallUsbMotion(); // before the window's first build
    if (beforeMail && !beforeMail())
        return false;

    m_codePages = CCodePageService::Create();
    if (!m_codePages) {
        // Without the code-page conversion no reply can be composed; the program cannot work.
        m_ui.ShowMessage(kInitFailed);
        return false;
    }
    m_alerts = std::make_unique<AlertDispatch>(m_settings, m_serviceLog, m_options.folder);
    MakeCameras();
    MakeMailHost();
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    m_log.AddLog(kStartLine);
    for (const std::string& note : notes)
        m_log.AddLog(note);
    // Anyone may ask while the allow-list is empty: said once, where the user reads at start.
    if (!AccountComplete(m_settings.mail))
        m_log.AddLog(kNoAccountLine);
    else if (m_settings.mail.sendAddresses.empty())
        m_log.AddLog(kAnyoneMayAskLine);
    // After the start line: a camera missing now is said below it.
    if (UsesUsbGraph())
        m_keeper.Start();
    for (const std::unique_ptr<NetworkCameraKeeper>& network : m_network)
        network->Start();
    SyncFlags();
    // Only now may a check run: an IMAP session posted before would find no camera yet, pause
    // and wait for the next tick.
    m_timer = timer;
    if (timer)
        m_mailHost->StartTimer(kMailCheckIntervalMs);
    m_started = true;
    SaveAllSettings();
    return true;
}

void CKestrovaRuntime::Reload() {
    if (m_flags.uiBusy) {
        // A grab or a dialog is using the graph: reload once it is over.
        QTimer::singleShot(500, this, &CKestrovaRuntime::Reload);
        return;
    }
    Settings fresh;
    for (const std::string& note : LoadSettings(fresh, m_options.folder, *this))
        m_log.AddLog(note);
    // The worker runs on copies of the mail settings, so the live records can change now.
    m_settings.app = fresh.app;
    m_settings.mail = fresh.mail;
    m_settings.timeText = fresh.timeText;
    const auto cameraPart = [](const DeviceSettings& device) {
        std::vector<std::string> part;
        for (const CameraSettings& c : device.cameras)
            part.insert(part.end(), {c.name, std::to_string(static_cast<int>(c.type)), c.address,
                                     c.user, c.password, std::to_string(c.width),
                                     std::to_string(c.height)});
        return part;
    };
    const bool camerasChanged = cameraPart(fresh.device) != cameraPart(m_settings.device);
    m_log.AddLog(kReloadedLine);
    if (camerasChanged && m_started)
        ReplaceCameras(fresh.device.cameras);
    else if (camerasChanged) {
        m_settings.device.cameras = fresh.device.cameras;
        TakeUsbCamera();
    }
    if (m_mailHost)
        m_mailHost->SettingsChanged();
    if (m_alerts)
        m_alerts->SettingsChanged();
}

void CKestrovaRuntime::StopMail() {
    if (m_alerts)
        m_alerts->SetMailHost(nullptr, {});
    if (m_mailHost)
        m_mailHost->Stop();
}

void CKestrovaRuntime::Stop() {
    if (m_stopped)
        return;
    m_stopped = true;
    StopMail();
    if (m_started && m_options.saveAtStop)
        SaveAllSettings();
    // Streaming ends before the keeper that hears of a failed stream goes; nothing is opened
    // again, so the pause after a teardown is not needed.
    m_graph.SetTeardownPause(std::chrono::milliseconds(0));
    m_graph.TearDownGraph();
    m_cameras.clear();
    m_network.clear();
}

bool CKestrovaRuntime::RebuildGraph(bool useFirstDevice, bool configureDevice) {
    FlagGuard busy(m_flags.uiBusy);
    const bool built = m_graph.BuildGraph(useFirstDevice, configureDevice);
    m_keeper.AfterUserBuild(built);
    SyncFlags();
    return built;
}

void CKestrovaRuntime::SaveAllSettings() {
    GiveBackUsbCamera();
    SaveSettingsAndSay(m_settings, m_options.folder, *this, m_settingsNotices);
}

void CKestrovaRuntime::SyncFlags() {
    // Without a camera the checks run on (their grabs fail, the requests stay).
    m_flags.graphReady = !UsesUsbGraph() || m_keeper.ChecksMayRun();
}

bool CKestrovaRuntime::RunningCamera::waiting() const {
    return network && network->waiting();
}

void CKestrovaRuntime::ReplaceCameras(const std::vector<CameraSettings>& cameras) {
    // The worker reaches the cameras: it stops before they change, and comes back with them.
    m_alerts->SetMailHost(nullptr, {});
    m_mailHost->Stop();
    m_mailHost.reset();
    GiveBackUsbCamera();
    const CameraSettings usbBefore = m_usbCamera;
    m_settings.device.cameras = cameras;
    TakeUsbCamera();
    if (!UsesUsbGraph())
        m_graph.TearDownGraph(); // the device is free for others
    MakeCameras(); // before a rebuild, which takes the motion handler
    if (UsesUsbGraph() &&
        (usbBefore.address != m_usbCamera.address || usbBefore.width != m_usbCamera.width ||
         usbBefore.height != m_usbCamera.height || usbBefore.motion != m_usbCamera.motion ||
         usbBefore.sensitivity != m_usbCamera.sensitivity || usbBefore.mask != m_usbCamera.mask))
        RebuildGraph(true, false);
    for (const std::unique_ptr<NetworkCameraKeeper>& network : m_network)
        network->Start();
    MakeMailHost();
    if (m_timer)
        m_mailHost->StartTimer(kMailCheckIntervalMs);
    SyncFlags();
    emit camerasReplaced();
}

CameraSettings* CKestrovaRuntime::UsbEntry() {
    std::vector<CameraSettings>& cameras = m_settings.device.cameras;
    const auto usb = std::ranges::find_if(cameras, [](const CameraSettings& c) {
        return c.type == CameraType::Usb;
    });
    return usb == cameras.end() ? nullptr : &*usb;
}

void CKestrovaRuntime::TakeUsbCamera() {
    const CameraSettings* entry = UsbEntry();
    m_usbCamera = entry ? *entry : CameraSettings{};
}

void CKestrovaRuntime::GiveBackUsbCamera() {
    // What the graph chose (the device, the size the device settings took) is what is kept.
    if (CameraSettings* entry = UsbEntry()) {
        entry->address = m_usbCamera.address;
        entry->width = m_usbCamera.width;
        entry->height = m_usbCamera.height;
    }
}

std::size_t CKestrovaRuntime::UsbIndex() const {
    const auto usb = std::ranges::find_if(m_cameras, [](const RunningCamera& c) { return !c.network; });
    return static_cast<std::size_t>(usb - m_cameras.begin());
}

bool CKestrovaRuntime::UsesUsbGraph() const {
    const std::vector<CameraSettings>& cameras = m_settings.device.cameras;
    return cameras.empty() || std::ranges::any_of(cameras, [](const CameraSettings& c) {
               return c.type == CameraType::Usb;
           });
}

MotionTap::Handler CKestrovaRuntime::MotionHandler(std::size_t index) {
    // Heard on a streaming thread; the alerts hear of it on this one.
    return [this, index](const MotionResult& result) {
        if (!result.eventStarted)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, index] {
                if (m_alerts)
                    m_alerts->MotionSeen(index);
            },
            Qt::QueuedConnection);
    };
}

void CKestrovaRuntime::InstallUsbMotion() {
    // The USB graph runs the first USB camera; the cameras before it are network ones, all
    // running, so its place in the list of running cameras is its place in the settings.
    m_graph.SetMotionHandler({});
    const std::vector<CameraSettings>& cameras = m_settings.device.cameras;
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        if (cameras[i].type != CameraType::Usb)
            continue;
        if (cameras[i].motion)
            m_graph.SetMotionHandler(MotionHandler(i));
        return;
    }
}

void CKestrovaRuntime::MakeCameras() {
    m_cameras.clear();
    m_network.clear();
    InstallUsbMotion();
    bool usbTaken = false;
    for (const CameraSettings& settings : m_settings.device.cameras) {
        if (settings.type == CameraType::Usb) {
            // One USB camera runs: the graph the window and the device dialogs know.
            if (usbTaken) {
                m_log.AddLog("カメラ「" + settings.name + "」: USBカメラは1台まで使えます。");
                continue;
            }
            usbTaken = true;
            m_cameras.push_back({settings.name, &m_graph, nullptr});
            continue;
        }
        const std::size_t index = m_cameras.size();
        NetworkCameraSpec spec{settings.type, settings.address, settings.user, settings.password,
                               m_settings.mail.caFile};
        m_network.push_back(std::make_unique<NetworkCameraKeeper>(
            settings.name, std::move(spec), m_serviceLog, [this, index] {
                if (m_frameHook)
                    m_frameHook(index);
            }));
        connect(m_network.back().get(), &NetworkCameraKeeper::cameraAvailable, this,
                [this] { SyncFlags(); });
        m_network.back()->SetMotionTap(MakeMotionTap(settings, MotionHandler(index)));
        m_cameras.push_back({settings.name, &m_network.back()->camera(), m_network.back().get()});
    }
    if (m_cameras.empty())
        m_cameras.push_back({std::string(), &m_graph, nullptr});
}

void CKestrovaRuntime::MakeMailHost() {
    std::vector<CWorkerCameras::Camera> cameras;
    for (const RunningCamera& camera : m_cameras) {
        if (camera.network)
            cameras.push_back({camera.name, camera.network->WorkerSide(this, [this, camera] {
                                   return MakeGrabRequest(camera.network);
                               })});
        else
            cameras.push_back({camera.name, m_keeper.WorkerSide(this, [this] {
                                   return MakeGrabRequest();
                               })});
    }
    CMailCheckHost::Wiring wiring{m_settings.mail, m_flags,    m_serviceLog,
                                  std::move(cameras), m_options.folder, m_clock,
                                  m_codePages,        m_options.helloPort};
    m_mailHost = std::make_unique<CMailCheckHost>(std::move(wiring));
    std::vector<std::string> names;
    for (const RunningCamera& camera : m_cameras)
        names.push_back(camera.name);
    if (m_alerts)
        m_alerts->SetMailHost(m_mailHost.get(), std::move(names));
    connect(m_mailHost.get(), &CMailCheckHost::armRequested, this,
            [this](bool armed, const QString& requester) {
                m_settings.alert.armed = armed;
                m_log.AddLog(std::string(armed ? "警戒を始めました" : "警戒を解除しました") + "（" +
                             requester.toStdString() + " のメールで）");
                SaveAllSettings();
                emit armedChanged(armed);
            });
}

bool CKestrovaRuntime::CamerasSettled() const {
    return std::ranges::all_of(m_network, [](const std::unique_ptr<NetworkCameraKeeper>& network) {
        return network->tried();
    });
}

GrabRequest CKestrovaRuntime::MakeGrabRequest(const NetworkCameraKeeper* network) {
    SyncFlags();
    GrabRequest request;
    request.graphReady = network ? !network->waiting() && network->camera().graphReady()
                                 : m_graph.graphReady();
    request.timeText = m_settings.timeText;
    request.jpegQuality = m_settings.app.jpegQuality;
    request.setUiBusy = [this](bool busy) { m_flags.uiBusy = busy; };
    if (m_grabHook)
        m_grabHook(request);
    return request;
}
