#include "app/runtime/KestrovaRuntime.h"

#include "app/settings/MailAccount.h"

#include "app/runtime/ServiceStart.h"
#include "app/settings/SettingsStore.h"
#include "mail/text/CodePageService.h"

#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace {

// The camera the graph shows. The cameras keep room for the most there may be, so that loading
// and reloading them never moves the first one from under the graph.
CameraSettings& FirstCamera(DeviceSettings& device) {
    device.cameras.reserve(DeviceSettings::kMaxCameras);
    return device.cameras.front();
}

} // namespace

CKestrovaRuntime::CKestrovaRuntime(Options options, ICaptureUi* ui, QObject* parent)
    : QObject(parent), m_options(std::move(options)),
      m_log(m_settings.app, m_options.folder, m_clock), m_serviceLog(m_log),
      m_loggingUi(m_serviceLog), m_ui(ui ? *ui : m_loggingUi, *this),
      m_graph(FirstCamera(m_settings.device), m_ui), m_keeper(m_graph, m_serviceLog, [this] {
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
    if (beforeMail && !beforeMail())
        return false;

    m_codePages = CCodePageService::Create();
    if (!m_codePages) {
        // Without the code-page conversion no reply can be composed; the program cannot work.
        m_ui.ShowMessage(kInitFailed);
        return false;
    }
    CMailCheckHost::Wiring wiring{
        m_settings.mail,
        m_flags,
        m_serviceLog,
        m_keeper.WorkerSide(this, [this] { return MakeGrabRequest(); }),
        m_options.folder,
        m_clock,
        m_codePages,
        m_options.helloPort};
    m_mailHost = std::make_unique<CMailCheckHost>(std::move(wiring));
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
    m_keeper.Start();
    SyncFlags();
    // Only now may a check run: an IMAP session posted before would find no camera yet, pause
    // and wait for the next tick.
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
    const CameraSettings& now = m_settings.device.cameras.front();
    const CameraSettings& next = fresh.device.cameras.front();
    const bool deviceChanged =
        next.address != now.address || next.width != now.width || next.height != now.height;
    m_log.AddLog(kReloadedLine);
    if (m_mailHost)
        m_mailHost->SettingsChanged();
    // The other cameras always (a save must not drop one added meanwhile); in place, as the
    // graph holds the first, which changes only with a rebuild.
    std::vector<CameraSettings>& cameras = m_settings.device.cameras;
    cameras.resize(fresh.device.cameras.size());
    std::copy(fresh.device.cameras.begin() + 1, fresh.device.cameras.end(), cameras.begin() + 1);
    if (deviceChanged && m_started) {
        cameras.front() = fresh.device.cameras.front();
        RebuildGraph(true, false);
    }
}

void CKestrovaRuntime::StopMail() {
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
}

bool CKestrovaRuntime::RebuildGraph(bool useFirstDevice, bool configureDevice) {
    FlagGuard busy(m_flags.uiBusy);
    const bool built = m_graph.BuildGraph(useFirstDevice, configureDevice);
    m_keeper.AfterUserBuild(built);
    SyncFlags();
    return built;
}

void CKestrovaRuntime::SaveAllSettings() {
    SaveSettingsAndSay(m_settings, m_options.folder, *this, m_settingsNotices);
}

void CKestrovaRuntime::SyncFlags() {
    // Without a camera the checks run on (their grabs fail, the requests stay).
    m_flags.graphReady = m_keeper.ChecksMayRun();
}

GrabRequest CKestrovaRuntime::MakeGrabRequest() {
    SyncFlags();
    GrabRequest request;
    request.graphReady = m_graph.graphReady();
    request.timeText = m_settings.timeText;
    request.jpegQuality = m_settings.app.jpegQuality;
    request.setUiBusy = [this](bool busy) { m_flags.uiBusy = busy; };
    if (m_grabHook)
        m_grabHook(request);
    return request;
}
