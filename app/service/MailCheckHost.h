#pragma once
// The mail side of the program without any window: the mail worker, the check timer, and the
// check cycle wired to the user-interface thread's log and capture graph through queues. The
// runtime (CKestrovaRuntime) owns one; it lives on the user-interface thread.
//
// A check is handed to the worker on a copy of the settings taken here (where settings
// change); while one is queued or runs, the timer's tick and the button do nothing. Stop()
// cancels every wait at once and writes the worker's last log lines before it returns.
//
// With IMAP the timer does not post checks: the IMAP session (CMailService::RunImapSession)
// runs on the worker, idling between cycles. It steps aside whenever another job is posted and
// is posted again behind it; after a failure it is posted again after a pause that doubles
// from one second up to the timer's interval (starting short again after a turn that stood
// for half a minute); without IDLE, or when no check may run, the
// next tick posts it. A tick also brings changed settings to it, and, while the last cycle
// left requests on the server (no camera, no reply accepted), a cycle, as POP3 gets one:
// news from the server alone would leave them until the idle limit.

#include "app/service/MailService.h"
#include "app/service/MailWorker.h"
#include "app/service/QueuedServiceLog.h"
#include "app/camera/WorkerPictureSource.h"
#include "base/Clock.h"
#include "base/Settings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CCodePageService;

class CMailCheckHost final : public QObject {
    Q_OBJECT
public:
    struct Wiring {
        MailSettings& settings;      // the live record (copied for every check)
        ServiceFlags& flags;
        IServiceLog& log;            // used on this thread only
        // The cameras in the settings' order; each context: any object on this thread.
        std::vector<CWorkerCameras::Camera> cameras;
        std::string folder;          // the program folder (judged-message files)
        const IClock& clock;
        std::shared_ptr<CCodePageService> codePages;
        uint16_t helloPort = CReplySender::kHelloPort;
    };

    explicit CMailCheckHost(Wiring wiring, QObject* parent = nullptr);
    ~CMailCheckHost() override; // Stop()

    // Starts the check timer (with POP3 the first check after one interval; with IMAP the
    // session starts at once, so the flags must say by now whether a check may run).
    void StartTimer(int intervalMs);
    // Hands one check to the worker: the timer's (manual false) or the "メールチェック"
    // button's. False when none was posted (one runs, the flags forbid it, stopped).
    bool PostCheck(bool manual);
    void Stop();
    // The live settings have changed: with IMAP the session takes them (or ends, when POP3
    // is chosen now) at once rather than at the next tick.
    void SettingsChanged();

    bool checkRunning() const { return m_checkRunning; }
    // The check cycle's short error state after the last check ("エラー: POP3サーバ"), empty
    // while nothing is wrong.
    const std::string& faultState() const { return m_faultState; }
    CMailWorker& worker() { return m_worker; }
    CMailService& service() { return *m_service; }
    QTimer& timer() { return m_timer; }

signals:
    // A verified requester switched the alerts ("cap arm", "cap disarm"); on this thread.
    void armRequested(bool armed, const QString& requester);
    // A check was handed to the worker (true) or has ended (false).
    void checkRunningChanged(bool running);
    // A posted check has ended with this result of CMailService::CheckMail (1: completed);
    // the button's check always reports 1.
    void checkFinished(int result);
    // The short error state has changed (empty: every cause is over).
    void faultStateChanged(const QString& state);

private:
    void SetRunning(bool running);
    void OnTick();
    // With IMAP: the session posted, or brought the settings of now; with POP3: closed.
    void KeepSessionCurrent();
    void PostSession();
    void OnSessionEnd(CMailService::SessionEnd end);
    void SetFaultState(const std::string& state);
    bool ImapChosen() const { return m_settings.receiveProtocol == ReceiveProtocol::Imap; }

    MailSettings& m_settings;
    ServiceFlags& m_flags;
    CMailWorker m_worker;
    CQueuedServiceLog m_queuedLog;
    CWorkerCameras m_pictures;
    std::unique_ptr<CMailService> m_service;
    QTimer m_timer;
    QTimer m_retryTimer;         // the pause before the IMAP session is posted again
    int m_retries = 0;           // IMAP turns in a row that failed soon after they began
    QElapsedTimer m_sessionStarted;
    static constexpr qint64 kSoundSessionMs = 30000;
    bool m_sessionPosted = false;
    bool m_sessionMayBeOpen = false; // a session ran since the last close was posted
    MailSettings m_sessionCopy;  // the settings the posted session runs with
    bool m_checkRunning = false;
    bool m_stopped = false;
    std::string m_faultState;
};
