#include "app/report/ActivityLog.h"

#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr LocalTime kSunday{2026, 12, 6, 0, 15, 47, 44};
constexpr LocalTime kMonday{2026, 1, 5, 1, 9, 3, 7};
constexpr char kStarted[] = "KestrovaMailを開始しました。";

TEST(ActivityLogLines, ScreenAndFileFormats) {
    struct Case {
        LocalTime time;
        const char* screen;
        const char* file;
    };
    const Case cases[] = {
        {kSunday, "12/6 15:47:44 - KestrovaMailを開始しました。",
         "2026年12月06日(日) 15時47分44秒 - KestrovaMailを開始しました。"},
        {kMonday, "1/5 09:03:07 - KestrovaMailを開始しました。",
         "2026年01月05日(月) 09時03分07秒 - KestrovaMailを開始しました。"},
        {LocalTime{2027, 2, 27, 6, 0, 0, 0}, "2/27 00:00:00 - KestrovaMailを開始しました。",
         "2027年02月27日(土) 00時00分00秒 - KestrovaMailを開始しました。"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ActivityLog::ScreenLine(c.time, kStarted), c.screen);
        EXPECT_EQ(ActivityLog::FileLine(c.time, kStarted), c.file);
    }
}

class ActivityLogTest : public ::testing::Test {
protected:
    ActivityLogTest() : m_log(m_app, m_dir.folder(), m_clock) {
        m_app.logFile = true;
        m_log.SetObserver([this](std::string_view added, const std::string& whole) {
            m_added.emplace_back(added);
            EXPECT_EQ(whole, m_log.text());
        });
    }
    std::string LogPath() const { return m_dir.folder() + "log.txt"; }

    TempDir m_dir;
    AppSettings m_app;
    FixedClock m_clock{kSunday};
    ActivityLog m_log;
    std::vector<std::string> m_added;
};

TEST_F(ActivityLogTest, AddLogShowsAndAppendsInCodePage932) {
    TempDir::WriteFile(LogPath(), "earlier\r\n");
    m_log.AddLog(kStarted);
    m_clock.Set(kMonday);
    m_log.AddLog("メールチェック完了");

    EXPECT_EQ(m_log.text(), "12/6 15:47:44 - KestrovaMailを開始しました。\r\n"
                            "1/5 09:03:07 - メールチェック完了\r\n");
    EXPECT_EQ(m_added, (std::vector<std::string>{"12/6 15:47:44 - KestrovaMailを開始しました。\r\n",
                                                 "1/5 09:03:07 - メールチェック完了\r\n"}));
    // 2026年12月06日(日) 15時47分44秒 - KestrovaMailを開始しました。 in code page 932.
    EXPECT_EQ(TempDir::ReadFile(LogPath()),
              "earlier\r\n"
              "2026\x94\x4E"
              "12\x8C\x8E"
              "06\x93\xFA(\x93\xFA) 15\x8E\x9E"
              "47\x95\xAA"
              "44\x95\x62 - KestrovaMail\x82\xF0\x8A\x4A\x8E\x6E\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
              "\x81\x42\r\n"
              "2026\x94\x4E"
              "01\x8C\x8E"
              "05\x93\xFA(\x8C\x8E) 09\x8E\x9E"
              "03\x95\xAA"
              "07\x95\x62 - \x83\x81\x81\x5B\x83\x8B\x83\x60\x83\x46\x83\x62\x83\x4E\x8A\xAE"
              "\x97\xB9\r\n");
}

TEST_F(ActivityLogTest, TrailingWhiteSpaceGoesLeadingSpaceStays) {
    m_log.AddLog("  送信完了<a@example.jp>\r\n");
    m_log.AddLog("  送信完了<a@example.jp> \t");
    const std::string screen = "12/6 15:47:44 -   送信完了<a@example.jp>\r\n";
    EXPECT_EQ(m_log.text(), screen + screen);
    const std::string file = TempDir::ReadFile(LogPath());
    EXPECT_EQ(file.substr(0, file.size() / 2), file.substr(file.size() / 2));
    EXPECT_EQ(file.substr(file.size() - 29),
              " -   \x91\x97\x90\x4D\x8A\xAE\x97\xB9<a@example.jp>\r\n");
}

TEST_F(ActivityLogTest, LogFileOffLeavesNoTraceAndIsReadLive) {
    m_app.logFile = false;
    m_log.WriteLogFile("ERROR : POP3サーバの接続に失敗しました。");
    EXPECT_EQ(m_log.text(), "");
    m_log.AddLog("メールチェック完了");
    EXPECT_FALSE(fs::exists(LogPath()));

    m_app.logFile = true;
    m_log.WriteLogFile("ERROR : SMTPサーバへの接続に失敗しました。");
    EXPECT_TRUE(fs::exists(LogPath()));
    EXPECT_EQ(m_log.text(), "12/6 15:47:44 - メールチェック完了\r\n");
}

TEST_F(ActivityLogTest, FileFailureIsSaidOnceUntilTheFileTakesLinesAgain) {
    // A folder in the file's place cannot be opened for writing, even by root.
    const auto block = [this] { fs::remove(LogPath()), fs::create_directory(LogPath()); };
    const auto unblock = [this] { fs::remove(LogPath()); };
    const std::string error = "ERROR : ログファイルエラー\r\n";
    struct Step {
        std::function<void()> change; // may be empty
        bool fileOnlyFirst;           // a file-only line before the screen line
        const char* message;
        std::string added;
    } const steps[] = {
        {block, false, "a", "12/6 15:47:44 - a\r\n" + error},
        {{}, false, "b", "12/6 15:47:44 - b\r\n"},
        {{}, true, "c", "12/6 15:47:44 - c\r\n"},
        {unblock, false, "d", "12/6 15:47:44 - d\r\n"},
        {block, true, "e", error + "12/6 15:47:44 - e\r\n"}, // the file-only line's error
        {{}, false, "f", "12/6 15:47:44 - f\r\n"},
    };
    for (const Step& step : steps) {
        if (step.change)
            step.change();
        m_added.clear();
        if (step.fileOnlyFirst)
            m_log.WriteLogFile("ERROR : POP3サーバの接続に失敗しました。");
        m_log.AddLog(step.message);
        EXPECT_EQ(m_added, std::vector<std::string>{step.added}) << step.message;
    }
}

TEST_F(ActivityLogTest, MissingFolderIsAFileFailureNotACrash) {
    AppSettings app;
    app.logFile = true;
    ActivityLog log(app, m_dir.folder() + "no/such/folder/", m_clock);
    log.AddLog("x");
    EXPECT_EQ(log.text(), "12/6 15:47:44 - x\r\nERROR : ログファイルエラー\r\n");
}

} // namespace

TEST_F(ActivityLogTest, StandardErrorGetsTheScreenLinesNotTheFileOnlyOnes) {
    // Standard error into a file for the length of the test.
    const std::string echoed = m_dir.folder() + "stderr.txt";
    const int saved = ::dup(STDERR_FILENO);
    const int file = ::open(echoed.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    ::dup2(file, STDERR_FILENO);
    ::close(file);
    m_log.SetStandardErrorEcho(true);
    m_log.WriteLogFile("ERROR : POP3サーバの接続に失敗しました。");
    m_log.AddLog("ERROR : POP3サーバ pop.example.jp:110 に接続できません: 接続が拒否されました");
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    EXPECT_EQ(TempDir::ReadFile(echoed),
              "12/6 15:47:44 - ERROR : POP3サーバ pop.example.jp:110 に接続できません: "
              "接続が拒否されました\n");
}
