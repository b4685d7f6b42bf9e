// The program's own files are private from their first byte whatever the umask; files the user
// already has keep their mode, but setup.ini (the passwords) is closed to others.

#include "app/report/ActivityLog.h"
#include "app/settings/IniFile.h"
#include "app/service/JudgedMessages.h"
#include "app/settings/SettingsStore.h"
#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/PrivateFile.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Sets the umask for one test and puts the old one back.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : m_old(::umask(mask)) {}
    ~UmaskScope() { ::umask(m_old); }

private:
    mode_t m_old;
};

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

class PrivateFilesTest : public ::testing::Test {
public:
    void SaveBothIniFiles() {
        Settings settings;
        settings.mail.pop3Pass = "secret";
        ASSERT_TRUE(SaveSettings(settings, m_dir.folder(), m_sink));
    }

protected:
    TempDir m_dir;
    MessageCapture m_sink;
    UmaskScope m_umask{0};
};

struct WriterCase {
    const char* name;
    // Writes the file into folder and returns its path.
    std::function<std::string(PrivateFilesTest&, const std::string& folder)> write;
};

TEST_F(PrivateFilesTest, EveryFileTheProgramCreatesIsOwnerOnlyUnderAnOpenUmask) {
    const WriterCase cases[] = {
        {"setup.ini",
         [](PrivateFilesTest& t, const std::string& folder) {
             t.SaveBothIniFiles();
             return folder + "setup.ini";
         }},
        {"device.ini",
         [](PrivateFilesTest& t, const std::string& folder) {
             t.SaveBothIniFiles();
             return folder + "device.ini";
         }},
        {"log.txt",
         [](PrivateFilesTest&, const std::string& folder) {
             AppSettings app;
             app.logFile = true;
             FixedClock clock;
             ActivityLog(app, folder, clock).AddLog("line");
             return folder + "log.txt";
         }},
        {"judged",
         [](PrivateFilesTest&, const std::string& folder) {
             MailSettings mail;
             mail.pop3Server = "pop.example.jp";
             mail.pop3Id = "taro";
             CJudgedMessages judged(folder, mail);
             judged.Add("uid-1", 100);
             EXPECT_TRUE(judged.Save());
             return judged.path();
         }},
    };
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ModeOf(c.write(*this, m_dir.folder())), 0600u);
    }
}

TEST_F(PrivateFilesTest, TheTemporaryFileOfAReplacementIsPrivateBeforeItsFirstByte) {
    const std::string target = m_dir.folder() + "device.ini";
    std::vector<mode_t> seen;
    SetReplaceFaultHookForTesting([&](ReplaceStep step) {
        if (step == ReplaceStep::TempCreated)
            for (const auto& entry : fs::directory_iterator(m_dir.path()))
                if (entry.path().filename().string().starts_with("device.ini.tmp"))
                    seen.push_back(ModeOf(entry.path().string()));
        return true;
    });
    EXPECT_TRUE(ReplaceFileContents(target, "[DEVICE]\r\n"));
    SetReplaceFaultHookForTesting({});
    EXPECT_EQ(seen, std::vector<mode_t>{0600});
}

TEST_F(PrivateFilesTest, CreatedProgramFolderIsOwnerOnly) {
    const std::string folder = m_dir.folder() + "share/KestrovaMail/";
    ASSERT_TRUE(CreatePrivateFolder(folder));
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_TRUE(CreatePrivateFolder(folder)); // an existing folder is taken as it is
}

TEST_F(PrivateFilesTest, ExistingFilesKeepTheirModeButSetupIniIsClosedToOthersOnce) {
    TempDir::WriteFile(m_dir.path() / "device.ini", "[DEVICE]\r\n");
    TempDir::WriteFile(m_dir.path() / "setup.ini", "[MAIL]\r\nPOP3_ID=taro\r\n");
    ::chmod((m_dir.folder() + "device.ini").c_str(), 0644);
    ::chmod((m_dir.folder() + "setup.ini").c_str(), 0644);

    Settings settings;
    const std::vector<std::string> first = LoadSettings(settings, m_dir.folder(), m_sink);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_NE(first[0].find("setup.ini"), std::string::npos);
    EXPECT_EQ(ModeOf(m_dir.folder() + "setup.ini"), 0600u);
    EXPECT_TRUE(LoadSettings(settings, m_dir.folder(), m_sink).empty());

    // A save never opens it again, even when it was made readable in the meantime.
    ::chmod((m_dir.folder() + "setup.ini").c_str(), 0640);
    SaveBothIniFiles();
    EXPECT_EQ(ModeOf(m_dir.folder() + "setup.ini"), 0600u);
    EXPECT_EQ(ModeOf(m_dir.folder() + "device.ini"), 0644u);
}

} // namespace
