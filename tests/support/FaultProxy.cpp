#include "tests/support/FaultProxy.h"

#include "tests/support/LoopbackListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

struct FaultProxy::Pair {
    int client = -1;
    int server = -1;
    int lines = 0;       // complete client lines seen
    std::string line;    // the client line being collected
    bool silent = false; // StopAnswering struck: drop everything
};

namespace {

bool StartsWithNoCase(std::string_view line, std::string_view prefix) {
    if (line.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(line[i]) != lower(prefix[i]))
            return false;
    }
    return true;
}

bool SendAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
    fd = -1;
}

int ConnectLoopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

} // namespace

FaultProxy::Trigger FaultProxy::AfterLine(int lineNumber) {
    return [lineNumber](int number, const std::string&) { return number == lineNumber; };
}

FaultProxy::Trigger FaultProxy::AtCommand(std::string prefix, int occurrence) {
    // Counted per proxy and arming, which is per connection in every test that uses it.
    auto seen = std::make_shared<int>(0);
    return [prefix = std::move(prefix), occurrence, seen](int number, const std::string& line) {
        return number > 0 && StartsWithNoCase(line, prefix) && ++*seen == occurrence;
    };
}

FaultProxy::Trigger FaultProxy::LinesAfter(std::string prefix, int count) {
    auto at = std::make_shared<int>(-1);
    return [prefix = std::move(prefix), count, at](int number, const std::string& line) {
        if (*at < 0 && number > 0 && StartsWithNoCase(line, prefix)) {
            *at = number;
            return false;
        }
        return *at >= 0 && number == *at + count;
    };
}

FaultProxy::FaultProxy(int targetPort) : m_targetPort(targetPort) {
    m_listen = ListenOnLoopback(16, m_port);
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        ::close(m_listen);
        throw std::runtime_error("fault proxy: no pipe");
    }
    m_thread = std::thread([this] { Run(); });
}

FaultProxy::~FaultProxy() {
    char byte = 0;
    while (::write(m_wake[1], &byte, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    ::close(m_listen);
}

void FaultProxy::Arm(Action action, Trigger trigger) {
    std::lock_guard lock(m_mutex);
    m_armed = true;
    m_action = action;
    m_trigger = std::move(trigger);
}

void FaultProxy::Heal() {
    std::lock_guard lock(m_mutex);
    m_armed = false;
    m_trigger = nullptr;
}

void FaultProxy::ReplaceInReplies(std::string word, std::string replacement) {
    std::lock_guard lock(m_mutex);
    m_replacements.emplace_back(std::move(word), std::move(replacement));
}

std::string FaultProxy::ClientBytes() const {
    std::lock_guard lock(m_mutex);
    return m_clientBytes;
}

int FaultProxy::Strikes() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_struckAt.size());
}

std::vector<std::string> FaultProxy::StruckAt() const {
    std::lock_guard lock(m_mutex);
    return m_struckAt;
}

bool FaultProxy::Strike(Pair& pair, int lineNumber, const std::string& line) {
    Action action;
    {
        std::lock_guard lock(m_mutex);
        if (!m_armed || !m_trigger || !m_trigger(lineNumber, line))
            return false;
        action = m_action;
        m_struckAt.push_back(lineNumber == 0 ? "<connect>" : line);
    }
    if (action == Action::Cut) {
        CloseFd(pair.client);
        CloseFd(pair.server);
    } else {
        pair.silent = true;
    }
    return true;
}

void FaultProxy::Accept(std::vector<Pair>& pairs) {
    int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    ++m_connections;
    Pair pair;
    pair.client = client;
    pair.server = ConnectLoopback(m_targetPort);
    if (pair.server < 0) {
        CloseFd(pair.client);
        return;
    }
    Strike(pair, 0, {});
    if (pair.client >= 0)
        pairs.push_back(std::move(pair));
}

bool FaultProxy::ForwardFromClient(Pair& pair) {
    char buffer[16384];
    ssize_t n = ::recv(pair.client, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    if (n <= 0)
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_clientBytes.append(buffer, static_cast<size_t>(n));
    }
    if (pair.silent)
        return true;
    // Forward line by line, so that a fault strikes right after its line.
    size_t from = 0;
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        if (buffer[i] != '\n') {
            pair.line += buffer[i];
            continue;
        }
        if (!SendAll(pair.server, buffer + from, i + 1 - from))
            return false;
        from = i + 1;
        std::string line = std::move(pair.line);
        pair.line.clear();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (Strike(pair, ++pair.lines, line))
            return pair.silent; // a cut pair is finished, a silenced one stays open
    }
    return SendAll(pair.server, buffer + from, static_cast<size_t>(n) - from);
}

bool FaultProxy::ForwardFromServer(Pair& pair) {
    char buffer[16384];
    ssize_t n = ::recv(pair.server, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    if (n <= 0)
        return false;
    if (pair.silent)
        return true;
    std::string bytes(buffer, static_cast<size_t>(n));
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [word, replacement] : m_replacements) {
            for (size_t at = bytes.find(word); at != std::string::npos;
                 at = bytes.find(word, at + replacement.size()))
                bytes.replace(at, word.size(), replacement);
        }
    }
    return SendAll(pair.client, bytes.data(), bytes.size());
}

void FaultProxy::Run() {
    std::vector<Pair> pairs;
    for (;;) {
        std::vector<pollfd> fds = {{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        for (const Pair& pair : pairs) {
            fds.push_back({pair.client, POLLIN, 0});
            // A silenced server is not read from either: it may talk, nobody listens.
            fds.push_back({pair.silent ? -1 : pair.server, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN)
            Accept(pairs);
        for (size_t i = 0; i < pairs.size() && 2 + 2 * i + 1 < fds.size(); ++i) {
            Pair& pair = pairs[i];
            bool open = true;
            if (fds[2 + 2 * i].revents)
                open = ForwardFromClient(pair);
            if (open && pair.server >= 0 && fds[2 + 2 * i + 1].revents)
                open = ForwardFromServer(pair);
            if (!open) {
                CloseFd(pair.client);
                CloseFd(pair.server);
            }
        }
        std::erase_if(pairs, [](const Pair& pair) { return pair.client < 0; });
    }
    for (Pair& pair : pairs) {
        CloseFd(pair.client);
        CloseFd(pair.server);
    }
}
