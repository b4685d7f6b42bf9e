#include "app/service/MailService.h"

#include "app/service/CameraChoice.h"
#include "app/service/JudgedMessages.h"
#include "app/service/ReplyTexts.h"
#include "app/settings/MailAccount.h"
#include "app/settings/SettingsStore.h"
#include "app/service/MailClients.h"
#include "app/service/RequestMailbox.h"
#include "app/service/RequestRules.h"
#include "base/ProgramFolder.h"
#include "mail/net/CancelSignal.h"
#include "mail/text/HeaderDecoder.h"
#include "mail/mime/MailAddress.h"
#include "mail/imap/ImapClient.h"
#include "mail/pop3/Pop3Client.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <utility>

namespace {

constexpr const char* kNoServer = "ERROR : POP3サーバーが設定されていません";
constexpr const char* kNoUserId = "ERROR : POP3のユーザーIDが設定されていません";
constexpr const char* kNoPassword = "ERROR : POP3のパスワードが設定されていません";
constexpr const char* kCheckDone = "メールチェック完了";
constexpr const char* kPop3ConnectError = "ERROR : POP3サーバの接続に失敗しました。";
constexpr const char* kNoImapServer = "ERROR : IMAPサーバーが設定されていません";
constexpr const char* kImapConnectError = "ERROR : IMAPサーバの接続に失敗しました。";
constexpr const char* kSenderNotProven = "差出人を確認できないため答えません: ";
constexpr const char* kSenderNoVerdict = "差出人を確認できません（次のチェックで再確認）: ";
constexpr const char* kDnsFault =
    "ERROR : DNSが応答しないため、差出人の署名の鍵を確かめられません（依頼はサーバーに残し、"
    "次のチェックで再確認します）";
constexpr const char* kArmRefusedLine = "差出人を確認しない設定のため、警戒の切り替えを断りました: ";
constexpr const char* kSenderHint =
    "差出人の確認: 相手のプロバイダがDKIM署名をしない場合は、メール設定で"
    "「差出人をDKIM署名で確認する」を外すか、信頼する認証サーバーIDを設定してください";

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

// The subject as the check string is compared with: decoded, white space at its ends removed.
std::string DecodedSubject(const std::string& rawSubject) {
    const std::string subject = mime::DecodeHeaderValue(rawSubject);
    const auto first = subject.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return subject.substr(first, subject.find_last_not_of(" \t\r\n") - first + 1);
}

// Index of the entry of list that names the same mailbox as address, or list.size().
std::size_t FindAddress(const std::vector<std::string>& list, const std::string& address) {
    std::size_t i = 0;
    while (i < list.size() && !mailbox::SameAddress(list[i], address))
        ++i;
    return i;
}

} // namespace

CMailService::CMailService(const MailSettings& settings, ServiceFlags& flags, IServiceLog& log,
                           IReplyCameras& cameras, const IClock& clock,
                           std::shared_ptr<CCodePageService> codePages, uint16_t helloPort)
    : m_settings(settings), m_flags(flags), m_log(log), m_cameras(cameras),
      m_sender(log, clock, std::move(codePages), helloPort), m_faults(log) {}

CMailService::CMailService(const MailSettings& settings, ServiceFlags& flags, IServiceLog& log,
                           IReplyPictureSource& pictures, const IClock& clock,
                           std::shared_ptr<CCodePageService> codePages, uint16_t helloPort)
    : m_settings(settings), m_flags(flags), m_log(log),
      m_singleCamera(std::make_unique<SingleReplyCamera>(pictures)), m_cameras(*m_singleCamera),
      m_sender(log, clock, std::move(codePages), helloPort), m_faults(log) {}

CMailService::~CMailService() = default;

bool CMailService::Cancelled() const {
    return m_cancel && m_cancel->IsCancelled();
}

void CMailService::ReportPop3(const CPop3Client& client, const MailSettings& copy, bool loggingIn) {
    if (Cancelled() || client.LastMailError().code == MailErrorCode::Cancelled)
        return;
    const ServerFault fault{client.LastMailError(),
                            copy.pop3Server + ":" + std::to_string(copy.pop3Port), copy.pop3Id};
    m_faults.Fail(CFaultNotices::Area::Pop3, ServerFaultKey(fault, loggingIn),
                  Pop3FaultLine(fault, loggingIn));
}

std::map<std::size_t, JpegPicture> CMailService::GrabPictures(const MailSettings& copy,
                                                              const std::vector<std::size_t>& cameras) {
    std::map<std::size_t, JpegPicture> pictures;
    GrabFailure first;
    for (const std::size_t camera : cameras) {
        if (Cancelled())
            return {};
        JpegPicture picture;
        GrabFailure why;
        bool grabbed = m_cameras.GrabReplyPicture(camera, copy.imageRotation, picture, why);
        // A reply without its picture would still be delivered and the requests deleted.
        if (grabbed && (!picture.jpeg || picture.jpeg->empty())) {
            grabbed = false;
            why = {GrabFailure::Kind::NoPicture};
        }
        if (why.kind == GrabFailure::Kind::Cancelled)
            return {};
        if (grabbed)
            pictures.emplace(camera, std::move(picture));
        else if (first.kind == GrabFailure::Kind::None)
            first = why;
    }
    // Said when no camera answers; a camera that is away is named in the replies it misses.
    if (!pictures.empty() || cameras.empty())
        m_faults.Clear(CFaultNotices::Area::Picture);
    else if (!Cancelled())
        m_faults.Fail(CFaultNotices::Area::Picture, PictureFaultKey(first), PictureFaultLine(first));
    return pictures;
}

CJudgedMessages* CMailService::JudgedFor(const MailSettings& copy) {
    if (m_stateFolder.empty())
        return nullptr;
    if (!m_judged || !m_judged->Serves(m_stateFolder, copy))
        m_judged = std::make_unique<CJudgedMessages>(m_stateFolder, copy);
    return m_judged.get();
}

void CMailService::SaveJudged(CJudgedMessages& judged) {
    if (judged.Save())
        m_faults.Clear(CFaultNotices::Area::Judged);
    else
        m_faults.Fail(CFaultNotices::Area::Judged, JudgedFaultKey(judged.path(), judged.lastError()),
                      JudgedFaultLine(judged.path(), judged.lastError()));
}

// A message on its way through the phases of a check; accepted, a picture request.
struct CMailService::Request {
    std::size_t index = 0;     // in the mailbox's list
    std::string address;       // the requester
    std::string messageId;     // what the reply refers to; may be empty
    std::string word;          // after the check string: a camera's name, or empty for all
    std::size_t requester = 0; // its reply, among the check's replies
    bool answered = false;     // a server accepted its reply
};

struct CMailService::Cycle {
    IRequestMailbox& mailbox;
    const MailSettings& copy;
    const std::vector<MailboxEntry>& entries;
    std::optional<CSenderCheck> senderCheck; // made on first use; DNS answers kept for the check
    std::vector<Request> accepted;
};

CMailService::Step CMailService::Judge(Cycle& cycle, Request& request,
                                       const RequestHeader& header) {
    // Subjects are compared as text, after their encoded words and raw 8-bit text are
    // decoded: character for character, letter case counting. A reply must be able to go to
    // the address (not an empty From, a display name without brackets, stray control bytes);
    // addresses are compared as mailbox::SameAddress does (the domain in any letter case).
    std::optional<std::string> word = RequestWord(DecodedSubject(header.subject), cycle.copy.checkString);
    if (!word)
        return Step::NoRequest;
    request.word = std::move(*word);
    const std::vector<std::string>& allowed = cycle.copy.sendAddresses;
    if (!mailbox::IsPlainAddress(request.address) ||
        (!allowed.empty() && FindAddress(allowed, request.address) == allowed.size()))
        return Step::NoRequest;
    if (const std::string why = AutomaticMailReason(header, request.address); !why.empty()) {
        // Said once: the message is judged and not looked at again.
        m_log.AddLog("プログラムが送ったメールには返信しません: " + request.address + " — " + why);
        return Step::NoRequest;
    }
    return Step::Pass;
}

CMailService::Step CMailService::Verify(Cycle& cycle, const Request& request) {
    if (cycle.copy.senderCheck != SenderCheck::Dkim)
        return Step::Pass;
    if (!cycle.senderCheck)
        cycle.senderCheck.emplace(cycle.copy.trustedAuthservId, m_cancel);
    const SenderVerdict verdict =
        cycle.senderCheck->CheckRequest(cycle.mailbox, request.index, request.address);
    if (verdict.kind == SenderVerdict::Kind::Verified)
        return Step::Pass;
    if (verdict.kind == SenderVerdict::Kind::Failed)
        return Step::Failed;
    // Unproven: final for this message. Without a verdict: looked at again in the next check.
    const bool later = verdict.kind == SenderVerdict::Kind::NoVerdict;
    const std::string& id = cycle.entries[request.index].id;
    const std::string key =
        (id.empty() ? std::to_string(request.index) : id) + "\n" + verdict.reason;
    if (!Cancelled() && m_senderNotices.insert(key).second) {
        m_log.AddLog((later ? kSenderNoVerdict : kSenderNotProven) + request.address + "（" +
                     verdict.reason + "）");
        if (!later && !m_senderHintShown) {
            m_senderHintShown = true;
            m_log.AddLog(kSenderHint);
        }
    }
    return later ? Step::Later : Step::NoRequest;
}

CMailService::Step CMailService::Limit(Cycle& cycle, const Request& request) {
    const std::string& address = request.address;
    const auto same = [&](const Request& r) { return mailbox::SameAddress(r.address, address); };
    const int inThisCheck = static_cast<int>(std::ranges::count_if(cycle.accepted, same));
    const std::time_t now = std::time(nullptr);
    const int limit = cycle.copy.maxRepliesPerHour;
    if (ReplyLimit().AnsweredInLastHour(address, now) + inThisCheck < limit)
        return Step::Pass;
    // Said once an hour for each requester while the limit holds.
    const std::string key = mailbox::AddressKey(address);
    const auto said = m_limitSaid.find(key);
    if (said == m_limitSaid.end() || said->second <= now - CReplyLimit::kWindowSeconds) {
        m_limitSaid[key] = now;
        m_log.AddLog("返信の上限（1時間に" + std::to_string(limit) + "通）に達したため、" +
                     address + " の依頼にはしばらく返信しません（依頼はサーバーに残します）");
    }
    return Step::Later; // stays on the server for a later hour
}

namespace {

// The name a camera's picture travels under: the camera's name before the grab's file name,
// with what a file name cannot hold replaced; with one camera, the grab's name alone.
std::string AttachmentName(const std::string& camera, const std::string& fileName) {
    if (camera.empty())
        return fileName;
    std::string name = camera + "_" + fileName;
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == '"' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    }
    return name;
}

std::string JoinNames(const std::vector<std::string>& names, const char* separator) {
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : separator) + name;
    return joined;
}

} // namespace

bool CMailService::SendOwnMail(const MailSettings& copy, const std::vector<std::string>& to,
                               const std::vector<std::size_t>& cameras, int shots,
                               std::chrono::milliseconds apart, const std::string& subject,
                               std::vector<std::string> lines) {
    ReplyContent content{{}, std::move(lines), subject, true};
    const ReplyTexts& texts = ReplyTextsFor(copy.language);
    const bool named = m_cameras.CameraCount() > 1;
    for (int shot = 0; shot < shots && !Cancelled(); ++shot) {
        if (shot > 0 && m_cancel && !m_cancel->Pause(apart))
            return false;
        const std::map<std::size_t, JpegPicture> pictures = GrabPictures(copy, cameras);
        for (const auto& [camera, picture] : pictures) {
            MailPicture named_picture = picture;
            named_picture.fileName = AttachmentName(named ? m_cameras.CameraName(camera) : std::string(),
                                                    picture.fileName);
            content.pictures.push_back(std::move(named_picture));
        }
        for (const std::size_t camera : cameras) {
            if (shot == 0 && !pictures.contains(camera)) // said once, under the first shot
                content.notes.push_back(m_cameras.CameraName(camera) + texts.noPicture);
        }
    }
    if (content.pictures.empty() || to.empty() || Cancelled())
        return false;
    const std::vector<bool> sent = m_sender.SendReplies(
        copy, to, std::vector<ReplyContent>(to.size(), content));
    if (std::ranges::find(sent, true) == sent.end()) {
        if (!Cancelled())
            m_faults.Fail(CFaultNotices::Area::Smtp, ServerFaultKey(m_sender.LastFailure(), false),
                          SmtpFaultLine(m_sender.LastFailure()));
        return false;
    }
    m_faults.Clear(CFaultNotices::Area::Smtp);
    return true;
}

std::string CMailService::Switch(const Cycle& cycle, const Request& request, bool arm) {
    // A From anyone can write must never switch a camera: only a sender the check has proven.
    if (cycle.copy.senderCheck != SenderCheck::Dkim || !m_armSwitch) {
        m_log.AddLog(kArmRefusedLine + request.address);
        return ReplyTextsFor(cycle.copy.language).armRefused;
    }
    m_armSwitch(arm, request.address);
    const ReplyTexts& texts = ReplyTextsFor(cycle.copy.language);
    return arm ? texts.armed : texts.disarmed;
}

bool CMailService::Send(Cycle& cycle) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < m_cameras.CameraCount(); ++i)
        names.push_back(m_cameras.CameraName(i));
    const bool named = names.size() > 1;
    // One reply per requester, to the address of its first request, referring to all of them
    // and showing every camera any of them asked for.
    std::vector<std::string> addresses;
    std::vector<std::vector<std::string>> ids;
    std::vector<CameraChoice> choices;
    std::vector<std::size_t> wanted;
    std::vector<std::vector<std::string>> armNotes; // what each requester's switching did
    for (Request& request : cycle.accepted) {
        request.requester = FindAddress(addresses, request.address);
        if (request.requester == addresses.size()) {
            addresses.push_back(request.address);
            ids.emplace_back();
            choices.emplace_back();
            armNotes.emplace_back();
        }
        if (!request.messageId.empty())
            ids[request.requester].push_back(request.messageId);
        if (const std::optional<bool> arm = ArmWord(request.word))
            armNotes[request.requester].push_back(Switch(cycle, request, *arm));
        else
            choices[request.requester].Add(request.word, names);
    }
    for (const CameraChoice& choice : choices)
        wanted.insert(wanted.end(), choice.cameras.begin(), choice.cameras.end());
    std::ranges::sort(wanted);
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    const std::map<std::size_t, JpegPicture> pictures = GrabPictures(cycle.copy, wanted);
    if (Cancelled())
        return false;

    // A requester whose cameras all failed gets nothing and its requests stay on the server;
    // one who named no camera there is gets the names.
    std::vector<std::string> replyList;
    std::vector<std::vector<std::string>> requestIds;
    std::vector<ReplyContent> contents;
    std::vector<std::size_t> replyOf(addresses.size(), SIZE_MAX);
    const ReplyTexts& texts = ReplyTextsFor(cycle.copy.language);
    for (std::size_t r = 0; r < addresses.size(); ++r) {
        ReplyContent content;
        for (const std::size_t camera : choices[r].cameras) {
            const auto picture = pictures.find(camera);
            if (picture == pictures.end()) {
                content.notes.push_back(names[camera] + texts.noPicture);
                continue;
            }
            MailPicture named_picture = picture->second;
            named_picture.fileName = AttachmentName(named ? names[camera] : std::string(),
                                                    picture->second.fileName);
            content.pictures.push_back(std::move(named_picture));
        }
        for (const std::string& word : choices[r].unknown)
            content.notes.push_back(texts.unknownCamera(
                word, JoinNames(names, texts.nameSeparator), cycle.copy.checkString));
        content.notes.insert(content.notes.end(), armNotes[r].begin(), armNotes[r].end());
        if (content.pictures.empty() && !choices[r].cameras.empty() && armNotes[r].empty())
            continue;
        replyOf[r] = replyList.size();
        replyList.push_back(addresses[r]);
        requestIds.push_back(ids[r]);
        contents.push_back(std::move(content));
    }
    if (replyList.empty())
        return false;
    const std::vector<bool> sent = m_sender.SendReplies(cycle.copy, replyList, contents, requestIds);
    const std::time_t now = std::time(nullptr);
    for (Request& request : cycle.accepted) {
        const std::size_t reply = replyOf[request.requester];
        request.answered = reply < sent.size() && sent[reply];
        if (request.answered)
            ReplyLimit().Record(replyList[reply], 1, now);
    }
    ReplyLimit().Save(now); // a folder that cannot be written keeps the count for the run
    if (!ReportSignIn(m_sender.TokenFailure(), cycle.copy))
        return false;
    const ServerFault& failure = m_sender.LastFailure();
    if (std::find(sent.begin(), sent.end(), false) == sent.end()) {
        m_faults.Clear(CFaultNotices::Area::Smtp);
    } else if (!Cancelled() && failure.cause.code != MailErrorCode::Cancelled) {
        std::string line = SmtpFaultLine(failure);
        if (!m_sender.PortTwentyFiveRefusal().empty())
            line += "（ポート25では送りません: " + m_sender.PortTwentyFiveRefusal() + "）";
        m_faults.Fail(CFaultNotices::Area::Smtp, ServerFaultKey(failure, false), line);
    }
    return true;
}

bool CMailService::DeleteAnswered(Cycle& cycle) {
    // A request leaves the server only after its requester's reply has been accepted.
    std::vector<std::size_t> answered;
    for (const Request& request : cycle.accepted) {
        if (request.answered)
            answered.push_back(request.index);
    }
    return cycle.mailbox.Delete(answered);
}

std::string CMailService::SenderAddress(const std::string& fromValue) {
    return mailbox::AddressOf(fromValue);
}

void CMailService::CheckMailNow() {
    CheckMailNow(m_settings);
}

void CMailService::CheckMailNow(const MailSettings& copy) {
    if (!m_flags.graphReady.load() || m_flags.uiBusy.load())
        return;
    switch (MissingAccountSetting(copy)) {
    case AccountGap::ReceiveServer:
        m_log.AddLog(copy.receiveProtocol == ReceiveProtocol::Imap ? kNoImapServer : kNoServer);
        break;
    case AccountGap::UserId:
        m_log.AddLog(kNoUserId);
        break;
    case AccountGap::Password:
        m_log.AddLog(kNoPassword);
        break;
    case AccountGap::None:
        if (CheckMail(copy) == 1)
            m_log.AddLog(kCheckDone);
        break;
    }
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
    // Without a server there is nobody to ask.
    if (MissingAccountSetting(copy) == AccountGap::ReceiveServer)
        return 0;
    if (!copy.secretsUnread) {
        m_faults.Clear(CFaultNotices::Area::Keyring);
        return RunCycle(copy);
    }
    // The keyring was locked when the settings were read: asked again at every check, and
    // until it answers, nothing is fetched, answered or deleted.
    MailSettings unlocked = copy;
    if (const MailError error = ReadKeyringSecrets(unlocked, m_stateFolder.empty() ? ProgramFolder() : m_stateFolder)) {
        m_faults.Fail(CFaultNotices::Area::Keyring, std::to_string(static_cast<int>(error.code)),
                      "ERROR : メールのパスワードを読めません: " + DescribeMailError(error) +
                          "（依頼はサーバーに残します）");
        return 0;
    }
    m_faults.Clear(CFaultNotices::Area::Keyring);
    return RunCycle(unlocked);
}

bool CMailService::AnswerRequests(IRequestMailbox& mailbox, const MailSettings& copy) {
    std::vector<MailboxEntry> entries;
    if (!mailbox.List(entries))
        return false;
    std::vector<std::string> ids;
    for (const MailboxEntry& entry : entries)
        ids.push_back(entry.id);
    const bool haveIds = std::ranges::find(ids, std::string()) == ids.end(); // none empty
    CJudgedMessages* const judged = haveIds ? JudgedFor(copy) : nullptr;
    if (judged)
        judged->KeepOnly(ids);

    // Only messages not judged before are looked at, and only their headers.
    std::vector<std::size_t> looked;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!judged || !judged->Contains(ids[i], entries[i].size))
            looked.push_back(i);
    }
    std::vector<RequestHeader> headers;
    if (!mailbox.FetchHeaders(looked, headers))
        return false;

    Cycle cycle{mailbox, copy, entries, {}, {}};
    bool later = false; // a request that a later check may answer
    for (std::size_t i = 0; i < looked.size() && i < headers.size(); ++i) {
        if (!headers[i].present)
            continue; // gone meanwhile
        Request request{looked[i], SenderAddress(headers[i].from), headers[i].messageId, {}};
        Step step = Judge(cycle, request, headers[i]);
        if (step == Step::Pass)
            step = Verify(cycle, request);
        if (step == Step::Pass)
            step = Limit(cycle, request);
        if (step == Step::Failed)
            return false;
        if (step == Step::Pass)
            cycle.accepted.push_back(std::move(request));
        else if (step == Step::NoRequest && judged)
            judged->Add(ids[request.index], entries[request.index].size);
        later = later || step == Step::Later;
    }
    // Unlike a refused sender (one message's verdict, final), DNS that does not answer holds
    // back every signed request until it answers again: a cause of the error state.
    if (cycle.senderCheck && !Cancelled()) {
        if (cycle.senderCheck->DnsFailed())
            m_faults.Fail(CFaultNotices::Area::Dns, "dns", kDnsFault);
        else if (cycle.senderCheck->DnsAnswered())
            m_faults.Clear(CFaultNotices::Area::Dns);
    }
    if (judged)
        SaveJudged(*judged);

    const bool sent = !cycle.accepted.empty() && Send(cycle);
    const auto unanswered = [](const Request& request) { return !request.answered; };
    m_requestsLeft = later || std::ranges::any_of(cycle.accepted, unanswered);
    return !sent || DeleteAnswered(cycle); // unsent: the mailbox did its part, the requests stay
}

int CMailService::RunCycle(const MailSettings& copy) {
    if (copy.receiveProtocol == ReceiveProtocol::Imap)
        return RunImapCycle(copy);
    CPop3Client client;
    MailError tokenError;
    const bool loggedIn = LogInPop3(client, copy, m_cancel, tokenError);
    if (!ReportSignIn(tokenError, copy))
        return 0;
    if (!loggedIn) {
        m_log.WriteLogFile(kPop3ConnectError);
        ReportPop3(client, copy, true);
        return 0;
    }
    CPop3RequestMailbox mailbox(client);
    // A failed step ends the cycle; its cause is said once.
    if (!AnswerRequests(mailbox, copy)) {
        ReportPop3(client, copy, false);
        client.LogOut();
        return 0;
    }
    if (!client.LogOut()) {
        ReportPop3(client, copy, false);
        return 0;
    }
    m_faults.Clear(CFaultNotices::Area::Pop3);
    return 1;
}

bool CMailService::ReportSignIn(const MailError& tokenError, const MailSettings& copy) {
    if (tokenError.code == MailErrorCode::KeyringLocked ||
        tokenError.code == MailErrorCode::KeyringUnreachable) {
        m_faults.Fail(CFaultNotices::Area::Keyring, std::to_string(static_cast<int>(tokenError.code)),
                      "ERROR : サインインを読めません: " + DescribeMailError(tokenError) +
                          "（依頼はサーバーに残します）");
        return false;
    }
    if (!copy.oauth2)
        return true;
    if (!tokenError) {
        m_faults.Clear(CFaultNotices::Area::SignIn);
        return true;
    }
    if (!Cancelled() && tokenError.code != MailErrorCode::Cancelled) {
        const CTokenSource* tokens = CTokenSource::OfThisThread();
        m_faults.Fail(CFaultNotices::Area::SignIn,
                      SignInFaultKey(tokenError, tokens ? tokens->Stamp() : std::string()),
                      SignInFaultLine(tokenError, copy.pop3Id, EndpointsFor(copy).tokenUrl));
    }
    return false;
}

void CMailService::ReportImap(const MailError& cause, const MailSettings& copy, bool loggingIn) {
    if (Cancelled() || cause.code == MailErrorCode::Cancelled)
        return;
    const ServerFault fault{cause, copy.imapServer + ":" + std::to_string(copy.imapPort),
                            copy.pop3Id};
    m_faults.Fail(CFaultNotices::Area::Imap, ServerFaultKey(fault, loggingIn),
                  ImapFaultLine(fault, loggingIn));
}

bool CMailService::SameImapAccount(const MailSettings& a, const MailSettings& b) {
    return a.imapServer == b.imapServer && a.imapPort == b.imapPort &&
           a.imapSecurity == b.imapSecurity && a.pop3Id == b.pop3Id && a.pop3Pass == b.pop3Pass &&
           a.caFile == b.caFile && a.oauth2 == b.oauth2 && a.oauthClientId == b.oauthClientId &&
           a.oauthTokenUrl == b.oauthTokenUrl && a.oauthProvider == b.oauthProvider;
}

void CMailService::CloseImapSession() {
    if (m_imap)
        m_imap->LogOut();
    m_imap.reset();
}

bool CMailService::OpenImapSession(const MailSettings& copy) {
    if (m_imap && m_imap->IsLoggedIn() && SameImapAccount(m_imapAccount, copy))
        return true;
    CloseImapSession();
    m_imap = std::make_unique<CImapClient>();
    MailError tokenError;
    const bool loggedIn = LogInImap(*m_imap, copy, m_cancel, tokenError);
    if (!ReportSignIn(tokenError, copy)) {
        CloseImapSession();
        return false;
    }
    if (!loggedIn || !m_imap->SelectInbox()) {
        m_log.WriteLogFile(kImapConnectError);
        ReportImap(m_imap->LastMailError(), copy, true);
        CloseImapSession();
        return false;
    }
    m_imapAccount = copy;
    return true;
}

CReplyLimit& CMailService::ReplyLimit() {
    if (!m_replyLimit)
        m_replyLimit = std::make_unique<CReplyLimit>(m_stateFolder);
    return *m_replyLimit;
}

int CMailService::RunImapCycle(const MailSettings& copy) {
    if (!OpenImapSession(copy))
        return 0;
    CImapRequestMailbox mailbox(*m_imap);
    if (!AnswerRequests(mailbox, copy)) {
        ReportImap(m_imap->LastMailError(), copy, false);
        CloseImapSession();
        return 0;
    }
    m_faults.Clear(CFaultNotices::Area::Imap);
    return 1;
}

CMailService::SessionEnd CMailService::RunImapSession(const MailSettings& copy,
                                                      const CCancelSignal* jobsWaiting,
                                                      const std::function<void(int)>& afterCycle) {
    for (;;) {
        if (Cancelled())
            return SessionEnd::Cancelled;
        if (!m_flags.graphReady.load() || m_flags.uiBusy.load() || !AccountComplete(copy)) {
            // Not left open without IDLE: the server would drop it after half an hour.
            CloseImapSession();
            return SessionEnd::Paused;
        }
        const int result = CheckMail(copy);
        if (afterCycle)
            afterCycle(result);
        if (Cancelled())
            return SessionEnd::Cancelled;
        if (result != 1 || !m_imap)
            return SessionEnd::Retry;
        if (!m_imap->capabilities().idle) {
            CloseImapSession(); // polled like a POP3 mailbox, one log-in per check
            return SessionEnd::Poll;
        }
        switch (m_imap->Idle(kIdleLimit, jobsWaiting)) {
        case CImapClient::IdleEnd::NewMail:
        case CImapClient::IdleEnd::TimedOut:
            continue;
        case CImapClient::IdleEnd::Woken:
            return SessionEnd::Again;
        case CImapClient::IdleEnd::Failed:
            // Servers drop idle connections now and then: a new one is tried at once, and only
            // a failure to make it is said.
            CloseImapSession();
            return Cancelled() ? SessionEnd::Cancelled : SessionEnd::Retry;
        }
    }
}
