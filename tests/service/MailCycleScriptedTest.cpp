// The check cycle against a scripted POP3 server: exact dialogues, the refusals of the timer
// and button paths, the causes of protocol errors and the log lines of a failed log-in. No SMTP
// server is involved: these cycles never get as far as a reply.

#include "app/service/MailService.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// One message as the server sends it after "+OK" for RETR.
Script Message(const std::string& from, const std::string& subject) {
    return {"S: +OK message follows",
            "S: From: " + from,
            "S: Subject: " + subject,
            "S: To: camera@example.com",
            "S: ",
            "S: please",
            "S: ."};
}

class MailCycleScripted : public ::testing::Test {
protected:
    MailCycleScripted() {
        settings.pop3Server = "127.0.0.1";
        settings.pop3Id = "camera";
        settings.pop3Pass = "secret";
        settings.smtpServer = "127.0.0.1";
        flags.graphReady = true;
    }

    CMailService MakeService() {
        return CMailService(settings, flags, log, pictures, clock, nullptr, 1);
    }

    TempDir folder;
    MailSettings settings;
    ServiceFlags flags;
    RecordingLog log;
    FakePictureSource pictures;
    FixedClock clock{{2026, 12, 6, 0, 15, 47, 44}};
};

} // namespace

TEST_F(MailCycleScripted, EmptyMailboxOnTheTimerAndOnTheButtonPath) {
    const Script visit = Join({kLogIn, kNoCapabilities, Listing({}), {"C: QUIT", "S: +OK bye"}});
    ScriptedServer server(Join({visit, {"NEXT"}, visit}));
    settings.pop3Port = server.port();
    CMailService service = MakeService();

    EXPECT_EQ(service.CheckMail(), 1);
    EXPECT_TRUE(log.screen.empty());
    service.CheckMailNow();
    EXPECT_EQ(log.screen, std::vector<std::string>{"メールチェック完了"});

    EXPECT_EQ(server.Mismatch(), "");
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_TRUE(log.fileOnly.empty());
    EXPECT_EQ(pictures.grabs, 0);
    EXPECT_FALSE(service.CheckInProgress());
}

TEST_F(MailCycleScripted, LogInFailureNamesServerAccountAndReplyAfterTheFileLine) {
    ScriptedServer server({"S: +OK ready","C: CAPA", "S: -ERR", "C: USER camera", "S: +OK", "C: PASS secret",
                           "S: -ERR authentication failed", "C: QUIT", "S: +OK"});
    settings.pop3Port = server.port();
    CMailService service = MakeService();

    service.CheckMailNow();
    EXPECT_EQ(server.Mismatch(), "");
    // The cause, and no completion line.
    EXPECT_EQ(log.screen, std::vector<std::string>{
                              "ERROR : POP3サーバ 127.0.0.1:" + std::to_string(server.port()) +
                              " にアカウント camera でログインできません: "
                              "ログインが拒否されました (-ERR "
                              "authentication failed)"});
    EXPECT_EQ(log.fileOnly, std::vector<std::string>{"ERROR : POP3サーバの接続に失敗しました。"});
    EXPECT_FALSE(service.CheckInProgress());
}

TEST_F(MailCycleScripted, ProtocolErrorsEndTheCycleWithTheirCauseAndCloseTheConnection) {
    struct Case {
        const char* name;
        Script afterLogIn;
        const char* reply; // the refusal the line quotes
    };
    const std::vector<Case> cases = {
        {"LIST", Join({kNoCapabilities, {"C: LIST", "S: -ERR locked", "C: QUIT", "S: +OK"}}),
         "-ERR locked"},
        {"RETR",
         Join(
             {kNoCapabilities, Listing({100}), {"C: RETR 1", "S: -ERR gone", "C: QUIT", "S: +OK"}}),
         "-ERR gone"},
        {"QUIT", Join({kNoCapabilities, Listing({}), {"C: QUIT", "S: -ERR"}}), "-ERR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(Join({kLogIn, c.afterLogIn}));
        settings.pop3Port = server.port();
        CMailService service = MakeService();
        log.Clear();

        service.CheckMailNow(); // a 0 from the cycle adds no completion line
        EXPECT_EQ(server.Mismatch(), "");
        EXPECT_EQ(log.screen, std::vector<std::string>{
                                  "ERROR : POP3サーバ 127.0.0.1:" + std::to_string(server.port()) +
                                  " とのやり取りに失敗しました: サーバがコマンドを拒否しました (" +
                                  c.reply + ")"});
        EXPECT_TRUE(log.fileOnly.empty());
        EXPECT_FALSE(service.CheckInProgress());
    }
}

TEST_F(MailCycleScripted, ListingThatLacksAMessageEndsTheCycleWithoutACrash) {
    // LIST lists two messages, UIDL one: the ids cannot be matched, so nothing is remembered
    // and both messages are looked at.
    ScriptedServer server(
        Join({kLogIn,
              {"C: CAPA", "S: +OK", "S: UIDL", "S: .", "C: LIST", "S: +OK", "S: 1 100",
               "S: 2 100", "S: .", "C: UIDL", "S: +OK", "S: 1 aaa", "S: .", "C: RETR 1"},
              Message("a@example.com", "hello"),
              {"C: RETR 2"},
              Message("b@example.com", "hello"),
              {"C: QUIT", "S: +OK"}}));
    settings.pop3Port = server.port();
    CMailService service = MakeService();
    service.SetStateFolder(folder.folder());

    EXPECT_EQ(service.CheckMail(), 1); // the connection was closed properly
    EXPECT_EQ(server.Mismatch(), "");
    EXPECT_EQ(pictures.grabs, 0);
    EXPECT_FALSE(service.CheckInProgress());
}

TEST_F(MailCycleScripted, FailedGrabSendsNothingDeletesNothingAndStillCompletes) {
    // The grab also stands in for a nested message loop: a timer tick and a button press that
    // arrive while the cycle runs must not start a second one.
    ScriptedServer server(
        Join({kLogIn, kNoCapabilities, Listing({100}), {"C: RETR 1"},
              Message("Taro <taro@example.com>", "cap"), {"C: QUIT", "S: +OK"}}));
    settings.pop3Port = server.port();
    CMailService service = MakeService();
    pictures.fail = true;
    int nestedResult = -1;
    bool inProgressDuringGrab = false;
    pictures.duringGrab = [&] {
        inProgressDuringGrab = service.CheckInProgress();
        nestedResult = service.CheckMail();
        service.CheckMailNow();
    };

    service.CheckMailNow();
    EXPECT_EQ(server.Mismatch(), "");
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(pictures.grabs, 1);
    EXPECT_TRUE(inProgressDuringGrab);
    EXPECT_EQ(nestedResult, 0);
    EXPECT_EQ(
        log.screen,
        (std::vector<std::string>{
            "ERROR : カメラがないため、写真の依頼に答えられません（依頼はサーバーに残します）",
            "メールチェック完了"}));
    EXPECT_FALSE(service.CheckInProgress());
}

TEST_F(MailCycleScripted, NoCycleWithoutAGraphWhileBusyOrWithoutAServer) {
    LoopbackListener probe;
    settings.pop3Port = probe.port();
    CMailService service = MakeService();

    flags.graphReady = false;
    EXPECT_EQ(service.CheckMail(), 0);
    service.CheckMailNow();

    flags.graphReady = true;
    flags.uiBusy = true;
    EXPECT_EQ(service.CheckMail(), 0);
    service.CheckMailNow();

    flags.uiBusy = false;
    settings.pop3Server.clear();
    EXPECT_EQ(service.CheckMail(), 0); // the timer path stays silent

    EXPECT_FALSE(probe.HasPendingConnection());
    EXPECT_TRUE(log.screen.empty());
    EXPECT_TRUE(log.fileOnly.empty());
    EXPECT_FALSE(service.CheckInProgress());
}

TEST_F(MailCycleScripted, ButtonNamesTheFirstMissingSetting) {
    struct Case {
        const char* server;
        const char* id;
        const char* pass;
        const char* line;
    };
    const Case cases[] = {
        {"", "", "", "ERROR : POP3サーバーが設定されていません"},
        {"", "camera", "secret", "ERROR : POP3サーバーが設定されていません"},
        {"127.0.0.1", "", "", "ERROR : POP3のユーザーIDが設定されていません"},
        {"127.0.0.1", "camera", "", "ERROR : POP3のパスワードが設定されていません"},
    };
    LoopbackListener probe;
    settings.pop3Port = probe.port();
    CMailService service = MakeService();
    for (const Case& c : cases) {
        settings.pop3Server = c.server;
        settings.pop3Id = c.id;
        settings.pop3Pass = c.pass;
        log.Clear();
        service.CheckMailNow();
        EXPECT_EQ(log.screen, std::vector<std::string>{c.line});
    }
    EXPECT_FALSE(probe.HasPendingConnection());
}

TEST_F(MailCycleScripted, WhichSubjectsAreRequests) {
    // A request makes the cycle grab a picture; the grab fails here, so nothing is sent.
    struct Case {
        const char* checkString;
        const char* subjectLine; // nullptr: the mail has no Subject field
        bool request;
    };
    const Case cases[] = {
        {"cap", "Subject: cap", true},
        {"cap", "Subject: CAP", false},
        {"cap", "Subject:    cap  ", true}, // the field value is trimmed
        {"cap", "subject: cap", true},      // field names match in any case
        {"cap", "Subject: c=ap", false},    // every character counts, "=" too
        {"cap", "Subject: =?ISO-2022-JP?B?Y2Fw?=", true},
        {"cap", "Subject: =?UTF-8?B?Y2Fw?=", true},
        {"cap", "Subject: =?utf-8?q?cap?=", true},
        {"cap", "Subject: =?utf-8?q?cap_?=", true}, // white space at the ends, once decoded
        {"cap", "Subject: Re: cap", false},
        {"cap", "Subject: caps", false},
        {"cap", nullptr, false},
        {"", nullptr, true}, // an empty check string takes every mail without a subject
        {"", "Subject: x", false},
        {"写真", "Subject: =?ISO-2022-JP?B?GyRCPEw/PxsoQg==?=", true},
        {"写真", "Subject: =?shift_jis?B?jsqQXg==?=", true},
        {"写真", "Subject: =?ISO-2022-JP?B?GyRCPEw/PyRHJDkbKEI=?=", false}, // 写真です
    };
    pictures.fail = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.checkString) + " / " + (c.subjectLine ? c.subjectLine : "-"));
        Script message = {"S: +OK", "S: From: taro@example.com"};
        if (c.subjectLine)
            message.push_back(std::string("S: ") + c.subjectLine);
        message.insert(message.end(), {"S: ", "S: .", "C: QUIT", "S: +OK"});
        ScriptedServer server(
            Join({kLogIn, kNoCapabilities, Listing({100}), {"C: RETR 1"}, message}));
        settings.pop3Port = server.port();
        settings.checkString = c.checkString;
        CMailService service = MakeService();
        pictures.grabs = 0;

        EXPECT_EQ(service.CheckMail(), 1);
        EXPECT_EQ(server.Mismatch(), "");
        EXPECT_EQ(pictures.grabs, c.request ? 1 : 0);
    }
}

TEST_F(MailCycleScripted, WhichSendersAreAllowed) {
    // The allow-list compares local parts exactly and domains in any letter case; a From the
    // program could not reply to is never a request it answers.
    struct Case {
        const char* from;
        std::vector<std::string> allowed;
        bool request;
    };
    const Case cases[] = {
        {"Taro <taro@example.com>", {"taro@EXAMPLE.com"}, true},
        {"taro@Example.Com (Taro)", {"taro@example.com"}, true},
        {"\"Yamada, Taro\" <Taro@example.com>", {"taro@example.com"}, false},
        {"hanako@example.com", {"taro@example.com"}, false},
        {"Taro Yamada taro@example.com", {}, false},
        {"Taro <taro@example.com", {}, false},
        {"=?UTF-8?B?5bGx55Sw?= <taro@example.com>", {}, true},
    };
    pictures.fail = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        ScriptedServer server(Join({kLogIn, kNoCapabilities, Listing({100}), {"C: RETR 1"},
                                    Message(c.from, "cap"), {"C: QUIT", "S: +OK"}}));
        settings.pop3Port = server.port();
        settings.sendAddresses = c.allowed;
        CMailService service = MakeService();
        pictures.grabs = 0;

        EXPECT_EQ(service.CheckMail(), 1);
        EXPECT_EQ(server.Mismatch(), "");
        EXPECT_EQ(pictures.grabs, c.request ? 1 : 0);
    }
}

// What the server offers decides the commands: headers only (TOP n 0) where TOP is listed,
// RETR where it is not or refuses it; with PIPELINING a batch goes out before its replies are
// read (the script reads every command of a batch before it answers, so a client that waited
// for each reply would never get its answer).
TEST_F(MailCycleScripted, CommandsFollowWhatTheServerOffers) {
    const Script hello = Message("a@example.com", "hello"); // "+OK", header, body, "."
    const Script header = {"S: +OK", "S: From: b@example.com", "S: Subject: hello", "S: ",
                           "S: ."};
    struct Case {
        const char* name;
        Script afterLogIn;
    };
    const std::vector<Case> cases = {
        {"RFC 1939 only", Join({kNoCapabilities, Listing({100, 100}), {"C: RETR 1"}, hello,
                                {"C: RETR 2"}, hello})},
        {"TOP", Join({{"C: CAPA", "S: +OK", "S: TOP", "S: ."}, Listing({100, 100}),
                      {"C: TOP 1 0"}, header, {"C: TOP 2 0"}, header})},
        {"TOP refused for one message",
         Join({{"C: CAPA", "S: +OK", "S: TOP", "S: ."}, Listing({100, 100}),
               {"C: TOP 1 0", "S: -ERR not now", "C: TOP 2 0"}, header, {"C: RETR 1"}, hello})},
        {"TOP, UIDL and PIPELINING",
         Join({{"C: CAPA", "S: +OK", "S: TOP", "S: UIDL", "S: PIPELINING", "S: .", "C: LIST",
                "C: UIDL", "S: +OK", "S: 1 100", "S: 2 100", "S: .", "S: +OK", "S: 1 aaa",
                "S: 2 bbb", "S: .", "C: TOP 1 0", "C: TOP 2 0"},
               header, header})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(Join({kLogIn, c.afterLogIn, {"C: QUIT", "S: +OK"}}));
        settings.pop3Port = server.port();
        CMailService service = MakeService();
        EXPECT_EQ(service.CheckMail(), 1);
        EXPECT_EQ(server.Mismatch(), "");
        EXPECT_EQ(pictures.grabs, 0);
    }
}

namespace judged {

const Script capabilities = {"C: CAPA", "S: +OK", "S: TOP", "S: UIDL", "S: ."};
Script listings(std::vector<std::pair<int, const char*>> messages) {
    Script lines = {"C: LIST", "S: +OK"};
    Script ids = {"C: UIDL", "S: +OK"};
    int n = 0;
    for (const auto& [size, id] : messages) {
        ++n;
        lines.push_back("S: " + std::to_string(n) + " " + std::to_string(size));
        ids.push_back("S: " + std::to_string(n) + " " + id);
    }
    lines.push_back("S: .");
    ids.push_back("S: .");
    return Join({lines, ids});
}
Script top(int n, const char* subject) {
    return Script{"C: TOP " + std::to_string(n) + " 0", "S: +OK", "S: From: a@example.com",
                  std::string("S: Subject: ") + subject, "S: ", "S: ."};
}
const Script quit = {"C: QUIT", "S: +OK"};

} // namespace judged

// Messages judged not to be requests are not looked at again, in the next cycle nor in a new
// run; a reused id with another size, or a damaged file, makes a message be looked at again.
TEST_F(MailCycleScripted, JudgedMessagesAreNotLookedAtAgain) {
    using namespace judged;
    struct Cycle {
        const char* name;
        Script afterLogIn;
        int grabs;
        bool damageFileFirst = false;
    };
    const std::vector<Cycle> cycles = {
        {"first sweep", Join({capabilities, listings({{100, "a"}, {100, "b"}}), top(1, "hello"),
                              top(2, "hello"), quit}), 0},
        {"only the new message, a request", Join({capabilities,
                                                  listings({{100, "a"}, {100, "b"}, {90, "c"}}),
                                                  top(3, "cap"), quit}), 1},
        {"the unanswered request again, an id reused with another size",
         Join({capabilities, listings({{100, "a"}, {120, "b"}, {90, "c"}}), top(2, "hello"),
               top(3, "cap"), quit}), 1},
        {"a damaged file: one full sweep", Join({capabilities, listings({{100, "a"}}),
                                                 top(1, "hello"), quit}), 0, true},
    };
    pictures.fail = true; // requests stay unanswered, and so unjudged
    Script all;
    for (const Cycle& c : cycles)
        all = Join({all, all.empty() ? Script{} : Script{"NEXT"}, kLogIn, c.afterLogIn});
    ScriptedServer server(all); // one server: the file is kept per account and server
    settings.pop3Port = server.port();
    for (const Cycle& c : cycles) {
        SCOPED_TRACE(c.name);
        if (c.damageFileFirst) {
            for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
                if (entry.path().filename().string().rfind("judged-", 0) == 0)
                    TempDir::WriteFile(entry.path(), "\x01garbage");
        }
        CMailService service = MakeService(); // a new run every cycle: only the file remembers
        service.SetStateFolder(folder.folder());
        pictures.grabs = 0;
        EXPECT_EQ(service.CheckMail(), 1);
        EXPECT_EQ(pictures.grabs, c.grabs);
    }
    EXPECT_EQ(server.Mismatch(), "");
}

// A folder that takes no file: the judgement serves the rest of the run, the cause is said
// once, and the file is written at the first check that can.
TEST_F(MailCycleScripted, JudgedMessagesStayInMemoryWhileTheirFileCannotBeWritten) {
    using namespace judged;
    const Script looked = Join({kLogIn, capabilities, listings({{100, "a"}}), top(1, "hello"), quit});
    const Script notAgain = Join({kLogIn, capabilities, listings({{100, "a"}}), quit});
    ScriptedServer server(Join({looked, {"NEXT"}, notAgain, {"NEXT"}, notAgain}));
    settings.pop3Port = server.port();
    const std::string state = folder.folder() + "state/"; // not there yet
    CMailService service = MakeService();
    service.SetStateFolder(state);
    for (int cycle = 0; cycle < 3; ++cycle) {
        if (cycle == 2)
            std::filesystem::create_directory(state);
        EXPECT_EQ(service.CheckMail(), 1);
    }
    EXPECT_EQ(server.Mismatch(), "");
    const std::string file = state + "judged-";
    ASSERT_EQ(log.screen.size(), 2u);
    EXPECT_EQ(log.screen[0].rfind("ERROR : 判定済みメールの記録 " + file, 0), 0u) << log.screen[0];
    EXPECT_NE(log.screen[0].find("No such file or directory"), std::string::npos);
    EXPECT_EQ(log.screen[1], CFaultNotices::kJudgedOver);
    EXPECT_FALSE(std::filesystem::is_empty(state));
}
