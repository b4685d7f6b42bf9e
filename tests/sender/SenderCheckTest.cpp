// The sender check with real peers: requests signed by dkimpy, their keys served by a DNS
// server on loopback (dnslib), delivered by dovecot over POP3 and IMAP, replies taken by
// aiosmtpd. Only a request whose signature verifies and speaks for the From domain, or that
// the trusted authserv-id vouches for, is answered; each other one is said once in the log
// with its reason and stays on the server.

#include "app/report/ActivityLog.h"
#include "app/service/MailService.h"
#include "app/service/ServiceAdapters.h"
#include "mail/net/DnsResolver.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPatternCamera.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>

namespace {

struct Case {
    const char* name; // also the From local part
    const char* how;  // see tests/peers/signed_mail.py
    const char* refusal; // the reason in the log; nullptr: answered
};

const Case kCases[] = {
    {"rsa", "rsa", nullptr},
    {"ed", "ed25519", nullptr},
    {"sub", "sub", nullptr},
    {"unsigned", "unsigned", "署名がありません"},
    {"body", "body", "署名が一致しません"},
    {"subject", "subject", "署名が一致しません"},
    {"other", "other", "署名のドメインが差出人と異なります"},
    {"missing", "missing", "鍵が見つかりません"},
    {"revoked", "revoked", "鍵が取り消されています"},
    {"expired", "expired", "署名の期限が切れています"},
    {"length", "length", "本文の一部しか署名されていません"},
    {"nofrom", "nofrom", "署名が差出人を含みません"},
    {"nosubject", "nosubject", "署名が件名を含みません"},
    {"added", "subject-added", "件名の欄が正しくありません"},
    {"testing", "testing", "鍵が試験用です"},
    {"short", "short", "鍵が短すぎます"},
    {"arforged", "ar-forged", "署名がありません"},
    {"arbelow", "ar-below", "署名がありません"},
    {"artrusted", "ar-trusted", nullptr},
};

// Requests that switch the alerts, signed or not (made with the mails above).
const char* const kArmCases[] = {"arm:armer@example.com:rsa:cap arm",
                                 "disarm:armer@example.com:rsa:cap disarm",
                                 "forged:armer@example.com:unsigned:cap disarm"};

std::string AddressOf(const Case& c) {
    return std::string(c.name) + "@example.com";
}

// Signed mails and the zone, made once for all tests of this program.
struct SignedMails {
    SignedMails() {
        std::vector<std::string> argv = {SystemPython(),
                                         TestSourceDir() + "/peers/signed_mail.py",
                                         dir.folder()};
        for (const Case& c : kCases)
            argv.push_back(std::string(c.name) + ":" + AddressOf(c) + ":" + c.how);
        argv.insert(argv.end(), std::begin(kArmCases), std::end(kArmCases));
        CommandOutput(argv);
        for (const Case& c : kCases)
            mails.push_back(TempDir::ReadFile(dir.path() / (std::string(c.name) + ".eml")));
        for (const char* name : {"arm", "disarm", "forged"})
            arming[name] = TempDir::ReadFile(dir.path() / (std::string(name) + ".eml"));
    }
    std::filesystem::path Zone() const { return dir.path() / "zone.txt"; }

    TempDir dir;
    std::vector<std::string> mails;
    std::map<std::string, std::string> arming;
};

const SignedMails& Signed() {
    static const SignedMails mails;
    return mails;
}

// The DNS server of the test, named to the program through the environment.
struct DnsPeer {
    DnsPeer()
        : process({SystemPython(), TestSourceDir() + "/peers/dns_peer.py",
                   Signed().Zone().string()}) {
        const std::string server = "127.0.0.1:" + std::to_string(process.port());
        setenv(CDnsResolver::kServerVariable, server.c_str(), 1);
    }
    void SetSilent(bool silent) {
        const std::string flag = Signed().Zone().string() + ".silent";
        if (silent)
            std::ofstream(flag).put('\n');
        else
            std::filesystem::remove(flag);
    }
    ~DnsPeer() { SetSilent(false); }
    PeerProcess process;
};

struct Rig {
    Rig(ReceiveProtocol protocol, std::vector<std::string> messages)
        : dovecot("camera", "secret", messages,
                  {.imap = protocol == ReceiveProtocol::Imap}),
          smtp({.authUser = "camera", .authPassword = "secret"}) {
        settings.receiveProtocol = protocol;
        settings.pop3Server = settings.imapServer = settings.smtpServer = "127.0.0.1";
        settings.pop3Port = settings.imapPort = dovecot.port();
        settings.pop3Id = "camera";
        settings.pop3Pass = "secret";
        settings.smtpPort = smtp.port();
        settings.senderAddress = "camera@example.com";
        settings.senderCheck = SenderCheck::Dkim;
        settings.trustedAuthservId = "mx.trusted.test";
        service.SetStateFolder(home.folder());
    }
    std::vector<std::string> Recipients(std::size_t expected) {
        std::vector<std::string> recipients;
        for (const ReceivedMail& mail : smtp.WaitForMessages(expected))
            recipients.insert(recipients.end(), mail.recipients.begin(), mail.recipients.end());
        std::sort(recipients.begin(), recipients.end());
        return recipients;
    }
    std::string Log() const { return activity.text(); }

    DnsPeer dns;
    TempDir home;
    AppSettings app;
    FixedClock clock{{2026, 12, 7, 1, 9, 30, 0}};
    ActivityLog activity{app, home.folder(), clock};
    CActivityLogAdapter log{activity};
    ServiceFlags flags;
    TestPatternCamera camera{flags};
    DovecotPeer dovecot;
    SmtpPeer smtp;
    MailSettings settings;
    CMailService service{settings,          flags,   log,
                         camera.pictures(), clock,   nullptr,
                         static_cast<uint16_t>(UnusedLoopbackPort())};
};

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(SenderCheck, OnlyVerifiedAlignedOrTrustedRequestsAreAnsweredOverPop3AndImap) {
    for (const ReceiveProtocol protocol : {ReceiveProtocol::Pop3, ReceiveProtocol::Imap}) {
        SCOPED_TRACE(protocol == ReceiveProtocol::Imap ? "IMAP" : "POP3");
        Rig rig(protocol, Signed().mails);
        std::vector<std::string> answered, kept;
        for (std::size_t i = 0; i < std::size(kCases); ++i)
            (kCases[i].refusal ? kept : answered).push_back(Signed().mails[i]);
        std::vector<std::string> expected;
        for (const Case& c : kCases) {
            if (!c.refusal)
                expected.push_back(AddressOf(c));
        }
        std::sort(expected.begin(), expected.end());

        EXPECT_EQ(rig.service.CheckMail(rig.settings), 1) << rig.Log();
        EXPECT_EQ(rig.Recipients(expected.size()), expected) << rig.Log();
        EXPECT_EQ(rig.dovecot.Messages(), kept);
        for (const Case& c : kCases) {
            if (!c.refusal)
                continue;
            SCOPED_TRACE(c.name);
            EXPECT_EQ(Count(rig.Log(), "差出人を確認できないため答えません: " + AddressOf(c) +
                                           "（" + c.refusal + "）"),
                      1u)
                << rig.Log();
        }
        EXPECT_EQ(Count(rig.Log(), "差出人の確認: "), 1u); // what to do, said once

        // Refused requests were judged: the next check neither answers nor says them again.
        EXPECT_EQ(rig.service.CheckMail(rig.settings), 1) << rig.Log();
        EXPECT_EQ(rig.smtp.Messages().size(), expected.size());
        EXPECT_EQ(Count(rig.Log(), "差出人を確認できないため答えません: "), kept.size());
    }
}

TEST(SenderCheck, SilentDnsIsNoVerdictAndTheRequestIsAnsweredOnceDnsAnswers) {
    Rig rig(ReceiveProtocol::Pop3, {Signed().mails[0]});
    rig.dns.SetSilent(true);
    EXPECT_EQ(rig.service.CheckMail(rig.settings), 1) << rig.Log();
    EXPECT_TRUE(rig.smtp.Messages().empty());
    EXPECT_EQ(Count(rig.Log(), "差出人を確認できません（次のチェックで再確認）: rsa@example.com"
                               "（DNSが応答しません）"),
              1u)
        << rig.Log();
    EXPECT_EQ(rig.dovecot.MessageCount(), 1);
    EXPECT_EQ(rig.service.FaultState(), "エラー: DNS");

    rig.dns.SetSilent(false);
    EXPECT_EQ(rig.service.CheckMail(rig.settings), 1) << rig.Log();
    EXPECT_EQ(rig.Recipients(1), std::vector<std::string>{"rsa@example.com"}) << rig.Log();
    EXPECT_EQ(rig.dovecot.MessageCount(), 0);
    EXPECT_EQ(rig.service.FaultState(), "");
    EXPECT_EQ(Count(rig.Log(), "DNSが再び応答しました"), 1u) << rig.Log();
}

TEST(SenderCheck, OffAnswersAnUnsignedRequestAsBefore) {
    Rig rig(ReceiveProtocol::Pop3, {Signed().mails[3]});
    rig.settings.senderCheck = SenderCheck::Off;
    EXPECT_EQ(rig.service.CheckMail(rig.settings), 1) << rig.Log();
    EXPECT_EQ(rig.Recipients(1), std::vector<std::string>{"unsigned@example.com"});
}

// Only a proven sender switches the alerts; with the check off the switch is refused in the
// reply and the log, whatever the From says.
TEST(SenderCheck, OnlyAVerifiedRequestSwitchesTheAlerts) {
    struct ArmCase {
        const char* mail;
        bool check;
        std::optional<bool> switched; // what the switch was told; nullopt: not called
        const char* replyHas;         // nullptr: no reply at all
        const char* logHas;
    };
    const ArmCase cases[] = {
        {"arm", true, true, "警戒を始めました", "送信完了"},
        {"disarm", true, false, "警戒を解除しました", "送信完了"},
        {"forged", true, std::nullopt, nullptr, "差出人を確認できないため答えません"},
        {"forged", false, std::nullopt, "差出人を確認できるとき", "警戒の切り替えを断りました"},
    };
    std::size_t replies = 0;
    TempDir decoded;
    for (const ArmCase& c : cases) {
        SCOPED_TRACE(std::string(c.mail) + (c.check ? " checked" : " unchecked"));
        Rig rig(ReceiveProtocol::Pop3, {Signed().arming.at(c.mail)});
        rig.settings.senderCheck = c.check ? SenderCheck::Dkim : SenderCheck::Off;
        std::optional<bool> switched;
        rig.service.SetArmSwitch([&](bool armed, const std::string&) { switched = armed; });
        EXPECT_EQ(rig.service.CheckMail(rig.settings), 1) << rig.Log();
        EXPECT_EQ(switched, c.switched);
        EXPECT_NE(rig.Log().find(c.logHas), std::string::npos) << rig.Log();
        if (!c.replyHas) {
            EXPECT_TRUE(rig.smtp.Messages().empty());
            continue;
        }
        const auto mails = rig.smtp.WaitForMessages(1);
        ASSERT_EQ(mails.size(), 1u);
        const DecodedMail mail =
            SmtpPeer::DecodeMail(mails[0].file, DecodeFolder(decoded, std::to_string(++replies)));
        ASSERT_EQ(mail.texts.size(), 1u);
        EXPECT_NE(mail.texts[0].find(c.replyHas), std::string::npos) << mail.texts[0];
        EXPECT_TRUE(mail.attachments.empty());
    }
}
