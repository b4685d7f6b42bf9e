#pragma once
// Starts a test peer (a real server such as dovecot or aiosmtpd, usually through a small
// Python launcher in tests/peers/) as a child process and stops it again. The peer announces
// itself by printing a line "READY <port>" (or "READY <port> <port2>") on standard output.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class PeerProcess {
public:
    // Starts argv and waits up to `timeout` for the READY line. Throws std::runtime_error
    // with the peer's output when it does not come.
    explicit PeerProcess(std::vector<std::string> argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));
    ~PeerProcess(); // ends the peer's whole process group
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // The numbers after READY.
    const std::vector<int>& ports() const { return m_ports; }
    int port(size_t i = 0) const { return m_ports.at(i); }
    // Everything the peer printed to stdout after READY, read so far (non-blocking).
    std::string Output();
    void Stop();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::vector<int> m_ports;
    std::string m_rest;
};

// The source folder of the tests, for finding tests/peers/*.py.
std::string TestSourceDir();
// The Python of the system, which has the Debian-packaged aiosmtpd.
std::string SystemPython();
// Runs argv to its end (no shell in between) and returns what it printed on standard output.
// Throws std::runtime_error when it cannot be started.
std::string CommandOutput(const std::vector<std::string>& argv);
