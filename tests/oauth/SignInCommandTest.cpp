// `kestrovamail --sign-in` in a pseudo-terminal, as a user on a box without a browser runs it:
// the test reads the printed address, plays the browser on "another device" (fetches it from
// the test authorization server without following the redirect) and types the address it was
// sent to back into the terminal. Also an interrupt, and settings that are missing.
#include "app/signin/OAuthTokens.h"
#include "app/settings/SettingsCommands.h"
#include "tests/support/OAuthPeer.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The program on the child side of a pseudo-terminal, in English, without a display.
class Terminal {
public:
    Terminal(const TempDir& home, std::vector<std::string> arguments) {
        m_pid = ::forkpty(&m_master, nullptr, nullptr, nullptr);
        if (m_pid == 0) {
            for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                         "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
                ::unsetenv(variable);
            ::setenv("LANG", "C.UTF-8", 1);
            ::setenv("KESTROVAMAIL_HOME", home.path().c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(KM_EXECUTABLE)};
            for (std::string& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(KM_EXECUTABLE, argv.data());
            ::_exit(127);
        }
    }
    ~Terminal() {
        if (m_pid > 0 && m_status < 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }

    // The first match of pattern in what the program wrote, waiting up to 20 s for it.
    std::string Await(const std::regex& pattern) {
        const auto end = Clock::now() + 20s;
        std::smatch match;
        while (!std::regex_search(m_output, match, pattern) && Clock::now() < end && Read(100)) {
        }
        return match.empty() ? std::string() : match.str(0);
    }
    void Type(const std::string& text) const {
        [[maybe_unused]] ssize_t n = ::write(m_master, text.data(), text.size());
    }
    void Signal(int number) const { ::kill(m_pid, number); }
    // The exit status, -1 when the program did not end within 60 s.
    int Wait() {
        const auto end = Clock::now() + 60s;
        int status = 0;
        while (Clock::now() < end) {
            Read(50);
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                while (Read(0)) {
                }
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return m_status;
            }
        }
        return -1;
    }
    const std::string& Output() const { return m_output; }

private:
    // False once the terminal has nothing more now (or is gone).
    bool Read(int waitMs) {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            return waitMs > 0; // keep waiting in Await until its time is up
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        m_output.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    int m_master = -1;
    int m_status = -1;
    std::string m_output;
};

TEST(SignInCommand, PastedAddressInterruptAndMissingSettings) {
    OAuthPeer auth;
    enum class Act { Paste, Interrupt, Nothing };
    const struct {
        const char* name;
        std::vector<std::string> settings;
        Act act;
        int status;
        std::string said;
    } cases[] = {
        {"pasted address", {}, Act::Paste, 0, "Signed in"},
        {"interrupted", {}, Act::Interrupt, 1, "cancelled"},
        {"password log-in",
         {"MAIL.AUTH_METHOD=password"},
         Act::Nothing,
         2,
         "--set MAIL.AUTH_METHOD=oauth2"},
        {"no client id", {"MAIL.OAUTH_CLIENT_ID="}, Act::Nothing, 2, "MAIL.OAUTH_CLIENT_ID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir home;
        std::vector<std::string> settings = {"MAIL.AUTH_METHOD=oauth2",
                                             "MAIL.OAUTH_PROVIDER=custom",
                                             "MAIL.OAUTH_CLIENT_ID=kestrova-test",
                                             "MAIL.OAUTH_AUTH_URL=" + auth.Url("/authorize"),
                                             "MAIL.OAUTH_TOKEN_URL=" + auth.Url("/token"),
                                             "MAIL.CA_FILE=" +
                                                 TestCertificates::Shared().caFile().string()};
        settings.insert(settings.end(), c.settings.begin(), c.settings.end());
        std::ostringstream err;
        ASSERT_EQ(settingscli::SetSettings(home.folder(), settings, err), 0) << err.str();

        Terminal terminal(home, {"--sign-in"});
        if (c.act != Act::Nothing) {
            const std::string address =
                terminal.Await(std::regex("https://127\\.0\\.0\\.1:[0-9]+/authorize\\?\\S+"));
            ASSERT_FALSE(address.empty()) << terminal.Output();
            terminal.Await(std::regex("Ctrl\\+C"));
            if (c.act == Act::Paste) {
                const std::string location = OAuthPeer::Approve(address);
                terminal.Type("not the address\n" + location + "\n");
            } else {
                terminal.Signal(SIGINT);
            }
        }
        EXPECT_EQ(terminal.Wait(), c.status) << terminal.Output();
        EXPECT_NE(terminal.Output().find(c.said), std::string::npos) << terminal.Output();
        EXPECT_EQ(oauthstore::LoadRefreshToken(home.folder()).starts_with("rt-"), c.status == 0);
    }
}

} // namespace
