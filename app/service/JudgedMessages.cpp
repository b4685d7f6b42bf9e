#include "app/service/JudgedMessages.h"

#include "base/AtomicFile.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace {

constexpr const char* kHeader = "KestrovaMail judged messages 1";

// FNV-1a, 64 bits: a stable name and fingerprint, not a secret.
uint64_t Fnv1a(const std::string& text) {
    uint64_t hash = 1469598103934665603ULL;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string Hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// An id as RFC 1939 allows it: 1 to 70 printable characters without blanks.
bool IsUid(const std::string& uid) {
    if (uid.empty() || uid.size() > 70)
        return false;
    for (unsigned char c : uid)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

} // namespace

CJudgedMessages::Identity CJudgedMessages::IdentityOf(const std::string& folder,
                                                      const MailSettings& settings) {
    // IMAP ids (UIDVALIDITY.UID) live in a file of their own.
    const std::string account =
        settings.receiveProtocol == ReceiveProtocol::Imap
            ? "imap:" + settings.pop3Id + "@" + settings.imapServer + ":" +
                  std::to_string(settings.imapPort)
            : settings.pop3Id + "@" + settings.pop3Server + ":" + std::to_string(settings.pop3Port);
    std::string rules = account + "\n" + settings.checkString;
    for (const std::string& address : settings.sendAddresses)
        rules += "\n" + address;
    return {folder + "judged-" + Hex(Fnv1a(account)) + ".txt", Hex(Fnv1a(rules))};
}

bool CJudgedMessages::Serves(const std::string& folder, const MailSettings& settings) const {
    const Identity identity = IdentityOf(folder, settings);
    return identity.path == m_path && identity.fingerprint == m_fingerprint;
}

CJudgedMessages::CJudgedMessages(const std::string& folder, const MailSettings& settings) {
    Identity identity = IdentityOf(folder, settings);
    m_path = std::move(identity.path);
    m_fingerprint = std::move(identity.fingerprint);

    std::ifstream in(m_path, std::ios::binary);
    std::string header, fingerprint;
    if (!std::getline(in, header) || header != kHeader || !std::getline(in, fingerprint) ||
        fingerprint != m_fingerprint) {
        m_changed = in.is_open(); // a stale or damaged file is rewritten at the next save
        return;
    }
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string uid;
        uint32_t size = 0;
        if (fields >> uid >> size && IsUid(uid))
            m_sizes[uid] = size;
    }
}

bool CJudgedMessages::Contains(const std::string& uid, uint32_t size) const {
    const auto it = m_sizes.find(uid);
    return it != m_sizes.end() && it->second == size;
}

void CJudgedMessages::Add(const std::string& uid, uint32_t size) {
    if (!IsUid(uid))
        return;
    m_sizes.insert_or_assign(uid, size);
    m_changed = true;
}

void CJudgedMessages::KeepOnly(const std::vector<std::string>& uids) {
    const std::set<std::string> listed(uids.begin(), uids.end());
    for (auto it = m_sizes.begin(); it != m_sizes.end();) {
        if (listed.count(it->first) == 0) {
            it = m_sizes.erase(it);
            m_changed = true;
        } else {
            ++it;
        }
    }
}

bool CJudgedMessages::Save() {
    if (!m_changed)
        return true;
    std::string text = std::string(kHeader) + "\n" + m_fingerprint + "\n";
    for (const auto& [uid, size] : m_sizes)
        text += uid + " " + std::to_string(size) + "\n";
    if (!ReplaceFileContents(m_path, text, &m_lastError))
        return false; // still changed: the next save tries again
    m_lastError = 0;
    m_changed = false;
    return true;
}
