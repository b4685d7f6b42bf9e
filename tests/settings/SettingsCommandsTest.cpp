// The settings commands of the command line, in process: what --set takes and refuses (the
// dialogs' checks), what --show-settings prints, and --set-password's stored form.

#include "app/settings/PasswordCipher.h"
#include "app/settings/SettingsCommands.h"
#include "app/settings/SettingsStore.h"
#include "app/settings/SettingsTable.h"
#include "mail/text/TextCodec.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

class SettingsCommandsTest : public ::testing::Test {
protected:
    int Set(const std::vector<std::string>& assignments) {
        m_err.str({});
        return settingscli::SetSettings(m_dir.folder(), assignments, m_err);
    }
    Settings Loaded() {
        Settings settings;
        LoadSettings(settings, m_dir.folder(), m_sink);
        return settings;
    }
    std::string Shown() {
        std::ostringstream out;
        EXPECT_EQ(settingscli::ShowSettings(m_dir.folder(), out, m_err), settingscli::kOk);
        return out.str();
    }

    TempDir m_dir;
    MessageCapture m_sink;
    std::ostringstream m_err;
};

struct Accepted {
    std::string assignment;
    std::string shown; // the line --show-settings prints afterwards
};

TEST_F(SettingsCommandsTest, AcceptedValuesAreStoredAndShown) {
    const Accepted cases[] = {
        {"MAIL.POP3_SERVER=pop.example.com", "MAIL.POP3_SERVER=pop.example.com"},
        {"mail.pop3_port=995", "MAIL.POP3_PORT=995"},
        {"MAIL.POP3_SECURITY=tls", "MAIL.POP3_SECURITY=tls"},
        {"MAIL.SMTP_SECURITY=auto", "MAIL.SMTP_SECURITY=auto"},
        {"MAIL.IMAP_SERVER=imap.example.com", "MAIL.IMAP_SERVER=imap.example.com"},
        {"MAIL.RECEIVE_PROTOCOL=IMAP", "MAIL.RECEIVE_PROTOCOL=imap"}, // with the server above
        {"MAIL.IMAP_PORT=993", "MAIL.IMAP_PORT=993"},
        {"MAIL.IMAP_SECURITY=starttls", "MAIL.IMAP_SECURITY=starttls"},
        {"MAIL.SENDER_NAME=監視カメラ", "MAIL.SENDER_NAME=監視カメラ"},
        {"MAIL.SEND_ADDRESS1=taro@example.jp", "MAIL.SEND_ADDRESS1=taro@example.jp"},
        {"APPLICATION.LOGFILE=on", "APPLICATION.LOGFILE=on"},
        {"APPLICATION.JPEG_QUALITY= 100 ", "APPLICATION.JPEG_QUALITY=100"},
        {"APPLICATION.STARTUP_TIMER=180", "APPLICATION.STARTUP_TIMER=180"},
        {"TIMETEXT.SHADOW_XPOS=-1000", "TIMETEXT.SHADOW_XPOS=-1000"},
        {"TIMETEXT.FONT_SIZE=1", "TIMETEXT.FONT_SIZE=1"},
        {"TIMETEXT.TEXT_COLOR=#FF8000", "TIMETEXT.TEXT_COLOR=33023"}, // 0x00BBGGRR
        {"TIMETEXT.SHADOW_COLOR=16777215", "TIMETEXT.SHADOW_COLOR=16777215"},
        {"TIMETEXT.FONT_NAME=ＭＳ ゴシック", "TIMETEXT.FONT_NAME=ＭＳ ゴシック"},
        {"CAMERA1.ADDRESS=USB Camera", "CAMERA1.ADDRESS=USB Camera"},
        {"CAMERA1.WIDTH=640", "CAMERA1.WIDTH=640"},
    };
    for (const Accepted& c : cases) {
        EXPECT_EQ(Set({c.assignment}), settingscli::kOk) << c.assignment << ": " << m_err.str();
        EXPECT_NE(Shown().find(c.shown + "\n"), std::string::npos) << c.assignment;
    }
}

TEST_F(SettingsCommandsTest, RefusedValuesChangeNothing) {
    const char* refused[] = {
        "APPLICATION.JPEG_QUALITY=101",
        "APPLICATION.STARTUP_TIMER=-1",
        "APPLICATION.LOGFILE=ON",
        "TIMETEXT.TEXT_XPOS=-1",
        "TIMETEXT.FONT_SIZE=0",
        "TIMETEXT.SHADOW_YPOS=1001",
        "TIMETEXT.TEXT_COLOR=#GG0000",
        "TIMETEXT.TEXT_COLOR=16777216",
        "MAIL.POP3_PORT=99999999999",
        "MAIL.POP3_PORT=12ab",
        "MAIL.SMTP_SECURITY=ssl",
        "MAIL.IMAP_SECURITY=ssl",
        "MAIL.IMAP_PORT=0",
        "MAIL.IMAP_PORT=65536",
        "MAIL.RECEIVE_PROTOCOL=smtp",
        "MAIL.RECEIVE_PROTOCOL=imap", // no IMAP server set
        "MAIL.POP3_PASS=secret",
        "MAIL.SEND_ADDRESS2=gap@example.jp",
        "MAIL.SENDER_NAME=カメラ📷",
        "CAMERA1.HEIGHT=0",
        "MAIL.NO_SUCH_KEY=1",
        "MAIL.POP3_SERVER",
    };
    ASSERT_EQ(Set({"MAIL.POP3_SERVER=kept.example.com"}), settingscli::kOk);
    const std::string before = TempDir::ReadFile(m_dir.path() / "setup.ini");
    for (const char* assignment : refused) {
        // Refused along with an acceptable change: neither is saved.
        EXPECT_EQ(Set({"MAIL.POP3_ID=changed", assignment}), settingscli::kRefused) << assignment;
        EXPECT_FALSE(m_err.str().empty()) << assignment;
        EXPECT_EQ(TempDir::ReadFile(m_dir.path() / "setup.ini"), before) << assignment;
    }
}

TEST_F(SettingsCommandsTest, FilesStayCodePage932) {
    ASSERT_EQ(Set({"MAIL.SENDER_NAME=監視カメラ", "TIMETEXT.FONT_NAME=IPAゴシック"}),
              settingscli::kOk);
    const std::string setup = TempDir::ReadFile(m_dir.path() / "setup.ini");
    EXPECT_NE(setup.find(text::Utf8ToSjis("SENDER_NAME=監視カメラ\r\n")), std::string::npos);
    EXPECT_NE(setup.find(text::Utf8ToSjis("FONT_NAME=IPAゴシック\r\n")), std::string::npos);
    EXPECT_FALSE(text::IsUtf8(setup));
}

TEST_F(SettingsCommandsTest, AllowedSendersAreSetByNumberAndCloseUp) {
    ASSERT_EQ(Set({"MAIL.SEND_ADDRESS1=a@example.jp", "MAIL.SEND_ADDRESS2=b@example.jp",
                   "MAIL.SEND_ADDRESS3=c@example.jp", "MAIL.SEND_ADDRESS2=B@example.jp"}),
              settingscli::kOk);
    EXPECT_EQ(Loaded().mail.sendAddresses,
              (std::vector<std::string>{"a@example.jp", "B@example.jp", "c@example.jp"}));
    ASSERT_EQ(Set({"MAIL.SEND_ADDRESS1="}), settingscli::kOk);
    EXPECT_EQ(Loaded().mail.sendAddresses,
              (std::vector<std::string>{"B@example.jp", "c@example.jp"}));
}

TEST_F(SettingsCommandsTest, PasswordIsStoredAsTheDialogStoresItAndShownHidden) {
    for (const char* account : {"pop3", "smtp"}) {
        std::istringstream in("pa%ss wörd\n");
        // "ö" is not in code page 932: refused.
        EXPECT_EQ(settingscli::SetPassword(m_dir.folder(), account, in, m_err, false),
                  settingscli::kRefused);
        std::istringstream good("pa%ss word!\r\n");
        ASSERT_EQ(settingscli::SetPassword(m_dir.folder(), account, good, m_err, false),
                  settingscli::kOk);
    }
    const Settings settings = Loaded();
    EXPECT_EQ(settings.mail.pop3Pass, "pa%ss word!");
    EXPECT_EQ(settings.mail.smtpPass, "pa%ss word!");
    const std::string setup = TempDir::ReadFile(m_dir.path() / "setup.ini");
    EXPECT_NE(setup.find("POP3_PASS=" + EncipherPassword("pa%ss word!", m_sink) + "\r\n"),
              std::string::npos);
    const std::string shown = Shown();
    EXPECT_NE(shown.find("MAIL.POP3_PASS=********\n"), std::string::npos);
    EXPECT_NE(shown.find("MAIL.SMTP_PASS=********\n"), std::string::npos);
    EXPECT_EQ(shown.find("pa%ss"), std::string::npos);

    std::istringstream empty("\n");
    ASSERT_EQ(settingscli::SetPassword(m_dir.folder(), "pop3", empty, m_err, false),
              settingscli::kOk);
    EXPECT_TRUE(Loaded().mail.pop3Pass.empty());
}

TEST_F(SettingsCommandsTest, ShowSettingsListsEverySettingOnce) {
    const std::string shown = Shown();
    for (const std::string& name : settingscli::SettingNames()) {
        if (FindSetting(name)->type == SettingType::AddressList)
            continue; // listed as far as the list goes
        EXPECT_NE(shown.find(name + "="), std::string::npos) << name;
    }
}

} // namespace
