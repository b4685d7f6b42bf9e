#include "tests/support/TestCertificates.h"

#include "tests/support/PeerProcess.h"

#include <cerrno>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

TestCertificates::TestCertificates() {
    std::vector<std::string> argv{SystemPython(), TestSourceDir() + "/peers/make_certs.py",
                                  m_dir.path().string()};
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);

    // No shell in between: the folder name goes to the script as it is. Its errors reach the
    // test's own stderr.
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork");
    if (pid == 0) {
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("waitpid");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("make_certs.py failed");
}

const TestCertificates& TestCertificates::Shared() {
    static const TestCertificates certificates;
    return certificates;
}
