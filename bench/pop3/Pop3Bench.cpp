// Retrieves a mailbox of 200 ordinary messages and one message of 30 MB from a local dovecot,
// with CPop3Client and with curl (connection reused across URLs), and prints the median times
// side by side: first over plain POP3, then over POP3S (TLS from the first byte, a CA made for
// the run given to both). Our side visits the mailbox as a mail check does: log-in, STAT,
// LIST, RETR of each message, QUIT.
// Run: build/bench/pop3/bench_pop3 [rounds] [plain|pop3s]   (without the second: both)
#include "bench/RunTool.h"
#include "mail/pop3/Pop3Client.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/TestCertificates.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSmallMessages = 200;
constexpr size_t kLargeSize = 30u << 20;
const char* const kUser = "bench";
const char* const kPassword = "benchpass";

// A message of about `size` bytes: a header and base64-looking lines of 76 characters.
std::string MakeMessage(int number, size_t size, std::mt19937& random) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string m = "From: sender" + std::to_string(number) +
                    "@example.com\r\nTo: camera@example.com\r\nSubject: message " +
                    std::to_string(number) + "\r\nMIME-Version: 1.0\r\n\r\n";
    m.reserve(size + 80);
    while (m.size() < size) {
        for (int i = 0; i < 76; ++i)
            m += kAlphabet[random() % 64];
        m += "\r\n";
    }
    return m;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One way of reaching the dovecot under test.
struct Endpoint {
    int port = 0;
    bool tls = false;     // POP3S
    std::string caFile{}; // the authority of the server's certificate, for TLS
};

// Our client: one session as a mail check has it (STAT, then every size from one LIST, RETR
// for each wanted message).
size_t FetchWithClient(const Endpoint& server, int first, int last) {
    CPop3Client client;
    if (server.tls) {
        client.SetSecurity(TlsMode::Implicit);
        client.SetCaFile(server.caFile);
    }
    if (!client.LogIn("127.0.0.1", kUser, kPassword, server.port))
        throw std::runtime_error("log-in failed: " + DescribeMailError(client.LastMailError()));
    int count = 0;
    int64_t total = 0;
    if (!client.QueryStatus(count, total) || count < last)
        throw std::runtime_error("STAT failed: " + DescribeMailError(client.LastMailError()));
    size_t bytes = 0;
    CPop3Message message;
    for (int n = first; n <= last; ++n) {
        uint32_t size = 0;
        if (!client.MessageSize(n, size) || !client.FetchMessage(n, message))
            throw std::runtime_error("RETR failed: " + DescribeMailError(client.LastMailError()));
        bytes += message.Text().size();
        message.Clear();
    }
    client.LogOut();
    return bytes;
}

// curl with every URL on one command line, so it keeps one connection; output thrown away.
void FetchWithCurl(const Endpoint& server, int first, int last) {
    std::vector<std::string> args = {"curl", "-s", "-S"};
    if (server.tls)
        args.insert(args.end(), {"--cacert", server.caFile});
    for (int n = first; n <= last; ++n)
        args.push_back(std::string(server.tls ? "pop3s://" : "pop3://") + kUser + ":" + kPassword +
                       "@127.0.0.1:" + std::to_string(server.port) + "/" + std::to_string(n));
    RunTool(std::move(args));
}

// The comparison holds only while curl keeps one connection, as our client does: dovecot's
// log shows one log-in per connection.
void CheckCurlKeepsOneConnection(const DovecotPeer& dovecot, const Endpoint& server) {
    const size_t before = dovecot.LoginAttempts().size();
    FetchWithCurl(server, 1, kSmallMessages);
    const size_t logins = dovecot.LoginAttempts().size() - before;
    if (logins != 1)
        std::printf("note: curl logged in %zu times for %d messages\n", logins, kSmallMessages);
}

double TimeOf(const std::function<void()>& run) {
    auto start = Clock::now();
    run();
    return Seconds(Clock::now() - start);
}

void Compare(const char* what, int rounds, const std::function<void()>& ours,
             const std::function<void()>& curl) {
    ours(); // warm-up: dovecot indexes the mailbox, the page cache fills
    curl();
    std::vector<double> oursTimes;
    std::vector<double> curlTimes;
    for (int i = 0; i < rounds; ++i) {
        oursTimes.push_back(TimeOf(ours));
        curlTimes.push_back(TimeOf(curl));
    }
    const double o = Median(oursTimes);
    const double c = Median(curlTimes);
    std::printf("%-34s ours %8.1f ms   curl %8.1f ms   ours/curl %.2f %s\n", what, o * 1000,
                c * 1000, o / c, o <= 1.2 * c ? "(within 1.2)" : "(SLOWER than 1.2 x curl)");
}

void CompareOn(const char* protocol, const Endpoint& server, const DovecotPeer& dovecot,
               int rounds) {
    CheckCurlKeepsOneConnection(dovecot, server);
    const std::string small = std::string(protocol) + ", 200 messages, one session";
    const std::string large = std::string(protocol) + ", one 30 MB message";
    Compare(
        small.c_str(), rounds, [&] { FetchWithClient(server, 1, kSmallMessages); },
        [&] { FetchWithCurl(server, 1, kSmallMessages); });
    Compare(
        large.c_str(), rounds,
        [&] { FetchWithClient(server, kSmallMessages + 1, kSmallMessages + 1); },
        [&] { FetchWithCurl(server, kSmallMessages + 1, kSmallMessages + 1); });
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const char* only = argc > 2 ? argv[2] : "";
    const bool plain = !*only || std::strcmp(only, "plain") == 0;
    const bool pop3s = !*only || std::strcmp(only, "pop3s") == 0;
    std::mt19937 random(1);
    std::vector<std::string> messages;
    size_t smallBytes = 0;
    for (int n = 1; n <= kSmallMessages; ++n) {
        messages.push_back(MakeMessage(n, 2000 + random() % 30000, random));
        smallBytes += messages.back().size();
    }
    messages.push_back(MakeMessage(kSmallMessages + 1, kLargeSize, random));
    std::printf("%d messages of %zu bytes in all, then one of %zu bytes; median of %d rounds\n",
                kSmallMessages, smallBytes, messages.back().size(), rounds);

    if (plain) {
        DovecotPeer dovecot(kUser, kPassword, messages);
        CompareOn("pop3", {.port = dovecot.port()}, dovecot, rounds);
    }
    if (pop3s) {
        const TestCertificates certs;
        DovecotPeer dovecot(
            kUser, kPassword, messages,
            {.tlsCert = certs.serverCert(), .tlsKey = certs.serverKey(), .implicitTls = true});
        const Endpoint server{
            .port = dovecot.port(), .tls = true, .caFile = certs.caFile().string()};
        CompareOn("pop3s", server, dovecot, rounds);
    }
    return 0;
}
