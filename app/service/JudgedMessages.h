#pragma once
// The messages of one mailbox (POP3, or IMAP) already judged not to be picture requests,
// remembered by their unique ids (UIDL, or IMAP's UIDVALIDITY and UID) so that a check cycle
// reads only what is new. Kept across runs in a small file in the program folder, one per account and server ("judged-<hash>.txt"), replaced
// atomically.
//
// Nothing here can cost a request: the ids are kept with the message size (a server that gives
// a deleted message's id to a new one rarely gives it the same size) and with a fingerprint of
// what the judgement depended on (check string, allowed senders): when those change, or the
// file is missing or damaged, every message is judged again once.
//
// The mail service keeps one of these for the run: when the file cannot be written (a full or
// read-only folder) the ids still serve every later check of the run, and the next save tries
// the file again.

#include "base/Settings.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CJudgedMessages {
public:
    // Loads the file of this account and server from folder (ending in "/"); settings give
    // the account, the server and the judgement's fingerprint.
    CJudgedMessages(const std::string& folder, const MailSettings& settings);

    // True when this record judges for the same account, server and rules as settings would.
    bool Serves(const std::string& folder, const MailSettings& settings) const;

    bool Contains(const std::string& uid, uint32_t size) const;
    void Add(const std::string& uid, uint32_t size);
    // Keeps only the ids the server still lists.
    void KeepOnly(const std::vector<std::string>& uids);
    // Writes the file when anything changed (or when the last save failed). False when it could
    // not be written; lastError() then gives the system's reason.
    bool Save();

    const std::string& path() const { return m_path; }
    int lastError() const { return m_lastError; }

private:
    struct Identity {
        std::string path;
        std::string fingerprint;
    };
    static Identity IdentityOf(const std::string& folder, const MailSettings& settings);

    std::string m_path;
    std::string m_fingerprint;
    std::map<std::string, uint32_t> m_sizes; // uid -> size
    bool m_changed = false;
    int m_lastError = 0;
};
