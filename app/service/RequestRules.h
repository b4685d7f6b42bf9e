#pragma once
// Rules a mail must pass to be answered, each its own step that says why it refused, beside the
// subject, allow-list and sender checks of the check cycle:
//
// - mail sent by a program is not answered (RFC 3834 section 2): Auto-Submitted other than
//   "no", Precedence bulk, list or junk, a List-Id, a null envelope sender (Return-Path <>), or
//   a From of MAILER-DAEMON or postmaster; so that the camera never joins a loop with another
//   responder, a list or a bounce;
// - at most so many answered requests per requester in any hour, counted across runs (a file
//   in the program folder), so that --check-once from cron is limited too.

#include "app/service/RequestMailbox.h"

#include <ctime>
#include <string>
#include <vector>

// Why the message was sent by a program (for the log, e.g. "自動送信のメールです
// (Auto-Submitted: auto-replied)"); empty when it may be answered.
std::string AutomaticMailReason(const RequestHeader& header, const std::string& fromAddress);

// The answered requests of the last hour per requester, kept in replies.txt of the program
// folder ("seconds since 1970 TAB address" per answered request). A folder that cannot be
// written keeps the count in memory for the run.
class CReplyLimit {
public:
    static constexpr const char* kFileName = "replies.txt";
    static constexpr std::time_t kWindowSeconds = 3600;

    // folder: the program folder ending in "/"; empty: memory only.
    explicit CReplyLimit(std::string folder);

    // Requests of address answered in the hour before now.
    int AnsweredInLastHour(const std::string& address, std::time_t now) const;
    // count more requests of address answered at now.
    void Record(const std::string& address, int count, std::time_t now);
    // Writes what is left of the last hour; false (and *systemError set) when it could not.
    bool Save(std::time_t now, int* systemError = nullptr);

private:
    struct Answered {
        std::time_t at;
        std::string address;
    };

    std::string m_path;
    std::vector<Answered> m_answered;
};
