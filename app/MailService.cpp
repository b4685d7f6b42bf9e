#include "app/MailService.h"

#include "app/MailClients.h"
#include "mail/JisHeaderEncoder.h"
#include "mail/Pop3Client.h"
#include "mail/Pop3Message.h"
#include "mail/TextCodec.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

constexpr const char* kNoServer = "ERROR : POP3サーバーが設定されていません";
constexpr const char* kNoUserId = "ERROR : POP3のユーザーIDが設定されていません";
constexpr const char* kNoPassword = "ERROR : POP3のパスワードが設定されていません";
constexpr const char* kCheckDone = "メールチェック完了";
constexpr const char* kPop3ConnectError = "ERROR : POP3サーバの接続に失敗しました。";

// Holds checkInProgress for one cycle and clears it on every way out.
class CheckInProgressGuard {
public:
    explicit CheckInProgressGuard(std::atomic<bool>& flag) : m_flag(flag) {
        bool expected = false;
        m_owned = m_flag.compare_exchange_strong(expected, true);
    }
    ~CheckInProgressGuard() {
        if (m_owned)
            m_flag.store(false);
    }
    CheckInProgressGuard(const CheckInProgressGuard&) = delete;
    CheckInProgressGuard& operator=(const CheckInProgressGuard&) = delete;

    bool owned() const { return m_owned; }

private:
    std::atomic<bool>& m_flag;
    bool m_owned = false;
};

// The reply picture lives for one cycle: it is removed however the cycle ends, so that no
// picture piles up in the program folder.
class PictureFile {
public:
    explicit PictureFile(std::string path) : m_path(std::move(path)) {}
    ~PictureFile() {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove(m_path, ignored);
        }
    }
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

private:
    std::string m_path;
};

// An address a reply can go to: printable ASCII without blanks and without the characters
// that separate addresses in an envelope list or delimit them in a header. Anything else (an
// empty From, a display name without brackets, stray control bytes) would make the whole
// reply fail for every requester of the cycle, so such a request is left on the server.
bool IsUsableAddress(const std::string& address) {
    if (address.empty())
        return false;
    return std::all_of(address.begin(), address.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b > 0x20 && b < 0x7F && c != '<' && c != '>' && c != ',' && c != ';';
    });
}

} // namespace

CMailService::CMailService(const MailSettings& settings, ServiceFlags& flags, IServiceLog& log,
                           IReplyPictureSource& pictures, const IClock& clock,
                           std::shared_ptr<CCodePageService> codePages, uint16_t helloPort)
    : m_settings(settings), m_flags(flags), m_log(log), m_pictures(pictures),
      m_sender(settings, log, clock, std::move(codePages), helloPort) {}

std::string CMailService::SenderAddress(const std::string& fromValue) {
    const auto open = fromValue.find('<');
    if (open == std::string::npos)
        return fromValue;
    const auto close = fromValue.find('>', open + 1);
    if (close == std::string::npos)
        return fromValue;
    return fromValue.substr(open + 1, close - open - 1);
}

void CMailService::CheckMailNow() {
    CheckMailNow(m_settings);
}

void CMailService::CheckMailNow(const MailSettings& copy) {
    if (!m_flags.graphReady.load() || m_flags.uiBusy.load())
        return;
    if (copy.pop3Server.empty())
        m_log.AddLog(kNoServer);
    else if (copy.pop3Id.empty())
        m_log.AddLog(kNoUserId);
    else if (copy.pop3Pass.empty())
        m_log.AddLog(kNoPassword);
    else if (CheckMail(copy) == 1)
        m_log.AddLog(kCheckDone);
}

int CMailService::CheckMail() {
    // A settings change while the cycle runs does not affect it.
    return CheckMail(MailSettings(m_settings));
}

int CMailService::CheckMail(const MailSettings& copy) {
    if (!m_flags.graphReady.load() || m_flags.uiBusy.load())
        return 0;
    CheckInProgressGuard guard(m_checkInProgress);
    if (!guard.owned())
        return 0;
    try {
        if (copy.pop3Server.empty())
            return 0;
        return RunCycle(copy);
    } catch (...) {
        return 0;
    }
}

int CMailService::RunCycle(const MailSettings& copy) {
    CPop3Client client;
    ConfigurePop3Client(client, copy, m_cancel);
    if (!client.LogIn(copy.pop3Server, copy.pop3Id, copy.pop3Pass, copy.pop3Port)) {
        m_log.WriteLogFile(kPop3ConnectError);
        return 0;
    }

    // A failed step ends the cycle silently; the server's text is of no use to anyone here.
    auto abandon = [&client] {
        (void)client.LastServerReply();
        client.LogOut();
        return 0;
    };

    try {
        if (!client.SendNoop())
            return abandon();
        int count = 0;
        int64_t totalSize = 0;
        if (!client.QueryStatus(count, totalSize))
            return abandon();

        // Subjects and addresses are compared byte for byte in code page 932, the form in
        // which they arrive.
        const std::string checkString = text::Utf8ToSjis(copy.checkString);
        std::vector<std::string> allowed;
        for (const std::string& address : copy.sendAddresses)
            allowed.push_back(text::Utf8ToSjis(address));

        std::vector<std::string> replyList;
        std::vector<int> deleteList;
        CPop3Message message;
        for (int n = 1; n <= count; ++n) {
            uint32_t size = 0;
            if (!client.MessageSize(n, size))
                return abandon();
            if (!client.FetchMessage(n, message))
                return abandon();
            const std::string subject = CJisHeaderEncoder::DecodeHeaderText(message.SubjectField());
            if (subject != checkString) {
                message.Clear();
                continue;
            }
            const std::string address = SenderAddress(message.FromField());
            message.Clear();

            const bool duplicate =
                std::find(replyList.begin(), replyList.end(), address) != replyList.end();
            const bool isAllowed = IsUsableAddress(address) &&
                                   (allowed.empty() || std::find(allowed.begin(), allowed.end(),
                                                                 address) != allowed.end());
            if (!isAllowed)
                continue; // neither answered nor deleted
            deleteList.push_back(n);
            if (!duplicate)
                replyList.push_back(address);
        }

        if (!client.UndoDeletions())
            return abandon();

        if (!replyList.empty()) {
            std::string path;
            bool grabbed = m_pictures.GrabReplyPicture(copy.imageRotation, path);
            const PictureFile picture(path);
            m_flags.SetLastPicturePath(path);
            // A reply without its picture would still be delivered and the requests deleted.
            std::error_code ignored;
            grabbed = grabbed && !path.empty() && std::filesystem::is_regular_file(path, ignored);
            // A request leaves the server only after the reply has been accepted.
            if (grabbed && m_sender.SendReply(replyList, path) == 1) {
                for (int n : deleteList) {
                    if (!client.MarkDeleted(n))
                        return abandon();
                }
            }
        }

        if (!client.LogOut())
            return 0;
        return 1;
    } catch (...) {
        return client.LogOut() ? 1 : 0;
    }
}
