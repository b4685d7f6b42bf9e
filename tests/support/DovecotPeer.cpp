#include "tests/support/DovecotPeer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <pwd.h>
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
                         const std::vector<std::string>& messages) {
    const fs::path seed = m_dir.path() / "seed";
    fs::create_directory(seed);
    for (size_t i = 0; i < messages.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%06zu.eml", i);
        TempDir::WriteFile(seed / name, messages[i]);
    }
    const fs::path work = m_dir.path() / "dovecot";
    fs::create_directory(work);
    m_process = std::make_unique<PeerProcess>(
        std::vector<std::string>{SystemPython(), TestSourceDir() + "/peers/dovecot_peer.py",
                                 work.string(), user, password, seed.string()});
}

DovecotPeer::~DovecotPeer() {
    m_process.reset();
}

std::string DovecotPeer::Log() const {
    std::error_code ec;
    const fs::path log = m_dir.path() / "dovecot" / "dovecot.log";
    return fs::exists(log, ec) ? TempDir::ReadFile(log) : std::string();
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

std::vector<std::string> DovecotPeer::Messages() const {
    const fs::path maildir = m_dir.path() / "dovecot" / "Maildir";
    std::vector<fs::path> files;
    for (const char* sub : {"new", "cur"})
        for (const auto& entry : fs::directory_iterator(maildir / sub))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return BaseName(a) < BaseName(b); });
    std::vector<std::string> messages;
    for (const auto& file : files)
        messages.push_back(TempDir::ReadFile(file));
    return messages;
}

int DovecotPeer::MessageCount() const {
    return static_cast<int>(Messages().size());
}
