// The time of the whole account search (DiscoverAccount) for an address whose domain needs
// every step: no autoconfig file, no database entry, no SRV records, so the guess finds the
// servers (dovecot's IMAP and aiosmtpd, both with TLS for *.example.test). All on loopback:
// the test DNS server answers every name, one HTTPS server stands for the domain's web hosts
// and the database. Three rounds: every step answering at once; the database silent (it takes
// the connection and never answers, so its step runs to its time limit); and the worst case,
// the database silent and the first guesses too (IMAPS on imap. and mail. swallowed, so the
// guess waits its whole limit and takes POP3S, dovecot again). Goal: below 10 s for each.
// Median and worst of the runs of each round.
//
// Run: build/bench/discovery/bench_discovery [runs]

#include "app/discovery/AccountDiscovery.h"
#include "app/discovery/ServerGuess.h"
#include "mail/net/DnsResolver.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kGoalSeconds = 10;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const auto& certs = TestCertificates::Shared();
    TempDir dir;
    const std::string zone = "imap.example.test A 127.0.0.1\n"
                             "smtp.example.test A 127.0.0.1\n"
                             "pop.example.test A 127.0.0.1\n"
                             "ispdb.example.test A 127.0.0.1\n";
    TempDir::WriteFile(dir.path() / "zone.txt", zone);
    std::filesystem::create_directories(dir.path() / "www");
    PeerProcess dns({SystemPython(), TestSourceDir() + "/peers/dns_peer.py",
                     (dir.path() / "zone.txt").string()});
    PeerProcess web({SystemPython(), TestSourceDir() + "/peers/https_peer.py",
                     (dir.path() / "www").string(), certs.webCert().string(),
                     certs.webKey().string()});
    DovecotPeer imap(
        "me", "secret", {},
        {.tlsCert = certs.webCert(), .tlsKey = certs.webKey(), .implicitTls = true, .imap = true});
    DovecotPeer pop3s("me", "secret", {},
                      {.tlsCert = certs.webCert(), .tlsKey = certs.webKey(), .implicitTls = true});
    SmtpPeer smtp({.tlsCert = certs.webCert(), .tlsKey = certs.webKey(), .implicitTls = true});
    LoopbackListener silent;

    setenv(CDnsResolver::kServerVariable, ("127.0.0.1:" + std::to_string(dns.port())).c_str(), 1);
    setenv(kHttpsPortVariable, std::to_string(web.port()).c_str(), 1);
    const std::string smtpPort = ",465=" + std::to_string(smtp.port());
    const std::string answering =
        "https://ispdb.example.test:" + std::to_string(web.port()) + "/v1.1/";
    const std::string silentUrl = "https://127.0.0.1:" + std::to_string(silent.port()) + "/v1.1/";

    struct Round {
        const char* name;
        std::string databaseUrl;
        std::string guessPorts;
        const char* incoming; // the host the guess takes
    };
    const std::string imapsPort = "993=" + std::to_string(imap.port());
    const std::string silentImaps =
        "993=" + std::to_string(silent.port()) + ",995=" + std::to_string(pop3s.port());
    const Round rounds[] = {
        {"every step answers at once", answering, imapsPort + smtpPort, "imap.example.test"},
        {"the database silent", silentUrl, imapsPort + smtpPort, "imap.example.test"},
        {"database and IMAPS silent", silentUrl, silentImaps + smtpPort, "pop.example.test"},
    };
    bool met = true;
    for (const Round& round : rounds) {
        setenv(kDatabaseUrlVariable, round.databaseUrl.c_str(), 1);
        setenv(kGuessPortsVariable, round.guessPorts.c_str(), 1);
        std::vector<double> seconds;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            const DiscoveryResult result =
                DiscoverAccount("me@example.test", {.caFile = certs.caFile().string()}, nullptr);
            seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            if (!result.account || result.account->incoming.host != round.incoming) {
                std::fprintf(stderr, "%s: the guess did not find the servers\n", round.name);
                return 1;
            }
        }
        const double median = Median(seconds);
        const double worst = *std::max_element(seconds.begin(), seconds.end());
        met = met && worst < kGoalSeconds;
        std::printf("%-28s median %6.3f s, worst %6.3f s of %d (goal below %.0f s: %s)\n",
                    round.name, median, worst, runs, kGoalSeconds,
                    worst < kGoalSeconds ? "met" : "missed");
    }
    return met ? 0 : 1;
}
