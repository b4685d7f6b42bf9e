#include "app/settings/SettingsStore.h"

#include "app/settings/IniFile.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    std::string SetupPath() const { return m_dir.folder() + "setup.ini"; }
    std::string DevicePath() const { return m_dir.folder() + "device.ini"; }

    TempDir m_dir;
    MessageCapture m_sink;
};

Settings FullSettings() {
    Settings s;
    s.device.cameras[0].name = "玄関";
    s.device.cameras[0].address = "ソニー カメラ"; // 83 5C: a trail byte that looks like "\"
    s.device.cameras[0].width = 640;
    s.device.cameras[0].height = 480;
    s.app.logFile = true;
    s.app.closeCancel = true;
    s.app.jpegQuality = 85;
    s.app.startupDialog = true;
    s.app.startupTimer = 30;
    s.mail.smtpServer = "smtp.example.jp";
    s.mail.pop3Server = "pop.example.jp";
    s.mail.pop3Port = 995;
    s.mail.pop3Id = "taro";
    s.mail.pop3Pass = "p@ss%word!";
    s.mail.senderName = "山田太郎";
    s.mail.senderAddress = "taro@example.jp";
    s.mail.sendAddresses = {"a@example.jp", "b@example.jp"};
    s.mail.checkString = "写真";
    s.mail.apop = true;
    s.mail.imageRotation = false;
    s.mail.smtpPort = 587;
    s.timeText.showText = true;
    s.timeText.textXPos = 10;
    s.timeText.textYPos = -5;
    s.timeText.fontSize = 20;
    s.timeText.showShadow = true;
    s.timeText.shadowXPos = 3;
    s.timeText.shadowYPos = 4;
    s.timeText.timeFormat = "%Y年%M月%D日 %h:%m";
    s.timeText.textColor = 0x00FF8040;
    s.timeText.shadowColor = 0x00102030;
    s.timeText.fontName = "ＭＳ ゴシック";
    s.timeText.fontBold = true;
    s.timeText.fontItalic = false;
    return s;
}

// The files FullSettings() gives, byte for byte in code page 932.
const char kExpectedDeviceIni[] = "[CAMERA1]\r\n"
                                  "NAME=\x8C\xBA\x8A\xD6\r\n"
                                  "TYPE=usb\r\n"
                                  "ADDRESS=\x83\x5C\x83\x6A\x81\x5B\x20\x83\x4A\x83\x81\x83\x89\r\n"
                                  "USER=\r\n"
                                  "WIDTH=640\r\n"
                                  "HEIGHT=480\r\n";
const char kExpectedSetupIni[] =
    "[APPLICATION]\r\n"
    "LOGFILE=on\r\n"
    "CLOSECANCEL=on\r\n"
    "JPEG_QUALITY=85\r\n"
    "STARTUP_TIMER=30\r\n"
    "STARTUP_DIALOG=on\r\n"
    "\r\n"
    "[MAIL]\r\n"
    "POP3_SERVER=pop.example.jp\r\n"
    "POP3_ID=taro\r\n"
    "POP3_PASS=43EB35DD60CD089F8D15C6\r\n"
    "SMTP_SERVER=smtp.example.jp\r\n"
    "SMTP_PORT=587\r\n"
    "SENDER_NAME=\x8E\x52\x93\x63\x91\xBE\x98\x59\r\n"
    "SENDER_ADDRESS=taro@example.jp\r\n"
    "CHECK_STRING=\x8E\xCA\x90\x5E\r\n"
    "APOP=on\r\n"
    "IMAGE_ROTATION=off\r\n"
    "POP3_PORT=995\r\n"
    "SEND_ADDRESS1=a@example.jp\r\n"
    "SEND_ADDRESS2=b@example.jp\r\n"
    "\r\n"
    "[TIMETEXT]\r\n"
    "SHOW_TEXT=on\r\n"
    "TEXT_XPOS=10\r\n"
    "TEXT_YPOS=-5\r\n"
    "TIME_FORMAT=%Y\x94\x4E%M\x8C\x8E%D\x93\xFA %h:%m\r\n"
    "FONT_NAME=\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E\r\n"
    "FONT_SIZE=20\r\n"
    "FONT_BOLD=on\r\n"
    "FONT_ITALIC=off\r\n"
    "SHOW_SHADOW=on\r\n"
    "SHADOW_XPOS=3\r\n"
    "SHADOW_YPOS=4\r\n"
    "TEXT_COLOR=16744512\r\n"
    "SHADOW_COLOR=1056816\r\n";

void ExpectEqual(const Settings& a, const Settings& b) {
    ASSERT_EQ(a.device.cameras.size(), b.device.cameras.size());
    for (std::size_t k = 0; k < a.device.cameras.size(); ++k) {
        EXPECT_EQ(a.device.cameras[k].name, b.device.cameras[k].name);
        EXPECT_EQ(a.device.cameras[k].address, b.device.cameras[k].address);
        EXPECT_EQ(a.device.cameras[k].width, b.device.cameras[k].width);
        EXPECT_EQ(a.device.cameras[k].height, b.device.cameras[k].height);
    }
    EXPECT_EQ(a.app.logFile, b.app.logFile);
    EXPECT_EQ(a.app.closeCancel, b.app.closeCancel);
    EXPECT_EQ(a.app.jpegQuality, b.app.jpegQuality);
    EXPECT_EQ(a.app.startupDialog, b.app.startupDialog);
    EXPECT_EQ(a.app.startupTimer, b.app.startupTimer);
    EXPECT_EQ(a.mail.smtpServer, b.mail.smtpServer);
    EXPECT_EQ(a.mail.pop3Server, b.mail.pop3Server);
    EXPECT_EQ(a.mail.pop3Port, b.mail.pop3Port);
    EXPECT_EQ(a.mail.pop3Id, b.mail.pop3Id);
    EXPECT_EQ(a.mail.pop3Pass, b.mail.pop3Pass);
    EXPECT_EQ(a.mail.senderName, b.mail.senderName);
    EXPECT_EQ(a.mail.senderAddress, b.mail.senderAddress);
    EXPECT_EQ(a.mail.sendAddresses, b.mail.sendAddresses);
    EXPECT_EQ(a.mail.checkString, b.mail.checkString);
    EXPECT_EQ(a.mail.apop, b.mail.apop);
    EXPECT_EQ(a.mail.imageRotation, b.mail.imageRotation);
    EXPECT_EQ(a.mail.smtpPort, b.mail.smtpPort);
    EXPECT_EQ(a.mail.pop3Security, b.mail.pop3Security);
    EXPECT_EQ(a.mail.smtpSecurity, b.mail.smtpSecurity);
    EXPECT_EQ(a.mail.smtpId, b.mail.smtpId);
    EXPECT_EQ(a.mail.smtpPass, b.mail.smtpPass);
    EXPECT_EQ(a.mail.caFile, b.mail.caFile);
    EXPECT_EQ(a.mail.receiveProtocol, b.mail.receiveProtocol);
    EXPECT_EQ(a.mail.imapServer, b.mail.imapServer);
    EXPECT_EQ(a.mail.imapPort, b.mail.imapPort);
    EXPECT_EQ(a.mail.imapSecurity, b.mail.imapSecurity);
    EXPECT_EQ(a.timeText.showText, b.timeText.showText);
    EXPECT_EQ(a.timeText.textXPos, b.timeText.textXPos);
    EXPECT_EQ(a.timeText.textYPos, b.timeText.textYPos);
    EXPECT_EQ(a.timeText.fontSize, b.timeText.fontSize);
    EXPECT_EQ(a.timeText.showShadow, b.timeText.showShadow);
    EXPECT_EQ(a.timeText.shadowXPos, b.timeText.shadowXPos);
    EXPECT_EQ(a.timeText.shadowYPos, b.timeText.shadowYPos);
    EXPECT_EQ(a.timeText.timeFormat, b.timeText.timeFormat);
    EXPECT_EQ(a.timeText.textColor, b.timeText.textColor);
    EXPECT_EQ(a.timeText.shadowColor, b.timeText.shadowColor);
    EXPECT_EQ(a.timeText.fontName, b.timeText.fontName);
    EXPECT_EQ(a.timeText.fontBold, b.timeText.fontBold);
    EXPECT_EQ(a.timeText.fontItalic, b.timeText.fontItalic);
}

TEST_F(SettingsStoreTest, NoFilesGiveTheDefaultsAndCreateNothing) {
    Settings loaded;
    loaded.mail.sendAddresses = {"left over"};
    LoadSettings(loaded, m_dir.folder(), m_sink);
    Settings defaults;
    defaults.device.cameras[0].name = "camera1"; // one USB camera, called by its number
    ExpectEqual(loaded, defaults);
    EXPECT_EQ(loaded.mail.checkString, "cap");
    EXPECT_EQ(loaded.timeText.fontName, "ＭＳ ゴシック");
    EXPECT_TRUE(fs::is_empty(m_dir.path()));
    EXPECT_TRUE(m_sink.messages.empty());
}

TEST_F(SettingsStoreTest, SaveWritesEveryKeyInOrderAndLoadsBack) {
    ASSERT_TRUE(SaveSettings(FullSettings(), m_dir.folder(), m_sink));
    EXPECT_EQ(TempDir::ReadFile(DevicePath()), kExpectedDeviceIni);
    EXPECT_EQ(TempDir::ReadFile(SetupPath()), kExpectedSetupIni);

    Settings loaded;
    LoadSettings(loaded, m_dir.folder(), m_sink);
    ExpectEqual(loaded, FullSettings());

    // Saving again changes nothing.
    ASSERT_TRUE(SaveSettings(loaded, m_dir.folder(), m_sink));
    EXPECT_EQ(TempDir::ReadFile(SetupPath()), kExpectedSetupIni);
    EXPECT_TRUE(m_sink.messages.empty());
}

TEST_F(SettingsStoreTest, DefaultsAreWrittenInFull) {
    ASSERT_TRUE(SaveSettings(Settings{}, m_dir.folder(), m_sink));
    std::string setup = TempDir::ReadFile(SetupPath());
    for (const char* line :
         {"LOGFILE=off\r\n", "JPEG_QUALITY=50\r\n", "POP3_PASS=\r\n", "CHECK_STRING=cap\r\n",
          "POP3_PORT=110\r\n", "SMTP_PORT=25\r\n", "TEXT_COLOR=16777215\r\n", "SHADOW_COLOR=0\r\n",
          "TIME_FORMAT=%Y/%M/%D(%W) %h:%m:%s\r\n"})
        EXPECT_NE(setup.find(line), std::string::npos) << line;
    EXPECT_EQ(setup.find("SEND_ADDRESS"), std::string::npos);
}

TEST_F(SettingsStoreTest, AddressGapsCloseUpAndStaleKeysGo) {
    TempDir::WriteFile(SetupPath(), "[MAIL]\r\n"
                                    "SEND_ADDRESS1=\r\n"
                                    "SEND_ADDRESS2=a@example.jp\r\n"
                                    "SEND_ADDRESS5=b@example.jp\r\n"
                                    "SEND_ADDRESS11=ignored@example.jp\r\n");
    Settings loaded;
    LoadSettings(loaded, m_dir.folder(), m_sink);
    EXPECT_EQ(loaded.mail.sendAddresses,
              (std::vector<std::string>{"a@example.jp", "b@example.jp"}));

    ASSERT_TRUE(SaveSettings(loaded, m_dir.folder(), m_sink));
    IniFile file(SetupPath());
    ASSERT_TRUE(file.Load());
    EXPECT_EQ(file.ReadString("MAIL", "SEND_ADDRESS1", ""), "a@example.jp");
    EXPECT_EQ(file.ReadString("MAIL", "SEND_ADDRESS2", ""), "b@example.jp");
    for (int i = 3; i <= 10; ++i)
        EXPECT_FALSE(file.Find("MAIL", "SEND_ADDRESS" + std::to_string(i))) << i;
    // Not one of ours: left alone.
    EXPECT_TRUE(file.Find("MAIL", "SEND_ADDRESS11"));
}

TEST_F(SettingsStoreTest, OnlyTheExactTextOnIsOn) {
    struct Case {
        const char* text;
        bool on;
    };
    for (const Case& c : {Case{"on", true}, Case{"ON", false}, Case{"On", false}, Case{"1", false},
                          Case{"yes", false}, Case{"off", false}}) {
        TempDir::WriteFile(SetupPath(), std::string("[APPLICATION]\r\nLOGFILE=") + c.text +
                                            "\r\nSTARTUP_DIALOG=" + c.text + "\r\n");
        Settings loaded;
        LoadSettings(loaded, m_dir.folder(), m_sink);
        EXPECT_EQ(loaded.app.logFile, c.on) << c.text;
        EXPECT_EQ(ReadStartupOptions(m_dir.folder()).startupDialog, c.on) << c.text;
    }
}

TEST_F(SettingsStoreTest, StartupOptionsReadStraightFromSetupIni) {
    EXPECT_EQ(ReadStartupOptions(m_dir.folder()).startupTimer, 0);
    EXPECT_FALSE(ReadStartupOptions(m_dir.folder()).startupDialog);
    TempDir::WriteFile(SetupPath(), "[application]\r\nstartup_timer=15\r\nSTARTUP_DIALOG=on\r\n");
    StartupOptions options = ReadStartupOptions(m_dir.folder());
    EXPECT_EQ(options.startupTimer, 15);
    EXPECT_TRUE(options.startupDialog);
}

TEST_F(SettingsStoreTest, StoredPasswordForms) {
    // Lower-case hex no longer deciphers to the password; an empty key leaves it untouched.
    TempDir::WriteFile(SetupPath(), "[MAIL]\r\nPOP3_PASS=43eb35dd60cd089f8d15c6\r\n");
    Settings loaded;
    LoadSettings(loaded, m_dir.folder(), m_sink);
    EXPECT_NE(loaded.mail.pop3Pass, "p@ss%word!");

    TempDir::WriteFile(SetupPath(), "[MAIL]\r\nPOP3_PASS=\r\n");
    Settings fresh;
    LoadSettings(fresh, m_dir.folder(), m_sink);
    EXPECT_EQ(fresh.mail.pop3Pass, "");
}

TEST_F(SettingsStoreTest, TooLongPasswordIsReportedAndStoredEmpty) {
    Settings s;
    s.mail.pop3Pass = std::string(600, 'p');
    SaveSettings(s, m_dir.folder(), m_sink);
    EXPECT_EQ(m_sink.messages.size(), 1u);
    IniFile file(SetupPath());
    ASSERT_TRUE(file.Load());
    EXPECT_EQ(file.Find("MAIL", "POP3_PASS"), std::optional<std::string>(""));
}

// The MAIL keys that earlier versions did not know, set, changed and cleared on top of a file
// such a version saved: exactly their lines appear after the last MAIL key, so with nothing new
// set the file keeps every byte, and the values load back.
TEST_F(SettingsStoreTest, LaterMailKeysRoundTrip) {
    struct Case {
        const char* name;
        std::string storedBefore; // lines the file holds before the change
        std::function<void(MailSettings&)> change;
        std::string storedAfter; // lines the save leaves
    };
    const std::string everyKey =
        "POP3_SECURITY=none\r\nSMTP_SECURITY=starttls\r\nSMTP_ID=camera@example.jp\r\n"
        "SMTP_PASS=43EB35DD60CD089F8D15C6\r\n" // enciphered as POP3_PASS is
        "CA_FILE=/home/\x91\xBE\x98\x59/\x8F\xD8\x96\xBE\x8F\x91/ca.pem\r\n"
        "RECEIVE_PROTOCOL=imap\r\nIMAP_SERVER=imap.example.jp\r\nIMAP_PORT=993\r\n"
        "IMAP_SECURITY=starttls\r\n";
    const std::vector<Case> cases = {
        {"nothing new set", "", [](MailSettings&) {}, ""},
        {"every key set", "",
         [](MailSettings& m) {
             m.pop3Security = SecurityChoice::None;
             m.smtpSecurity = SecurityChoice::StartTls;
             m.smtpId = "camera@example.jp";
             m.smtpPass = "p@ss%word!";
             m.caFile = "/home/太郎/証明書/ca.pem";
             m.receiveProtocol = ReceiveProtocol::Imap;
             m.imapServer = "imap.example.jp";
             m.imapPort = 993;
             m.imapSecurity = SecurityChoice::StartTls;
         },
         everyKey},
        {"words in any letter case",
         "POP3_SECURITY=TLS\r\nSMTP_SECURITY=tls\r\n"
         "RECEIVE_PROTOCOL=IMAP\r\nIMAP_SECURITY=Tls\r\n",
         [](MailSettings&) {},
         "POP3_SECURITY=tls\r\nSMTP_SECURITY=tls\r\n"
         "RECEIVE_PROTOCOL=imap\r\nIMAP_SECURITY=tls\r\n"},
        // An unknown protocol word reads the mailbox over POP3, as a file without the key does.
        {"unknown word is by port or POP3",
         "SMTP_SECURITY=ssl\r\nRECEIVE_PROTOCOL=smtp\r\nIMAP_SECURITY=ssl\r\n",
         [](MailSettings&) {}, ""},
        {"every key cleared", everyKey,
         [](MailSettings& m) {
             m.pop3Security = m.smtpSecurity = m.imapSecurity = SecurityChoice::ByPort;
             m.smtpId = m.smtpPass = m.caFile = m.imapServer = "";
             m.receiveProtocol = ReceiveProtocol::Pop3;
             m.imapPort = 143;
         },
         ""},
    };
    const std::string earlier = kExpectedSetupIni;
    const std::string lastMailKey = "SEND_ADDRESS2=b@example.jp\r\n";
    const std::size_t insertAt = earlier.find(lastMailKey) + lastMailKey.size();
    auto withLines = [&](const std::string& lines) {
        return std::string(earlier).insert(insertAt, lines);
    };

    for (const Case& c : cases) {
        TempDir::WriteFile(SetupPath(), withLines(c.storedBefore));
        Settings settings;
        LoadSettings(settings, m_dir.folder(), m_sink);
        c.change(settings.mail);
        ASSERT_TRUE(SaveSettings(settings, m_dir.folder(), m_sink));
        EXPECT_EQ(TempDir::ReadFile(SetupPath()), withLines(c.storedAfter)) << c.name;

        Settings loaded;
        LoadSettings(loaded, m_dir.folder(), m_sink);
        SCOPED_TRACE(c.name);
        ExpectEqual(loaded, settings);
    }
    EXPECT_TRUE(m_sink.messages.empty());
}

TEST_F(SettingsStoreTest, BatchSaveEqualsKeyByKeyProfileWrites) {
    // An existing file with comments, other keys, odd spelling and stale addresses.
    const std::string existing = "; kept\r\n[mail]\r\nSEND_ADDRESS7=old@example.jp\r\n"
                                 "EXTRA=1\r\n\r\n[OTHER]\r\nX=y\r\n";
    TempDir::WriteFile(SetupPath(), existing);
    const std::string keyByKey = m_dir.folder() + "keybykey.ini";
    TempDir::WriteFile(keyByKey, existing);

    Settings s = FullSettings();
    ASSERT_TRUE(SaveSettings(s, m_dir.folder(), m_sink));

    // The same writes, one load-change-save per key.
    IniFile written(SetupPath());
    ASSERT_TRUE(written.Load());
    const char* app[] = {"LOGFILE", "CLOSECANCEL", "JPEG_QUALITY", "STARTUP_TIMER",
                         "STARTUP_DIALOG"};
    const char* mail[] = {"POP3_SERVER", "POP3_ID",        "POP3_PASS",      "SMTP_SERVER",
                          "SMTP_PORT",   "SENDER_NAME",    "SENDER_ADDRESS", "CHECK_STRING",
                          "APOP",        "IMAGE_ROTATION", "POP3_PORT"};
    const char* stamp[] = {"SHOW_TEXT",   "TEXT_XPOS",  "TEXT_YPOS",   "TIME_FORMAT", "FONT_NAME",
                           "FONT_SIZE",   "FONT_BOLD",  "FONT_ITALIC", "SHOW_SHADOW", "SHADOW_XPOS",
                           "SHADOW_YPOS", "TEXT_COLOR", "SHADOW_COLOR"};
    for (const char* key : app)
        profile::WriteString("APPLICATION", key, *written.Find("APPLICATION", key), keyByKey);
    for (const char* key : mail)
        profile::WriteString("MAIL", key, *written.Find("MAIL", key), keyByKey);
    for (int i = 1; i <= 10; ++i) {
        std::string key = "SEND_ADDRESS" + std::to_string(i);
        if (i <= 2)
            profile::WriteString("MAIL", key, s.mail.sendAddresses[i - 1], keyByKey);
        else
            profile::DeleteKey("MAIL", key, keyByKey);
    }
    for (const char* key : stamp)
        profile::WriteString("TIMETEXT", key, *written.Find("TIMETEXT", key), keyByKey);

    EXPECT_EQ(TempDir::ReadFile(SetupPath()), TempDir::ReadFile(keyByKey));
    EXPECT_EQ(TempDir::ReadFile(SetupPath()).find("old@example.jp"), std::string::npos);
}

} // namespace

TEST_F(SettingsStoreTest, AFileThatCannotBeReadOrWrittenIsSaidWithItsPathAndReason) {
    for (const char* name : {"setup.ini", "device.ini"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string path = dir.folder() + name;
        fs::create_directory(path); // a folder in the file's place
        Settings loaded;
        EXPECT_EQ(LoadSettings(loaded, dir.folder(), m_sink),
                  std::vector<std::string>{"ERROR : 設定ファイル " + path +
                                           " を読み込めません: 同じ名前のフォルダがあります (Is a "
                                           "directory)（このファイルの設定は既定値で動きます）"});
        std::vector<std::string> problems;
        EXPECT_FALSE(SaveSettings(FullSettings(), dir.folder(), m_sink, &problems));
        EXPECT_EQ(problems, std::vector<std::string>{"ERROR : 設定ファイル " + path +
                                                     " に書き込めません: 同じ名前のフォルダがあり"
                                                     "ます (Is a directory)"});
        EXPECT_TRUE(fs::is_directory(path));
        // The other file is written all the same.
        const char* other = std::string(name) == "setup.ini" ? "device.ini" : "setup.ini";
        EXPECT_TRUE(fs::is_regular_file(dir.path() / other));
    }
}
