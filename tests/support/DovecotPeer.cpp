#include "tests/support/DovecotPeer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Maildir file names begin with the delivery time in seconds; the peer names its files so
// that sorting by name gives the mailbox order. Flags after ":2," do not change the order.
std::string BaseName(const fs::path& file) {
    std::string name = file.filename().string();
    return name.substr(0, name.find(':'));
}

} // namespace

DovecotPeer::DovecotPeer(const std::string& user, const std::string& password,
                         const std::vector<std::string>& messages)
    : DovecotPeer(user, password, messages, Options{}) {}

DovecotPeer::DovecotPeer(const std::string& user, const std::string& password,
                         const std::vector<std::string>& messages, const Options& options)
    : m_user(user) {
    const fs::path seed = m_dir.path() / "seed";
    fs::create_directory(seed);
    for (size_t i = 0; i < messages.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%06zu.eml", i);
        TempDir::WriteFile(seed / name, messages[i]);
    }
    const fs::path work = m_dir.path() / "dovecot";
    fs::create_directory(work);
    std::vector<std::string> argv{SystemPython(), TestSourceDir() + "/peers/dovecot_peer.py",
                                  work.string(),  user,
                                  password,       seed.string()};
    if (!options.tlsCert.empty()) {
        argv.insert(argv.end(),
                    {"--tls-cert", options.tlsCert.string(), "--tls-key", options.tlsKey.string()});
    }
    if (options.implicitTls)
        argv.push_back("--implicit-tls");
    if (options.apop)
        argv.push_back("--apop");
    if (options.imap)
        argv.push_back("--imap");
    if (options.noIdle)
        argv.push_back("--no-idle");
    if (!options.oauthIntrospect.empty()) {
        argv.insert(argv.end(), {"--oauth2-introspect", options.oauthIntrospect, "--oauth2-ca",
                                 options.oauthCa.string()});
        if (!options.oauthMechanisms.empty())
            argv.insert(argv.end(), {"--oauth2-mechanisms", options.oauthMechanisms});
    }
    m_process = std::make_unique<PeerProcess>(argv);
}

DovecotPeer::~DovecotPeer() {
    m_process.reset();
}

std::string DovecotPeer::Log() const {
    std::error_code ec;
    const fs::path log = m_dir.path() / "dovecot" / "dovecot.log";
    return fs::exists(log, ec) ? TempDir::ReadFile(log) : std::string();
}

std::vector<DovecotPeer::LoginAttempt> DovecotPeer::LoginAttempts() const {
    // A client has its answer before dovecot's log process has written the line about it;
    // a log that stayed the same for a while has caught up.
    std::string log = Log();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        std::string again = Log();
        if (again == log)
            break;
        log = std::move(again);
    }

    // With auth_debug every attempt shows as
    // "auth: Debug: client in: AUTH\t<id>\t<mechanism>\tservice=pop3\t[secured[=tls]]\t...".
    std::vector<LoginAttempt> attempts;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find("client in: AUTH\t");
        if (at == std::string::npos)
            continue;
        std::vector<std::string> fields;
        std::istringstream rest(line.substr(at + 11));
        for (std::string field; std::getline(rest, field, '\t');)
            fields.push_back(field);
        if (fields.size() < 3)
            continue;
        LoginAttempt attempt;
        attempt.mechanism = fields[2];
        attempt.tls = std::find(fields.begin(), fields.end(), "secured=tls") != fields.end();
        attempts.push_back(attempt);
    }
    return attempts;
}

bool DovecotPeer::SawPassword() const {
    const auto attempts = LoginAttempts();
    return std::any_of(attempts.begin(), attempts.end(), [](const LoginAttempt& a) {
        return a.mechanism == "PLAIN" || a.mechanism == "LOGIN";
    });
}

void DovecotPeer::AddMessage(const std::string& bytes) {
    const fs::path maildir = m_dir.path() / "dovecot" / "Maildir";
    // A later time than every file the peer wrote keeps the new message last.
    const long seconds = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(
                                               std::chrono::system_clock::now().time_since_epoch())
                                               .count());
    char name[96];
    std::snprintf(name, sizeof name, "%ld.M%06dP%d.kmadded", seconds, ++m_added,
                  static_cast<int>(::getpid()));
    const fs::path tmp = maildir / "tmp" / name;
    TempDir::WriteFile(tmp, bytes);
    if (const passwd* dovecot = ::getpwnam("dovecot"))
        (void)::chown(tmp.c_str(), dovecot->pw_uid, dovecot->pw_gid);
    fs::rename(tmp, maildir / "new" / name);
}

std::vector<fs::path> DovecotPeer::MessageFiles() const {
    const fs::path maildir = m_dir.path() / "dovecot" / "Maildir";
    std::vector<fs::path> files;
    for (const char* sub : {"new", "cur"})
        for (const auto& entry : fs::directory_iterator(maildir / sub))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return BaseName(a) < BaseName(b); });
    return files;
}

std::vector<std::string> DovecotPeer::Messages() const {
    std::vector<std::string> messages;
    for (const auto& file : MessageFiles())
        messages.push_back(TempDir::ReadFile(file));
    return messages;
}

int DovecotPeer::MessageCount() const {
    return static_cast<int>(MessageFiles().size());
}

std::vector<std::string> DovecotPeer::MessageFlags() const {
    std::vector<std::string> flags;
    for (const auto& file : MessageFiles()) {
        const std::string name = file.filename().string();
        const std::size_t info = name.find(":2,");
        flags.push_back(info == std::string::npos ? std::string() : name.substr(info + 3));
    }
    return flags;
}

std::string DovecotPeer::Doveadm(const std::vector<std::string>& args) const {
    // doveadm finds this server's sockets through its config; "timeout" bounds a hung call.
    std::vector<std::string> argv{"timeout", "10", "doveadm", "-c",
                                  (m_dir.path() / "dovecot" / "dovecot.conf").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return CommandOutput(argv);
}

void DovecotPeer::DropConnections() {
    // kick sends each session process of the user SIGTERM (so the peer must run with the right
    // to signal dovecot's processes, as it does as root); a session leaves "who" once its
    // process has closed the connection and ended.
    Doveadm({"kick", m_user});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        std::istringstream sessions(Doveadm({"who", "-1"}));
        bool open = false;
        for (std::string line; std::getline(sessions, line);)
            open = open || line.rfind(m_user + " ", 0) == 0;
        if (!open)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("dovecot kept sessions open after doveadm kick\n" + Log());
}
