#include "tests/support/PeerProcess.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef KM_TEST_SOURCE_DIR
#define KM_TEST_SOURCE_DIR "."
#endif

std::string TestSourceDir() { return KM_TEST_SOURCE_DIR; }
std::string SystemPython() { return "/usr/bin/python3"; }

namespace {

struct PipeCloser {
    void operator()(std::FILE* f) const { ::pclose(f); }
};

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

std::string CommandOutput(const std::vector<std::string>& argv) {
    std::string command;
    for (const auto& arg : argv)
        command += (command.empty() ? "" : " ") + ShellQuote(arg);
    std::unique_ptr<std::FILE, PipeCloser> pipe(::popen(command.c_str(), "r"));
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::string output;
    std::array<char, 4096> chunk;
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe.get())) > 0;)
        output.append(chunk.data(), n);
    return output;
}

PeerProcess::PeerProcess(std::vector<std::string> argv, std::chrono::milliseconds timeout) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork");
    if (m_pid == 0) {
        ::setpgid(0, 0);
        // A test that dies (a sanitizer's report, a time-out) takes its peers with it: a peer
        // left behind would hold CTest's output pipe open until the test's time limit.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::setpgid(m_pid, m_pid);
    ::close(pipeFds[1]);
    m_out = pipeFds[0];

    std::string seen;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (auto pos = seen.find("READY"); pos != std::string::npos) {
            if (auto eol = seen.find('\n', pos); eol != std::string::npos) {
                std::istringstream words(seen.substr(pos + 5, eol - pos - 5));
                int p;
                while (words >> p)
                    m_ports.push_back(p);
                m_rest = seen.substr(eol + 1);
                break;
            }
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{m_out, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            Stop();
            throw std::runtime_error("peer did not start: " + argv[0] + "\n" + seen);
        }
        char chunk[4096];
        ssize_t n = ::read(m_out, chunk, sizeof chunk);
        if (n <= 0) {
            Stop();
            throw std::runtime_error("peer ended before it was ready: " + argv[0] + "\n" + seen);
        }
        seen.append(chunk, static_cast<size_t>(n));
    }
    ::fcntl(m_out, F_SETFL, O_NONBLOCK);
}

PeerProcess::~PeerProcess() { Stop(); }

std::string PeerProcess::Output() {
    char chunk[4096];
    ssize_t n;
    while (m_out >= 0 && (n = ::read(m_out, chunk, sizeof chunk)) > 0)
        m_rest.append(chunk, static_cast<size_t>(n));
    return m_rest;
}

void PeerProcess::Stop() {
    if (m_pid > 0) {
        ::kill(-m_pid, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            ::usleep(100 * 1000);
        }
        if (m_pid > 0) {
            ::kill(-m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    if (m_out >= 0)
        ::close(m_out);
    m_out = -1;
}
