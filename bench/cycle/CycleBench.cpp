// The mail check cycle over a distance: dovecot and aiosmtpd behind a proxy that holds every
// byte 25 ms each way (the first argument), with a mailbox of 200 ordinary mails of 3 to 20 KB
// and, separately, one of 200 mails of 1 MB. For each mailbox it prints round trips (counted by
// the proxy), bytes received and seconds of
//
// - the floor: a pipelined header-only cycle on a bare connection (log-in, CAPA, LIST, then
//   every TOP n 0 and QUIT in one write);
// - curl: LIST and TOP n 0 for each mail, all in one invocation (one connection);
// - the program's own cycle (CMailService::CheckMail, test pattern camera): the first cycle
//   over a mailbox it has not seen, a cycle with nothing new, and a cycle with nothing new in
//   a new run (a new CMailService over the same state folder);
//
// then a cycle that answers one request, the reply going to aiosmtpd behind its own delay
// proxy, with and without PIPELINING offered. Goals: the first cycle within 1.5 times the
// floor's time on both mailboxes; on the 1 MB mailbox below 1 % of the mailbox received per
// cycle; a cycle with nothing new at most 3 round trips after the log-in.
//
// Run: build/bench/cycle/bench_cycle [one-way ms] [rounds]   (25 ms, median of 3 rounds)

#include "bench/RunTool.h"
#include "app/report/ActivityLog.h"
#include "app/service/MailService.h"
#include "app/service/ServiceAdapters.h"
#include "bench/cycle/DelayProxy.h"
#include "mail/net/MailConnection.h"
#include "mail/pop3/Pop3Client.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPatternCamera.h"

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kMails = 200;
const char* const kUser = "camera";
const char* const kPassword = "secret";
constexpr double kGoalFloorFactor = 1.5;
constexpr double kGoalShareOfMailbox = 0.01;
constexpr long kGoalRoundTripsWhenNothingIsNew = 3;

// An ordinary mail of about size bytes, with a header of about 1 KB as providers write them.
std::string OrdinaryMail(int n, std::size_t size, std::mt19937& random) {
    const std::string id = std::to_string(n);
    std::string mail =
        "Return-Path: <news" + id +
        "@lists.example.com>\r\n"
        "Received: from mx" +
        id +
        ".lists.example.com (mx.lists.example.com [192.0.2.17])\r\n"
        "\tby mail.example.jp (Postfix) with ESMTPS id 4Q" +
        id +
        "Xz\r\n"
        "\tfor <camera@example.jp>; Sun, 6 Dec 2026 15:40:00 +0900 (JST)\r\n"
        "Received: from localhost (localhost [127.0.0.1]) by mx.lists.example.com\r\n"
        "\twith ESMTP id 7Hc" +
        id +
        "; Sun, 6 Dec 2026 06:39:58 +0000\r\n"
        "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=lists.example.com;\r\n"
        "\ts=2026; t=1796539198; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
        "\th=From:To:Subject:Date:Message-ID;\r\n"
        "\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSwganVzdCBieXRlcyBvZiB0aGUgc2FtZSBzaXpl\r\n"
        "\t IGFzIG9uZSB0aGF0IGEgcHJvdmlkZXIgd291bGQgd3JpdGUgaW50byB0aGUgaGVhZGVyIG9mIGEg\r\n"
        "\t bWFpbA==\r\n"
        "From: Newsletter <news" +
        id +
        "@lists.example.com>\r\n"
        "To: camera@example.jp\r\n"
        "Subject: Weekly news, issue " +
        id +
        "\r\n"
        "Date: Sun, 6 Dec 2026 15:39:58 +0900\r\n"
        "Message-ID: <issue" +
        id +
        ".20261206063958@lists.example.com>\r\n"
        "List-Unsubscribe: <https://lists.example.com/unsubscribe?id=" +
        id +
        ">\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n";
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    mail.reserve(size + 80);
    while (mail.size() < size) {
        for (int i = 0; i < 76; ++i)
            mail += kAlphabet[random() % 64];
        mail += "\r\n";
    }
    return mail;
}

std::string RequestMail(int serial) {
    return "From: Taro <taro@example.com>\r\nTo: camera@example.jp\r\nSubject: cap\r\n"
           "Message-ID: <request" +
           std::to_string(serial) +
           "@example.com>\r\nDate: Sun, 6 Dec 2026 15:40:00 +0900\r\n\r\nplease\r\n";
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// What one way of doing a cycle cost, as the proxy saw it.
struct Cost {
    double seconds = 0;
    long roundTrips = 0;
    long long bytesReceived = 0;
    int connections = 0;
};

Cost Measure(DelayProxy& proxy, const std::function<void()>& run) {
    proxy.Take();
    const auto start = Clock::now();
    run();
    Cost cost;
    cost.seconds = Seconds(Clock::now() - start);
    const DelayProxy::Counts counts = proxy.Take();
    cost.roundTrips = counts.roundTrips;
    cost.bytesReceived = counts.bytesToClient;
    cost.connections = counts.connections;
    return cost;
}

// The median of each figure over the rounds.
Cost Median(std::vector<Cost> costs) {
    auto median = [&costs](auto field) {
        std::vector<std::remove_cvref_t<decltype(costs[0].*field)>> values;
        for (const Cost& c : costs)
            values.push_back(c.*field);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    return {median(&Cost::seconds), median(&Cost::roundTrips), median(&Cost::bytesReceived),
            median(&Cost::connections)};
}

// The floor: log-in as the program logs in, CAPA, LIST, then every TOP n 0 and QUIT in one
// write, the replies read in order.
void FloorCycle(int port) {
    CMailConnection connection;
    const ReplyLimits status{10s, 60s, 1 << 20};
    const ReplyLimits listing{10s, 60s, 1 << 30};
    std::string reply;
    auto ask = [&](const std::string& command, bool multiLine) {
        if (!connection.Send(command, 10s) ||
            !connection.ReadReply(multiLine ? replyend::Pop3MultiLine : replyend::Pop3StatusLine,
                                  multiLine ? listing : status, reply) ||
            reply.compare(0, 3, "+OK") != 0)
            throw std::runtime_error("floor: " + command + " failed: " + reply);
    };
    if (!connection.Connect("127.0.0.1", port, 10s) ||
        !connection.ReadReply(replyend::Pop3StatusLine, status, reply))
        throw std::runtime_error("floor: no greeting");
    ask(std::string("USER ") + kUser + "\r\n", false);
    ask(std::string("PASS ") + kPassword + "\r\n", false);
    ask("CAPA\r\n", true);
    ask("LIST\r\n", true);
    int count = 0;
    for (std::size_t at = reply.find("\r\n"); at != std::string::npos && at + 2 < reply.size();
         at = reply.find("\r\n", at + 2))
        count += reply[at + 2] != '.' ? 1 : 0;
    std::string batch;
    for (int n = 1; n <= count; ++n)
        batch += "TOP " + std::to_string(n) + " 0\r\n";
    batch += "QUIT\r\n";
    if (!connection.Send(batch, 10s))
        throw std::runtime_error("floor: batch not sent");
    for (int n = 1; n <= count + 1; ++n) {
        if (!connection.ReadReply(n <= count ? replyend::Pop3MultiLine : replyend::Pop3StatusLine,
                                  n <= count ? listing : status, reply))
            throw std::runtime_error("floor: reply " + std::to_string(n) + " missing");
    }
}

// curl: LIST, then TOP n 0 for every mail, each URL of the same account on one command line,
// so that curl keeps one connection.
void CurlCycle(int port, int count) {
    const std::string url = std::string("pop3://") + kUser + ":" + kPassword +
                            "@127.0.0.1:" + std::to_string(port) + "/";
    std::vector<std::string> args = {"curl", "-s", "-S", url};
    for (int n = 1; n <= count; ++n)
        args.insert(args.end(),
                    {"--next", "-s", "-S", "-X", "TOP " + std::to_string(n) + " 0", url});
    RunTool(std::move(args));
}

// The program as the service runs it, against the proxies.
class Program {
public:
    Program() {
        m_settings.pop3Server = "127.0.0.1";
        m_settings.pop3Id = kUser;
        m_settings.pop3Pass = kPassword;
        m_settings.smtpServer = "127.0.0.1";
        m_settings.senderName = "監視カメラ";
        m_settings.senderAddress = "camera@example.jp";
    }

    // The servers the program reaches (the proxies' ports); the fallback SMTP path uses the
    // same port as the authenticating one.
    void SetPorts(int pop3Port, int smtpPort) {
        m_settings.pop3Port = pop3Port;
        m_settings.smtpPort = smtpPort;
    }
    // A service that keeps its judged ids in stateFolder: a new one is a new run of the
    // program.
    std::unique_ptr<CMailService> NewRun(const std::string& stateFolder) {
        auto service =
            std::make_unique<CMailService>(m_settings, m_flags, m_log, m_camera.pictures(), m_clock,
                                           nullptr, static_cast<uint16_t>(m_settings.smtpPort));
        service->SetStateFolder(stateFolder);
        return service;
    }
    static void Cycle(CMailService& service) {
        if (service.CheckMail() != 1)
            throw std::runtime_error("the check cycle failed");
    }

    // Round trips of the log-in alone (a session of log-in and QUIT, less the QUIT).
    long LogInRoundTrips(DelayProxy& proxy) {
        return Measure(proxy,
                       [&] {
                           CPop3Client client;
                           if (!client.LogIn("127.0.0.1", kUser, kPassword, m_settings.pop3Port))
                               throw std::runtime_error("log-in failed");
                           client.LogOut();
                       })
                   .roundTrips -
               1;
    }

private:
    TempDir m_home;
    MailSettings m_settings;
    ServiceFlags m_flags;
    TestPatternCamera m_camera{m_flags};
    AppSettings m_app;
    SystemClock m_clock;
    ActivityLog m_activity{m_app, m_home.folder(), m_clock};
    CActivityLogAdapter m_log{m_activity};
};

void PrintRow(const char* what, const Cost& cost, long logIn) {
    std::printf("  %-36s %6ld %8ld %12lld %9.3f\n", what, cost.roundTrips, cost.roundTrips - logIn,
                cost.bytesReceived, cost.seconds);
}

// Measures one mailbox; false when a goal is missed. bytesGoal: the share of the mailbox
// received per cycle counts (the 1 MB mailbox).
bool RunMailbox(const char* name, const std::vector<std::string>& mails, bool bytesGoal, int rounds,
                std::chrono::milliseconds oneWay, Program& program) {
    std::size_t mailboxBytes = 0;
    for (const std::string& mail : mails)
        mailboxBytes += mail.size();
    DovecotPeer dovecot(kUser, kPassword, mails);
    DelayProxy proxy(dovecot.port(), oneWay);
    program.SetPorts(proxy.port(), 1); // no request here: nothing is sent

    FloorCycle(proxy.port()); // warm-up: dovecot indexes the mailbox, the page cache fills
    const long logIn = program.LogInRoundTrips(proxy);
    std::vector<Cost> floor, curl, first, nothingNew, newRun;
    int curlConnections = 0;
    for (int round = 0; round < rounds; ++round) {
        floor.push_back(Measure(proxy, [&] { FloorCycle(proxy.port()); }));
        curl.push_back(Measure(proxy, [&] { CurlCycle(proxy.port(), kMails); }));
        curlConnections = std::max(curlConnections, curl.back().connections);
        TempDir state; // a program that has not seen the mailbox yet
        auto service = program.NewRun(state.folder());
        first.push_back(Measure(proxy, [&] { Program::Cycle(*service); }));
        nothingNew.push_back(Measure(proxy, [&] { Program::Cycle(*service); }));
        service = program.NewRun(state.folder());
        newRun.push_back(Measure(proxy, [&] { Program::Cycle(*service); }));
    }

    std::printf("\n%s: %d mails, %zu bytes; %lld ms each way; median of %d rounds; the log-in "
                "takes %ld round trips\n",
                name, kMails, mailboxBytes, static_cast<long long>(oneWay.count()), rounds, logIn);
    std::printf("  %-36s %6s %8s %12s %9s\n", "", "trips", "after", "bytes", "seconds");
    std::printf("  %-36s %6s %8s %12s %9s\n", "", "", "log-in", "received", "");
    const Cost f = Median(floor), c = Median(curl), o = Median(first), n = Median(nothingNew),
               r = Median(newRun);
    PrintRow("floor (pipelined TOP n 0)", f, logIn);
    PrintRow("curl (LIST, TOP n 0 each)", c, logIn);
    PrintRow("ours, first cycle", o, logIn);
    PrintRow("ours, nothing new", n, logIn);
    PrintRow("ours, nothing new, new run", r, logIn);
    if (curlConnections != 1)
        std::printf("  note: curl used %d connections\n", curlConnections);

    const double ratio = o.seconds / f.seconds;
    const double share = static_cast<double>(o.bytesReceived) / static_cast<double>(mailboxBytes);
    const long worstNothingNew = std::max(n.roundTrips, r.roundTrips) - logIn;
    const bool timeMet = ratio <= kGoalFloorFactor;
    const bool bytesMet = !bytesGoal || share < kGoalShareOfMailbox;
    const bool tripsMet = worstNothingNew <= kGoalRoundTripsWhenNothingIsNew;
    std::printf("  first cycle / floor: %.2f (goal within %.1f: %s); ours / curl: %.3f\n", ratio,
                kGoalFloorFactor, timeMet ? "met" : "NOT met", o.seconds / c.seconds);
    std::printf("  nothing new / floor: %.2f, new run / floor: %.2f\n", n.seconds / f.seconds,
                r.seconds / f.seconds);
    std::printf("  received in the first cycle: %.3f %% of the mailbox", 100 * share);
    if (bytesGoal)
        std::printf(" (goal below %.0f %%: %s)", 100 * kGoalShareOfMailbox,
                    bytesMet ? "met" : "NOT met");
    std::printf("\n");
    std::printf("  round trips after the log-in with nothing new: %ld (goal at most %ld: %s)\n",
                worstNothingNew, kGoalRoundTripsWhenNothingIsNew, tripsMet ? "met" : "NOT met");
    return timeMet && bytesMet && tripsMet;
}

// A cycle that answers one request: POP3 and SMTP round trips and the time.
void RunRequest(std::chrono::milliseconds oneWay, Program& program, int rounds) {
    std::mt19937 random(3);
    std::vector<std::string> mails;
    for (int n = 1; n <= 20; ++n)
        mails.push_back(OrdinaryMail(n, 3000 + random() % 17000, random));
    DovecotPeer dovecot(kUser, kPassword, mails);
    DelayProxy pop3(dovecot.port(), oneWay);
    std::printf("\none request in a mailbox of 20 mails; the reply to aiosmtpd (AUTH PLAIN) "
                "%lld ms away; median of %d\n",
                static_cast<long long>(oneWay.count()), rounds);
    std::printf("  %-36s %6s %6s %12s %9s\n", "", "POP3", "SMTP", "SMTP bytes", "seconds");
    int serial = 0;
    for (const bool pipelining : {false, true}) {
        SmtpPeer smtp({.authUser = kUser, .authPassword = kPassword, .pipelining = pipelining});
        DelayProxy smtpProxy(smtp.port(), oneWay);
        program.SetPorts(pop3.port(), smtpProxy.port());
        TempDir state;
        auto service = program.NewRun(state.folder());
        Program::Cycle(*service); // judges the ordinary mails
        std::vector<Cost> pop3Costs, smtpCosts;
        for (int round = 0; round < rounds; ++round) {
            dovecot.AddMessage(RequestMail(++serial));
            smtpProxy.Take();
            pop3Costs.push_back(Measure(pop3, [&] { Program::Cycle(*service); }));
            const DelayProxy::Counts counts = smtpProxy.Take();
            smtpCosts.push_back({0, counts.roundTrips, counts.bytesToServer, counts.connections});
        }
        if (smtp.WaitForMessages(static_cast<std::size_t>(rounds)).size() !=
                static_cast<std::size_t>(rounds) ||
            dovecot.MessageCount() != static_cast<int>(mails.size()))
            throw std::runtime_error("a request was not answered");
        const Cost p = Median(pop3Costs), s = Median(smtpCosts);
        std::printf("  %-36s %6ld %6ld %12lld %9.3f\n",
                    pipelining ? "server with PIPELINING" : "server without PIPELINING",
                    p.roundTrips, s.roundTrips, s.bytesReceived, p.seconds);
    }
}

} // namespace

int main(int argc, char** argv) {
    const auto oneWay = std::chrono::milliseconds(argc > 1 ? std::max(0, std::atoi(argv[1])) : 25);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv); // the stamp draws with Qt's fonts

    try {
        Program program;
        std::mt19937 random(1);
        std::vector<std::string> small, large;
        for (int n = 1; n <= kMails; ++n)
            small.push_back(OrdinaryMail(n, 3000 + random() % 17001, random));
        for (int n = 1; n <= kMails; ++n)
            large.push_back(OrdinaryMail(n, 1 << 20, random));
        bool met = true;
        met = RunMailbox("mails of 3-20 KB", small, false, rounds, oneWay, program) && met;
        small.clear();
        met = RunMailbox("mails of 1 MB", large, true, rounds, oneWay, program) && met;
        large.clear();
        RunRequest(oneWay, program, rounds);
        return met ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_cycle: %s\n", e.what());
        return 2;
    }
}
