#pragma once
// The mail check cycle: log in to the mailbox (POP3, or IMAP), find the picture requests, grab one
// picture, reply once to every allowed requester and delete the answered requests, but only
// after an SMTP server has accepted the reply. Every failure leaves the requests on the server
// for the next cycle, and its cause is said in the log once, when it starts, and once more when
// it is over (CFaultNotices); a cycle called off says nothing.
//
// Wiring in the main window: timer 0 (60,000 ms) calls CheckMail() and ignores the result; the
// "メールチェック" button calls CheckMailNow().
//
// With IMAP the service keeps one logged-in connection between cycles, and RunImapSession
// keeps it in IDLE, running a cycle whenever the server announces new mail (CMailCheckHost
// runs it on the mail worker and runs it again as it ended).

#include "app/camera/ServiceInterfaces.h"
#include "app/report/FaultNotices.h"
#include "app/service/ReplySender.h"
#include "app/service/RequestRules.h"
#include "app/service/SenderCheck.h"
#include "base/Clock.h"
#include "base/Settings.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CCancelSignal;
class CCodePageService;
class CImapClient;
class CJudgedMessages;
class CPop3Client;
class IRequestMailbox;
struct MailError;

class CMailService {
public:
    // settings are the live mail settings (copied at the start of every cycle); flags, log,
    // pictures and clock belong to the main window and outlive the service. codePages is the
    // window's code-page service for the composer (may be null). helloPort is for tests only:
    // the program always uses port 25 for the fallback SMTP path.
    CMailService(const MailSettings& settings, ServiceFlags& flags, IServiceLog& log,
                 IReplyCameras& cameras, const IClock& clock,
                 std::shared_ptr<CCodePageService> codePages = nullptr,
                 uint16_t helloPort = CReplySender::kHelloPort);
    // One camera without a name.
    CMailService(const MailSettings& settings, ServiceFlags& flags, IServiceLog& log,
                 IReplyPictureSource& pictures, const IClock& clock,
                 std::shared_ptr<CCodePageService> codePages = nullptr,
                 uint16_t helloPort = CReplySender::kHelloPort);
    ~CMailService();

    // The signal that cancels every wait of a cycle (the mail worker's); null for none.
    void SetCancelSignal(const CCancelSignal* cancel) {
        m_cancel = cancel;
        m_sender.SetCancelSignal(cancel);
    }

    // What switches the alerts when a verified requester asks ("cap arm", "cap disarm"): called
    // on the thread of the cycle with the new state and the requester; null: nobody, and such
    // requests are answered that the switch is not there.
    void SetArmSwitch(std::function<void(bool armed, const std::string& requester)> arm) {
        m_armSwitch = std::move(arm);
    }

    // The folder where the ids of messages already judged are kept between cycles and runs
    // (the program folder, ending in "/"); empty: every cycle looks at every message.
    void SetStateFolder(std::string folder) { m_stateFolder = std::move(folder); }

    // The same as CheckMail and CheckMailNow below, on a copy of the settings taken by the
    // caller (the mail worker runs them; the user-interface thread takes the copy).
    int CheckMail(const MailSettings& copy);
    void CheckMailNow(const MailSettings& copy);

    // Timer 0: one cycle. 1 when the cycle ran to its normal end; 0 when it did not start (no
    // graph, busy window, a cycle already running, no POP3 server) or ended on an error.
    // Never throws.
    int CheckMail();
    // The "メールチェック" button: nothing without a graph or while the window is busy; else
    // logs a missing server, user ID or password, or runs a cycle and logs "メールチェック完了"
    // when it ran to its end.
    void CheckMailNow();

    // A mail the program sends on its own (a motion alert, scheduled pictures) to each address
    // of to, one mail each: shots pictures of each camera of cameras, apart from each other (the
    // first at once), then subject and lines. A camera without a picture is named among the
    // lines (noPicture after its name). False when no picture was made or no mail went out; the
    // cause is said as the replies' are. On the mail worker.
    bool SendOwnMail(const MailSettings& copy, const std::vector<std::string>& to,
                     const std::vector<std::size_t>& cameras, int shots,
                     std::chrono::milliseconds apart, const std::string& subject,
                     std::vector<std::string> lines);

    // True while a cycle runs.
    bool CheckInProgress() const { return m_checkInProgress.load(); }
    // True when the last cycle left requests on the server that a later one may answer (no
    // picture, no reply accepted, the hourly limit, a sender without a verdict yet).
    bool RequestsLeft() const { return m_requestsLeft.load(); }

    // The short error state while a cause lasts ("エラー: POP3サーバ"), empty when none does.
    std::string FaultState() const { return m_faults.State(); }

    // How a turn of the IMAP session ended, and so when the next one is due.
    enum class SessionEnd {
        Again,     // other jobs wait: at once after them
        Retry,     // no connection, or a cycle failed: after a pause
        Poll,      // the server has no IDLE: at the next tick of the check timer
        Paused,    // no check may run now (no camera, a dialog, settings missing): next tick
        Cancelled, // the worker stops
    };
    // RFC 2177: a client re-issues IDLE well before a server's 30-minute inactivity limit.
    static constexpr std::chrono::minutes kIdleLimit{25};

    // IMAP (on the mail worker): runs a cycle over the session's connection (logging in
    // first when there is none), then idles until the server announces mail (another cycle),
    // the idle limit passes (IDLE again), or jobsWaiting is raised (returns Again). afterCycle
    // gets each cycle's result as CheckMail returns it.
    SessionEnd RunImapSession(const MailSettings& copy, const CCancelSignal* jobsWaiting,
                              const std::function<void(int)>& afterCycle);
    // LOGOUT of the IMAP session, when there is one (on the mail worker).
    void CloseImapSession();
    bool ImapSessionOpen() const { return m_imap != nullptr; }

    // The sender address of a raw From value, in any form RFC 5322 allows for one mailbox
    // (mailbox::AddressOf): the text in its angle brackets, else the value without the
    // comments around it; empty when a bracket is left open.
    static std::string SenderAddress(const std::string& fromValue);

private:
    // A message on its way through the phases of a check, and what one check's phases share.
    struct Request;
    struct Cycle;
    enum class Step { // what a phase made of a message
        Pass,
        NoRequest, // judged for good: neither answered nor deleted, and not looked at again
        Later,     // left on the server and looked at again in the next check
        Failed,    // the mailbox failed: the check ends
    };
    // The phases of each message, in order: the subject, the allow-list and mail sent by a
    // program; the sender check (SENDER_CHECK=dkim); the replies-per-hour limit. Each says why
    // it refused once (per message; per requester and hour for the limit).
    Step Judge(Cycle& cycle, Request& request, const RequestHeader& header);
    Step Verify(Cycle& cycle, const Request& request);
    Step Limit(Cycle& cycle, const Request& request);
    // Then for the accepted requests: the pictures of the cameras they ask for (GrabPictures),
    // one reply per requester (false when nothing could be sent or the sign-in failed), and the
    // answered ones counted and deleted.
    bool Send(Cycle& cycle);
    // "cap arm" / "cap disarm" of an accepted request: the alerts switched when its sender was
    // verified (the sender check is on and it passed), refused and said otherwise; the reply's
    // line.
    std::string Switch(const Cycle& cycle, const Request& request, bool arm);
    bool DeleteAnswered(Cycle& cycle);

    CReplyLimit& ReplyLimit();

    int RunCycle(const MailSettings& copy);
    int RunImapCycle(const MailSettings& copy);
    // The request rules over any mailbox; false when a mailbox step failed.
    bool AnswerRequests(IRequestMailbox& mailbox, const MailSettings& copy);
    bool OpenImapSession(const MailSettings& copy);
    static bool SameImapAccount(const MailSettings& a, const MailSettings& b);
    bool Cancelled() const;
    void ReportPop3(const CPop3Client& client, const MailSettings& copy, bool loggingIn);
    void ReportImap(const MailError& cause, const MailSettings& copy, bool loggingIn);
    // With tokens: a log-in's token failure said once (the sign-in's error state; true when
    // there was none, and then that state is over). True without tokens.
    bool ReportSignIn(const MailError& tokenError, const MailSettings& copy);
    // Grabs each camera of cameras once; a camera without a picture is left out (and said, when
    // no camera gave one).
    std::map<std::size_t, JpegPicture> GrabPictures(const MailSettings& copy,
                                                    const std::vector<std::size_t>& cameras);
    // The judged messages of this account and these rules, kept for the run (loaded from the
    // state folder when the account or rules change); null without a state folder.
    CJudgedMessages* JudgedFor(const MailSettings& copy);
    // Writes the judged messages; a file that cannot be written is said once per cause.
    void SaveJudged(CJudgedMessages& judged);

    const MailSettings& m_settings;
    ServiceFlags& m_flags;
    IServiceLog& m_log;
    std::unique_ptr<IReplyCameras> m_singleCamera; // the set made of one picture source
    IReplyCameras& m_cameras;
    CReplySender m_sender;
    CFaultNotices m_faults;
    std::unique_ptr<CReplyLimit> m_replyLimit;   // loaded at the first request
    std::map<std::string, std::time_t> m_limitSaid; // when the limit was last said, per requester
    std::atomic<bool> m_checkInProgress{false};
    std::atomic<bool> m_requestsLeft{false};
    const CCancelSignal* m_cancel = nullptr;
    std::string m_stateFolder;
    std::unique_ptr<CJudgedMessages> m_judged;
    std::unique_ptr<CImapClient> m_imap;   // the IMAP session; used on the mail worker only
    MailSettings m_imapAccount;            // the settings it logged in with
    std::set<std::string> m_senderNotices; // messages whose unproven sender was said
    bool m_senderHintShown = false;
    std::function<void(bool, const std::string&)> m_armSwitch;
};
