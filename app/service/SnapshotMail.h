#pragma once
// Mailing a snapshot by hand ("メール送信" of the snapshot dialog) without the dialog: log in
// to the POP3 mailbox first (servers that relay only after a POP3 log-in want it), then one
// mail per address, each addressed to that address alone, by the same sender and the same rule
// for the port 25 path as the replies. The mail worker runs it; the dialog only collects the
// addresses and tells the outcome.

#include "base/Clock.h"
#include "base/Settings.h"
#include "capture/JpegWriter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCancelSignal;
class CCodePageService;

enum class SnapshotMailResult {
    Pop3Failed,        // "POP3サーバの接続に失敗しました。"
    SmtpConnectFailed, // "SMTPサーバへの接続に失敗しました。" (no SMTP server could be reached)
    SendFailed,        // "メールの送信に失敗しました" (an address got no mail)
    Sent,              // "メールの送信を完了しました" (every address got its mail)
};

struct SnapshotMailOutcome {
    SnapshotMailResult result = SnapshotMailResult::Pop3Failed;
    std::size_t sent = 0;
    std::vector<std::string> unsent; // addresses that got no mail
};

// addresses: as listed (an address given twice gets one mail); picture: the JPEG to attach,
// from memory (a picture without bytes fails the send).
// helloPort is for tests only: the program always uses port 25 for the second path.
SnapshotMailOutcome SendSnapshotMail(const MailSettings& settings,
                                     const std::vector<std::string>& addresses,
                                     const JpegPicture& picture, const LocalTime& now,
                                     std::shared_ptr<CCodePageService> codePages,
                                     uint16_t helloPort, const CCancelSignal* cancel);
