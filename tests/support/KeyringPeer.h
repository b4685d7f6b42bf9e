#pragma once
// A private desktop keyring for a test: tests/peers/keyring_peer.py's D-Bus session with
// gnome-keyring on it, the login keyring unlocked. While the object lives, the process's
// DBUS_SESSION_BUS_ADDRESS names that bus (the program under test, and children it starts,
// find the keyring there); without gnome-keyring on the machine the constructor throws.
// libsecret keeps one connection a process: one keyring per test process.

#include "tests/support/PeerProcess.h"
#include "tests/support/TempDir.h"

#include <memory>
#include <string>

class KeyringPeer {
public:
    KeyringPeer();
    ~KeyringPeer();
    KeyringPeer(const KeyringPeer&) = delete;
    KeyringPeer& operator=(const KeyringPeer&) = delete;

    const std::string& address() const { return m_address; }
    // Locks the login keyring (as the desktop's screen lock or a log-out would).
    void Lock();

private:
    TempDir m_folder;
    std::unique_ptr<PeerProcess> m_peer;
    std::string m_address;
    std::string m_oldAddress;
    bool m_hadAddress = false;
};
