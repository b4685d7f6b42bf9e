// Retrieves a mailbox of 200 ordinary messages and one message of 30 MB from a local dovecot,
// with CPop3Client and with curl (pop3://, connection reused across URLs), and prints the
// median times side by side. Run: build/bench/pop3/bench_pop3 [rounds]
#include "mail/Pop3Client.h"
#include "tests/support/DovecotPeer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
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

// Our client: one session, every size from one LIST, RETR for each wanted message.
size_t FetchWithClient(int port, int first, int last) {
    CPop3Client client;
    if (!client.LogIn("127.0.0.1", kUser, kPassword, port))
        throw std::runtime_error("log-in failed: " + client.LastServerReply());
    size_t bytes = 0;
    CPop3Message message;
    for (int n = first; n <= last; ++n) {
        uint32_t size = 0;
        if (!client.MessageSize(n, size) || !client.FetchMessage(n, message))
            throw std::runtime_error("RETR failed: " + std::to_string(client.LastError()));
        bytes += message.Text().size();
        message.Clear();
    }
    client.LogOut();
    return bytes;
}

// curl with every URL on one command line, so it keeps one connection; output thrown away.
void FetchWithCurl(int port, int first, int last) {
    std::vector<std::string> args = {"curl", "-s", "-S"};
    for (int n = first; n <= last; ++n)
        args.push_back("pop3://" + std::string(kUser) + ":" + kPassword +
                       "@127.0.0.1:" + std::to_string(port) + "/" + std::to_string(n));
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, "curl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start curl");
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("curl failed");
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
    std::printf("%-28s ours %8.1f ms   curl %8.1f ms   ours/curl %.2f %s\n", what, o * 1000,
                c * 1000, o / c, o <= 1.2 * c ? "(within 1.2)" : "(SLOWER than 1.2 x curl)");
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::mt19937 random(1);
    std::vector<std::string> messages;
    size_t smallBytes = 0;
    for (int n = 1; n <= kSmallMessages; ++n) {
        messages.push_back(MakeMessage(n, 2000 + random() % 30000, random));
        smallBytes += messages.back().size();
    }
    messages.push_back(MakeMessage(kSmallMessages + 1, kLargeSize, random));
    DovecotPeer dovecot(kUser, kPassword, messages);
    const int port = dovecot.port();
    std::printf("dovecot on port %d; %d messages of %zu bytes in all, then one of %zu bytes; "
                "median of %d rounds\n",
                port, kSmallMessages, smallBytes, messages.back().size(), rounds);

    Compare(
        "200 messages, one session", rounds, [&] { FetchWithClient(port, 1, kSmallMessages); },
        [&] { FetchWithCurl(port, 1, kSmallMessages); });
    Compare(
        "one 30 MB message", rounds,
        [&] { FetchWithClient(port, kSmallMessages + 1, kSmallMessages + 1); },
        [&] { FetchWithCurl(port, kSmallMessages + 1, kSmallMessages + 1); });
    return 0;
}
