// Account discovery with the servers a user's machine would meet, on loopback: a DNS server
// (dnslib) that serves the web hosts' addresses, SRV and MX records, and an HTTPS server that
// serves the autoconfig file and the provider database's entries with a certificate for its
// name (or for another name); for the guess, dovecot and aiosmtpd with TLS. Then --set-up on
// top: what it writes is what --show-settings shows, and --dry-run writes nothing.

#include "app/discovery/AccountDiscovery.h"

#include "app/discovery/ServerGuess.h"
#include "app/discovery/SetUpCommand.h"
#include "app/settings/SettingsCommands.h"
#include "mail/net/CancelSignal.h"
#include "mail/net/DnsResolver.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <thread>

namespace {

constexpr const char* kAddress = "me@example.test";

std::string Server(const char* tag, const char* type, const char* host, int port,
                   const char* socketType, const char* userName) {
    return "<" + std::string(tag) + " type=\"" + type + "\"><hostname>" + host +
           "</hostname><port>" + std::to_string(port) + "</port><socketType>" + socketType +
           "</socketType><username>" + userName +
           "</username><authentication>password-cleartext</authentication></" + tag + ">";
}

std::string File(const std::string& servers) {
    return "<?xml version=\"1.0\"?>\n<clientConfig version=\"1.1\"><emailProvider "
           "id=\"example.test\">" +
           servers + "</emailProvider></clientConfig>\n";
}

const std::string kGoodFile =
    File(Server("incomingServer", "pop3", "pop.example.test", 995, "SSL", "%EMAILLOCALPART%") +
         Server("incomingServer", "imap", "imap.%EMAILDOMAIN%", 993, "SSL", "%EMAILLOCALPART%") +
         Server("outgoingServer", "smtp", "smtp.example.test", 465, "SSL", "%EMAILADDRESS%"));
const std::string kClearFile =
    File(Server("incomingServer", "imap", "imap.example.test", 143, "plain", "%EMAILADDRESS%") +
         Server("outgoingServer", "smtp", "smtp.example.test", 587, "STARTTLS", "%EMAILADDRESS%"));

const std::string kWebHost = "autoconfig.example.test A 127.0.0.1\n";
// _imaps is not offered ("."), so _imap with STARTTLS: the lower priority first.
const std::string kSrv = "_imaps._tcp.example.test SRV 0 0 0 .\n"
                         "_imap._tcp.example.test SRV 20 0 143 imap2.example.test\n"
                         "_imap._tcp.example.test SRV 10 0 143 imap1.example.test\n"
                         "_pop3s._tcp.example.test SRV 0 0 995 pop.example.test\n"
                         "_submissions._tcp.example.test SRV 0 0 465 smtp.example.test\n";
const std::string kGoogleMx = "example.test MX 10 alt1.aspmx.l.google.com\n"
                              "example.test MX 1 aspmx.l.google.com\n";

using enum ServerKind;
constexpr SecurityChoice kTls = SecurityChoice::Tls;
constexpr SecurityChoice kStartTls = SecurityChoice::StartTls;

// The provider database's entry for a provider whose servers lie in provider.test.
const std::string kDatabaseFile =
    File(Server("incomingServer", "imap", "imap.provider.test", 993, "SSL", "%EMAILADDRESS%") +
         Server("outgoingServer", "smtp", "smtp.provider.test", 587, "STARTTLS", "%EMAILADDRESS%"));
// SRV that points outside the address's domain.
const std::string kSrvElsewhere = "_imaps._tcp.example.test SRV 0 0 993 imap.elsewhere.test\n"
                                  "_submissions._tcp.example.test SRV 0 0 465 mx.elsewhere.test\n";

struct Case {
    const char* name;
    std::string zone;
    std::string file;   // the autoconfig file served; empty: none
    bool wrongName;     // the web server's certificate is for other.example
    std::string source; // the start of the answer's source; empty: nothing found
    DiscoveredServer incoming;
    DiscoveredServer outgoing;
    std::string oauthProvider;
    std::string firstSkip; // part of the reason the first source was passed over
    std::string path = "mail/config-v1.1.xml"; // where the web server has the file
    std::string databaseDomain = {};           // the database's entry served for this domain
    std::vector<std::string> otherDomainHosts = {};
    std::string address = kAddress;
};

const Case kCases[] = {
    {"Autoconfig",
     kWebHost + kSrv,
     kGoodFile,
     false,
     "https://autoconfig.example.test:",
     {Imap, "imap.example.test", 993, kTls, "me"},
     {Smtp, "smtp.example.test", 465, kTls, kAddress},
     "",
     ""},
    {"WellKnownPath",
     "example.test A 127.0.0.1\n",
     kGoodFile,
     false,
     "https://example.test:",
     {Imap, "imap.example.test", 993, kTls, "me"},
     {Smtp, "smtp.example.test", 465, kTls, kAddress},
     "",
     "autoconfig.example.test",
     ".well-known/autoconfig/mail/config-v1.1.xml"},
    {"SrvWithoutAutoconfig",
     kSrv,
     "",
     false,
     "DNS SRV",
     {Imap, "imap1.example.test", 143, kStartTls, kAddress},
     {Smtp, "smtp.example.test", 465, kTls, kAddress},
     "",
     "autoconfig.example.test"},
    {"MxAtTableProvider",
     kGoogleMx,
     "",
     false,
     "MX → aspmx.l.google.com",
     {Imap, "imap.gmail.com", 993, kTls, kAddress},
     {Smtp, "smtp.gmail.com", 465, kTls, kAddress},
     "google",
     ""},
    {"NothingFound", "", "", false, "", {}, {}, "", "autoconfig.example.test"},
    {"CertificateForAnotherName",
     kWebHost + kSrv,
     kGoodFile,
     true,
     "DNS SRV",
     {Imap, "imap1.example.test", 143, kStartTls, kAddress},
     {Smtp, "smtp.example.test", 465, kTls, kAddress},
     "",
     "証明書のホスト名が一致しません"},
    {"ClearTextFile",
     kWebHost + kSrv,
     kClearFile,
     false,
     "DNS SRV",
     {Imap, "imap1.example.test", 143, kStartTls, kAddress},
     {Smtp, "smtp.example.test", 465, kTls, kAddress},
     "",
     "暗号化しない接続しか"},
    // Known only to the database: it comes before SRV and may name hosts elsewhere.
    {"DatabaseOnly",
     kSrv,
     "",
     false,
     "プロバイダー データベース（https://ispdb.example.test:",
     {Imap, "imap.provider.test", 993, kTls, kAddress},
     {Smtp, "smtp.provider.test", 587, kStartTls, kAddress},
     "",
     "",
     "",
     "example.test"},
    // A custom domain whose mail the provider handles: found through its MX host's domain.
    {"CustomDomainThroughMx",
     "example.test MX 10 mx1.provider.test\n" + kSrv,
     "",
     false,
     "MX → mx1.provider.test: プロバイダー データベース（https://ispdb.example.test:",
     {Imap, "imap.provider.test", 993, kTls, kAddress},
     {Smtp, "smtp.provider.test", 587, kStartTls, kAddress},
     "",
     "",
     "",
     "provider.test"},
    // SRV outside the domain: found, but only for the user to confirm.
    {"OtherDomainSrv",
     kSrvElsewhere,
     "",
     false,
     "DNS SRV",
     {Imap, "imap.elsewhere.test", 993, kTls, kAddress},
     {Smtp, "mx.elsewhere.test", 465, kTls, kAddress},
     "",
     "",
     "",
     "",
     {"imap.elsewhere.test", "mx.elsewhere.test"}},
    // A forged SRV answer for a table provider's domain loses to the table.
    {"TableBeatsSrvElsewhere",
     "_imaps._tcp.gmail.com SRV 0 0 993 imap.attacker.test\n"
     "_submissions._tcp.gmail.com SRV 0 0 465 smtp.attacker.test\n",
     "",
     false,
     "プロバイダー表（Gmail",
     {Imap, "imap.gmail.com", 993, kTls, "me@gmail.com"},
     {Smtp, "smtp.gmail.com", 465, kTls, "me@gmail.com"},
     "google",
     "",
     "",
     "",
     {},
     "me@gmail.com"},
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

// The two servers of one case, named to the program through the environment.
// The database is the same web server under /v1.1/, at ispdb.example.test; nothing is guessed
// unless a test maps the guess's ports.
struct Rig {
    explicit Rig(const Case& c) {
        const auto& certs = TestCertificates::Shared();
        TempDir::WriteFile(dir.path() / "zone.txt", c.zone + "ispdb.example.test A 127.0.0.1\n");
        const std::filesystem::path file = dir.path() / "www" / c.path;
        std::filesystem::create_directories(file.parent_path());
        std::filesystem::create_directories(dir.path() / "www" / "v1.1");
        if (!c.file.empty())
            TempDir::WriteFile(file, c.file);
        if (!c.databaseDomain.empty())
            TempDir::WriteFile(dir.path() / "www" / "v1.1" / c.databaseDomain, kDatabaseFile);
        dns = std::make_unique<PeerProcess>(
            std::vector<std::string>{SystemPython(), TestSourceDir() + "/peers/dns_peer.py",
                                     (dir.path() / "zone.txt").string()});
        web = std::make_unique<PeerProcess>(std::vector<std::string>{
            SystemPython(), TestSourceDir() + "/peers/https_peer.py", (dir.path() / "www").string(),
            (c.wrongName ? certs.wrongHostCert() : certs.webCert()).string(),
            (c.wrongName ? certs.wrongHostKey() : certs.webKey()).string(),
            (dir.path() / "requests.txt").string()});
        setenv(CDnsResolver::kServerVariable, ("127.0.0.1:" + std::to_string(dns->port())).c_str(),
               1);
        setenv(kHttpsPortVariable, std::to_string(web->port()).c_str(), 1);
        setenv(kDatabaseUrlVariable,
               ("https://ispdb.example.test:" + std::to_string(web->port()) + "/v1.1/").c_str(), 1);
        setenv(kGuessPortsVariable, "", 1);
    }

    // The paths the web server was asked for.
    std::string Requests() const {
        const auto log = dir.path() / "requests.txt";
        return std::filesystem::exists(log) ? TempDir::ReadFile(log) : std::string();
    }

    TempDir dir;
    std::unique_ptr<PeerProcess> dns;
    std::unique_ptr<PeerProcess> web;
};

class Discovery : public testing::TestWithParam<Case> {};

TEST_P(Discovery, TakesTheFirstUsableSourceAndSaysWhyOthersWereSkipped) {
    const Case& c = GetParam();
    Rig rig(c);
    const DiscoveryResult result = DiscoverAccount(
        c.address, {.caFile = TestCertificates::Shared().caFile().string()}, nullptr);
    ASSERT_TRUE(result.addressProblem.empty());
    if (c.source.empty()) {
        EXPECT_FALSE(result.account);
        EXPECT_GE(result.skipped.size(), 4u); // two files, SRV, MX
        EXPECT_NE(DescribeDiscovery(result).back().find("見つかりませんでした"), std::string::npos);
    } else {
        ASSERT_TRUE(result.account);
        EXPECT_EQ(result.account->source.rfind(c.source, 0), 0u) << result.account->source;
        EXPECT_EQ(result.account->incoming, c.incoming);
        EXPECT_EQ(result.account->outgoing, c.outgoing);
        EXPECT_EQ(result.account->oauthProvider, c.oauthProvider);
        EXPECT_EQ(result.account->otherDomainHosts, c.otherDomainHosts);
    }
    if (!c.firstSkip.empty()) {
        ASSERT_FALSE(result.skipped.empty());
        const SkippedSource& first = result.skipped.front();
        EXPECT_NE((first.source + " " + first.reason).find(c.firstSkip), std::string::npos)
            << first.source << ": " << first.reason;
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, Discovery, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

const Case& CaseNamed(std::string_view name) {
    for (const Case& c : kCases)
        if (name == c.name)
            return c;
    throw std::logic_error("no such case");
}

TEST(Discovery, EndsAtOnceWhenCancelled) {
    Rig rig(CaseNamed("NothingFound"));
    TempDir::WriteFile(rig.dir.path() / "zone.txt.silent", "\n"); // DNS does not answer
    CCancelSignal cancel;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel.Cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    const DiscoveryResult result = DiscoverAccount(kAddress, {}, &cancel);
    canceller.join();
    EXPECT_FALSE(result.account);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(Discovery, AsksNothingOutsideTheDomainWhenOnlineIsOff) {
    Rig rig(CaseNamed("CustomDomainThroughMx"));
    TempDir::WriteFile(rig.dir.path() / "www" / "v1.1" / "example.test", kDatabaseFile);
    const DiscoveryResult result = DiscoverAccount(
        kAddress, {.caFile = TestCertificates::Shared().caFile().string(), .online = false},
        nullptr);
    ASSERT_TRUE(result.account); // SRV in the domain still answers
    EXPECT_EQ(result.account->source, "DNS SRV");
    EXPECT_EQ(rig.Requests().find("/v1.1/"), std::string::npos) << rig.Requests();
    // The database sees the domain only, never the address.
    DiscoverAccount(kAddress, {.caFile = TestCertificates::Shared().caFile().string()}, nullptr);
    EXPECT_NE(rig.Requests().find("/v1.1/example.test\n"), std::string::npos) << rig.Requests();
    for (const char* address : {"me@", "me%40"})
        EXPECT_EQ(rig.Requests().find(address), std::string::npos) << rig.Requests();
}

TEST(Discovery, SilentDatabaseCostsItsTimeLimitAndTheTableAnswers) {
    Rig rig(CaseNamed("NothingFound"));
    LoopbackListener silent; // takes the connection, never says a word
    setenv(kDatabaseUrlVariable,
           ("https://127.0.0.1:" + std::to_string(silent.port()) + "/v1.1/").c_str(), 1);
    std::vector<std::string> progress;
    const auto start = std::chrono::steady_clock::now();
    const DiscoveryResult result = DiscoverAccount(
        "me@gmail.com", {.progress = [&](const std::string& line) { progress.push_back(line); }},
        nullptr);
    const auto spent = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(result.account);
    EXPECT_EQ(result.account->incoming.host, "imap.gmail.com");
    EXPECT_LT(spent, kStepLimit + std::chrono::seconds(2));
    // Every source passed over was said as the search went.
    EXPECT_EQ(progress.size(), result.skipped.size());
    EXPECT_TRUE(silent.HasPendingConnection());
}

// The guess against dovecot (IMAP) and aiosmtpd (SMTP) with TLS, reached as imap.example.test
// and smtp.example.test through the DNS server.
TEST(Discovery, GuessTakesOnlyServersWithTheirOwnNameVerified) {
    const auto& certs = TestCertificates::Shared();
    const struct {
        const char* name;
        std::filesystem::path cert, key; // of the IMAP server; empty: no TLS at all
        bool found;
        const char* skipped; // part of a reason given when nothing was found
    } rows[] = {
        {"valid certificate", certs.webCert(), certs.webKey(), true, ""},
        {"certificate for another name", certs.wrongHostCert(), certs.wrongHostKey(), false,
         "証明書のホスト名が一致しません"},
        // Probed with implicit TLS and with STARTTLS, refused by both.
        {"clear text", {}, {}, false, "STARTTLS"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig(CaseNamed("NothingFound"));
        TempDir::WriteFile(rig.dir.path() / "zone.txt", "imap.example.test A 127.0.0.1\n"
                                                        "smtp.example.test A 127.0.0.1\n");
        const bool tls = !row.cert.empty();
        DovecotPeer imap(
            "me", "secret", {},
            {.tlsCert = row.cert, .tlsKey = row.key, .implicitTls = tls, .imap = true});
        SmtpPeer smtp({.tlsCert = certs.webCert(), .tlsKey = certs.webKey(), .implicitTls = true});
        const std::string ports = "993=" + std::to_string(imap.port()) +
                                  (tls ? "" : ",143=" + std::to_string(imap.port())) +
                                  ",465=" + std::to_string(smtp.port());
        setenv(kGuessPortsVariable, ports.c_str(), 1);
        const DiscoveryResult result =
            DiscoverAccount(kAddress, {.caFile = certs.caFile().string()}, nullptr);
        if (row.found) {
            ASSERT_TRUE(result.account);
            EXPECT_EQ(result.account->incoming,
                      (DiscoveredServer{Imap, "imap.example.test", 993, kTls, kAddress}));
            EXPECT_EQ(result.account->outgoing,
                      (DiscoveredServer{Smtp, "smtp.example.test", 465, kTls, kAddress}));
            continue;
        }
        EXPECT_FALSE(result.account);
        std::string reasons;
        for (const SkippedSource& skipped : result.skipped)
            reasons += skipped.source + ": " + skipped.reason + "\n";
        EXPECT_NE(reasons.find(row.skipped), std::string::npos) << reasons;
    }
}

TEST(SetUpCommand, WritesWhatShowSettingsShowsAndNothingOnDryRunOrFailure) {
    const struct {
        const char* rig;
        std::string address;
        bool dryRun;
        bool acceptOtherDomain;
        int status;
        std::vector<const char*> shown; // after the command; empty: setup.ini unchanged
        const char* said;               // part of what it printed
    } rows[] = {
        {"Autoconfig",
         kAddress,
         false,
         false,
         setupcli::kDone,
         {"MAIL.RECEIVE_PROTOCOL=imap", "MAIL.IMAP_SERVER=imap.example.test", "MAIL.IMAP_PORT=993",
          "MAIL.IMAP_SECURITY=tls", "MAIL.POP3_ID=me", "MAIL.SMTP_SERVER=smtp.example.test",
          "MAIL.SMTP_PORT=465", "MAIL.SMTP_SECURITY=tls", "MAIL.SMTP_ID=me@example.test",
          "MAIL.SENDER_ADDRESS=me@example.test", "MAIL.AUTH_METHOD=password"},
         "--set-password pop3"},
        {"MxAtTableProvider",
         kAddress,
         false,
         false,
         setupcli::kDone,
         {"MAIL.IMAP_SERVER=imap.gmail.com", "MAIL.AUTH_METHOD=oauth2",
          "MAIL.OAUTH_PROVIDER=google", "MAIL.SMTP_ID="},
         "--sign-in"},
        {"Autoconfig", kAddress, true, false, setupcli::kDone, {}, "imap.example.test"},
        {"NothingFound",
         kAddress,
         false,
         false,
         setupcli::kNothingFound,
         {},
         "見つかりませんでした"},
        {"Autoconfig", "not an address", false, false, setupcli::kBadAddress, {}, "not an address"},
        // Servers in another domain: named, and written only when accepted.
        {"OtherDomainSrv",
         kAddress,
         false,
         false,
         setupcli::kNothingFound,
         {},
         "--accept-other-domain"},
        {"OtherDomainSrv",
         kAddress,
         false,
         true,
         setupcli::kDone,
         {"MAIL.IMAP_SERVER=imap.elsewhere.test", "MAIL.SMTP_SERVER=mx.elsewhere.test"},
         "imap.elsewhere.test"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.rig) + (row.dryRun ? " --dry-run" : "") +
                     (row.acceptOtherDomain ? " --accept-other-domain" : ""));
        Rig rig(CaseNamed(row.rig));
        TempDir home;
        std::ostringstream ignored, out, err, shown;
        const std::string ca = "MAIL.CA_FILE=" + TestCertificates::Shared().caFile().string();
        ASSERT_EQ(settingscli::SetSettings(home.folder(), {ca}, ignored), settingscli::kOk);
        const std::string before = TempDir::ReadFile(home.path() / "setup.ini");

        EXPECT_EQ(setupcli::SetUp(home.folder(), row.address, row.dryRun, row.acceptOtherDomain,
                                  out, err),
                  row.status);
        EXPECT_NE((out.str() + err.str()).find(row.said), std::string::npos)
            << out.str() << err.str();
        if (row.shown.empty()) {
            EXPECT_EQ(TempDir::ReadFile(home.path() / "setup.ini"), before);
        }
        settingscli::ShowSettings(home.folder(), shown, ignored);
        for (const char* line : row.shown)
            EXPECT_NE(shown.str().find(std::string(line) + "\n"), std::string::npos) << line;
    }
}

} // namespace
