#include "app/MailCheckHost.h"

#include <QCoreApplication>

CMailCheckHost::CMailCheckHost(Wiring wiring, QObject* parent)
    : QObject(parent), m_settings(wiring.settings), m_flags(wiring.flags),
      m_queuedLog(this, wiring.log),
      m_pictures(wiring.camera, wiring.folder, m_worker.Signal()),
      m_service(std::make_unique<CMailService>(m_settings, m_flags, m_queuedLog, m_pictures,
                                               wiring.clock, std::move(wiring.codePages),
                                               wiring.helloPort)) {
    m_service->SetCancelSignal(&m_worker.Signal());
    m_service->SetStateFolder(wiring.folder);
    connect(&m_timer, &QTimer::timeout, this, [this] { PostCheck(false); });
}

CMailCheckHost::~CMailCheckHost() {
    Stop();
}

void CMailCheckHost::StartTimer(int intervalMs) {
    m_timer.start(intervalMs);
}

bool CMailCheckHost::PostCheck(bool manual) {
    if (m_stopped || m_checkRunning)
        return false;
    // The rules of the flags, checked here and again when the worker starts the cycle.
    if (!m_flags.graphReady.load() || m_flags.uiBusy.load())
        return false;
    const MailSettings copy = m_settings;
    CMailService* service = m_service.get();
    const uint64_t job = m_worker.Post([this, service, copy, manual](const CCancelSignal&) {
        int result = 1;
        if (manual)
            service->CheckMailNow(copy);
        else
            result = service->CheckMail(copy);
        QMetaObject::invokeMethod(
            this,
            [this, result, state = service->FaultState()] {
                SetRunning(false);
                if (state != m_faultState) {
                    m_faultState = state;
                    emit faultStateChanged(QString::fromStdString(state));
                }
                emit checkFinished(result);
            },
            Qt::QueuedConnection);
    });
    if (job == 0)
        return false;
    SetRunning(true);
    return true;
}

void CMailCheckHost::SetRunning(bool running) {
    m_checkRunning = running;
    emit checkRunningChanged(running);
}

void CMailCheckHost::Stop() {
    if (m_stopped)
        return;
    m_stopped = true;
    m_timer.stop();
    m_worker.Stop();
    // The worker's last log lines (and its end-of-check notice) are queued here: write them
    // now, before settings are saved and the log closes.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}
