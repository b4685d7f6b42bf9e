// The mail check cycle when the network fails it: dovecot and aiosmtpd behind FaultProxy, which
// cuts a connection right after a chosen command or stops answering. For every fault: the cycle
// ends (within a generous bound), no picture stays behind, a request mail leaves the server
// only when a reply to it has reached an SMTP server, and the next cycle with a healthy network
// answers what is left. Each test prints its table of cases and outcomes.

#include "app/service/MailService.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Action = FaultProxy::Action;

enum class Where { Pop3, AuthPath, HelloPath };

struct FaultCase {
    std::string name;
    Where where;
    Action action;
    FaultProxy::Trigger trigger;
    std::chrono::seconds bound; // generous: the waits involved, with room for a slow machine
};

struct Outcome {
    std::string struckAt;
    int result = -1;
    double seconds = 0;
    bool requestLeft = false; // the request mail was still on the server after the fault
    size_t repliesAfterFault = 0;
    size_t repliesInAll = 0; // after the healthy cycle that follows
};

// A cut is seen at once, or (like a silent POP3 server) after the POP3 client's 2 s of silence,
// twice: the reply, then the QUIT after it. A silent SMTP server costs the 30 s reply wait.
// Both bounds leave room to spare.
constexpr auto kCutBound = 20s;
constexpr auto kSmtpSilenceBound = 80s;

bool IsEndOfData(int, const std::string& line) {
    return line == ".";
}

std::string RequestMail(int serial) {
    return "From: Taro Yamada <taro@example.com>\r\nTo: camera@example.com\r\n"
           "Subject: cap\r\nMessage-ID: <" +
           std::to_string(serial) +
           "@example.com>\r\nDate: Sun, 6 Dec 2026 15:40:00 +0900\r\n\r\nplease\r\n";
}

int JpegFilesIn(const std::filesystem::path& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.path().extension() == ".jpg";
    return count;
}

// The mailbox, the two SMTP servers (the authenticating one on the configured port, the plain
// one standing in for port 25), a proxy in front of each, and the mail service wired to them.
class FaultWorld {
public:
    FaultWorld()
        : m_dovecot("camera", "secret"),
          m_authSmtp({.authUser = "camera", .authPassword = "secret"}),
          m_pop3Proxy(m_dovecot.port()), m_authProxy(m_authSmtp.port()),
          m_helloProxy(m_helloSmtp.port()),
          m_service(m_settings, m_flags, m_log, m_pictures, m_clock, nullptr,
                    static_cast<uint16_t>(m_helloProxy.port())) {
        m_flags.graphReady = true;
        m_settings.pop3Server = "127.0.0.1";
        m_settings.pop3Port = m_pop3Proxy.port();
        m_settings.pop3Id = "camera";
        m_settings.pop3Pass = "secret";
        m_settings.smtpServer = "127.0.0.1";
        m_settings.smtpPort = m_authProxy.port();
        m_settings.senderName = "監視カメラ";
        m_settings.senderAddress = "camera@example.com";
    }

    Outcome Run(const FaultCase& fault) {
        SCOPED_TRACE(fault.name);
        Outcome outcome;
        m_dovecot.AddMessage(RequestMail(++m_serial));
        const size_t before = Replies();

        FaultProxy& proxy = ProxyFor(fault.where);
        proxy.Arm(fault.action, fault.trigger);
        // A fault on one SMTP path is seen alone: the other path is not there. Port 25 is
        // taken only when nobody answers on the configured port.
        if (fault.where == Where::AuthPath)
            m_helloProxy.Arm(Action::Cut, FaultProxy::AfterLine(0));
        if (fault.where == Where::HelloPath)
            m_settings.smtpPort = UnusedLoopbackPort();

        const auto start = Clock::now();
        outcome.result = m_service.CheckMail();
        outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const std::vector<std::string> struck = proxy.StruckAt();
        outcome.struckAt = struck.empty() ? "(not reached)" : struck.back();
        HealAll();
        m_settings.smtpPort = m_authProxy.port();

        EXPECT_LT(outcome.seconds, std::chrono::duration<double>(fault.bound).count());
        EXPECT_FALSE(m_service.CheckInProgress());
        EXPECT_FALSE(m_flags.uiBusy.load());
        EXPECT_EQ(JpegFilesIn(m_home.path()), 0) << "a reply picture stayed behind";
        EXPECT_GE(proxy.Strikes(), 1) << "the fault never struck";

        outcome.requestLeft = m_dovecot.MessageCount() == 1;
        // A request that left the server must have been answered.
        outcome.repliesAfterFault = outcome.requestLeft ? Replies() : WaitForReplies(before + 1);
        if (!outcome.requestLeft) {
            EXPECT_GE(outcome.repliesAfterFault, before + 1) << "request deleted unanswered";
        }

        // The network is healthy again: whatever is left is answered now.
        EXPECT_EQ(m_service.CheckMail(), 1);
        EXPECT_EQ(m_dovecot.MessageCount(), 0) << m_dovecot.Log();
        outcome.repliesInAll = WaitForReplies(before + 1);
        EXPECT_GE(outcome.repliesInAll, before + 1) << "the request was never answered";
        outcome.repliesAfterFault -= before;
        outcome.repliesInAll -= before;
        // Give stragglers (a message the server took while its client was cut) time to land.
        m_lastReplies = WaitForReplies(before + outcome.repliesInAll, 200ms);
        outcome.repliesInAll = m_lastReplies - before;
        return outcome;
    }

private:
    FaultProxy& ProxyFor(Where where) {
        switch (where) {
        case Where::Pop3:
            return m_pop3Proxy;
        case Where::AuthPath:
            return m_authProxy;
        case Where::HelloPath:
            return m_helloProxy;
        }
        return m_pop3Proxy;
    }
    void HealAll() {
        m_pop3Proxy.Heal();
        m_authProxy.Heal();
        m_helloProxy.Heal();
    }
    size_t Replies() const { return m_authSmtp.Messages().size() + m_helloSmtp.Messages().size(); }
    size_t WaitForReplies(size_t count, std::chrono::milliseconds timeout = 10s) const {
        const auto deadline = Clock::now() + timeout;
        size_t n = Replies();
        while (n < count && Clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
            n = Replies();
        }
        return n;
    }

    TempDir m_home;
    DovecotPeer m_dovecot;
    SmtpPeer m_authSmtp;
    SmtpPeer m_helloSmtp;
    FaultProxy m_pop3Proxy;
    FaultProxy m_authProxy;
    FaultProxy m_helloProxy;
    RecordingLog m_log;
    ServiceFlags m_flags;
    FakePictureSource m_pictures;
    FixedClock m_clock{LocalTime{2026, 12, 6, 0, 15, 47, 44}};
    MailSettings m_settings;
    CMailService m_service;
    int m_serial = 0;
    size_t m_lastReplies = 0;
};

const char* ActionName(Action action) {
    return action == Action::Cut ? "cut" : "stop answering";
}

// Runs every case in one world and prints the table.
void RunCases(const char* title, const std::vector<FaultCase>& cases) {
    FaultWorld world;
    std::printf("\n%s\n", title);
    std::printf("| fault | struck after | cycle result | took | request left on server | "
                "replies after fault | replies in all |\n|---|---|---|---|---|---|---|\n");
    for (const FaultCase& fault : cases) {
        const Outcome o = world.Run(fault);
        std::printf("| %s %s | %s | %d | %.1f s | %s | %zu | %zu |\n", ActionName(fault.action),
                    fault.name.c_str(), o.struckAt.c_str(), o.result, o.seconds,
                    o.requestLeft ? "yes" : "no", o.repliesAfterFault, o.repliesInAll);
        std::fflush(stdout);
    }
}

FaultCase Pop3Cut(const std::string& name, int line) {
    return {name, Where::Pop3, Action::Cut, FaultProxy::AfterLine(line), kCutBound};
}

FaultCase SmtpCut(Where where, const std::string& name, FaultProxy::Trigger trigger) {
    return {name, where, Action::Cut, std::move(trigger), kCutBound};
}

} // namespace

// The visit of a mailbox holding one request: USER, PASS, CAPA, LIST and UIDL (one batch),
// TOP 1 0, (reply), DELE 1, QUIT; the connection is cut right after each in turn.
TEST(MailCycleFaults, Pop3ConnectionCutAfterEachCommand) {
    RunCases("POP3 connection cut",
             {Pop3Cut("before the greeting", 0), Pop3Cut("USER", 1), Pop3Cut("PASS", 2),
              Pop3Cut("CAPA", 3), Pop3Cut("LIST", 4), Pop3Cut("UIDL", 5), Pop3Cut("TOP", 6),
              Pop3Cut("DELE", 7), Pop3Cut("QUIT", 8)});
}

TEST(MailCycleFaults, Pop3ServerStopsAnswering) {
    RunCases(
        "POP3 server stops answering",
        {{"from the start", Where::Pop3, Action::StopAnswering, FaultProxy::AfterLine(0),
          kCutBound},
         {"TOP", Where::Pop3, Action::StopAnswering, FaultProxy::AtCommand("TOP"), kCutBound},
         {"DELE", Where::Pop3, Action::StopAnswering, FaultProxy::AtCommand("DELE"), kCutBound}});
}

// The authenticating path (EHLO, AUTH LOGIN) with the plain path unavailable.
TEST(MailCycleFaults, AuthSmtpConnectionCutAfterEachStep) {
    const Where w = Where::AuthPath;
    RunCases("SMTP (EHLO, AUTH LOGIN) connection cut, HELO path unavailable",
             {SmtpCut(w, "before the greeting", FaultProxy::AfterLine(0)),
              SmtpCut(w, "EHLO", FaultProxy::AtCommand("EHLO")),
              SmtpCut(w, "AUTH LOGIN", FaultProxy::AtCommand("AUTH LOGIN")),
              SmtpCut(w, "user name", FaultProxy::LinesAfter("AUTH LOGIN", 1)),
              SmtpCut(w, "password", FaultProxy::LinesAfter("AUTH LOGIN", 2)),
              SmtpCut(w, "MAIL FROM", FaultProxy::AtCommand("MAIL FROM")),
              SmtpCut(w, "RCPT TO", FaultProxy::AtCommand("RCPT TO")),
              SmtpCut(w, "DATA", FaultProxy::AtCommand("DATA")),
              SmtpCut(w, "a line of data", FaultProxy::LinesAfter("DATA", 5)),
              SmtpCut(w, "end of data", &IsEndOfData),
              SmtpCut(w, "QUIT", FaultProxy::AtCommand("QUIT"))});
}

// The plain path (HELO on "port 25") with the authenticating path unavailable.
TEST(MailCycleFaults, HelloSmtpConnectionCutAfterEachStep) {
    const Where w = Where::HelloPath;
    RunCases("SMTP (HELO) connection cut, authenticating path unavailable",
             {SmtpCut(w, "before the greeting", FaultProxy::AfterLine(0)),
              SmtpCut(w, "HELO", FaultProxy::AtCommand("HELO")),
              SmtpCut(w, "MAIL FROM", FaultProxy::AtCommand("MAIL FROM")),
              SmtpCut(w, "RCPT TO", FaultProxy::AtCommand("RCPT TO")),
              SmtpCut(w, "DATA", FaultProxy::AtCommand("DATA")),
              SmtpCut(w, "a line of data", FaultProxy::LinesAfter("DATA", 5)),
              SmtpCut(w, "end of data", &IsEndOfData)});
}

TEST(MailCycleFaults, SmtpServerStopsAnswering) {
    RunCases("SMTP server stops answering",
             {{"MAIL FROM (EHLO path)", Where::AuthPath, Action::StopAnswering,
               FaultProxy::AtCommand("MAIL FROM"), kSmtpSilenceBound},
              {"DATA (HELO path)", Where::HelloPath, Action::StopAnswering,
               FaultProxy::AtCommand("DATA"), kSmtpSilenceBound}});
}
