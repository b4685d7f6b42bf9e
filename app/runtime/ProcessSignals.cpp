#include "app/runtime/ProcessSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1}; // [0] read by the event loop, [1] written by the handler

void OnSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &byte, 1);
}

} // namespace

CProcessSignals::CProcessSignals(std::function<void()> onQuit, std::function<void()> onReload,
                                 QObject* parent)
    : QObject(parent), m_onQuit(std::move(onQuit)), m_onReload(std::move(onReload)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        bool quit = false;
        bool reload = false;
        char bytes[16];
        ssize_t n;
        while ((n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                quit = quit || bytes[i] != SIGHUP;
                reload = reload || bytes[i] == SIGHUP;
            }
        }
        // A quit wins over a reload that came with it.
        if (quit && m_onQuit)
            m_onQuit();
        else if (reload && m_onReload)
            m_onReload();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    if (m_onReload)
        ::sigaction(SIGHUP, &action, nullptr);
}

CProcessSignals::~CProcessSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    if (m_onReload)
        std::signal(SIGHUP, SIG_DFL);
    m_notifier.reset();
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
