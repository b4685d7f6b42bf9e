#include "tests/support/KeyringPeer.h"

#include <cstdlib>

namespace {

constexpr const char* kLogin = "['/org/freedesktop/secrets/collection/login']";

std::string ServiceCall(const char* method, const char* argument) {
    return CommandOutput({"gdbus", "call", "--session", "--dest", "org.freedesktop.secrets",
                          "--object-path", "/org/freedesktop/secrets", "--method",
                          std::string("org.freedesktop.Secret.Service.") + method, argument});
}

} // namespace

KeyringPeer::KeyringPeer() {
    m_peer = std::make_unique<PeerProcess>(std::vector<std::string>{
        SystemPython(), TestSourceDir() + "/peers/keyring_peer.py", m_folder.path().string()});
    m_address = TempDir::ReadFile(m_folder.path() / "bus");
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        m_hadAddress = true;
        m_oldAddress = old;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
}

KeyringPeer::~KeyringPeer() {
    if (m_hadAddress)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", m_oldAddress.c_str(), 1);
    else
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

void KeyringPeer::Lock() {
    ServiceCall("Lock", kLogin);
}
