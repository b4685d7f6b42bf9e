// The settings of motion alerts, scheduled pictures and the mails' language through the
// commands a user runs: --set takes good values and refuses bad ones with the reason,
// --show-settings lists them, a file written before them keeps its bytes, a value in a file
// that cannot be read is said and kept, and a new setup writes in the locale's language.

#include "app/settings/SettingsCommands.h"
#include "app/settings/SettingsStore.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

namespace {

class AlertSettingsTest : public ::testing::Test {
protected:
    int Set(const std::vector<std::string>& assignments) {
        m_err.str({});
        return settingscli::SetSettings(m_dir.folder(), assignments, m_err);
    }
    std::string Shown() {
        std::ostringstream out;
        EXPECT_EQ(settingscli::ShowSettings(m_dir.folder(), out, m_err), settingscli::kOk);
        return out.str();
    }
    std::string SetupIni() const { return TempDir::ReadFile(m_dir.path() / "setup.ini"); }

    TempDir m_dir;
    MessageCapture m_sink;
    std::ostringstream m_err;
};

// Sets one locale variable for the life of the object; the others are cleared.
class Locale {
public:
    explicit Locale(const char* lang) {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            if (const char* value = std::getenv(name))
                m_saved.emplace_back(name, value);
            ::unsetenv(name);
        }
        ::setenv("LANG", lang, 1);
    }
    ~Locale() {
        ::unsetenv("LANG");
        for (const auto& [name, value] : m_saved)
            ::setenv(name.c_str(), value.c_str(), 1);
    }

private:
    std::vector<std::pair<std::string, std::string>> m_saved;
};

TEST_F(AlertSettingsTest, GoodValuesAreStoredAndShown) {
    ASSERT_EQ(Set({"CAMERA2.NAME=garden"}), settingscli::kOk) << m_err.str();
    const std::pair<const char*, const char*> cases[] = {
        {"CAMERA1.MOTION=on", "CAMERA1.MOTION=on"},
        {"CAMERA2.SENSITIVITY=HIGH", "CAMERA2.SENSITIVITY=high"},
        {"CAMERA1.MASK=0,0,100,20;70,60,30,40", "CAMERA1.MASK=0,0,100,20;70,60,30,40"},
        {"ALERT.ARMED=on", "ALERT.ARMED=on"},
        {"ALERT.ADDRESS1=taro@example.jp", "ALERT.ADDRESS1=taro@example.jp"},
        {"ALERT.INTERVAL_MINUTES=5", "ALERT.INTERVAL_MINUTES=5"},
        {"ALERT.MAX_PER_DAY=100", "ALERT.MAX_PER_DAY=100"},
        {"ALERT.HOURS=mon-fri 22:00-06:00; sat,sun always",
         "ALERT.HOURS=mon-fri 22:00-06:00; sat,sun always"},
        {"SCHEDULE.TIMES=07:00,12:00", "SCHEDULE.TIMES=07:00,12:00"},
        {"SCHEDULE.EVERY_MINUTES=30", "SCHEDULE.EVERY_MINUTES=30"},
        {"SCHEDULE.FROM=08:00", "SCHEDULE.FROM=08:00"},
        {"SCHEDULE.TO=24:00", "SCHEDULE.TO=24:00"},
        {"SCHEDULE.DAYS=mon-fri,sun", "SCHEDULE.DAYS=mon-fri,sun"},
        {"SCHEDULE.ADDRESS1=hanako@example.jp", "SCHEDULE.ADDRESS1=hanako@example.jp"},
        {"SCHEDULE.CAMERAS=camera1, ＧＡＲＤＥＮ", "SCHEDULE.CAMERAS=camera1, ＧＡＲＤＥＮ"},
        {"MAIL.LANGUAGE=en", "MAIL.LANGUAGE=en"},
        {"mail.language=JA", "MAIL.LANGUAGE=ja"},
    };
    for (const auto& [assignment, shown] : cases) {
        SCOPED_TRACE(assignment);
        ASSERT_EQ(Set({assignment}), settingscli::kOk) << m_err.str();
        EXPECT_NE(Shown().find(std::string(shown) + "\n"), std::string::npos) << Shown();
    }
    Settings loaded;
    LoadSettings(loaded, m_dir.folder(), m_sink);
    EXPECT_TRUE(loaded.device.cameras[0].motion);
    EXPECT_EQ(loaded.device.cameras[1].sensitivity, MotionSensitivity::High);
    EXPECT_EQ(loaded.alert.addresses, std::vector<std::string>{"taro@example.jp"});
    EXPECT_EQ(loaded.schedule.everyMinutes, 30);
    EXPECT_EQ(loaded.mail.language, MailLanguage::Japanese);
}

TEST_F(AlertSettingsTest, BadValuesAreRefusedWithTheReasonAndChangeNothing) {
    ASSERT_EQ(Set({"SCHEDULE.FROM=09:00"}), settingscli::kOk);
    const std::string before = SetupIni();
    const std::pair<const char*, const char*> cases[] = {
        {"CAMERA1.MOTION=yes", "CAMERA1.MOTION は on か off です"},
        {"CAMERA1.SENSITIVITY=max", "CAMERA1.SENSITIVITY は low、medium、high のどれかです"},
        {"CAMERA1.MASK=80,0,30,10", "CAMERA1.MASK の「80,0,30,10」が読めません"},
        {"ALERT.INTERVAL_MINUTES=0", "ALERT.INTERVAL_MINUTES は1から1440までの整数です"},
        {"ALERT.MAX_PER_DAY=lots", "ALERT.MAX_PER_DAY は1から1440までの整数です"},
        {"ALERT.HOURS=always; mon 9-17", "ALERT.HOURS の「mon 9-17」が読めません"},
        {"ALERT.ADDRESS2=a@example.jp", "ALERT.ADDRESS2 は ALERT.ADDRESS1 の後です（今は0件）"},
        {"SCHEDULE.TIMES=7:00,noon", "SCHEDULE.TIMES の「noon」が読めません"},
        {"SCHEDULE.FROM=24:00", "SCHEDULE.FROM の「24:00」は 00:00 から 23:59 までの"},
        {"SCHEDULE.TO=25:00", "SCHEDULE.TO の「25:00」は 00:00 から 24:00 までの"},
        {"SCHEDULE.DAYS=weekdays", "SCHEDULE.DAYS の「weekdays」が読めません"},
        {"SCHEDULE.CAMERAS=玄関,", "SCHEDULE.CAMERAS の「玄関,」が読めません"},
        {"SCHEDULE.CAMERAS=玄関", "SCHEDULE.CAMERAS の「玄関」という名前のカメラはありません"},
        {"SCHEDULE.EVERY_MINUTES=10", "SCHEDULE.EVERY_MINUTES には SCHEDULE.FROM（09:00）より後"},
        {"MAIL.LANGUAGE=fr", "MAIL.LANGUAGE は ja か en です"},
        {"CAMERA1.NAME=Arm", "CAMERA1.NAME はメールの命令の言葉です"},
        {"CAMERA1.NAME=ｖｉｄｅｏ", "CAMERA1.NAME はメールの命令の言葉です"},
        {"CAMERA1.NAME=解除", "CAMERA1.NAME はメールの命令の言葉です"},
    };
    ASSERT_EQ(Set({"SCHEDULE.TO=09:00"}), settingscli::kOk); // EVERY_MINUTES is 0 yet
    const std::string kept = SetupIni();
    for (const auto& [assignment, problem] : cases) {
        SCOPED_TRACE(assignment);
        EXPECT_EQ(Set({assignment}), settingscli::kRefused);
        EXPECT_NE(m_err.str().find(problem), std::string::npos) << m_err.str();
        EXPECT_EQ(SetupIni(), kept);
    }
    EXPECT_NE(before, kept);
}

TEST_F(AlertSettingsTest, AFileWrittenBeforeTheseKeysKeepsItsBytes) {
    const std::string setup = "[APPLICATION]\r\nLOGFILE=on\r\n[MAIL]\r\nCHECK_STRING=cap\r\n"
                              "SEND_ADDRESS1=taro@example.jp\r\n[TIMETEXT]\r\nSHOW_TEXT=off\r\n";
    const std::string device = "[CAMERA1]\r\nNAME=玄関\r\nTYPE=usb\r\n";
    TempDir::WriteFile(m_dir.path() / "setup.ini", setup);
    TempDir::WriteFile(m_dir.path() / "device.ini", device);
    Settings loaded;
    LoadSettings(loaded, m_dir.folder(), m_sink);
    EXPECT_EQ(loaded.mail.language, MailLanguage::Japanese); // an existing setup stays Japanese
    ASSERT_TRUE(SaveSettings(loaded, m_dir.folder(), m_sink));
    const std::string savedSetup = SetupIni();
    EXPECT_EQ(savedSetup.find("[ALERT]"), std::string::npos);
    EXPECT_EQ(savedSetup.find("[SCHEDULE]"), std::string::npos);
    EXPECT_EQ(savedSetup.find("LANGUAGE"), std::string::npos);
    Settings again;
    LoadSettings(again, m_dir.folder(), m_sink);
    ASSERT_TRUE(SaveSettings(again, m_dir.folder(), m_sink));
    EXPECT_EQ(SetupIni(), savedSetup); // and so it stays
    const std::string savedDevice = TempDir::ReadFile(m_dir.path() / "device.ini");
    EXPECT_EQ(savedDevice.find("MOTION"), std::string::npos);
    EXPECT_EQ(savedDevice.find("MASK"), std::string::npos);

    // Set, the sections follow TIMETEXT in their order.
    ASSERT_EQ(Set({"SCHEDULE.TIMES=07:00", "ALERT.ARMED=on"}), settingscli::kOk) << m_err.str();
    const std::string both = SetupIni();
    EXPECT_LT(both.find("[TIMETEXT]"), both.find("[ALERT]\r\nARMED=on\r\n"));
    EXPECT_LT(both.find("[ALERT]"), both.find("[SCHEDULE]\r\nTIMES=07:00\r\n"));
}

TEST_F(AlertSettingsTest, AValueInTheFileThatCannotBeReadIsSaidAndKept) {
    TempDir::WriteFile(m_dir.path() / "setup.ini",
                       "[ALERT]\r\nHOURS=weekends only\r\n[SCHEDULE]\r\nDAYS=mon\r\n"
                       "CAMERAS=玄関,garden\r\n");
    TempDir::WriteFile(m_dir.path() / "device.ini", "[CAMERA1]\r\nNAME=玄関\r\nMASK=0,0,200,5\r\n");
    Settings loaded;
    const std::vector<std::string> notes = LoadSettings(loaded, m_dir.folder(), m_sink);
    EXPECT_EQ(loaded.alert.hours, "always");
    EXPECT_EQ(loaded.device.cameras[0].mask, "");
    std::string all;
    for (const std::string& note : notes)
        all += note + "\n";
    EXPECT_NE(all.find("HOURS の「weekends only」が読めない"), std::string::npos) << all;
    EXPECT_NE(all.find("MASK の「0,0,200,5」が読めない"), std::string::npos) << all;
    EXPECT_NE(all.find("CAMERAS の「garden」という名前のカメラはありません"), std::string::npos)
        << all;
    EXPECT_EQ(loaded.schedule.cameras, "玄関,garden"); // the others' pictures still go

    // Another setting changed: the unreadable values stay for the user to mend.
    ASSERT_EQ(Set({"SCHEDULE.DAYS=tue"}), settingscli::kOk) << m_err.str();
    EXPECT_NE(SetupIni().find("HOURS=weekends only\r\n"), std::string::npos);
    EXPECT_NE(SetupIni().find("DAYS=tue\r\n"), std::string::npos);
    EXPECT_NE(TempDir::ReadFile(m_dir.path() / "device.ini").find("MASK=0,0,200,5\r\n"),
              std::string::npos);
    // A good value takes its place.
    ASSERT_EQ(Set({"ALERT.HOURS=sat,sun always"}), settingscli::kOk) << m_err.str();
    EXPECT_NE(SetupIni().find("HOURS=sat,sun always\r\n"), std::string::npos);
}

TEST_F(AlertSettingsTest, ANewSetupWritesInTheLocalesLanguage) {
    struct Case {
        const char* lang;
        MailLanguage language;
    };
    for (const Case& c :
         {Case{"ja_JP.UTF-8", MailLanguage::Japanese}, Case{"en_GB.UTF-8", MailLanguage::English},
          Case{"C", MailLanguage::English}}) {
        SCOPED_TRACE(c.lang);
        TempDir dir;
        Locale locale(c.lang);
        Settings loaded;
        LoadSettings(loaded, dir.folder(), m_sink);
        EXPECT_EQ(loaded.mail.language, c.language);
        ASSERT_EQ(settingscli::SetSettings(dir.folder(), {"ALERT.ARMED=on"}, m_err),
                  settingscli::kOk);
        Settings again;
        LoadSettings(again, dir.folder(), m_sink); // now an existing setup: what was written
        EXPECT_EQ(again.mail.language, c.language);
    }
}

} // namespace
