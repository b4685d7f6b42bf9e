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

enum class Client { Pop3, Pop3Apop, Imap, Smtp };

struct EchoCase {
    const char* name;
    Client client;
    bool token;
    std::vector<std::string> script;
    std::vector<std::string> secrets; // none of them may be read in the error or the transcript
};

// Logs in against the script's server as the case says; the transcript is on meanwhile.
MailError LogIn(const EchoCase& c, uint16_t port, std::vector<std::string>& transcript) {
    protocoltrace::SetSink([&](std::string_view line) { transcript.emplace_back(line); });
    protocoltrace::Enable(true);
    MailError error;
    const std::string password = c.token ? std::string() : kPassword;
    switch (c.client) {
    case Client::Pop3:
    case Client::Pop3Apop: {
        CPop3Client client;
        client.SetUseApop(c.client == Client::Pop3Apop);
        client.SetAccessToken(c.token ? kToken : std::string());
        client.LogIn("127.0.0.1", "camera", password, port);
        error = client.LastMailError();
        break;
    }
    case Client::Imap: {
        CImapClient client;
        client.SetAccessToken(c.token ? kToken : std::string());
        client.LogIn("127.0.0.1", "camera", password, port);
        error = client.LastMailError();
        break;
    }
    case Client::Smtp: {
        CSmtpSession session;
        SmtpPolicy policy;
        policy.tls = SmtpTls::Clear;
        policy.logIn = SmtpCredentials{"camera", password, c.token ? kToken : std::string()};
        session.Open("127.0.0.1", port, policy);
        error = session.Error();
        break;
    }
    }
    protocoltrace::Enable(false);
    protocoltrace::SetSink({});
    return error;
}

TEST(EchoMask, WhatTheLogInSentIsMaskedInTheRefusalAndTheTranscript) {
    const std::string cut = kPassword.substr(0, 9); // a server that shortens what it repeats
    const std::string json = "{\"status\":\"invalid_token\",\"echo\":\"" + kToken + "\"}";
    const EchoCase cases[] = {
        {"POP3 PASS",
         Client::Pop3,
         false,
         {"S: +OK ready", "C: CAPA", "S: -ERR", "C: USER camera", "S: +OK", "C: *",
          "S: -ERR [AUTH] no such password: " + kPassword + " (" + cut + ")"},
         {kPassword, cut}},
        {"POP3 APOP",
         Client::Pop3Apop,
         false,
         {"S: +OK ready <1.2@echo>", "C: CAPA", "S: -ERR", "C: *",
          "S: -ERR digest " + kApopDigest + " is wrong"},
         {kApopDigest}},
        {"POP3 AUTH XOAUTH2",
         Client::Pop3,
         true,
         {"S: +OK ready", "C: CAPA", "S: +OK", "S: SASL XOAUTH2", "S: .", "C: CAPA", "S: +OK",
          "S: SASL XOAUTH2", "S: .", "C: *", "S: -ERR [AUTH] bad " + kXOAuth2 + " " + kToken},
         {kXOAuth2, kToken}},
        {"IMAP LOGIN",
         Client::Imap,
         false,
         {"S: * OK [CAPABILITY IMAP4rev1] ready", "C: *",
          "S: k1 NO [AUTHENTICATIONFAILED] LOGIN camera \"" + kPassword + "\" refused"},
         {kPassword}},
        {"IMAP AUTHENTICATE PLAIN",
         Client::Imap,
         false,
         {"S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] ready", "C: *",
          "S: k1 NO [AUTHENTICATIONFAILED] bad response " + kPlain},
         {kPlain, kPassword}},
        {"IMAP AUTHENTICATE XOAUTH2",
         Client::Imap,
         true,
         {"S: * OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2 SASL-IR] ready", "C: *",
          "S: k1 NO [AUTHENTICATIONFAILED] token " + kToken + " " + kXOAuth2.substr(0, 20)},
         {kToken, kXOAuth2.substr(0, 20)}},
        {"SMTP AUTH PLAIN",
         Client::Smtp,
         false,
         {"S: 220 ready", "C: *", "S: 250-echo", "S: 250 AUTH PLAIN LOGIN", "C: *",
          "S: 535 5.7.8 bad " + kPlain},
         {kPlain, kPassword}},
        {"SMTP AUTH LOGIN",
         Client::Smtp,
         false,
         {"S: 220 ready", "C: *", "S: 250-echo", "S: 250 AUTH LOGIN", "C: AUTH LOGIN",
          "S: 334 VXNlcm5hbWU6", "C: *", "S: 334 UGFzc3dvcmQ6", "C: *",
          "S: 535 5.7.8 wrong password " + Base64(kPassword) + " (" + kPassword + ")"},
         {Base64(kPassword), kPassword}},
        {"SMTP XOAUTH2",
         Client::Smtp,
         true,
         {"S: 220 ready", "C: *", "S: 250-echo", "S: 250 AUTH XOAUTH2", "C: *",
          "S: 535 5.7.8 token " + kToken + " expired"},
         {kToken, kXOAuth2}},
        {"SMTP OAUTHBEARER error challenge",
         Client::Smtp,
         true,
         {"S: 220 ready", "C: *", "S: 250-echo", "S: 250 AUTH OAUTHBEARER", "C: *",
          "S: 334 " + Base64(json), "C: AQ==", "S: 535 5.7.8 " + kToken},
         {kToken}},
    };
    for (const EchoCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.script);
        std::vector<std::string> transcript;
        const MailError error = LogIn(c, server.port(), transcript);
        EXPECT_EQ(server.Mismatch(), "");
        EXPECT_EQ(error.code, MailErrorCode::LoginRefused) << DescribeMailError(error);
        bool maskedEcho = false;
        for (const std::string& line : transcript)
            maskedEcho |=
                line.find(" S: ") != std::string::npos && line.find("****") != std::string::npos;
        EXPECT_TRUE(maskedEcho);
        for (const std::string& secret : c.secrets) {
            EXPECT_EQ(DescribeMailError(error).find(secret), std::string::npos)
                << DescribeMailError(error);
            for (const std::string& line : transcript)
                EXPECT_EQ(line.find(secret), std::string::npos) << line;
        }
    }
}

TEST(EchoMask, SecretsAreMaskedWholeInAnyCaseAndCutShort) {
    const protocoltrace::Secrets secrets = {"Kitsune-secret-77", "", "pw"};
    const struct {
        std::string text, masked;
    } cases[] = {
        {"-ERR Kitsune-secret-77 and KITSUNE-SECRET-77.", "-ERR **** and ****."},
        {"-ERR unknown: PASS Kitsune-", "-ERR unknown: PASS ****"},   // cut short at 8
        {"-ERR unknown: PASS Kitsune", "-ERR unknown: PASS Kitsune"}, // 7: no longer a tell
        {"pwpw", "********"},
        {"+OK", "+OK"},
    };
    for (auto c : cases) {
        protocoltrace::MaskSecrets(c.text, secrets);
        EXPECT_EQ(c.text, c.masked);
    }
}

TEST(ClearTextRule, APasswordGoesWhereNoneWasChosenATokenOnlyToThisMachine) {
    using enum MailErrorCode;
    const struct {
        TlsMode mode;
        LogInSecret secret;
        bool thisMachine;
        MailErrorCode refusal;
    } cases[] = {
        {TlsMode::WhenOffered, LogInSecret::Password, false, PasswordNeedsTls},
        {TlsMode::WhenOffered, LogInSecret::Password, true, None},
        {TlsMode::None, LogInSecret::Password, false, None},
        {TlsMode::WhenOffered, LogInSecret::Token, false, TokenNeedsTls},
        {TlsMode::None, LogInSecret::Token, false, TokenNeedsTls},
        {TlsMode::None, LogInSecret::Token, true, None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClearTextRefusal(c.mode, c.secret, c.thisMachine), c.refusal)
            << static_cast<int>(c.mode) << " " << static_cast<int>(c.secret) << " "
            << c.thisMachine;

    const struct {
        const char* host;
        bool peerIsLoopback;
        bool thisMachine;
    } hosts[] = {
        {"127.0.0.1", true, true},         {"127.8.9.1", true, true},   {"::1", true, true},
        {"localhost", true, false},        {"127.0.0.1", false, false}, {"192.0.2.1", false, false},
        {"::ffff:192.0.2.1", true, false},
    };
    for (const auto& h : hosts)
        EXPECT_EQ(ServerOnThisMachine(h.host, h.peerIsLoopback), h.thisMachine) << h.host;
}

} // namespace
