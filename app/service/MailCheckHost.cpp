#include "app/service/MailCheckHost.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <algorithm>

CMailCheckHost::CMailCheckHost(Wiring wiring, QObject* parent)
    : QObject(parent), m_settings(wiring.settings), m_flags(wiring.flags),
      m_queuedLog(this, wiring.log),
      m_pictures(std::move(wiring.cameras), m_worker.Signal()),
      m_service(std::make_unique<CMailService>(m_settings, m_flags, m_queuedLog, m_pictures,
                                               wiring.clock, std::move(wiring.codePages),
                                               wiring.helloPort)) {
    m_service->SetCancelSignal(&m_worker.Signal());
    m_service->SetArmSwitch([this](bool armed, const std::string& requester) {
        // The worker's cycle goes on at once: the settings change on this object's thread.
        QMetaObject::invokeMethod(
            this,
            [this, armed, requester] { emit armRequested(armed, QString::fromStdString(requester)); },
            Qt::QueuedConnection);
    });
    m_service->SetStateFolder(wiring.folder);
    m_worker.tokens().SetFolder(wiring.folder); // before any job: the worker reads it in jobs
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTick(); });
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] { PostSession(); });
}

CMailCheckHost::~CMailCheckHost() {
    Stop();
}

void CMailCheckHost::StartTimer(int intervalMs) {
    m_timer.start(intervalMs);
    if (ImapChosen())
        PostSession();
}

void CMailCheckHost::OnTick() {
    if (m_stopped)
        return;
    KeepSessionCurrent();
    if (!ImapChosen())
        PostCheck(false);
}

void CMailCheckHost::SettingsChanged() {
    if (!m_stopped && m_timer.isActive())
        KeepSessionCurrent();
}

void CMailCheckHost::KeepSessionCurrent() {
    if (!ImapChosen()) {
        if (m_sessionPosted)
            m_worker.Post([](const CCancelSignal&) {}); // it ends; then it is closed
        else if (m_sessionMayBeOpen) {
            m_sessionMayBeOpen = false;
            CMailService* service = m_service.get();
            m_worker.Post([service](const CCancelSignal&) { service->CloseImapSession(); });
        }
        return;
    }
    if (!m_sessionPosted && !m_retryTimer.isActive())
        PostSession();
    else if (m_sessionPosted && (!(m_sessionCopy == m_settings) || m_service->RequestsLeft()))
        m_worker.Post([](const CCancelSignal&) {}); // the session steps aside and comes back
}

void CMailCheckHost::PostSession() {
    if (m_stopped || m_sessionPosted || !ImapChosen())
        return;
    m_retryTimer.stop();
    m_sessionCopy = m_settings;
    CMailService* service = m_service.get();
    const CCancelSignal* jobsWaiting = &m_worker.JobsWaiting();
    const uint64_t job = m_worker.Post([this, service, jobsWaiting,
                                        copy = m_sessionCopy](const CCancelSignal&) {
        // Said also when the session ends by an exception (the worker's edge catches it): a
        // retry then, so that the session is not taken to be running for ever.
        CMailService::SessionEnd end = CMailService::SessionEnd::Retry;
        const auto sayEnd = qScopeGuard([this, &end] {
            QMetaObject::invokeMethod(
                this, [this, end] { OnSessionEnd(end); }, Qt::QueuedConnection);
        });
        end = service->RunImapSession(
            copy, jobsWaiting, [this, service](int) {
                QMetaObject::invokeMethod(
                    this,
                    [this, state = service->FaultState()] { SetFaultState(state); },
                    Qt::QueuedConnection);
            });
    });
    m_sessionPosted = job != 0;
    m_sessionStarted.start();
    m_sessionMayBeOpen = m_sessionMayBeOpen || m_sessionPosted;
}

void CMailCheckHost::OnSessionEnd(CMailService::SessionEnd end) {
    m_sessionPosted = false;
    if (m_stopped)
        return;
    if (!ImapChosen()) {
        KeepSessionCurrent();
        return;
    }
    switch (end) {
    case CMailService::SessionEnd::Again:
        PostSession();
        break;
    case CMailService::SessionEnd::Retry: {
        // A connection that stood for a while was sound: the pauses start short again. One
        // that fails at once, again and again, is tried less and less often.
        if (m_sessionStarted.elapsed() > kSoundSessionMs)
            m_retries = 0;
        const int interval = std::max(1000, m_timer.interval());
        const int pause = m_retries >= 16 ? interval : std::min(interval, 1000 << m_retries);
        ++m_retries;
        m_retryTimer.start(pause);
        break;
    }
    default:
        break; // the next tick
    }
}

void CMailCheckHost::SetFaultState(const std::string& state) {
    if (state == m_faultState)
        return;
    m_faultState = state;
    emit faultStateChanged(QString::fromStdString(state));
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
        // A cycle that ends by an exception (the worker's edge catches it) is a failed one.
        int result = 0;
        const auto sayFinished = qScopeGuard([this, service, &result] {
            QMetaObject::invokeMethod(
                this,
                [this, result, state = service->FaultState()] {
                    SetRunning(false);
                    SetFaultState(state);
                    emit checkFinished(result);
                },
                Qt::QueuedConnection);
        });
        if (manual) {
            service->CheckMailNow(copy);
            result = 1;
        } else {
            result = service->CheckMail(copy);
        }
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
    m_retryTimer.stop();
    m_worker.Stop();
    // The worker's last log lines (and its end-of-check notice) are queued here: write them
    // now, before settings are saved and the log closes.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}
