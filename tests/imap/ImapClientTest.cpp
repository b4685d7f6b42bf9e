// The IMAP client against scripted servers: the log-in each server's capabilities call for,
// the mailbox commands byte for byte with responses in any order and literals, BYE in the
// middle of a command, and the ways IDLE ends.

#include "mail/net/CancelSignal.h"
#include "mail/imap/ImapClient.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using Lines = std::vector<std::string>;

const char* const kGreeting = "S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR IDLE] ready";
const char* const kLoggedIn = "S: k1 OK [CAPABILITY IMAP4rev1 IDLE] logged in";

bool LogIn(CImapClient& client, const ScriptedServer& server, const std::string& password) {
    return client.LogIn("127.0.0.1", "cam", password, server.port());
}

} // namespace

TEST(ImapClient, LogInFollowsWhatTheServerOffers) {
    struct Case {
        const char* name;
        Lines script;
        const char* password;
        bool ok;
        Lines sent;
        MailErrorCode error;
    };
    // "\0cam\0pw" in base64
    const Case cases[] = {
        {"AUTH=PLAIN with SASL-IR",
         {kGreeting, "C: *", "S: k1 OK [CAPABILITY IMAP4rev1 IDLE UIDPLUS] done"},
         "pw",
         true,
         {"k1 AUTHENTICATE PLAIN AGNhbQBwdw=="},
         MailErrorCode::None},
        {"AUTH=PLAIN without SASL-IR: the response follows the server's +",
         {"S: * OK ready", "C: *", "S: * CAPABILITY IMAP4rev1 AUTH=PLAIN", "S: k1 OK",
          "C: *", "S: + ", "C: *", "S: k2 OK done", "C: *", "S: * CAPABILITY IMAP4rev1 IDLE",
          "S: k3 OK"},
         "pw",
         true,
         {"k1 CAPABILITY", "k2 AUTHENTICATE PLAIN", "AGNhbQBwdw==", "k3 CAPABILITY"},
         MailErrorCode::None},
        {"LOGIN with quoted strings",
         {"S: * OK [CAPABILITY IMAP4rev1] ready", "C: *", "S: k1 OK [CAPABILITY IMAP4rev1] in"},
         "p\"w\\",
         true,
         {"k1 LOGIN \"cam\" \"p\\\"w\\\\\""},
         MailErrorCode::None},
        {"LOGINDISABLED and no AUTH=PLAIN: nothing is sent",
         {"S: * OK [CAPABILITY IMAP4rev1 LOGINDISABLED] ready", "C: *", "S: k1 OK"},
         "pw",
         false,
         {},
         MailErrorCode::LoginRefused},
        {"refused",
         {kGreeting, "C: *", "S: k1 NO [AUTHENTICATIONFAILED] Authentication failed."},
         "pw",
         false,
         {"k1 AUTHENTICATE PLAIN AGNhbQBwdw=="},
         MailErrorCode::LoginRefused},
        {"BYE for a greeting", {"S: * BYE Too many connections"}, "pw", false, {},
         MailErrorCode::LoginRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.script);
        CImapClient client;
        EXPECT_EQ(LogIn(client, server, c.password), c.ok);
        EXPECT_EQ(client.LastMailError().code, c.error) << client.LastMailError().detail;
        EXPECT_EQ(client.IsLoggedIn(), c.ok);
        client.LogOut();
        EXPECT_EQ(server.Received(), c.sent);
    }
}

TEST(ImapClient, MailboxCommandsTakeResponsesInAnyOrder) {
    for (const bool uidPlus : {true, false}) {
        SCOPED_TRACE(uidPlus ? "UIDPLUS" : "no UIDPLUS");
        ScriptedServer server({
            kGreeting, "C: *",
            std::string("S: k1 OK [CAPABILITY IMAP4rev1 IDLE") + (uidPlus ? " UIDPLUS]" : "]"),
            "C: k2 SELECT INBOX", "S: * FLAGS (\\Seen \\Deleted)", "S: * 4 EXISTS",
            "S: * OK [UIDVALIDITY 1234] UIDs valid", "S: k2 OK [READ-WRITE] Select completed",
            "C: k3 UID SEARCH UNDELETED", "S: * SEARCH 9 3 4 5", "S: k3 OK",
            "C: k4 UID FETCH 3:4,9 (UID BODY.PEEK[HEADER.FIELDS (SUBJECT FROM AUTO-SUBMITTED "
            "PRECEDENCE LIST-ID RETURN-PATH MESSAGE-ID)])",
            "R: * 1 FETCH (UID 3 BODY[HEADER.FIELDS (SUBJECT FROM)] {30}\r\n"
            "Subject: cap\r\nFrom: a@b.jp\r\n\r\n)\r\n",
            "S: * 5 EXISTS", "S: * 2 FETCH (FLAGS (\\Seen) UID 4)",
            "S: * 3 FETCH (UID 5 BODY[HEADER.FIELDS (SUBJECT FROM)] \"Subject: not asked\")",
            "S: * 4 FETCH (BODY[HEADER.FIELDS (SUBJECT FROM)] \"Subject: x\" UID 9)",
            "S: k4 OK", "C: k5 UID STORE 3,9 +FLAGS.SILENT (\\Deleted)", "S: k5 OK",
            uidPlus ? "C: k6 UID EXPUNGE 3,9" : "C: k6 EXPUNGE", "S: * 3 EXPUNGE",
            "S: * 1 EXPUNGE", "S: k6 OK", "C: k7 LOGOUT", "S: * BYE", "S: k7 OK"});
        CImapClient client;
        ASSERT_TRUE(LogIn(client, server, "pw")) << client.LastMailError().detail;
        ASSERT_TRUE(client.SelectInbox());
        EXPECT_EQ(client.UidValidity(), 1234u);
        EXPECT_EQ(client.MessageCount(), 4u);
        std::vector<uint32_t> uids;
        ASSERT_TRUE(client.SearchUids(uids));
        EXPECT_EQ(uids, (std::vector<uint32_t>{3, 4, 5, 9}));
        std::vector<CImapClient::Header> headers;
        ASSERT_TRUE(client.FetchHeaders({9, 3, 4}, headers));
        ASSERT_EQ(headers.size(), 2u); // neither the flags-only FETCH nor one not asked for
        EXPECT_EQ(headers[0].uid, 3u);
        EXPECT_EQ(headers[0].text, "Subject: cap\r\nFrom: a@b.jp\r\n\r\n");
        EXPECT_EQ(headers[1].uid, 9u);
        EXPECT_EQ(headers[1].text, "Subject: x");
        ASSERT_TRUE(client.Delete({9, 3}));
        EXPECT_EQ(client.MessageCount(), 3u); // 5 announced, 2 expunged
        EXPECT_TRUE(client.LogOut());
        EXPECT_EQ(server.Mismatch(), "");
    }
}

TEST(ImapClient, ByeInTheMiddleOfACommandFailsWithTheServersWords) {
    ScriptedServer server({kGreeting, "C: *", kLoggedIn, "C: k2 SELECT INBOX",
                           "S: * BYE Server shutting down.", "CLOSE"});
    CImapClient client;
    ASSERT_TRUE(LogIn(client, server, "pw"));
    EXPECT_FALSE(client.SelectInbox());
    EXPECT_EQ(client.LastMailError().code, MailErrorCode::Closed);
    EXPECT_NE(client.LastMailError().detail.find("shutting down"), std::string::npos);
    EXPECT_FALSE(client.IsLoggedIn());
}

TEST(ImapClient, IdleEndsOnNewMailOnTheWakeSignalOrWhenTheTimeIsUp) {
    struct Case {
        const char* name;
        Lines during; // what the server says while the client idles
        bool wake;
        CImapClient::IdleEnd end;
    };
    const Case cases[] = {
        {"new mail", {"S: * OK Still here", "S: * 2 EXISTS"}, false,
         CImapClient::IdleEnd::NewMail},
        {"woken", {}, true, CImapClient::IdleEnd::Woken},
        {"time is up", {"S: * 1 EXPUNGE"}, false, CImapClient::IdleEnd::TimedOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Lines script = {kGreeting,          "C: *",     kLoggedIn, "C: k2 SELECT INBOX",
                        "S: * 1 EXISTS",    "S: k2 OK", "C: k3 UID SEARCH UNDELETED",
                        "S: * SEARCH 1",    "S: k3 OK", "C: k4 IDLE",
                        "S: + idling"};
        script.insert(script.end(), c.during.begin(), c.during.end());
        script.insert(script.end(), {"C: DONE", "S: k4 OK Idle completed"});
        ScriptedServer server(script);
        CImapClient client;
        std::vector<uint32_t> uids;
        ASSERT_TRUE(LogIn(client, server, "pw") && client.SelectInbox() &&
                    client.SearchUids(uids));
        CCancelSignal wake;
        std::thread waker([&] {
            if (c.wake) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                wake.Cancel();
            }
        });
        EXPECT_EQ(client.Idle(std::chrono::milliseconds(c.wake ? 10000 : 500), &wake), c.end);
        waker.join();
        server.Received();
        EXPECT_EQ(server.Mismatch(), "");
    }
}
