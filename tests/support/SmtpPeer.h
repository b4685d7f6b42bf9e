#pragma once
// A real SMTP server for tests: aiosmtpd started through tests/peers/smtp_peer.py on
// 127.0.0.1. Each message it accepts is saved as <n>.eml in a folder of its own, with the
// envelope in <n>.env (MAIL FROM on the first line, then one RCPT TO per line).
//
//   SmtpPeer peer;                                  // port 0: a free port, no AUTH
//   SmtpPeer peer({.authUser = "u", .authPassword = "p"});   // AUTH LOGIN required
//   SmtpPeer peer({.authUser = "u", .authPassword = "p", .tlsCert = certs.serverCert(),
//                  .tlsKey = certs.serverKey(), .requireTls = true}); // AUTH after STARTTLS
//   SmtpPeer peer({.noEightBitMime = true, .refusedRecipients = {"gone@example.com"}});
//   ... deliver to 127.0.0.1:peer.port() ...
//   auto mails = peer.WaitForMessages(1);           // waits up to 10 s
//
// DecodeMail runs tests/peers/parse_mail.py over a saved message: decoded headers and
// attachments written into a folder.

#include "tests/support/PeerProcess.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct ReceivedMail {
    std::filesystem::path file;           // the raw message as the server received it (CR LF lines)
    std::string sender;                   // MAIL FROM
    std::vector<std::string> recipients;  // RCPT TO, in order
    std::vector<std::string> mailOptions; // MAIL FROM parameters, e.g. "BODY=8BITMIME"
    std::string raw;                      // the file's bytes
};

// What Python's email package read out of a message.
struct DecodedMail {
    std::map<std::string, std::string> headers;     // decoded header values by lower-case name
    std::vector<std::string> partTypes;             // content types of the leaf parts, in order
    std::vector<std::string> texts;                 // decoded text parts (UTF-8)
    std::vector<std::filesystem::path> attachments; // written files, named as in the mail
    std::vector<std::string> defects;               // what policy strict found; empty: none
};

class SmtpPeer {
public:
    // Every member has an initializer, so designated initializers may leave out any of them
    // without -Wmissing-field-initializers.
    struct Options {
        int port = 0;           // 0: a free port
        std::string authUser{}; // empty: no authentication offered
        std::string authPassword{};
        std::string authMechanisms{}; // e.g. "LOGIN"; empty: PLAIN and LOGIN
        // PEM certificate and key; empty: no TLS at all (EHLO then lists no STARTTLS).
        std::filesystem::path tlsCert{};
        std::filesystem::path tlsKey{};
        bool implicitTls = false;    // TLS from the first byte (SMTPS) instead of STARTTLS
        bool noStarttls = false;     // keep the certificate but do not offer STARTTLS
        bool requireTls = false;     // AUTH only after STARTTLS (538 before it)
        bool noEightBitMime = false; // EHLO without 8BITMIME
        bool pipelining = false;     // EHLO with PIPELINING
        std::size_t sizeLimit = 0;   // EHLO with SIZE <limit>, larger messages refused; 0: none
        std::vector<std::string> refusedRecipients{}; // RCPT TO answered with 550
        // OAuth 2.0 log-ins (XOAUTH2, OAUTHBEARER; authMechanisms may name one) for authUser,
        // checked with this introspection endpoint whose certificate oauthCa issued.
        std::string oauthIntrospect{};
        std::filesystem::path oauthCa{};
    };

    // One AUTH command as the server saw it.
    struct AuthAttempt {
        std::string mechanism;
        std::string login;             // empty when it never arrived
        bool passwordReceived = false; // the password reached the server, right or wrong
        bool tls = false;
    };

    // One AUTH or MAIL command and whether its connection was encrypted at the time.
    struct SessionEvent {
        int connection = 0; // numbered from 1 in the order the connections came
        std::string command;
        bool tls = false;
    };

    SmtpPeer() : SmtpPeer(Options{}) {}
    explicit SmtpPeer(const Options& options);

    int port() const { return m_process->port(); }
    const std::filesystem::path& folder() const { return m_folder.path(); }

    // The messages received so far, in the order they arrived.
    std::vector<ReceivedMail> Messages() const;
    // Waits until at least count messages arrived (or the timeout passed) and returns them.
    std::vector<ReceivedMail>
    WaitForMessages(std::size_t count,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // What the server saw; the peer writes these before it answers, so they are never behind
    // a client that has returned.
    std::vector<AuthAttempt> AuthAttempts() const;
    std::vector<SessionEvent> SessionEvents() const;
    bool SawLoginAttempt() const { return !AuthAttempts().empty(); }
    bool SawPassword() const;

    // Parses a message with tests/peers/parse_mail.py; attachments go into outFolder.
    static DecodedMail DecodeMail(const std::filesystem::path& mailFile,
                                  const std::filesystem::path& outFolder);

private:
    TempDir m_folder;
    std::unique_ptr<PeerProcess> m_process;
};
