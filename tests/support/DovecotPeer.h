#pragma once
// A real dovecot POP3 server on a free loopback port, with one account and a Maildir prepared
// in a temporary folder (tests/peers/dovecot_peer.py does the work). Stopped on destruction.
//
//   DovecotPeer dovecot("user", "secret", {message1, message2});
//   client.LogIn("127.0.0.1", "user", "secret", dovecot.port());
//   dovecot.AddMessage(message3);        // seen at the next log-in
//   EXPECT_EQ(dovecot.MessageCount(), 2); // after a visit that deleted one

#include "tests/support/PeerProcess.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class DovecotPeer {
public:
    // Starts dovecot with the account user/password and the given messages (bytes, one per
    // message, in mailbox order). Throws std::runtime_error when dovecot does not start.
    DovecotPeer(const std::string& user, const std::string& password,
                const std::vector<std::string>& messages = {});
    ~DovecotPeer();
    DovecotPeer(const DovecotPeer&) = delete;
    DovecotPeer& operator=(const DovecotPeer&) = delete;

    int port() const { return m_process->port(); }
    // The Maildir with new/, cur/ and tmp/.
    std::filesystem::path Maildir() const { return m_dir.path() / "Maildir"; }
    // dovecot's log, for failure messages.
    std::string Log() const;

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
