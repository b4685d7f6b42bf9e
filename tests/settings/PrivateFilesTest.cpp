// The program's own files are private from their first byte whatever the umask; files the user
// already has keep their mode, but setup.ini (the passwords) is closed to others. The program
// folder is the user's alone or refused, and no link in a file's place is followed.

#include "app/report/ActivityLog.h"
#include "app/settings/IniFile.h"
#include "app/service/JudgedMessages.h"
#include "app/settings/SettingsStore.h"
#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/PrivateFile.h"
#include "base/ProgramFolder.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

constexpr uid_t kNobody = 65534;

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

    TempDir m_dir;
    MessageCapture m_sink;

protected:
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

TEST_F(PrivateFilesTest, TheProgramFolderIsTheUsersAloneOrRefused) {
    const struct {
        const char* name;
        mode_t mode; // 0: the folder is missing
        FolderSafety safety;
        mode_t after;
    } cases[] = {
        {"missing: created", 0, FolderSafety::Private, 0700},
        {"0700", 0700, FolderSafety::Private, 0700},
        {"0755 of an earlier version: tightened", 0755, FolderSafety::Closed, 0700},
        {"0711: tightened", 0711, FolderSafety::Closed, 0700},
        {"group-writable: refused", 0770, FolderSafety::WritableByOthers, 0770},
        {"shared with the sticky bit: refused", 01777, FolderSafety::WritableByOthers, 01777},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = m_dir.folder() + c.name + "/";
        if (c.mode != 0) {
            ASSERT_EQ(::mkdir(folder.c_str(), c.mode), 0);
            ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
        }
        EXPECT_EQ(SecureProgramFolder(folder), c.safety);
        EXPECT_EQ(ModeOf(folder), c.after);
    }
    // Another user's: one made for nobody when the tests run as root, else the root folder.
    std::string theirs = "/";
    if (::geteuid() == 0) {
        theirs = m_dir.folder() + "nobody's/";
        ASSERT_EQ(::mkdir(theirs.c_str(), 0700), 0);
        ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody), 0);
    }
    EXPECT_EQ(SecureProgramFolder(theirs), FolderSafety::NotOwned);
}

// Whoever put a link in the folder chose where it points: settings are not read through it
// (and so not saved over it), a log line is not appended through it, and a replacement
// replaces the link itself.
TEST_F(PrivateFilesTest, ALinkInPlaceOfAFileIsNotFollowed) {
    TempDir elsewhere;
    const std::string theirs = "[MAIL]\r\nPOP3_ID=mallory\r\n";
    const struct {
        const char* name;
        std::function<void(PrivateFilesTest&, const std::string& folder)> use;
        bool linkReplaced;
    } cases[] = {
        {"setup.ini",
         [](PrivateFilesTest& t, const std::string& folder) {
             Settings settings;
             LoadSettings(settings, folder, t.m_sink);
             EXPECT_EQ(settings.mail.pop3Id, "");
             EXPECT_FALSE(SaveSettings(settings, folder, t.m_sink));
         },
         false},
        {"log.txt",
         [](PrivateFilesTest&, const std::string& folder) {
             AppSettings app;
             app.logFile = true;
             FixedClock clock;
             ActivityLog(app, folder, clock).AddLog("line");
         },
         false},
        {"device.ini",
         [](PrivateFilesTest&, const std::string& folder) {
             EXPECT_TRUE(ReplaceFileContents(folder + "device.ini", "[DEVICE]\r\n"));
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path target = elsewhere.path() / c.name;
        TempDir::WriteFile(target, theirs);
        ::chmod(target.c_str(), 0644);
        for (const char* name : {"setup.ini", "device.ini", "log.txt"})
            fs::remove(m_dir.path() / name);
        const fs::path link = m_dir.path() / c.name;
        fs::create_symlink(target, link);
        c.use(*this, m_dir.folder());
        EXPECT_EQ(TempDir::ReadFile(target), theirs);
        EXPECT_EQ(ModeOf(target.string()), 0644u);
        EXPECT_EQ(fs::is_symlink(link), !c.linkReplaced);
        if (c.linkReplaced) {
            EXPECT_EQ(TempDir::ReadFile(link), "[DEVICE]\r\n");
            EXPECT_EQ(ModeOf(link.string()), 0600u);
        }
    }
}

// A setup.ini another user left in a folder once open to them is neither read nor saved over.
TEST_F(PrivateFilesTest, AnotherUsersSettingsFileIsNotRead) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    const std::string theirs = "[MAIL]\r\nPOP3_ID=mallory\r\n";
    TempDir::WriteFile(m_dir.path() / "setup.ini", theirs);
    ASSERT_EQ(::chown((m_dir.folder() + "setup.ini").c_str(), kNobody, kNobody), 0);
    Settings settings;
    LoadSettings(settings, m_dir.folder(), m_sink);
    EXPECT_EQ(settings.mail.pop3Id, "");
    EXPECT_FALSE(SaveSettings(settings, m_dir.folder(), m_sink));
    EXPECT_EQ(TempDir::ReadFile(m_dir.path() / "setup.ini"), theirs);
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
