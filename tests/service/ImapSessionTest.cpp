// The IMAP session with real peers: dovecot's IMAP over TLS and aiosmtpd, the GStreamer test
// pattern as the camera. A request delivered while the session idles is answered and expunged,
// ordinary mail is neither read nor marked, and a server without IDLE is left to the poll.

#include "app/report/ActivityLog.h"
#include "app/service/ConnectionTest.h"
#include "app/service/MailService.h"
#include "app/service/ServiceAdapters.h"
#include "mail/net/CancelSignal.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestPatternCamera.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

const TestCertificates& Certs() {
    return TestCertificates::Shared();
}

struct Rig {
    explicit Rig(DovecotPeer::Options imap, std::vector<std::string> messages)
        : dovecot("camera", "secret", messages, imap),
          smtp({.authUser = "camera", .authPassword = "secret"}) {
        settings.receiveProtocol = ReceiveProtocol::Imap;
        settings.imapServer = settings.smtpServer = "127.0.0.1";
        settings.imapPort = dovecot.port();
        settings.imapSecurity = imap.implicitTls ? SecurityChoice::Tls
                                : imap.tlsCert.empty() ? SecurityChoice::None
                                                       : SecurityChoice::StartTls;
        settings.caFile = Certs().caFile().string();
        settings.pop3Id = "camera";
        settings.pop3Pass = "secret";
        settings.smtpPort = smtp.port();
        settings.smtpSecurity = SecurityChoice::None;
        settings.senderAddress = "camera@example.com";
    }

    // Runs the session here while `meanwhile` plays the world on a thread of its own, given
    // the number of cycles run so far; the session's end.
    CMailService::SessionEnd Run(const std::function<void(const std::atomic<int>&)>& meanwhile) {
        std::atomic<int> cycles{0};
        std::thread world([&] { meanwhile(cycles); });
        const CMailService::SessionEnd end =
            service.RunImapSession(settings, &wake, [&cycles](int) { ++cycles; });
        wake.Cancel(); // the world's waits end too
        world.join();
        wake.Reset();
        return end;
    }

    TempDir home;
    AppSettings app;
    FixedClock clock{{2026, 12, 7, 1, 9, 30, 0}};
    ActivityLog activity{app, home.folder(), clock};
    CActivityLogAdapter log{activity};
    ServiceFlags flags;
    TestPatternCamera camera{flags};
    DovecotPeer dovecot;
    SmtpPeer smtp;
    MailSettings settings;
    CMailService service{settings, flags, log, camera.pictures(), clock};
    CCancelSignal wake;
};

void WaitFor(const std::atomic<int>& cycles, int count) {
    for (int i = 0; i < 200 && cycles.load() < count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

const std::string kOrdinary =
    "From: shop@example.com\r\nSubject: news\r\n\r\nnot a request\r\n";

} // namespace

TEST(ImapSession, RequestDeliveredWhileIdlingIsAnsweredAndOrdinaryMailIsLeftAlone) {
    for (const bool implicitTls : {true, false}) {
        SCOPED_TRACE(implicitTls ? "IMAPS" : "STARTTLS");
        Rig rig({.tlsCert = Certs().serverCert(),
                 .tlsKey = Certs().serverKey(),
                 .implicitTls = implicitTls,
                 .imap = true},
                {kOrdinary});
        rig.service.SetStateFolder(rig.home.folder());
        const auto end = rig.Run([&rig](const std::atomic<int>& cycles) {
            WaitFor(cycles, 1); // the first look is over; the session idles
            rig.dovecot.AddMessage(RequestMail("taro@example.com", "cap"));
            rig.smtp.WaitForMessages(1);
            WaitFor(cycles, 2);
            rig.wake.Cancel(); // another job wants the worker
        });
        EXPECT_EQ(end, CMailService::SessionEnd::Again) << rig.activity.text();
        EXPECT_EQ(rig.smtp.Messages().size(), 1u) << rig.activity.text();
        EXPECT_EQ(rig.dovecot.Messages(), std::vector<std::string>{kOrdinary});
        EXPECT_EQ(rig.dovecot.MessageFlags(), std::vector<std::string>{""});
        for (const auto& attempt : rig.dovecot.LoginAttempts())
            EXPECT_TRUE(attempt.tls);
        EXPECT_TRUE(rig.service.ImapSessionOpen()); // it goes on idling when posted again
        EXPECT_TRUE(TestImapConnection(rig.settings).ok);
    }
}

TEST(ImapSession, DroppedConnectionEndsTheTurnAndTheNextOneAnswersWhatCameMeanwhile) {
    Rig rig({.imap = true}, {});
    const auto dropped = rig.Run([&rig](const std::atomic<int>& cycles) {
        WaitFor(cycles, 1);
        rig.dovecot.DropConnections();
    });
    EXPECT_EQ(dropped, CMailService::SessionEnd::Retry);
    EXPECT_FALSE(rig.service.ImapSessionOpen());
    rig.dovecot.AddMessage(RequestMail("taro@example.com", "cap"));
    const auto again = rig.Run([&rig](const std::atomic<int>&) {
        rig.smtp.WaitForMessages(1);
        rig.wake.Cancel();
    });
    EXPECT_EQ(again, CMailService::SessionEnd::Again);
    EXPECT_EQ(rig.smtp.Messages().size(), 1u) << rig.activity.text();
    EXPECT_EQ(rig.dovecot.MessageCount(), 0);
}

TEST(ImapSession, ServerWithoutIdleIsAnsweredAndLeftToThePoll) {
    Rig rig({.imap = true, .noIdle = true}, {RequestMail("taro@example.com", "cap")});
    const auto end = rig.Run([](const std::atomic<int>&) {});
    EXPECT_EQ(end, CMailService::SessionEnd::Poll);
    EXPECT_EQ(rig.smtp.Messages().size(), 1u) << rig.activity.text();
    EXPECT_EQ(rig.dovecot.MessageCount(), 0);
    EXPECT_FALSE(rig.service.ImapSessionOpen());
}
