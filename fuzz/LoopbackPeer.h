#pragma once
// A server on 127.0.0.1 that answers a client under test with bytes chosen by the fuzzer, for
// the targets that drive the real protocol clients over a real socket. One listening socket
// serves the whole fuzzing run; every input gets one connection, served on a thread of its own.
//
// Two ways of answering:
// - Stream: everything at once, then end of stream (shutdown of the write side). For clients
//   that see an end of stream at once (the SMTP session).
// - PerCommand: the first reply on connect, then one reply after every command line. A reply
//   that lacks the terminator the client waits for gets it appended, so no input makes the
//   client wait out its inactivity limit (the POP3 client treats an end of stream as silence).

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fuzzpeer {

// The terminator a reply to command needs so that the client stops reading.
using TerminatorFor = std::string_view (*)(std::string_view command);

class Listener {
public:
    static Listener& Instance() {
        static Listener listener;
        return listener;
    }
    int fd() const { return m_fd; }
    int port() const { return m_port; }

private:
    Listener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_fd, 16) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("fuzz peer listener");
            std::abort();
        }
        m_port = ntohs(address.sin_port);
    }
    int m_fd = -1;
    int m_port = 0;
};

// Serves one connection; the destructor waits for the serving thread.
class Session {
public:
    // Stream: replies are sent back to back at once, then the write side is shut.
    static Session Stream(std::string bytes) { return Session({std::move(bytes)}, {}, nullptr); }
    // PerCommand: replies[0] on connect, replies[i] after the i-th command line; fallback
    // after the replies run out.
    static Session PerCommand(std::vector<std::string> replies, std::string fallback,
                              TerminatorFor terminator) {
        return Session(std::move(replies), std::move(fallback), terminator);
    }

    Session(Session&& other) = default;
    ~Session() {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    Session(std::vector<std::string> replies, std::string fallback, TerminatorFor terminator)
        : m_thread([replies = std::move(replies), fallback = std::move(fallback), terminator] {
              Serve(replies, fallback, terminator);
          }) {}

    static bool SendAll(int fd, std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // Reads up to one line (through its LF) into line; false at end of stream or after 5 s of
    // silence, which only a broken client would cause.
    static bool ReadLine(int fd, std::string& pending, std::string& line) {
        for (;;) {
            size_t lf = pending.find('\n');
            if (lf != std::string::npos) {
                line = pending.substr(0, lf + 1);
                pending.erase(0, lf + 1);
                return true;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return false;
            char chunk[4096];
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            pending.append(chunk, static_cast<size_t>(n));
        }
    }

    static std::string WithTerminator(std::string reply, std::string_view terminator) {
        if (reply.find(terminator) == std::string::npos)
            reply += terminator;
        return reply;
    }

    static void Serve(const std::vector<std::string>& replies, const std::string& fallback,
                      TerminatorFor terminator) {
        pollfd p{Listener::Instance().fd(), POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return; // the client never connected
        int fd = ::accept4(Listener::Instance().fd(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        std::string pending, line;
        if (!terminator) {
            if (SendAll(fd, replies[0]))
                ::shutdown(fd, SHUT_WR);
            while (ReadLine(fd, pending, line)) {
            }
        } else {
            size_t next = 0;
            std::string command; // the greeting answers no command
            for (;;) {
                const std::string& reply = next < replies.size() ? replies[next] : fallback;
                ++next;
                if (!SendAll(fd, WithTerminator(reply, terminator(command))))
                    break;
                if (!ReadLine(fd, pending, line))
                    break;
                command = line;
            }
        }
        ::close(fd);
    }

    std::thread m_thread;
};

} // namespace fuzzpeer
