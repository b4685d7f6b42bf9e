#pragma once
// The mail side of the program without any window: the mail worker, the check timer, and the
// check cycle wired to the user-interface thread's log and capture graph through queues. The
// main window and the headless service each own one; it lives on the user-interface thread.
//
// A check is handed to the worker on a copy of the settings taken here (where settings
// change); while one is queued or runs, the timer's tick and the button do nothing. Stop()
// cancels every wait at once and writes the worker's last log lines before it returns.

#include "app/MailService.h"
#include "app/MailWorker.h"
#include "app/QueuedServiceLog.h"
#include "app/WorkerPictureSource.h"
#include "base/Clock.h"
#include "base/Settings.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

class CCodePageService;

class CMailCheckHost final : public QObject {
    Q_OBJECT
public:
    struct Wiring {
        MailSettings& settings;      // the live record (copied for every check)
        ServiceFlags& flags;
        IServiceLog& log;            // used on this thread only
        CWorkerPictureSource::UiSide camera; // context: any object on this thread
        std::string folder;          // where reply pictures are written
        const IClock& clock;
        std::shared_ptr<CCodePageService> codePages;
        uint16_t helloPort = CReplySender::kHelloPort;
    };

    explicit CMailCheckHost(Wiring wiring, QObject* parent = nullptr);
    ~CMailCheckHost() override; // Stop()

    // Starts the check timer (the first check after one interval).
    void StartTimer(int intervalMs);
    // Hands one check to the worker: the timer's (manual false) or the "メールチェック"
    // button's. False when none was posted (one runs, the flags forbid it, stopped).
    bool PostCheck(bool manual);
    void Stop();

    bool checkRunning() const { return m_checkRunning; }
    // The check cycle's short error state after the last check ("エラー: POP3サーバ"), empty
    // while nothing is wrong.
    const std::string& faultState() const { return m_faultState; }
    CMailWorker& worker() { return m_worker; }
    CMailService& service() { return *m_service; }
    QTimer& timer() { return m_timer; }

signals:
    // A check was handed to the worker (true) or has ended (false).
    void checkRunningChanged(bool running);
    // A posted check has ended with this result of CMailService::CheckMail (1: completed);
    // the button's check always reports 1.
    void checkFinished(int result);
    // The short error state has changed (empty: every cause is over).
    void faultStateChanged(const QString& state);

private:
    void SetRunning(bool running);

    MailSettings& m_settings;
    ServiceFlags& m_flags;
    CMailWorker m_worker;
    CQueuedServiceLog m_queuedLog;
    CWorkerPictureSource m_pictures;
    std::unique_ptr<CMailService> m_service;
    QTimer m_timer;
    bool m_checkRunning = false;
    bool m_stopped = false;
    std::string m_faultState;
};
