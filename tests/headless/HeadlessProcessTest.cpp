// The executable run as a user or systemd runs it, with no display at all: one check against
// dovecot and aiosmtpd with the test pattern, SIGTERM while a reply waits on a silent SMTP
// server, the settings commands through setup.ini, a program folder it refuses, and the
// command line itself.

#include "app/camera/CameraKeeper.h"
#include "app/settings/PasswordCipher.h"
#include "mail/text/ContentEncoders.h"
#include "mail/text/TextCodec.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The program as a child process: no DISPLAY, its folder in KESTROVAMAIL_HOME, the locale
// lang (English unless told), standard input from a text, standard error collected.
class Program {
public:
    Program(const TempDir& home, std::vector<std::string> arguments, const std::string& input = {},
            const char* lang = "C.UTF-8") {
        int in[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            ::dup2(err[1], STDOUT_FILENO);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            ::unsetenv("KESTROVAMAIL_TEST_PATTERN");
            ::setenv("KESTROVAMAIL_HOME", home.path().c_str(), 1);
            for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
                ::unsetenv(variable);
            ::setenv("LANG", lang, 1);
            std::vector<char*> argv{const_cast<char*>(KM_EXECUTABLE)};
            for (std::string& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(KM_EXECUTABLE, argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(err[1]);
        m_err = err[0];
        [[maybe_unused]] ssize_t n = ::write(in[1], input.data(), input.size());
        ::close(in[1]);
    }
    ~Program() {
        if (m_pid > 0 && !m_done) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_err);
    }

    // The exit status, or -1 when the program did not end within limit.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            Drain(50);
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_done = true;
                Drain(0);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }
    // True once standard error holds text; false when it did not within limit.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (m_output.find(text) == std::string::npos && Clock::now() < end)
            Drain(50);
        return m_output.find(text) != std::string::npos;
    }
    void Signal(int number) const { ::kill(m_pid, number); }
    const std::string& Output() {
        Drain(0);
        return m_output;
    }

private:
    void Drain(int waitMs) {
        pollfd p{m_err, POLLIN, 0};
        while (::poll(&p, 1, waitMs) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(m_err, buffer, sizeof buffer);
            if (n <= 0)
                break;
            m_output.append(buffer, static_cast<std::size_t>(n));
            waitMs = 0;
        }
    }

    pid_t m_pid = -1;
    int m_err = -1;
    bool m_done = false;
    std::string m_output;
};

int RunProgram(const TempDir& home, std::vector<std::string> arguments, const std::string& input = {}) {
    Program program(home, std::move(arguments), input);
    const int status = program.Wait();
    if (status != 0)
        std::cerr << program.Output();
    return status;
}

// Points the program's settings at the peers through the settings commands.
void Configure(const TempDir& home, int pop3Port, int smtpPort) {
    ASSERT_EQ(RunProgram(home, {"--set", "MAIL.POP3_SERVER=127.0.0.1", "--set",
                         "MAIL.POP3_PORT=" + std::to_string(pop3Port), "--set",
                         "MAIL.POP3_ID=camera", "--set", "MAIL.SMTP_SERVER=127.0.0.1", "--set",
                         "MAIL.SMTP_PORT=" + std::to_string(smtpPort), "--set",
                         "MAIL.SENDER_ADDRESS=camera@example.com", "--set",
                         "DEVICE.SELECT=テストパターン", "--set", "DEVICE.WIDTH=320", "--set",
                         "DEVICE.HEIGHT=240", "--set", "MAIL.SENDER_CHECK=off"}),
              0); // the requests of these tests are unsigned
    ASSERT_EQ(RunProgram(home, {"--set-password", "pop3"}, "secret\n"), 0);
}

// As Configure, reading requests over IMAP or POP3 from dovecot.
void ConfigurePeers(const TempDir& home, const DovecotPeer& dovecot, const SmtpPeer& smtp,
                    bool imap) {
    Configure(home, dovecot.port(), smtp.port());
    if (imap) {
        ASSERT_EQ(RunProgram(home, {"--set", "MAIL.RECEIVE_PROTOCOL=imap", "--set",
                                    "MAIL.IMAP_SERVER=127.0.0.1", "--set",
                                    "MAIL.IMAP_PORT=" + std::to_string(dovecot.port())}),
                  0);
    }
}

TEST(HeadlessProcess, CheckOnceWithoutADisplayAnswersAndDeletesTheRequest) {
    for (const bool imap : {false, true}) {
        SCOPED_TRACE(imap ? "IMAP" : "POP3");
        TempDir home;
        DovecotPeer dovecot("camera", "secret", {RequestMail("taro@example.jp", "cap")},
                            {.imap = imap});
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        ConfigurePeers(home, dovecot, smtp, imap);

        Program program(home, {"--check-once", "--test-pattern"}, {}, "ja_JP.UTF-8");
        ASSERT_EQ(program.Wait(), 0) << program.Output();
        const std::vector<ReceivedMail> mails = smtp.WaitForMessages(1);
        ASSERT_EQ(mails.size(), 1u);
        EXPECT_EQ(mails[0].recipients, std::vector<std::string>{"taro@example.jp"});
        const DecodedMail decoded =
            SmtpPeer::DecodeMail(mails[0].file, DecodeFolder(home, "decoded"));
        ASSERT_EQ(decoded.attachments.size(), 1u);
        EXPECT_EQ(JpegSize(decoded.attachments[0]), (std::pair<int, int>{320, 240}));
        EXPECT_EQ(dovecot.MessageCount(), 0);
        EXPECT_EQ(JpegFilesIn(home.path()), 0);
        // The log lines reached standard error.
        EXPECT_NE(program.Output().find("KestrovaMailを開始しました。"), std::string::npos);
    }
}

// The check timer's first tick comes after a minute; with IMAP as with POP3 the service looks
// at the mailbox as soon as its camera is known, well before that: it answers a request that
// waits there, or, without a camera, says so and leaves the request on the server.
TEST(HeadlessProcess, ImapServiceLooksAtTheMailboxAtStartWithOrWithoutACamera) {
    constexpr std::chrono::seconds kWellBeforeTheTick{20};
    const struct {
        const char* name;
        std::vector<std::string> camera;
        const char* said; // on standard error once the first check is over
        bool answered;
    } cases[] = {
        {"test pattern", {}, "送信完了<taro@example.jp>", true},
        {"no camera", {"--device", "どこにもないカメラ"},
         "ERROR : カメラがないため、写真の依頼に答えられません", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir home;
        DovecotPeer dovecot("camera", "secret", {RequestMail("taro@example.jp", "cap")},
                            {.imap = true});
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        ConfigurePeers(home, dovecot, smtp, true);

        std::vector<std::string> arguments{"--headless", "--test-pattern"};
        arguments.insert(arguments.end(), c.camera.begin(), c.camera.end());
        Program program(home, arguments, {}, "ja_JP.UTF-8");
        EXPECT_TRUE(program.WaitForOutput(c.said, kWellBeforeTheTick)) << program.Output();
        if (c.answered) {
            EXPECT_EQ(smtp.WaitForMessages(1).size(), 1u);
            // The request goes just after its reply; a stop before that would keep it.
            for (int i = 0; i < 100 && dovecot.MessageCount() != 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } else {
            EXPECT_NE(program.Output().find(CCameraKeeper::kNoCameraLine), std::string::npos);
            EXPECT_TRUE(smtp.Messages().empty());
        }
        program.Signal(SIGTERM);
        EXPECT_EQ(program.Wait(std::chrono::seconds(10)), 0) << program.Output();
        EXPECT_EQ(dovecot.MessageCount(), c.answered ? 0 : 1) << program.Output();
    }
}

TEST(HeadlessProcess, TraceShowsEveryCommandAndNoSecret) {
    using encoders::Base64Flag;
    const std::vector<std::string> secrets = {
        "secret", encoders::EncodeBase64Block("secret", Base64Flag::NoLineBreaks),
        encoders::EncodeBase64Block(std::string("\0camera\0secret", 14), Base64Flag::NoLineBreaks),
        encoders::EncodeBase64Block(std::string("camera\0camera\0secret", 20),
                                    Base64Flag::NoLineBreaks)};
    for (const bool imap : {false, true}) {
        SCOPED_TRACE(imap ? "IMAP" : "POP3");
        TempDir home;
        DovecotPeer dovecot("camera", "secret", {RequestMail("taro@example.jp", "cap")},
                            {.imap = imap});
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        ConfigurePeers(home, dovecot, smtp, imap);

        Program program(home, {"--check-once", "--test-pattern", "--trace"});
        ASSERT_EQ(program.Wait(), 0) << program.Output();
        const std::string& output = program.Output();
        const std::string pop3 = " pop3 127.0.0.1:" + std::to_string(dovecot.port()) + " ";
        const std::string imap4 = " imap 127.0.0.1:" + std::to_string(dovecot.port()) + " ";
        const std::string smtpPeer = " smtp 127.0.0.1:" + std::to_string(smtp.port()) + " ";
        const std::vector<std::string> expected =
            imap ? std::vector<std::string>{imap4 + "-- connected to 127.0.0.1",
                                            imap4 + "S: * OK", " AUTHENTICATE PLAIN ****",
                                            " SELECT INBOX", " UID SEARCH", " UID FETCH",
                                            " UID STORE", " bytes)"}
                 : std::vector<std::string>{pop3 + "-- connected to 127.0.0.1", pop3 + "S: +OK",
                                            pop3 + "C: USER camera", pop3 + "C: PASS ****",
                                            pop3 + "C: LIST", pop3 + "C: DELE 1",
                                            pop3 + "C: QUIT", " bytes)"};
        for (const std::string& line : expected)
            EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
        for (const char* command : {"C: EHLO ", "C: AUTH ", "C: MAIL FROM:<camera@example.com>",
                                    "C: RCPT TO:<taro@example.jp>", "C: DATA", "C: QUIT"})
            EXPECT_NE(output.find(smtpPeer + command), std::string::npos) << command;
        for (const std::string& secret : secrets)
            EXPECT_EQ(output.find(secret), std::string::npos) << secret << "\n" << output;
    }
}

TEST(HeadlessProcess, CheckOnceSaysWhyItDidNotComplete) {
    const std::vector<std::string> nobodyListens{
        "MAIL.POP3_SERVER=127.0.0.1", "MAIL.POP3_PORT=" + std::to_string(UnusedLoopbackPort()),
        "MAIL.POP3_ID=camera"};
    const struct {
        const char* name;
        const char* lang;
        std::vector<std::string> settings;
        int status;
        const char* reason;
    } cases[] = {
        {"no server", "ja_JP.UTF-8", {}, 2, "MAIL.POP3_SERVER が設定されていません"},
        {"no server", "en_US.UTF-8", {}, 2, "MAIL.POP3_SERVER is not set"},
        {"nobody listens", "ja_JP.UTF-8", nobodyListens, 1, "POP3サーバ 127.0.0.1"},
        {"nobody listens", "en_US.UTF-8", nobodyListens, 1, "POP3 server 127.0.0.1"},
    };
    for (const auto& c : cases) {
        TempDir home;
        std::vector<std::string> arguments;
        for (const std::string& s : c.settings)
            arguments.insert(arguments.end(), {"--set", s});
        if (!arguments.empty()) {
            ASSERT_EQ(RunProgram(home, arguments), 0);
            ASSERT_EQ(RunProgram(home, {"--set-password", "pop3"}, "secret\n"), 0);
        }
        Program program(home, {"--check-once", "--test-pattern"}, {}, c.lang);
        EXPECT_EQ(program.Wait(), c.status) << c.name << "\n" << program.Output();
        const std::string& output = program.Output();
        const std::size_t last = output.rfind("kestrovamail: ");
        ASSERT_NE(last, std::string::npos) << c.name;
        EXPECT_NE(output.find(c.reason, last), std::string::npos) << c.name << "\n" << output;
    }
}

// A program folder other users may write is not used by any start (the service, a check, the
// settings commands, the sign-in): it ends with the reason and writes nothing there.
TEST(HeadlessProcess, AFolderOthersMayWriteIsRefusedByEveryStart) {
    TempDir home;
    ASSERT_EQ(::chmod(home.path().c_str(), 0770), 0);
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--check-once", "--test-pattern"},
                                               {"--headless", "--test-pattern"},
                                               {"--set", "MAIL.POP3_ID=camera"},
                                               {"--sign-in"}}) {
        SCOPED_TRACE(arguments[0]);
        Program program(home, arguments, {}, "en_US.UTF-8");
        EXPECT_EQ(program.Wait(), 1) << program.Output();
        EXPECT_NE(program.Output().find("kestrovamail: Other users can write to the folder " +
                                        home.folder() + ", so it is not used"),
                  std::string::npos)
            << program.Output();
        EXPECT_TRUE(std::filesystem::is_empty(home.path()));
    }
}

// Standard error speaks the user's language, line by line, while log.txt keeps the Japanese.
TEST(HeadlessProcess, StandardErrorFollowsTheLocaleAndLogTxtStaysJapanese) {
    const std::string port = std::to_string(UnusedLoopbackPort());
    const struct {
        const char* lang;
        std::vector<std::string> shown; // a notice, then a failure with its cause
    } cases[] = {
        {"ja_JP.UTF-8",
         {"KestrovaMailを開始しました。",
          "ERROR : POP3サーバ 127.0.0.1:" + port + " に接続できません: 接続が拒否されました"}},
        {"en_US.UTF-8",
         {"KestrovaMail started.",
          "ERROR: POP3 server 127.0.0.1:" + port + ": cannot connect: connection refused"}},
    };
    for (const auto& c : cases) {
        TempDir home;
        ASSERT_EQ(RunProgram(home, {"--set", "MAIL.POP3_SERVER=127.0.0.1", "--set",
                                    "MAIL.POP3_PORT=" + port, "--set", "MAIL.POP3_ID=camera",
                                    "--set", "APPLICATION.LOGFILE=on"}),
                  0);
        ASSERT_EQ(RunProgram(home, {"--set-password", "pop3"}, "secret\n"), 0);
        Program program(home, {"--check-once", "--test-pattern"}, {}, c.lang);
        EXPECT_EQ(program.Wait(), 1) << c.lang;
        for (const std::string& line : c.shown)
            EXPECT_NE(program.Output().find(" - " + line + "\n"), std::string::npos)
                << c.lang << ": " << line << "\n" << program.Output();
        const std::string log = TempDir::ReadFile(home.path() / "log.txt");
        for (const std::string& line : {std::string("KestrovaMailを開始しました。"),
                                        "ERROR : POP3サーバ 127.0.0.1:" + port +
                                            " に接続できません: 接続が拒否されました"})
            EXPECT_NE(log.find(text::Utf8ToSjis(" - " + line + "\r\n")), std::string::npos)
                << c.lang << ": " << line;
    }
}

TEST(HeadlessProcess, ASettingsFileItCannotUseIsSaidOnceAtStartAndAtSaveWithItsPath) {
    TempDir home;
    std::filesystem::create_directory(home.path() / "setup.ini"); // a folder in its place
    Program program(home, {"--check-once", "--test-pattern"}, {}, "ja_JP.UTF-8");
    EXPECT_EQ(program.Wait(), 2) << program.Output(); // on defaults: no server is set
    const std::string& output = program.Output();
    const std::string path = home.folder() + "setup.ini";
    for (const std::string& line : {"設定ファイル " + path + " を読み込めません",
                                    "設定ファイル " + path + " に書き込めません"}) {
        const std::size_t first = output.find(line);
        EXPECT_NE(first, std::string::npos) << line << "\n" << output;
        EXPECT_EQ(output.find(line, first + 1), std::string::npos) << line << "\n" << output;
    }
}

TEST(HeadlessProcess, SigtermEndsItWithinASecondWhileAReplyWaitsAndKeepsTheRequest) {
    TempDir home;
    DovecotPeer dovecot("camera", "secret", {RequestMail("taro@example.jp", "cap")});
    LoopbackListener silentSmtp; // connections are made and then never answered
    Configure(home, dovecot.port(), silentSmtp.port());

    Program program(home, {"--headless", "--test-pattern"});
    // The service checks at once; its reply then waits for the SMTP greeting.
    ASSERT_TRUE(silentSmtp.HasPendingConnection(30000)) << program.Output();
    const auto signalled = Clock::now();
    program.Signal(SIGTERM);
    const int status = program.Wait(std::chrono::seconds(10));
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled);
    EXPECT_EQ(status, 0) << program.Output();
    EXPECT_LE(took.count(), 1000);
    EXPECT_EQ(dovecot.MessageCount(), 1);
}

TEST(HeadlessProcess, SettingsCommandsRoundTripThroughSetupIni) {
    TempDir home;
    ASSERT_EQ(RunProgram(home, {"--set", "MAIL.SENDER_NAME=監視カメラ", "--set=TIMETEXT.SHOW_TEXT=on"}),
              0);
    ASSERT_EQ(RunProgram(home, {"--set-password", "smtp"}, "app password\n"), 0);
    const std::string setup = TempDir::ReadFile(home.path() / "setup.ini");
    EXPECT_NE(setup.find(text::Utf8ToSjis("SENDER_NAME=監視カメラ\r\n")), std::string::npos);
    MessageCapture sink;
    EXPECT_NE(setup.find("SMTP_PASS=" + EncipherPassword("app password", sink) + "\r\n"),
              std::string::npos);

    Program show(home, {"--show-settings"});
    ASSERT_EQ(show.Wait(), 0);
    for (const char* line : {"MAIL.SENDER_NAME=監視カメラ\n", "TIMETEXT.SHOW_TEXT=on\n",
                             "MAIL.SMTP_PASS=********\n", "MAIL.POP3_PASS=\n",
                             "MAIL.SENDER_CHECK=dkim\n"}) // a new setup.ini checks senders
        EXPECT_NE(show.Output().find(line), std::string::npos) << line;

    Program refused(home, {"--set", "APPLICATION.JPEG_QUALITY=500"});
    EXPECT_EQ(refused.Wait(), 2);
    EXPECT_NE(refused.Output().find("APPLICATION.JPEG_QUALITY takes a whole number from 0 to 100"),
              std::string::npos)
        << refused.Output(); // in the user's language: English here
    Program japanese(home, {"--set", "APPLICATION.JPEG_QUALITY=500"}, {}, "ja_JP.UTF-8");
    EXPECT_EQ(japanese.Wait(), 2);
    EXPECT_NE(japanese.Output().find("APPLICATION.JPEG_QUALITY は0から100までの整数です"),
              std::string::npos)
        << japanese.Output();
}

TEST(HeadlessProcess, HelpListsEveryOptionAndUnknownOptionsAreRefused) {
    TempDir home;
    Program help(home, {"--help"});
    ASSERT_EQ(help.Wait(), 0);
    for (const char* option : {"--headless", "--check-once", "--device", "--test-pattern", "--trace",
                               "--show-settings", "--set ", "--set-password", "--set-up", "--sign-in",
                               "--device-code", "--help"})
        EXPECT_NE(help.Output().find(option), std::string::npos) << option;

    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } wrong[] = {
        {{"--nonsense"}, "unknown option"},
        {{"--device"}, "needs a value"},
        {{"--headless", "--show-settings"}, "cannot be combined"},
        {{"--set-password", "imap"}, "smtp or oauth-client"},
        {{"--device-code"}, "goes with --sign-in"},
        {{"--trace", "--show-settings"}, "--trace shows"},
        {{"--dry-run", "--show-settings"}, "--set-up"},
    };
    for (const auto& w : wrong) {
        Program program(home, w.arguments);
        EXPECT_EQ(program.Wait(), 2) << w.message;
        EXPECT_NE(program.Output().find(w.message), std::string::npos) << program.Output();
    }
}

} // namespace
