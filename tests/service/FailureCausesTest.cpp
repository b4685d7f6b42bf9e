// What the user is told when a request stays unanswered, through the whole check cycle with
// real peers (dovecot, aiosmtpd, the test pattern camera, files in a temporary folder): each
// cause gives one line of its own when it starts, nothing more while it lasts, and one line
// when it is over; log.txt keeps its specified line with the cause after it.

#include "app/report/ActivityLog.h"
#include "app/report/FaultNotices.h"
#include "app/service/MailService.h"
#include "app/service/ServiceAdapters.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPatternCamera.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr const char* kAnswered = "送信完了<taro@example.com>";
constexpr const char* kPop3FileLine = "ERROR : POP3サーバの接続に失敗しました。";
constexpr const char* kSmtpFileLine = "ERROR : メールの返信に失敗しました";

// One request in dovecot, a working SMTP server and camera; each case breaks one of them.
struct Bench {
    Bench() {
        app.logFile = true;
        settings.pop3Server = settings.smtpServer = "127.0.0.1";
        settings.pop3Port = dovecot.port();
        settings.pop3Id = "camera";
        settings.pop3Pass = "secret";
        settings.smtpPort = smtp->port();
        settings.senderAddress = "camera@example.com";
    }
    void UseSmtp(SmtpPeer::Options options) {
        smtp = std::make_unique<SmtpPeer>(options);
        settings.smtpPort = smtp->port();
    }

    TempDir home;
    AppSettings app;
    FixedClock clock{{2026, 12, 6, 0, 15, 47, 44}};
    ActivityLog activity{app, home.folder(), clock};
    CActivityLogAdapter log{activity};
    ServiceFlags flags;
    TestPatternCamera camera{flags};
    DovecotPeer dovecot{"camera", "secret", {RequestMail("Taro <taro@example.com>", "cap")}};
    std::unique_ptr<SmtpPeer> smtp = std::make_unique<SmtpPeer>(
        SmtpPeer::Options{.authUser = "camera", .authPassword = "secret"});
    LoopbackListener silent; // takes connections and never says a word
    MailSettings settings;
    const uint16_t noHelloPath = static_cast<uint16_t>(UnusedLoopbackPort());
    CMailService service{settings, flags, log, camera.pictures(), clock, nullptr, noHelloPath};
};

using Area = CFaultNotices::Area;

// What each area's cause leaves besides its line: the specified line before it in log.txt, the
// short state, and the lines of the cycle after the fix.
struct AreaTraces {
    const char* fileLine;
    const char* state;
    Lines afterFix;
};

AreaTraces TracesOf(Area area) {
    switch (area) {
    case Area::Pop3:
        return {kPop3FileLine, "エラー: POP3サーバ", {kAnswered, CFaultNotices::kPop3Over}};
    case Area::Smtp:
        return {kSmtpFileLine, "エラー: SMTPサーバ", {kAnswered, CFaultNotices::kSmtpOver}};
    default:
        return {nullptr, "エラー: 写真", {CFaultNotices::kPictureOver, kAnswered}};
    }
}

struct Case {
    const char* name;
    Area area;
    void (*breakIt)(Bench&);
    void (*fix)(Bench&);
    std::string (*cause)(const Bench&); // the one line while it lasts
};

std::string Pop3At(int port) {
    return "ERROR : POP3サーバ 127.0.0.1:" + std::to_string(port);
}

const SmtpPeer::Options kSmtpLogIn{.authUser = "camera", .authPassword = "secret"};

const Case kCases[] = {
    {"wrong password at dovecot", Area::Pop3, [](Bench& b) { b.settings.pop3Pass = "wrong"; },
     [](Bench& b) { b.settings.pop3Pass = "secret"; },
     [](const Bench& b) {
         return Pop3At(b.dovecot.port()) + " にアカウント camera でログインできません: ログインが"
                                           "拒否されました (-ERR [AUTH] Authentication failed.)";
     }},
    {"refused port", Area::Pop3, [](Bench& b) { b.settings.pop3Port = UnusedLoopbackPort(); },
     [](Bench& b) { b.settings.pop3Port = b.dovecot.port(); },
     [](const Bench& b) {
         return Pop3At(b.settings.pop3Port) + " に接続できません: 接続が拒否されました";
     }},
    // glibc refuses a name that is no host name before any query: no DNS is asked.
    {"unresolvable name", Area::Pop3, [](Bench& b) { b.settings.pop3Server = "pop..invalid"; },
     [](Bench& b) { b.settings.pop3Server = "127.0.0.1"; },
     [](const Bench& b) {
         return "ERROR : POP3サーバ pop..invalid:" + std::to_string(b.dovecot.port()) +
                " に接続できません: ホスト名が見つかりません (pop..invalid: Name or service not "
                "known)";
     }},
    {"silent server", Area::Pop3, [](Bench& b) { b.settings.pop3Port = b.silent.port(); },
     [](Bench& b) { b.settings.pop3Port = b.dovecot.port(); },
     [](const Bench& b) {
         return Pop3At(b.silent.port()) +
                " に接続できません: サーバから制限時間内に応答がありません";
     }},
    {"SMTP 5xx reply", Area::Smtp,
     [](Bench& b) {
         SmtpPeer::Options refusing = kSmtpLogIn;
         refusing.refusedRecipients = {"taro@example.com"};
         b.UseSmtp(refusing);
     },
     [](Bench& b) { b.UseSmtp(kSmtpLogIn); },
     [](const Bench& b) {
         return "ERROR : SMTPサーバ 127.0.0.1:" + std::to_string(b.settings.smtpPort) +
                " で返信を送れません: サーバがコマンドを拒否しました (550 5.1.1 "
                "<taro@example.com>: Recipient address rejected)";
     }},
    {"no camera", Area::Picture, [](Bench& b) { b.camera.Unplug(); },
     [](Bench& b) { b.camera.PlugIn(); },
     [](const Bench&) {
         return std::string("ERROR : カメラがないため、写真の依頼に答えられません"
                            "（依頼はサーバーに残します）");
     }},
};

} // namespace

TEST(FailureCauses, EachCauseIsSaidOnceWhileItLastsAndOnceWhenItIsOver) {
    std::set<std::string> causes;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Bench b;
        c.breakIt(b);
        const AreaTraces traces = TracesOf(c.area);
        for (int cycle = 0; cycle < 3; ++cycle)
            b.service.CheckMail();
        const std::string cause = c.cause(b);
        EXPECT_EQ(MessagesOf(b.activity.text()), Lines{cause});
        EXPECT_TRUE(causes.insert(cause).second) << "the same line as another cause";
        EXPECT_EQ(b.service.FaultState(), traces.state);
        EXPECT_EQ(b.dovecot.MessageCount(), 1); // the request stays for later

        // log.txt: the specified line at every cycle, the cause once after the first.
        Lines file;
        for (int cycle = 0; cycle < 3; ++cycle) {
            if (traces.fileLine)
                file.push_back(traces.fileLine);
            if (cycle == 0)
                file.push_back(cause);
        }
        EXPECT_EQ(FileMessages(b.home.path()), file);

        c.fix(b);
        b.service.CheckMail();
        Lines expected = {cause};
        expected.insert(expected.end(), traces.afterFix.begin(), traces.afterFix.end());
        EXPECT_EQ(MessagesOf(b.activity.text()), expected);
        EXPECT_EQ(b.service.FaultState(), "");
        EXPECT_EQ(b.dovecot.MessageCount(), 0);
    }
}
