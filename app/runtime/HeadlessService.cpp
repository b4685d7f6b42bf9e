#include "app/runtime/HeadlessService.h"

#include "app/settings/MailAccount.h"
#include "app/runtime/ProcessSignals.h"
#include "app/report/ScreenText.h"
#include "app/runtime/ServiceStart.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

namespace {

// Why --check-once did not complete, in the user's language.
template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("HeadlessService", text, {std::string_view(arguments)...});
}

} // namespace

CHeadlessService::CHeadlessService(Options options, QObject* parent)
    : QObject(parent), m_onGrab(std::move(options.onGrab)), m_runtime(options) {
    m_runtime.log().SetStandardErrorEcho(options.echoToStandardError);
    m_runtime.SetGrabHook([this](const GrabRequest& request) {
        if (m_onGrab)
            m_onGrab();
        if (!request.graphReady)
            ++m_grabsWithoutCamera;
    });
}

bool CHeadlessService::Start(bool timer) {
    m_settleWait.start();
    if (!m_runtime.Start(timer))
        return false;
    // A service that has just started does not wait a minute for its first check (with IMAP
    // the session that starts with the timer makes it).
    if (timer && m_runtime.settings().mail.receiveProtocol != ReceiveProtocol::Imap)
        WhenCamerasSettled([this] { m_runtime.mailHost()->PostCheck(false); });
    return true;
}

void CHeadlessService::WhenCamerasSettled(std::function<void()> then) {
    if (m_runtime.CamerasSettled() || m_settleWait.elapsed() >= kSettleLimitMs)
        QTimer::singleShot(0, this, std::move(then));
    else // network cameras are still being opened: a check now would find them away
        QTimer::singleShot(50, this, [this, then = std::move(then)] { WhenCamerasSettled(then); });
}

void CHeadlessService::Stop() {
    m_runtime.StopMail();
    QCoreApplication::quit();
}

void CHeadlessService::CheckOnce(std::function<void(int, const std::string&)> done) {
    const MailSettings& mail = m_runtime.settings().mail;
    switch (MissingAccountSetting(mail)) {
    case AccountGap::ReceiveServer: {
        const std::string key =
            mail.receiveProtocol == ReceiveProtocol::Imap ? "MAIL.IMAP_SERVER" : "MAIL.POP3_SERVER";
        done(kSettingsMissing,
             Tr(QT_TRANSLATE_NOOP("HeadlessService",
                                  "%1 が設定されていません（kestrovamail --set %1=...）"),
                key));
        return;
    }
    case AccountGap::UserId:
        done(kSettingsMissing, Tr(QT_TRANSLATE_NOOP("HeadlessService",
                                                    "%1 が設定されていません（kestrovamail --set %1=...）"),
                                  "MAIL.POP3_ID"));
        return;
    case AccountGap::Password:
        done(kSettingsMissing,
             Tr(QT_TRANSLATE_NOOP("HeadlessService",
                                  "POP3のパスワードがありません（kestrovamail --set-password pop3）")));
        return;
    case AccountGap::None:
        break;
    }
    if (!m_runtime.CamerasSettled() && m_settleWait.elapsed() < kSettleLimitMs) {
        WhenCamerasSettled([this, done] { CheckOnce(done); });
        return;
    }
    CMailCheckHost& host = *m_runtime.mailHost();
    const int lossesBefore = m_runtime.keeper().losses();
    m_grabsWithoutCamera = 0;
    m_runtime.TakeLastLine();
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(&host, &CMailCheckHost::checkFinished, this,
                          [this, done, connection, lossesBefore](int result) {
                              disconnect(*connection);
                              const std::string last = m_runtime.TakeLastLine();
                              if (result != 1)
                                  done(kCheckFailed,
                                       last.empty() ? Tr(QT_TRANSLATE_NOOP(
                                                          "HeadlessService",
                                                          "メールチェックが終わりませんでした"))
                                                    : ScreenText(last));
                              else if (m_grabsWithoutCamera > 0 ||
                                       m_runtime.keeper().losses() != lossesBefore)
                                  done(kRequestsLeft,
                                       Tr(QT_TRANSLATE_NOOP("HeadlessService",
                                                            "カメラから写真が来なかったため、"
                                                            "写真の依頼はサーバーに残します")));
                              else
                                  done(kCheckCompleted, {});
                          });
    if (!host.PostCheck(false)) {
        disconnect(*connection);
        done(kCheckFailed,
             Tr(QT_TRANSLATE_NOOP("HeadlessService", "メールチェックを始められませんでした")));
    }
}

int RunHeadless(CHeadlessService::Options options, bool checkOnce) {
    CHeadlessService service(std::move(options));
    if (!service.Start(!checkOnce)) {
        std::fprintf(stderr, "kestrovamail: %s\n", ScreenText(std::string_view(kInitFailed)).c_str());
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
