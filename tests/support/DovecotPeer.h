#pragma once
// A real dovecot POP3 server on a free loopback port, with one account and a Maildir prepared
// in a temporary folder (tests/peers/dovecot_peer.py does the work). Stopped on destruction.
//
//   DovecotPeer dovecot("user", "secret", {message1, message2});
//   client.LogIn("127.0.0.1", "user", "secret", dovecot.port());
//   dovecot.AddMessage(message3);        // seen at the next log-in
//   EXPECT_EQ(dovecot.MessageCount(), 2); // after a visit that deleted one
//
//   TestCertificates certs;
//   DovecotPeer pop3s("user", "secret", {}, {.tlsCert = certs.serverCert(),
//                                          .tlsKey = certs.serverKey(), .implicitTls = true});
//   EXPECT_FALSE(pop3s.SawPassword()); // after a client that had to give up before PASS

#include "tests/support/PeerProcess.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class DovecotPeer {
public:
    // Every member has an initializer, so designated initializers may leave out any of them
    // without -Wmissing-field-initializers.
    struct Options {
        // PEM certificate and key; empty: no TLS at all (CAPA then lists no STLS).
        std::filesystem::path tlsCert{};
        std::filesystem::path tlsKey{};
        bool implicitTls = false; // TLS from the first byte (POP3S) instead of STLS
        bool apop = false;        // offer APOP besides USER/PASS and AUTH PLAIN
    };

    // One log-in as dovecot's auth process saw it.
    struct LoginAttempt {
        std::string mechanism; // "PLAIN" for USER/PASS and AUTH PLAIN, "APOP" for APOP
        bool tls = false;
    };

    // Starts dovecot with the account user/password and the given messages (bytes, one per
    // message, in mailbox order). Throws std::runtime_error when dovecot does not start.
    DovecotPeer(const std::string& user, const std::string& password,
                const std::vector<std::string>& messages = {});
    DovecotPeer(const std::string& user, const std::string& password,
                const std::vector<std::string>& messages, const Options& options);
    ~DovecotPeer();
    DovecotPeer(const DovecotPeer&) = delete;
    DovecotPeer& operator=(const DovecotPeer&) = delete;

    int port() const { return m_process->port(); }
    // The Maildir with new/, cur/ and tmp/.
    std::filesystem::path Maildir() const { return m_dir.path() / "Maildir"; }
    // dovecot's log, for failure messages.
    std::string Log() const;

    // The log-ins tried so far, right or wrong. dovecot writes its log through a process of
    // its own, so these first wait until the log has been quiet for a moment.
    std::vector<LoginAttempt> LoginAttempts() const;
    bool SawLoginAttempt() const { return !LoginAttempts().empty(); }
    // True when a log-in carried the password itself (USER/PASS, AUTH PLAIN), not a digest.
    bool SawPassword() const;

    // Adds a message after the ones already there; visible from the next log-in on.
    void AddMessage(const std::string& bytes);
    // Number of messages in the Maildir (files in new/ and cur/).
    int MessageCount() const;
    // The messages in the Maildir, in mailbox order (as dovecot numbers them at a new log-in).
    std::vector<std::string> Messages() const;

private:
    TempDir m_dir;
    std::unique_ptr<PeerProcess> m_process;
    int m_added = 0;
};
