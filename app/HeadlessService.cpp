#include "app/HeadlessService.h"

#include "app/ProcessSignals.h"
#include "app/ServiceStart.h"
#include "app/SettingsStore.h"
#include "mail/CodePageService.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

CHeadlessService::CHeadlessService(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)),
      m_log(m_settings.app, m_options.folder, m_clock), m_serviceLog(m_log), m_ui(m_serviceLog),
      m_graph(m_settings.device, m_ui) {
    m_log.SetStandardErrorEcho(m_options.echoToStandardError);
    m_graph.SetTeardownPause(std::chrono::milliseconds(m_options.teardownPauseMs));
    m_graph.SetPinnedDevice(m_options.device);
}

CHeadlessService::~CHeadlessService() {
    m_mailHost.reset(); // its worker's waits end at once
    // Streaming ends before the keeper that hears of a failed stream goes; nothing is opened
    // again, so the pause after a teardown is not needed.
    m_graph.SetTeardownPause(std::chrono::milliseconds(0));
    m_graph.TearDownGraph();
    m_keeper.reset();
}

void CHeadlessService::LoadInto(Settings& settings) {
    for (const std::string& note : LoadSettings(settings, m_options.folder, *this))
        m_log.AddLog(note);
}

bool CHeadlessService::Start(bool timer) {
    LoadInto(m_settings);
    m_codePages = CCodePageService::Create();
    if (!m_codePages) {
        m_log.AddLog(kInitFailed);
        return false;
    }

    m_keeper = std::make_unique<CCameraKeeper>(m_graph, m_serviceLog,
                                               [this] { return m_graph.BuildGraph(true, false); });
    m_keeper->SetRetryInterval(m_options.cameraRetry);
    m_ui.SetStreamLostHandler(
        [keeper = m_keeper.get()](const std::string& reason) { keeper->NotifyStreamLost(reason); });
    connect(m_keeper.get(), &CCameraKeeper::cameraAvailable, this, [this] { SyncFlags(); });
    m_keeper->Start();
    SyncFlags();

    CMailCheckHost::Wiring wiring{
        m_settings.mail,
        m_flags,
        m_serviceLog,
        m_keeper->WorkerSide(this, [this] { return MakeGrabRequest(); }),
        m_options.folder,
        m_clock,
        m_codePages,
        m_options.helloPort};
    m_mailHost = std::make_unique<CMailCheckHost>(std::move(wiring));

    m_log.AddLog(kStartLine);
    SaveSettingsAndSay(m_settings, m_options.folder, *this, m_settingsNotices);
    if (timer) {
        m_mailHost->StartTimer(kMailCheckIntervalMs);
        // A service that has just started does not wait a minute for its first check (with
        // IMAP the session that starts with the timer makes it).
        if (m_settings.mail.receiveProtocol != ReceiveProtocol::Imap)
            QTimer::singleShot(0, this, [this] { m_mailHost->PostCheck(false); });
    }
    return true;
}

void CHeadlessService::SyncFlags() {
    m_flags.graphReady = m_keeper && m_keeper->ChecksMayRun();
}

GrabRequest CHeadlessService::MakeGrabRequest() {
    if (m_options.onGrab)
        m_options.onGrab();
    SyncFlags();
    GrabRequest request;
    request.graphReady = m_graph.graphReady();
    if (!request.graphReady)
        ++m_grabsWithoutCamera;
    request.timeText = m_settings.timeText;
    request.jpegQuality = m_settings.app.jpegQuality;
    request.setUiBusy = [this](bool busy) { m_flags.uiBusy = busy; };
    return request;
}

void CHeadlessService::Reload() {
    if (m_flags.uiBusy) {
        // A grab is running on the graph: reload once it is over.
        QTimer::singleShot(500, this, &CHeadlessService::Reload);
        return;
    }
    Settings fresh;
    LoadInto(fresh);
    // The worker runs on copies of the mail settings, so the live records can change now.
    m_settings.app = fresh.app;
    m_settings.mail = fresh.mail;
    m_settings.timeText = fresh.timeText;
    const DeviceSettings& now = m_settings.device;
    const bool deviceChanged = fresh.device.deviceName != now.deviceName ||
                               fresh.device.width != now.width || fresh.device.height != now.height;
    m_log.AddLog(kReloadedLine);
    if (m_mailHost)
        m_mailHost->SettingsChanged();
    if (deviceChanged && m_keeper) {
        m_settings.device = fresh.device;
        const bool built = m_graph.BuildGraph(true, false);
        m_keeper->AfterUserBuild(built);
        SyncFlags();
    }
}

void CHeadlessService::Stop() {
    if (m_mailHost)
        m_mailHost->Stop();
    QCoreApplication::quit();
}

void CHeadlessService::CheckOnce(std::function<void(int, const std::string&)> done) {
    const MailSettings& mail = m_settings.mail;
    const bool imap = mail.receiveProtocol == ReceiveProtocol::Imap;
    const char* missing = imap && mail.imapServer.empty()    ? "MAIL.IMAP_SERVER"
                          : !imap && mail.pop3Server.empty() ? "MAIL.POP3_SERVER"
                          : mail.pop3Id.empty()              ? "MAIL.POP3_ID"
                                                             : nullptr;
    if (missing) {
        done(kSettingsMissing, std::string(missing) +
                                   " is not set (kestrovamail --set " + missing + "=...)");
        return;
    }
    if (mail.pop3Pass.empty()) {
        done(kSettingsMissing, "no POP3 password is stored (kestrovamail --set-password pop3)");
        return;
    }
    const int lossesBefore = m_keeper->losses();
    m_grabsWithoutCamera = 0;
    m_serviceLog.TakeLast();
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(m_mailHost.get(), &CMailCheckHost::checkFinished, this,
                          [this, done, connection, lossesBefore](int result) {
                              disconnect(*connection);
                              const std::string last = m_serviceLog.TakeLast();
                              if (result != 1)
                                  done(kCheckFailed,
                                       last.empty() ? "the mail check did not complete" : last);
                              else if (m_grabsWithoutCamera > 0 ||
                                       m_keeper->losses() != lossesBefore)
                                  done(kRequestsLeft, "picture requests stay on the server: "
                                                      "no camera delivered a picture");
                              else
                                  done(kCheckCompleted, {});
                          });
    if (!m_mailHost->PostCheck(false)) {
        disconnect(*connection);
        done(kCheckFailed, "the mail check could not start");
    }
}

int RunHeadless(CHeadlessService::Options options, bool checkOnce) {
    CHeadlessService service(std::move(options));
    if (!service.Start(!checkOnce)) {
        std::fprintf(stderr, "kestrovamail: %s\n", kInitFailed);
        return CHeadlessService::kCheckFailed;
    }
    int status = CHeadlessService::kCheckFailed;
    std::function<void()> reload;
    if (!checkOnce)
        reload = [&service] { service.Reload(); };
    const CProcessSignals processSignals([&service] { service.Stop(); }, reload);
    if (checkOnce) {
        bool finished = false;
        service.CheckOnce([&status, &finished](int result, const std::string& reason) {
            status = result;
            finished = true;
            if (!reason.empty())
                std::fprintf(stderr, "kestrovamail: %s\n", reason.c_str());
            QCoreApplication::exit(result);
        });
        if (finished) // refused before any check started: no event loop needed
            return status;
    }
    const int loopStatus = QCoreApplication::exec();
    return checkOnce ? status : loopStatus;
}
