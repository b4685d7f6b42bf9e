// Signing in against the test authorization server, the test acting as the browser: the
// redirect to the loopback listener (on 127.0.0.1, or ::1 too for "localhost") or the address
// pasted back, refusals of a wrong state, a code issued for another challenge and a refused
// consent, and the device grant's polling.
#include "app/signin/OAuthSignIn.h"

#include "app/signin/OAuthTokens.h"
#include "base/FileDescriptor.h"
#include "mail/net/CancelSignal.h"
#include "tests/support/OAuthPeer.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

MailSettings SettingsFor(const OAuthPeer& auth) {
    MailSettings mail;
    mail.oauth2 = true;
    mail.oauthProvider = "custom";
    mail.oauthClientId = "kestrova-test";
    mail.oauthAuthUrl = auth.Url("/authorize");
    mail.oauthTokenUrl = auth.Url("/token");
    mail.oauthDeviceUrl = auth.Url("/device");
    mail.oauthScope = "mail";
    mail.caFile = TestCertificates::Shared().caFile().string();
    return mail;
}

// The HTTP status of the page a browser gets at url.
std::string StatusOf(const std::string& url) {
    return CommandOutput(
        {"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "--max-time", "30", url});
}

std::string Replaced(const std::string& text, const std::string& pattern, const std::string& with) {
    return std::regex_replace(text, std::regex(pattern), with);
}

class SignIn : public ::testing::Test {
protected:
    OAuthPeer m_auth{{.pending = 1, .slowDown = 1}};
    TempDir m_dir;
    COAuthBrowserSignIn m_browser{SettingsFor(m_auth), m_dir.folder()};
};

TEST_F(SignIn, BrowserRedirectOrPastedAddressAndTheirRefusals) {
    enum class Via { Loopback, Pasted };
    const struct {
        const char* name;
        std::string challengeTo; // replaces the code challenge the browser carries; empty: kept
        std::string locationFrom, locationTo; // a change of the address the browser is sent to
        MailErrorCode code;
        std::string detail;
    } cases[] = {
        {"signed in", "", "", "", MailErrorCode::None, ""},
        // Pasted only: at the listener a wrong state leaves the wait going (below).
        {"state of another sign-in", "", "state=[^&]*", "state=forged",
         MailErrorCode::ProtocolError, "state"},
        {"code for another verifier", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", "", "",
         MailErrorCode::AuthorizationFailed, "invalid_grant"},
        {"consent refused", "", "code=[^&]*", "error=access_denied",
         MailErrorCode::AuthorizationFailed, "access_denied"},
    };
    int exchanges = 0;
    for (const auto& c : cases) {
        for (const Via via : {Via::Loopback, Via::Pasted}) {
            if (via == Via::Loopback && c.detail == "state")
                continue;
            SCOPED_TRACE(std::string(c.name) +
                         (via == Via::Loopback ? " (loopback)" : " (pasted)"));
            std::filesystem::remove(m_dir.path() / oauthstore::kFileName);
            MailError error;
            std::string address = m_browser.Start(error);
            ASSERT_FALSE(address.empty()) << DescribeMailError(error);
            EXPECT_NE(address.find("code_challenge_method=S256"), std::string::npos);
            if (!c.challengeTo.empty())
                address =
                    Replaced(address, "code_challenge=[^&]*", "code_challenge=" + c.challengeTo);
            std::string location = OAuthPeer::Approve(address);
            ASSERT_TRUE(m_browser.IsRedirectAddress(location)) << location;
            if (!c.locationFrom.empty())
                location = Replaced(location, c.locationFrom, c.locationTo);

            MailError result;
            if (via == Via::Loopback) {
                auto waiting =
                    std::async(std::launch::async, [&] { return m_browser.Wait(nullptr, 60s); });
                const std::string base = m_browser.RedirectUri();
                EXPECT_EQ(StatusOf(base + "favicon.ico"), "404"); // the wait goes on
                EXPECT_EQ(StatusOf(base), "404");
                EXPECT_EQ(StatusOf(location), c.code == MailErrorCode::None ? "200" : "400");
                result = waiting.get();
            } else {
                result = m_browser.Complete("  " + location + "\n", nullptr);
            }
            EXPECT_EQ(result.code, c.code) << DescribeMailError(result);
            EXPECT_EQ(result.detail, c.detail);
            exchanges += c.code == MailErrorCode::None || !c.challengeTo.empty();
            EXPECT_EQ(m_auth.Stats()["authorization_code"], exchanges);
            const std::string token = oauthstore::LoadRefreshToken(m_dir.folder());
            EXPECT_EQ(token.starts_with("rt-"), c.code == MailErrorCode::None);
            if (!token.empty()) {
                struct stat info {};
                ASSERT_EQ(::stat((m_dir.path() / oauthstore::kFileName).c_str(), &info), 0);
                EXPECT_EQ(info.st_mode & 0777, 0600u);
            }
        }
    }
    // The listener is gone with the sign-in; a foreign address is not taken for the redirect.
    MailError error;
    ASSERT_FALSE(m_browser.Start(error).empty());
    EXPECT_EQ(m_browser.Complete("https://example.com/?code=x&state=y", nullptr).detail,
              "redirect_uri");
}

// Requests a web page or another local program can make without knowing the state: each gets
// 400 and the wait goes on, so none can end the sign-in; the browser's redirect then signs in.
// The Microsoft preset's "localhost" is served on ::1 as well as 127.0.0.1, so that no other
// user can take the address a browser tries first.
TEST_F(SignIn, AtTheListenerOnlyTheRightStateEndsTheWaitOnEitherLoopbackAddress) {
    const bool ipv6 = [] {
        const FileDescriptor probe(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        return probe &&
               ::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }();
    for (const char* provider : {"custom", "microsoft"}) {
        SCOPED_TRACE(provider);
        MailSettings mail = SettingsFor(m_auth);
        mail.oauthProvider = provider; // the test server's endpoints all the same
        COAuthBrowserSignIn browser(mail, m_dir.folder());
        std::filesystem::remove(m_dir.path() / oauthstore::kFileName);
        MailError error;
        const std::string address = browser.Start(error);
        ASSERT_FALSE(address.empty()) << DescribeMailError(error);
        const std::string location = OAuthPeer::Approve(address);
        const bool localhost = std::string(provider) == "microsoft";
        ASSERT_EQ(browser.RedirectUri().starts_with("http://localhost:"), localhost);

        auto waiting = std::async(std::launch::async, [&] { return browser.Wait(nullptr, 60s); });
        std::string base = browser.RedirectUri();
        std::string redirect = location;
        if (localhost && ipv6) {
            // Where a browser goes first for "localhost": refused there if it were not held.
            base = Replaced(base, "localhost", "[::1]");
            redirect = Replaced(redirect, "localhost", "[::1]");
        }
        for (const std::string& probe :
             {Replaced(redirect, "state=[^&]*", "state=forged"), base + "?code=x",
              base + "?error=access_denied", base + "?state="}) {
            SCOPED_TRACE(probe);
            EXPECT_EQ(StatusOf(probe), "400");
        }
        EXPECT_EQ(waiting.wait_for(0s), std::future_status::timeout);
        EXPECT_EQ(StatusOf(redirect), "200");
        const MailError result = waiting.get();
        EXPECT_EQ(result.code, MailErrorCode::None) << DescribeMailError(result);
        EXPECT_TRUE(oauthstore::LoadRefreshToken(m_dir.folder()).starts_with("rt-"));
    }
}

TEST_F(SignIn, WaitsEndOnCancelOrTime) {
    for (const bool cancelled : {true, false}) {
        MailError error;
        ASSERT_FALSE(m_browser.Start(error).empty());
        CCancelSignal cancel;
        std::thread canceller([&] {
            if (cancelled)
                cancel.Cancel();
        });
        const auto started = std::chrono::steady_clock::now();
        const MailError result = m_browser.Wait(&cancel, 300ms);
        canceller.join();
        EXPECT_EQ(result.code, cancelled ? MailErrorCode::Cancelled : MailErrorCode::NoAnswer);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    }
    COAuthDeviceSignIn device(SettingsFor(m_auth), m_dir.folder());
    MailError error;
    ASSERT_TRUE(device.Start(nullptr, error)) << DescribeMailError(error);
    CCancelSignal cancel;
    cancel.Cancel();
    EXPECT_EQ(device.Wait(&cancel).code, MailErrorCode::Cancelled);
}

TEST_F(SignIn, DeviceGrantPollsAtTheAskedPace) {
    COAuthDeviceSignIn device(SettingsFor(m_auth), m_dir.folder());
    MailError error;
    const std::optional<DeviceCodePrompt> prompt = device.Start(nullptr, error);
    ASSERT_TRUE(prompt) << DescribeMailError(error);
    EXPECT_EQ(prompt->userCode, "WDJB-MJHT");
    EXPECT_EQ(prompt->verificationUri, "https://127.0.0.1/device");
    CCancelSignal cancel;
    const MailError result = device.Wait(&cancel); // slow_down, then pending, then the tokens
    EXPECT_FALSE(result) << DescribeMailError(result);
    EXPECT_TRUE(oauthstore::LoadRefreshToken(m_dir.folder()).starts_with("rt-"));
    auto stats = m_auth.Stats();
    EXPECT_EQ(stats["device_poll"], 3);
    EXPECT_EQ(stats["device_too_fast"], 0);
}

TEST(SignInSettings, TheSettingToFixIsNamed) {
    const struct {
        const char* name;
        void (*change)(MailSettings&);
        oauthsignin::Grant grant;
        std::string setting;
    } cases[] = {
        {"preset", [](MailSettings&) {}, oauthsignin::Grant::Browser, ""},
        {"password log-in", [](MailSettings& m) { m.oauth2 = false; }, oauthsignin::Grant::Browser,
         "MAIL.AUTH_METHOD"},
        {"no provider", [](MailSettings& m) { m.oauthProvider.clear(); },
         oauthsignin::Grant::Browser, "MAIL.OAUTH_PROVIDER"},
        {"no client", [](MailSettings& m) { m.oauthClientId.clear(); }, oauthsignin::Grant::Browser,
         "MAIL.OAUTH_CLIENT_ID"},
        {"Google has no device grant for mail", [](MailSettings&) {},
         oauthsignin::Grant::DeviceCode, "MAIL.OAUTH_DEVICE_URL"},
        {"custom without endpoints", [](MailSettings& m) { m.oauthProvider = "custom"; },
         oauthsignin::Grant::Browser, "MAIL.OAUTH_TOKEN_URL"},
        {"plain HTTP", [](MailSettings& m) { m.oauthAuthUrl = "http://127.0.0.1/authorize"; },
         oauthsignin::Grant::Browser, "MAIL.OAUTH_AUTH_URL"},
    };
    for (const auto& c : cases) {
        MailSettings mail;
        mail.oauth2 = true;
        mail.oauthProvider = "google";
        mail.oauthClientId = "123.apps.googleusercontent.com";
        c.change(mail);
        EXPECT_EQ(oauthsignin::SettingToFix(mail, c.grant), c.setting) << c.name;
    }
}

} // namespace
