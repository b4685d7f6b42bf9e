// The desktop keyring as the program's secret store, against gnome-keyring in a private D-Bus
// session: what is written comes back, per folder and name, and a locked or absent keyring is
// told apart from a missing secret.

#include "app/settings/Keyring.h"
#include "app/signin/OAuthTokens.h"
#include "tests/support/KeyringPeer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

constexpr SecretName kNames[] = {SecretName::Pop3Password, SecretName::SmtpPassword,
                                 SecretName::OAuthClientSecret, SecretName::RefreshToken};

TEST(Keyring, SecretsComeBackPerFolderAndNameAndAnEmptyOneIsRemoved) {
    KeyringPeer peer;
    ASSERT_TRUE(keyring::Reachable());
    for (SecretName name : kNames) {
        SCOPED_TRACE(SecretNameText(name));
        const std::string secret = std::string("pässwörd ") + SecretNameText(name);
        ASSERT_EQ(keyring::Write("/home/a/", name, secret), KeyringStatus::Ok);
        std::string value;
        EXPECT_EQ(keyring::Read("/home/a/", name, value), KeyringStatus::Ok);
        EXPECT_EQ(value, secret);
        EXPECT_EQ(keyring::Read("/home/b/", name, value), KeyringStatus::Missing);
        EXPECT_TRUE(value.empty());
    }
    ASSERT_EQ(keyring::Write("/home/a/", SecretName::Pop3Password, "second"), KeyringStatus::Ok);
    std::string value;
    EXPECT_EQ(keyring::Read("/home/a/", SecretName::Pop3Password, value), KeyringStatus::Ok);
    EXPECT_EQ(value, "second");
    ASSERT_EQ(keyring::Write("/home/a/", SecretName::Pop3Password, ""), KeyringStatus::Ok);
    EXPECT_EQ(keyring::Read("/home/a/", SecretName::Pop3Password, value), KeyringStatus::Missing);
}

TEST(Keyring, ALockedKeyringIsSaidAsSuchAndNothingIsWritten) {
    KeyringPeer peer;
    ASSERT_EQ(keyring::Write("/f/", SecretName::Pop3Password, "kept"), KeyringStatus::Ok);
    peer.Lock();
    std::string value;
    EXPECT_EQ(keyring::Read("/f/", SecretName::Pop3Password, value), KeyringStatus::Locked);
    EXPECT_TRUE(value.empty());
    EXPECT_EQ(keyring::Write("/f/", SecretName::SmtpPassword, "new"), KeyringStatus::Locked);
}

// With the keyring chosen, a sign-in goes there with its binding, and no file is written.
TEST(Keyring, ASignInIsKeptInTheKeyringWithWhereItCameFrom) {
    KeyringPeer peer;
    TempDir home;
    MailSettings mail;
    mail.secretStore = SecretStore::Keyring;
    mail.oauthProvider = "microsoft";
    mail.oauthClientId = "client-1";
    ASSERT_FALSE(oauthstore::Save(mail, home.folder(), "rt-1"));
    EXPECT_FALSE(std::filesystem::exists(home.path() / oauthstore::kFileName));
    MailError error;
    const oauthstore::SignIn stored = oauthstore::Load(mail, home.folder(), error);
    EXPECT_FALSE(error);
    EXPECT_EQ(stored.refreshToken, "rt-1");
    EXPECT_TRUE(oauthstore::BelongsTo(stored, mail));
    mail.oauthProvider = "google";
    EXPECT_FALSE(oauthstore::BelongsTo(stored, mail));
    peer.Lock();
    EXPECT_TRUE(oauthstore::Load(mail, home.folder(), error).refreshToken.empty());
    EXPECT_EQ(error.code, MailErrorCode::KeyringLocked);
}

TEST(Keyring, NoSessionBusIsUnreachable) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrovamail-bus", 1);
    EXPECT_FALSE(keyring::Reachable());
    std::string value;
    EXPECT_EQ(keyring::Read("/f/", SecretName::Pop3Password, value), KeyringStatus::Unreachable);
    EXPECT_EQ(keyring::Write("/f/", SecretName::Pop3Password, "x"), KeyringStatus::Unreachable);
}

} // namespace
