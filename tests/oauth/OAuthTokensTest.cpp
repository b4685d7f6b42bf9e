// The token endpoint's replies, the refresh token's file, and refreshing against the test
// authorization server over HTTPS.
#include "app/service/MailClients.h"
#include "app/signin/OAuthTokens.h"
#include "tests/support/OAuthPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmpfsMount.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(TokenReply, ParsedOrRefused) {
    const struct {
        const char* json;
        bool parsed;
        std::string access, refresh, error;
        long long expires;
    } cases[] = {
        {R"({"access_token":"ya29.a","token_type":"Bearer","expires_in":3599,"refresh_token":"1//x"})",
         true, "ya29.a", "1//x", "", 3599},
        {R"({"access_token":"EwB","expires_in":"600"})", true, "EwB", "", "", 600},
        {R"({"error":"invalid_grant","error_description":"revoked"})", true, "", "", "invalid_grant",
         3600},
        {R"({"error":"slow_down"})", true, "", "", "slow_down", 3600},
        {R"({"access_token":"a b"})", false, "", "", "", 0},      // not for a command line
        {R"({"access_token":"a","refresh_token":"r\r\n"})", false, "", "", "", 0},
        {R"({"token_type":"Bearer"})", false, "", "", "", 0},     // no token at all
        {R"({"error":"bad\u0001"})", false, "", "", "", 0},
        {R"(["access_token"])", false, "", "", "", 0},
        {"<html>", false, "", "", "", 0},
        {"", false, "", "", "", 0},
    };
    for (const auto& c : cases) {
        const std::optional<TokenReply> reply = ParseTokenReply(c.json);
        ASSERT_EQ(reply.has_value(), c.parsed) << c.json;
        if (!reply)
            continue;
        EXPECT_EQ(reply->accessToken, c.access) << c.json;
        EXPECT_EQ(reply->refreshToken, c.refresh) << c.json;
        EXPECT_EQ(reply->error, c.error) << c.json;
        EXPECT_EQ(reply->expiresIn.count(), c.expires) << c.json;
    }
}

TEST(TokenStore, EncipheredPrivateAndWhole) {
    TempDir dir;
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(oauthstore::LoadRefreshToken(folder), "");
    const std::string token = "rt-" + std::string(1500, 'x');
    ASSERT_TRUE(oauthstore::SaveRefreshToken(folder, token));
    EXPECT_EQ(oauthstore::LoadRefreshToken(folder), token);
    const std::string path = folder + oauthstore::kFileName;
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(TempDir::ReadFile(path).find("xxxx"), std::string::npos);
}

// A token behind a link, or in a file another user owns, would sign in to their account.
TEST(TokenStore, OnlyTheUsersOwnFileIsRead) {
    TempDir dir, elsewhere;
    const std::string folder = dir.path().string() + "/";
    ASSERT_TRUE(oauthstore::SaveRefreshToken(elsewhere.path().string() + "/", "rt-theirs"));
    std::filesystem::create_symlink(elsewhere.path() / oauthstore::kFileName,
                                    dir.path() / oauthstore::kFileName);
    EXPECT_EQ(oauthstore::LoadRefreshToken(folder), "");
    if (::geteuid() == 0) { // only root can give the file to nobody
        std::filesystem::remove(dir.path() / oauthstore::kFileName);
        ASSERT_TRUE(oauthstore::SaveRefreshToken(folder, "rt-theirs"));
        ASSERT_EQ(::chown((folder + oauthstore::kFileName).c_str(), 65534, 65534), 0);
        EXPECT_EQ(oauthstore::LoadRefreshToken(folder), "");
    }
}

class Refresh : public ::testing::Test {
protected:
    MailSettings Settings() const {
        MailSettings mail;
        mail.oauth2 = true;
        mail.oauthProvider = "custom";
        mail.oauthClientId = "kestrova-test";
        mail.oauthTokenUrl = m_auth.Url("/token");
        mail.caFile = TestCertificates::Shared().caFile().string();
        return mail;
    }

    OAuthPeer m_auth{{.expiresIn = 3600, .rotate = true}}; // every refresh rotates the refresh token
    TempDir m_dir;
    std::string m_folder = m_dir.path().string() + "/";
};

TEST_F(Refresh, KeptInMemoryUntilForgottenThenRevokedMeansSignIn) {
    ASSERT_TRUE(oauthstore::SaveRefreshToken(m_folder, m_auth.Issue().refresh));
    COAuthTokens tokens;
    MailError error;
    const std::string first = tokens.AccessToken(Settings(), m_folder, nullptr, error);
    ASSERT_FALSE(first.empty()) << DescribeMailError(error);
    EXPECT_EQ(tokens.AccessToken(Settings(), m_folder, nullptr, error), first);
    EXPECT_EQ(m_auth.Stats()["refresh_token"], 1);

    tokens.ForgetAccessToken();
    EXPECT_NE(tokens.AccessToken(Settings(), m_folder, nullptr, error), first);
    EXPECT_EQ(m_auth.Stats()["refresh_token"], 2);

    m_auth.RevokeRefreshTokens();
    tokens.ForgetAccessToken();
    EXPECT_EQ(tokens.AccessToken(Settings(), m_folder, nullptr, error), "");
    EXPECT_EQ(error.code, MailErrorCode::SignInNeeded);
    EXPECT_EQ(DescribeMailError(error).find("rt-"), std::string::npos);
}

TEST_F(Refresh, ARotatedTokenTheFullDiskCannotTakeIsKeptUntilItCanBeWritten) {
    const std::filesystem::path folder = m_dir.path() / "full";
    std::filesystem::create_directory(folder);
    TmpfsMount disk(folder, "size=64k");
    if (!disk.mounted())
        GTEST_SKIP() << "no tmpfs here: " << disk.why();
    const std::string where = folder.string() + "/";
    ASSERT_TRUE(oauthstore::SaveRefreshToken(where, m_auth.Issue().refresh));
    disk.Fill();
    COAuthTokens tokens;
    MailError error;
    // The new refresh token finds no room; the old one has stopped working.
    EXPECT_FALSE(tokens.AccessToken(Settings(), where, nullptr, error).empty())
        << DescribeMailError(error);
    std::filesystem::remove(folder / "filler");
    tokens.ForgetAccessToken();
    EXPECT_FALSE(tokens.AccessToken(Settings(), where, nullptr, error).empty())
        << DescribeMailError(error);
    COAuthTokens afterRestart; // reads only the file
    EXPECT_FALSE(afterRestart.AccessToken(Settings(), where, nullptr, error).empty())
        << DescribeMailError(error);
}

TEST_F(Refresh, UnsafeEndpointsAreRefusedBeforeAnythingIsSent) {
    ASSERT_TRUE(oauthstore::SaveRefreshToken(m_folder, m_auth.Issue().refresh));
    const struct {
        std::string tokenUrl, caFile;
        MailErrorCode code;
    } cases[] = {
        {"http://127.0.0.1:" + std::to_string(m_auth.port()) + "/token",
         TestCertificates::Shared().caFile().string(), MailErrorCode::InvalidArgument},
        {m_auth.Url("/token"), TestCertificates::Shared().untrustedCaFile().string(),
         MailErrorCode::CertificateUntrusted},
    };
    for (const auto& c : cases) {
        MailSettings mail = Settings();
        mail.oauthTokenUrl = c.tokenUrl;
        mail.caFile = c.caFile;
        COAuthTokens tokens;
        MailError error;
        EXPECT_EQ(tokens.AccessToken(mail, m_folder, nullptr, error), "");
        EXPECT_EQ(error.code, c.code) << c.tokenUrl << " " << DescribeMailError(error);
    }
    EXPECT_EQ(m_auth.Stats()["refresh_token"], 0);
}

// A sign-in is bound to the endpoint and client it came from at its first refresh (earlier
// versions stored the token alone); after that, another endpoint or client gets nothing.
TEST_F(Refresh, ARefreshTokenGoesOnlyWhereItCameFrom) {
    ASSERT_TRUE(oauthstore::SaveRefreshToken(m_folder, m_auth.Issue().refresh));
    MailError error;
    COAuthTokens bind;
    ASSERT_FALSE(bind.AccessToken(Settings(), m_folder, nullptr, error).empty())
        << DescribeMailError(error);
    const oauthstore::SignIn stored = oauthstore::Load(Settings(), m_folder, error);
    EXPECT_EQ(stored.tokenUrl, m_auth.Url("/token"));
    EXPECT_EQ(stored.clientId, "kestrova-test");

    const struct {
        const char* what;
        std::string MailSettings::*field;
        std::string value;
    } changes[] = {
        {"token endpoint", &MailSettings::oauthTokenUrl, m_auth.Url("/token?elsewhere")},
        {"client", &MailSettings::oauthClientId, "someone-else"},
    };
    for (const auto& change : changes) {
        MailSettings mail = Settings();
        mail.*change.field = change.value;
        COAuthTokens tokens;
        EXPECT_EQ(tokens.AccessToken(mail, m_folder, nullptr, error), "") << change.what;
        EXPECT_EQ(error.code, MailErrorCode::SignInNeeded) << change.what;
    }
    EXPECT_EQ(m_auth.Stats()["refresh_token"], 1);
}

TEST_F(Refresh, AnAccessTokenIsDroppedWhenTheAccountsServersChange) {
    ASSERT_FALSE(oauthstore::Save(Settings(), m_folder, m_auth.Issue().refresh));
    CTokenSource source(m_folder);
    MailSettings mail = Settings();
    MailError error;
    const std::string first = source.AccessToken(mail, nullptr, error);
    ASSERT_FALSE(first.empty()) << DescribeMailError(error);
    EXPECT_EQ(source.AccessToken(mail, nullptr, error), first);
    mail.imapServer = "imap.elsewhere.example";
    EXPECT_NE(source.AccessToken(mail, nullptr, error), first);
    EXPECT_EQ(m_auth.Stats()["refresh_token"], 2);
}

} // namespace
