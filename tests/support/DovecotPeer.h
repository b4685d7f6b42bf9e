#pragma once
// A real dovecot POP3 or IMAP server on a free loopback port, with one account and a Maildir
// prepared in a temporary folder (tests/peers/dovecot_peer.py does the work). Stopped on
// destruction.
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
//
//   DovecotPeer imap("user", "secret", {message1}, {.imap = true});
//   ...                                  // a client logs in, SELECTs INBOX and IDLEs
//   imap.AddMessage(message2);           // it hears "* 2 EXISTS" within a second
//   imap.DropConnections();              // every logged-in session ends with "* BYE"
//   EXPECT_EQ(imap.MessageFlags(), (std::vector<std::string>{"", ""})); // nothing marked \Seen
//
//   DovecotPeer plain("user", "secret", {}, {.imap = true, .noIdle = true}); // no IDLE announced

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
        bool implicitTls = false; // TLS from the first byte (POP3S, IMAPS), not STLS/STARTTLS
        bool apop = false;        // offer APOP besides USER/PASS and AUTH PLAIN (POP3 only)
        // IMAP instead of POP3: LOGIN and AUTHENTICATE PLAIN, with or without TLS; IDLE tells
        // an idling client about an added message within about half a second.
        bool imap = false;
        // IMAP without IDLE among the capabilities. dovecot still accepts an IDLE command.
        bool noIdle = false;
        // OAuth 2.0 log-ins (XOAUTH2, OAUTHBEARER) checked with this introspection endpoint
        // (OAuthPeer::IntrospectionUrl) whose certificate oauthCa issued; the password then
        // does not log in.
        std::string oauthIntrospect{};
        std::filesystem::path oauthCa{};
        std::string oauthMechanisms{}; // e.g. "xoauth2"; empty: XOAUTH2 and OAUTHBEARER
    };

    // One log-in as dovecot's auth process saw it.
    struct LoginAttempt {
        // "PLAIN" for USER/PASS, AUTH PLAIN, IMAP LOGIN and AUTHENTICATE PLAIN; "APOP" for APOP
        std::string mechanism;
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
    // True when a log-in carried the password itself (any but APOP), not a digest.
    bool SawPassword() const;

    // Adds a message after the ones already there; visible from the next log-in on.
    void AddMessage(const std::string& bytes);
    // Number of messages in the Maildir (files in new/ and cur/).
    int MessageCount() const;
    // The messages in the Maildir, in mailbox order (as dovecot numbers them at a new log-in).
    std::vector<std::string> Messages() const;
    // Per message in mailbox order, the Maildir flags of its file: the letters after ":2,"
    // ("S" \Seen, "R" \Answered, "F" \Flagged, "T" \Deleted, "D" \Draft), "" for none and for
    // a message still in new/. A client that only peeks (BODY.PEEK) leaves them all "".
    std::vector<std::string> MessageFlags() const;

    // Ends every logged-in session from the server's side (IMAP says "* BYE", POP3 "-ERR"; no
    // POP3 deletions are committed) and returns once they are closed. The server keeps running:
    // new connections are accepted and the messages stay. A connection still before its
    // log-in is left alone.
    void DropConnections();

private:
    std::vector<std::filesystem::path> MessageFiles() const;
    std::string Doveadm(const std::vector<std::string>& args) const;

    TempDir m_dir;
    std::string m_user;
    std::unique_ptr<PeerProcess> m_process;
    int m_added = 0;
};
