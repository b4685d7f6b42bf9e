// A server that repeats what a log-in sent (the password, the APOP digest, the token, the exact
// base64 response, whole or cut short) in its refusal: the copy reaches neither the error text
// nor the transcript. And the rule that decides where a log-in's secret may go without TLS.

#include "mail/imap/ImapClient.h"
#include "mail/net/MailSecurity.h"
#include "mail/net/ProtocolTrace.h"
#include "mail/net/Sasl.h"
#include "mail/pop3/Pop3Client.h"
#include "mail/smtp/SmtpSession.h"
#include "mail/text/ContentEncoders.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <string>
#include <vector>

namespace {

const std::string kPassword = "Kitsune-secret-77";
const std::string kToken = "ya29.a0AfB_echoed0token0Zq";

std::string Base64(std::string_view bytes) {
    return encoders::EncodeBase64Block(bytes, encoders::Base64Flag::NoLineBreaks);
}

std::string Md5Hex(const std::string& input) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(input.data(), input.size(), digest, &length, EVP_md5(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        static constexpr char kHex[] = "0123456789abcdef";
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xf];
    }
    return hex;
}

const std::string kPlain = Base64(std::string("\0camera\0", 8) + kPassword);
const std::string kXOAuth2 =
    Base64(sasl::InitialResponse(BearerMechanism::XOAuth2, "camera", kToken));
const std::string kApopDigest = Md5Hex("<1.2@echo>" + kPassword);

enum class Client { Pop3, Pop3Apop, Pop3Token, Imap, ImapToken, Smtp, SmtpToken };

// Logs in against the script's server as client does; the transcript is on meanwhile.
MailError LogIn(Client client, uint16_t port, std::vector<std::string>& transcript) {
    protocoltrace::SetSink([&](std::string_view line) { transcript.emplace_back(line); });
    protocoltrace::Enable(true);
    const bool token =
        client == Client::Pop3Token || client == Client::ImapToken || client == Client::SmtpToken;
    const std::string password = token ? std::string() : kPassword;
    MailError error;
    if (client == Client::Imap || client == Client::ImapToken) {
        CImapClient imap;
        imap.SetAccessToken(token ? kToken : std::string());
        imap.LogIn("127.0.0.1", "camera", password, port);
        error = imap.LastMailError();
    } else if (client == Client::Smtp || client == Client::SmtpToken) {
        CSmtpSession session;
        SmtpPolicy policy;
        policy.tls = SmtpTls::Clear;
        policy.logIn = SmtpCredentials{"camera", password, token ? kToken : std::string()};
        session.Open("127.0.0.1", port, policy);
        error = session.Error();
    } else {
        CPop3Client pop3;
        pop3.SetUseApop(client == Client::Pop3Apop);
        pop3.SetAccessToken(token ? kToken : std::string());
        pop3.LogIn("127.0.0.1", "camera", password, port);
        error = pop3.LastMailError();
    }
    protocoltrace::Enable(false);
    protocoltrace::SetSink({});
    return error;
}

// Each server repeats what it was sent (whole, in capitals or cut short) in its refusal; no
// copy of a secret, nor its first 12 characters, may be read in the error or the transcript.
TEST(EchoMask, WhatTheLogInSentIsMaskedInTheRefusalAndTheTranscript) {
    const std::string json = "{\"status\":\"invalid_token\",\"echo\":\"" + kToken + "\"}";
    const struct {
        const char* name;
        Client client;
        std::vector<std::string> script;
    } cases[] = {
        {"POP3 PASS",
         Client::Pop3,
         {"S: +OK ready", "C: CAPA", "S: -ERR", "C: USER camera", "S: +OK", "C: *",
          "S: -ERR [AUTH] no password KITSUNE-SECRET-77 (" + kPassword.substr(0, 12) + ")"}},
        {"POP3 APOP",
         Client::Pop3Apop,
         {"S: +OK ready <1.2@echo>", "C: CAPA", "S: -ERR", "C: *",
          "S: -ERR digest " + kApopDigest + " is wrong"}},
        {"POP3 AUTH XOAUTH2",
         Client::Pop3Token,
         {"S: +OK ready", "C: CAPA", "S: +OK", "S: SASL XOAUTH2", "S: .", "C: CAPA", "S: +OK",
          "S: SASL XOAUTH2", "S: .", "C: *", "S: -ERR [AUTH] bad " + kXOAuth2 + " " + kToken}},
        {"IMAP LOGIN",
         Client::Imap,
         {"S: * OK [CAPABILITY IMAP4rev1] ready", "C: *",
          "S: k1 NO [AUTHENTICATIONFAILED] LOGIN camera \"" + kPassword + "\" refused"}},
        {"IMAP AUTHENTICATE PLAIN",
         Client::Imap,
         {"S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] ready", "C: *",
          "S: k1 NO [AUTHENTICATIONFAILED] bad response " + kPlain}},
        {"IMAP AUTHENTICATE XOAUTH2",
         Client::ImapToken,
         {"S: * OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2 SASL-IR] ready", "C: *",
          "S: k1 NO [AUTHENTICATIONFAILED] " + kToken + " " + kXOAuth2.substr(0, 20)}},
        {"SMTP AUTH PLAIN",
         Client::Smtp,
         {"S: 220 ready", "C: *", "S: 250-echo", "S: 250 AUTH PLAIN LOGIN", "C: *",
          "S: 535 5.7.8 " + kPlain}},
        {"SMTP AUTH LOGIN",
         Client::Smtp,
         {"S: 220 ready", "C: *", "S: 250-echo", "S: 250 AUTH LOGIN", "C: AUTH LOGIN",
          "S: 334 VXNlcm5hbWU6", "C: *", "S: 334 UGFzc3dvcmQ6", "C: *",
          "S: 535 5.7.8 wrong " + Base64(kPassword) + " (" + kPassword + ")"}},
        {"SMTP XOAUTH2",
         Client::SmtpToken,
         {"S: 220 ready", "C: *", "S: 250-echo", "S: 250 AUTH XOAUTH2", "C: *",
          "S: 535 5.7.8 " + kToken}},
        {"SMTP OAUTHBEARER error challenge",
         Client::SmtpToken,
         {"S: 220 ready", "C: *", "S: 250-echo", "S: 250 AUTH OAUTHBEARER", "C: *",
          "S: 334 " + Base64(json), "C: AQ==", "S: 535 5.7.8 " + kToken}},
    };
    const std::string secrets[] = {kPassword, kToken,      kPlain,
                                   kXOAuth2,  kApopDigest, Base64(kPassword)};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.script);
        std::vector<std::string> transcript;
        const MailError error = LogIn(c.client, server.port(), transcript);
        EXPECT_EQ(server.Mismatch(), "");
        EXPECT_EQ(error.code, MailErrorCode::LoginRefused) << DescribeMailError(error);
        transcript.push_back(DescribeMailError(error));
        EXPECT_NE(transcript.back().find("****"), std::string::npos) << transcript.back();
        for (const std::string& line : transcript) {
            for (const std::string& secret : secrets)
                EXPECT_EQ(line.find(secret.substr(0, 12)), std::string::npos) << line;
        }
    }
}

// The cases the tests with servers do not reach: a password over a network where "none" was
// chosen, and which hosts count as this machine.
TEST(ClearTextRule, NoneLetsAPasswordGoAndOnlyALoopbackAddressIsThisMachine) {
    EXPECT_EQ(ClearTextRefusal(TlsMode::None, LogInSecret::Password, false), MailErrorCode::None);
    EXPECT_EQ(ClearTextRefusal(TlsMode::None, LogInSecret::Token, false),
              MailErrorCode::TokenNeedsTls);
    const struct {
        const char* host;
        bool peerIsLoopback, thisMachine;
    } hosts[] = {{"127.8.9.1", true, true},
                 {"::1", true, true},
                 {"localhost", true, false},
                 {"127.0.0.1", false, false},
                 {"::ffff:192.0.2.1", true, false}};
    for (const auto& h : hosts)
        EXPECT_EQ(ServerOnThisMachine(h.host, h.peerIsLoopback), h.thisMachine) << h.host;
}

} // namespace
