// The one SMTP session against scripted servers, under both policies the program uses: the
// configured path (TLS as set, a log-in) and the port 25 path (HELO fallback, no log-in). Whole
// dialogues are compared line by line; a pipelining server's script asks for every line of a
// group before it answers any, so a session that waited would fail.
#include "mail/smtp/SmtpSession.h"

#include "mail/mime/MimeMessage.h"
#include "tests/smtp/SmtpTestUtil.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/ScriptedServer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <regex>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kEhlo = "C: EHLO " + LocalHostName();
const std::string kHelo = "C: HELO " + LocalHostName();
const std::string kMailFrom = "C: MAIL FROM:<camera@example.test>";

SmtpPolicy LogInPolicy() {
    SmtpPolicy policy;
    policy.tls = SmtpTls::Clear;
    policy.logIn = SmtpCredentials{"cam", "pw"};
    policy.replyTimeout = 5s;
    return policy;
}

SmtpPolicy PortTwentyFive() {
    SmtpPolicy policy;
    policy.tls = SmtpTls::Opportunistic;
    policy.heloFallback = true;
    policy.replyTimeout = 5s;
    return policy;
}

// The picture mail as the reply sender makes it, to one address.
std::unique_ptr<CMimeMessage> PictureMail(const std::string& to, std::size_t jpegBytes = 5000) {
    auto message = std::make_unique<CMimeMessage>();
    message->AddToRecipient(to);
    message->SetSenderAddress("camera@example.test");
    message->SetSenderDisplayName("カメラ");
    message->SetSubjectText("キャプチャ画像");
    message->AddTextPart("2026年12月6日(日)15時47分44秒現在の画像です。\r\n.", 1);
    message->AddBytesAttachment("20261206154744.jpg",
                                std::make_shared<const std::string>(JpegLikeBytes(jpegBytes)));
    return message;
}

// The lines of a message with its boundary and Date value replaced by fixed words: both are
// made anew each time a message is written.
std::vector<std::string> Normalised(std::vector<std::string> lines) {
    const std::regex boundary("------=_Next_Part_\\d{10}\\.\\d{3}");
    for (auto& line : lines) {
        line = std::regex_replace(line, boundary, "BOUNDARY");
        if (line.starts_with("Date: "))
            line = "Date: *";
    }
    return lines;
}

// One transaction to address, one command per reply, the message taken.
Script Taken(const std::string& address) {
    return {kMailFrom, "S: 250 ok", "C: RCPT TO:<" + address + ">", "S: 250 ok", "C: DATA",
            "S: 354 go", "DATA", "S: 250 queued"};
}

TEST(SmtpSession, OpensUnderEachPolicy) {
    struct Case {
        const char* name;
        SmtpPolicy policy;
        Script script;
        bool opens;
        MailErrorCode code;
        bool loggedIn;
    };
    SmtpPolicy borrowed = LogInPolicy();
    borrowed.logInIfOffered = true;
    SmtpPolicy required = LogInPolicy();
    required.tls = SmtpTls::Required;
    const Script greeted = {"S: 220 peer.test", kEhlo};
    const Case cases[] = {
        {"AUTH PLAIN with the initial response",
         LogInPolicy(),
         Join(greeted, {"S: 250-peer.test", "S: 250 AUTH LOGIN PLAIN",
                        "C: AUTH PLAIN " + Base64(std::string("\0cam\0pw", 7)), "S: 235 ok"}),
         true, MailErrorCode::None, true},
        {"AUTH LOGIN where PLAIN is not offered",
         LogInPolicy(),
         Join(greeted, {"S: 250-peer.test", "S: 250 AUTH LOGIN", "C: AUTH LOGIN",
                        "S: 334 VXNlcm5hbWU6", "C: " + Base64("cam"), "S: 334 UGFzc3dvcmQ6",
                        "C: " + Base64("pw"), "S: 235 ok"}),
         true, MailErrorCode::None, true},
        {"log-in refused: the server's words kept",
         LogInPolicy(),
         Join(greeted, {"S: 250-peer.test", "S: 250 AUTH PLAIN", "C: *", "S: 535 5.7.8 bad"}),
         false, MailErrorCode::LoginRefused, false},
        {"no AUTH offered: no password goes out",
         LogInPolicy(),
         Join(greeted, {"S: 250 peer.test", "SILENT"}),
         false, MailErrorCode::NotOffered, false},
        {"no AUTH offered to a borrowed log-in: greeted without one",
         borrowed,
         Join(greeted, {"S: 250 peer.test", "SILENT"}),
         true, MailErrorCode::None, false},
        {"STARTTLS required and not offered: nothing more is sent",
         required,
         Join(greeted, {"S: 250-peer.test", "S: 250 AUTH PLAIN", "SILENT"}),
         false, MailErrorCode::StartTlsNotOffered, false},
        {"STARTTLS refused",
         required,
         Join(greeted, {"S: 250-peer.test", "S: 250 STARTTLS", "C: STARTTLS", "S: 454 not now"}),
         false, MailErrorCode::StartTlsRefused, false},
        {"port 25: HELO after a refused EHLO, a greeting of two lines",
         PortTwentyFive(),
         {"S: 220-peer.test", "S: 220 ready", kEhlo, "S: 500 unknown", kHelo, "S: 250 peer.test",
          "SILENT"},
         true, MailErrorCode::None, false},
        {"configured path: no HELO after a refused EHLO",
         LogInPolicy(),
         Join(greeted, {"S: 502 no", "SILENT"}),
         false, MailErrorCode::CommandRefused, false},
        {"greeting refused", PortTwentyFive(), {"S: 554 go away", "SILENT"}, false,
         MailErrorCode::CommandRefused, false},
        {"closed after the greeting", PortTwentyFive(), Join(greeted, {"CLOSE"}), false,
         MailErrorCode::Closed, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.script);
        CSmtpSession session;
        EXPECT_EQ(session.Open("127.0.0.1", server.port(), c.policy), c.opens);
        EXPECT_EQ(session.Error().code, c.code);
        EXPECT_EQ(session.LoggedIn(), c.loggedIn);
        EXPECT_EQ(session.IsOpen(), c.opens);
        session.Close();
        EXPECT_EQ(server.Mismatch(), "");
    }
    CSmtpSession refused;
    EXPECT_FALSE(refused.Open("127.0.0.1", UnusedLoopbackPort(), PortTwentyFive()));
    EXPECT_EQ(refused.Error().code, MailErrorCode::Refused);
}

TEST(SmtpSession, SendsMailsAndKeepsTheSessionAfterARefusal) {
    struct Case {
        const char* name;
        Script extensions;
        Script dialogue;
        std::vector<bool> taken;
    };
    const Case cases[] = {
        {"one command per reply; a refused recipient gets RSET, the next mail goes",
         {"S: 250 peer.test"},
         Join(Join({kMailFrom, "S: 250 ok", "C: RCPT TO:<a@example.test>", "S: 550 no such user",
                    "C: RSET", "S: 250 ok"},
                   Taken("b@example.test")),
              {"C: QUIT", "S: 221 bye"}),
         {false, true}},
        {"pipelined: each mail one group; a refused sender: every reply read, RSET",
         {"S: 250-peer.test", "S: 250 PIPELINING"},
         {kMailFrom, "C: RCPT TO:<a@example.test>", "C: DATA", "S: 553 not you",
          "S: 503 sender first", "S: 503 sender first", "C: RSET", "S: 250 ok", kMailFrom,
          "C: RCPT TO:<b@example.test>", "C: DATA", "S: 250 ok", "S: 250 ok", "S: 354 go", "DATA",
          "S: 250 queued", "C: QUIT", "S: 221 bye"},
         {false, true}},
        {"pipelined: the server opened data no recipient took: the connection is dropped",
         {"S: 250-peer.test", "S: 250 PIPELINING"},
         {kMailFrom, "C: RCPT TO:<a@example.test>", "C: DATA", "S: 250 ok", "S: 550 no",
          "S: 354 go", "SILENT"},
         {false, false}},
        {"no reply to the end of data: the mail may have been taken",
         {"S: 250 peer.test"},
         {kMailFrom, "S: 250 ok", "C: RCPT TO:<a@example.test>", "S: 250 ok", "C: DATA",
          "S: 354 go", "DATA", "CLOSE"},
         {false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(Join(Join({"S: 220 peer.test", kEhlo}, c.extensions), c.dialogue));
        CSmtpSession session;
        ASSERT_TRUE(session.Open("127.0.0.1", server.port(), PortTwentyFive()));
        std::vector<bool> taken;
        for (const char* address : {"a@example.test", "b@example.test"}) {
            auto mail = PictureMail(address);
            taken.push_back(session.Send(*mail, {address}));
        }
        session.Quit();
        EXPECT_EQ(taken, c.taken);
        EXPECT_EQ(server.Mismatch(), "");
    }
}

TEST(SmtpSession, MessageOnTheWireIsTheComposersInTheServersForm) {
    struct Case {
        const char* name;
        Script extensions;
        std::string mailFrom;
        unsigned form;
    };
    const Case cases[] = {
        {"7-bit: no 8BITMIME", {"S: 250 peer.test"}, kMailFrom, SmtpForm | SevenBit},
        {"8-bit with SIZE declared",
         {"S: 250-peer.test", "S: 250-8BITMIME", "S: 250 SIZE 10000000"},
         "", SmtpForm},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto mail = PictureMail("a@example.test");
        CStringMimeStream expected;
        ASSERT_TRUE(mail->WriteTo(expected, c.form));
        std::vector<std::string> lines = SplitCrLf(expected.Bytes());
        lines.insert(lines.end(), {"", "."});
        const std::string mailFrom =
            c.mailFrom.empty() ? kMailFrom + " SIZE=" +
                                     std::to_string(expected.Bytes().size() + 5) + " BODY=8BITMIME"
                               : c.mailFrom;
        Script script = Join({"S: 220 peer.test", kEhlo}, c.extensions);
        script = Join(script, {mailFrom, "S: 250 ok", "C: RCPT TO:<a@example.test>", "S: 250 ok",
                               "C: DATA", "S: 354 go", "DATA", "S: 250 queued", "SILENT"});
        ScriptedServer server(script);
        CSmtpSession session;
        ASSERT_TRUE(session.Open("127.0.0.1", server.port(), PortTwentyFive()));
        ASSERT_TRUE(session.Send(*mail, {"a@example.test"}));
        session.Close();
        EXPECT_EQ(server.Mismatch(), "");
        // The composer's message, dots doubled.
        EXPECT_EQ(Normalised(server.Data()), Normalised(lines));
        EXPECT_NE(std::find(lines.begin(), lines.end(), ".."), lines.end());
    }
}

TEST(SmtpSession, RefusesBeforeATransactionWhatMustNotGo) {
    struct Case {
        const char* name;
        std::string recipient;
        std::size_t jpegBytes;
        MailErrorCode code;
    };
    const Case cases[] = {
        {"a line break in the recipient", "a@x.test>\r\nRCPT TO:<spy@x.test", 10,
         MailErrorCode::InvalidArgument},
        {"an address too long for a command", std::string(989, 'a'), 10,
         MailErrorCode::InvalidArgument},
        {"larger than the server's SIZE", "a@example.test", 20000, MailErrorCode::TooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Nothing of a refused attempt reaches the server: the next command it sees is RSET.
        ScriptedServer server({"S: 220 peer.test", kEhlo, "S: 250-peer.test", "S: 250 SIZE 20000",
                               "C: RSET", "S: 250 ok", "SILENT"});
        CSmtpSession session;
        ASSERT_TRUE(session.Open("127.0.0.1", server.port(), PortTwentyFive()));
        auto mail = PictureMail("a@example.test", c.jpegBytes);
        EXPECT_FALSE(session.Send(*mail, {c.recipient}));
        EXPECT_EQ(session.Error().code, c.code);
        EXPECT_TRUE(session.Reset());
        session.Close();
        EXPECT_EQ(server.Mismatch(), "");
    }
}

TEST(SmtpSession, SilentServerEndsWithinTheBound) {
    struct Case {
        const char* name;
        Script script;
        bool opens;
    };
    const Case cases[] = {
        {"no greeting", {"SILENT"}, false},
        {"no EHLO reply", {"S: 220 peer.test", kEhlo, "SILENT"}, false},
        {"no end-of-data reply",
         Join({"S: 220 peer.test", kEhlo, "S: 250 peer.test"}, Join(Taken("a@x.test"), {})),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Script script = c.script;
        if (c.opens)
            script.back() = "SILENT"; // the data is read, its reply never comes
        ScriptedServer server(script);
        SmtpPolicy policy = PortTwentyFive();
        policy.replyTimeout = 300ms;
        CSmtpSession session;
        const auto start = Clock::now();
        ASSERT_EQ(session.Open("127.0.0.1", server.port(), policy), c.opens);
        if (c.opens) {
            auto mail = PictureMail("a@x.test");
            EXPECT_FALSE(session.Send(*mail, {"a@x.test"}));
            EXPECT_TRUE(session.MayHaveDelivered());
            EXPECT_FALSE(session.IsOpen());
        }
        EXPECT_EQ(session.Error().code, MailErrorCode::NoAnswer);
        EXPECT_LT(Clock::now() - start, 5s);
    }
}

} // namespace
