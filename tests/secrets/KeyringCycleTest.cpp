// The mail check with its password in the keyring: read there at the check, and a locked
// keyring said once while nothing is fetched.

#include "app/service/MailService.h"
#include "app/settings/Keyring.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/KeyringPeer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class KeyringCycle : public ::testing::Test {
protected:
    KeyringCycle() {
        settings.pop3Server = "127.0.0.1";
        settings.pop3Id = "camera";
        settings.smtpServer = "127.0.0.1";
        // As loaded while the keyring was locked: the password is not in memory.
        settings.secretStore = SecretStore::Keyring;
        settings.secretsUnread = true;
        flags.graphReady = true;
        EXPECT_EQ(keyring::Write(folder.folder(), SecretName::Pop3Password, "secret"),
                  KeyringStatus::Ok);
    }

    int Check(CMailService& service, ScriptedServer& server) {
        settings.pop3Port = server.port();
        service.SetStateFolder(folder.folder());
        return service.CheckMail(settings);
    }

    KeyringPeer peer;
    TempDir folder;
    MailSettings settings;
    ServiceFlags flags;
    RecordingLog log;
    FakePictureSource pictures;
    FixedClock clock{{2026, 12, 8, 0, 7, 0, 0}};
};

TEST_F(KeyringCycle, ThePasswordIsReadFromTheKeyringAtTheCheck) {
    ScriptedServer server(Join({kLogIn, kNoCapabilities, Listing({}), {"C: QUIT", "S: +OK bye"}}));
    CMailService service(settings, flags, log, pictures, clock, nullptr, 1);
    EXPECT_EQ(Check(service, server), 1);
    EXPECT_EQ(server.Mismatch(), "");
}

TEST_F(KeyringCycle, ALockedKeyringIsSaidOnceAndNothingIsFetched) {
    peer.Lock();
    ScriptedServer server(Script{});
    CMailService service(settings, flags, log, pictures, clock, nullptr, 1);
    EXPECT_EQ(Check(service, server), 0);
    EXPECT_EQ(Check(service, server), 0);
    EXPECT_EQ(server.Connections(), 0);
    const auto locked = [](const std::string& line) {
        return line.find("キーリングがロックされています") != std::string::npos;
    };
    EXPECT_EQ(std::count_if(log.screen.begin(), log.screen.end(), locked), 1);
    EXPECT_NE(service.FaultState().find("キーリング"), std::string::npos);
}

} // namespace
