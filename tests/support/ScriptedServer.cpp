#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 30000;

class Connection {
public:
    explicit Connection(int fd) : m_fd(fd) {}
    ~Connection() { Close(); }
    void Close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool Send(const std::string& bytes) {
        size_t sent = 0;
        while (m_fd >= 0 && sent < bytes.size()) {
            ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
        return sent == bytes.size();
    }
    // Reads one line ending in LF; the CR LF is removed. False on close or time-out.
    bool ReadLine(std::string& line) {
        for (;;) {
            if (auto lf = m_buffer.find('\n'); lf != std::string::npos) {
                line = m_buffer.substr(0, lf);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                m_buffer.erase(0, lf + 1);
                return true;
            }
            if (!Fill(kWaitMs))
                return false;
        }
    }
    // Waits until the peer closes (reading and dropping whatever it sends).
    void WaitForClose() {
        while (Fill(kWaitMs))
            m_buffer.clear();
    }

private:
    bool Fill(int timeoutMs) {
        if (m_fd < 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char chunk[65536];
        ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        m_buffer.append(chunk, static_cast<size_t>(n));
        return true;
    }
    int m_fd;
    std::string m_buffer;
};

} // namespace

ScriptedServer::ScriptedServer(std::vector<std::string> script) : m_script(std::move(script)) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        throw std::runtime_error("socket");
    int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 4) != 0)
        throw std::runtime_error("bind/listen");
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    Finish();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

void ScriptedServer::Finish() {
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<std::string> ScriptedServer::Received() {
    Finish();
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<std::string> ScriptedServer::Data() {
    Finish();
    std::lock_guard lock(m_mutex);
    return m_data;
}

std::string ScriptedServer::Mismatch() {
    Finish();
    std::lock_guard lock(m_mutex);
    return m_mismatch;
}

int ScriptedServer::Connections() {
    std::lock_guard lock(m_mutex);
    return m_connections;
}

void ScriptedServer::Run() {
    auto accept = [this]() -> int {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, kWaitMs) <= 0)
            return -1;
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            std::lock_guard lock(m_mutex);
            ++m_connections;
        }
        return fd;
    };
    auto note = [this](const std::string& what) {
        std::lock_guard lock(m_mutex);
        if (m_mismatch.empty())
            m_mismatch = what;
    };

    int fd = accept();
    if (fd < 0) {
        note("no connection");
        return;
    }
    auto conn = std::make_unique<Connection>(fd);
    for (const std::string& step : m_script) {
        if (step.rfind("S: ", 0) == 0) {
            conn->Send(step.substr(3) + "\r\n");
        } else if (step.rfind("R: ", 0) == 0) {
            conn->Send(step.substr(3));
        } else if (step.rfind("C: ", 0) == 0) {
            std::string line;
            if (!conn->ReadLine(line)) {
                note("expected \"" + step.substr(3) + "\", connection ended");
                return;
            }
            {
                std::lock_guard lock(m_mutex);
                m_received.push_back(line);
            }
            if (step.substr(3) != "*" && line != step.substr(3))
                note("expected \"" + step.substr(3) + "\", got \"" + line + "\"");
        } else if (step == "DATA") {
            std::string line;
            do {
                if (!conn->ReadLine(line)) {
                    note("message data ended early");
                    return;
                }
                std::lock_guard lock(m_mutex);
                m_data.push_back(line);
            } while (line != ".");
        } else if (step.rfind("SLEEP ", 0) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(step.substr(6))));
        } else if (step == "CLOSE") {
            conn->Close();
        } else if (step == "SILENT") {
            conn->WaitForClose();
        } else if (step == "NEXT") {
            conn->Close();
            fd = accept();
            if (fd < 0) {
                note("no further connection");
                return;
            }
            conn = std::make_unique<Connection>(fd);
        } else {
            note("bad script step: " + step);
            return;
        }
    }
}
