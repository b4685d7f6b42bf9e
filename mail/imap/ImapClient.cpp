#include "mail/imap/ImapClient.h"

#include "mail/net/CancelSignal.h"
#include "mail/text/ContentEncoders.h"
#include "mail/imap/ImapResponse.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// A response beyond this is no answer to anything this client asks (a SEARCH over a million
// messages stays far below it).
constexpr std::size_t kMaxResponseBytes = 64u << 20;

// The fields the request rules read: who asks for what, and whether a program sent it.
constexpr const char* kHeaderItems = "(UID BODY.PEEK[HEADER.FIELDS (SUBJECT FROM AUTO-SUBMITTED "
                                     "PRECEDENCE LIST-ID RETURN-PATH MESSAGE-ID)])";

// "1:3,7,9:10" for ascending UIDs.
std::string UidSet(const uint32_t* uids, std::size_t count) {
    std::string set;
    for (std::size_t i = 0; i < count;) {
        std::size_t j = i;
        while (j + 1 < count && uids[j + 1] == uids[j] + 1)
            ++j;
        if (!set.empty())
            set += ',';
        set += std::to_string(uids[i]);
        if (j > i)
            set += ':' + std::to_string(uids[j]);
        i = j + 1;
    }
    return set;
}

// The commands for uids in slices of at most perCommand, each as "prefix set suffix".
std::vector<std::string> SlicedCommands(std::vector<uint32_t> uids, std::size_t perCommand,
                                        const std::string& prefix, const std::string& suffix) {
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    std::vector<std::string> commands;
    for (std::size_t at = 0; at < uids.size(); at += perCommand)
        commands.push_back(prefix + UidSet(uids.data() + at,
                                           std::min(perCommand, uids.size() - at)) +
                           suffix);
    return commands;
}

bool UsableCredential(const std::string& text) {
    return !text.empty() && text.size() <= CImapClient::kMaxCredentialLength &&
           text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// What the log shows of a refusal: "NO [AUTHENTICATIONFAILED] Authentication failed."
std::string ServerWords(const imap::Response& response) {
    std::string words = response.status;
    if (!response.code.empty())
        words += " [" + response.code + "]";
    if (!response.text.empty())
        words += " " + response.text;
    return words;
}

} // namespace

CImapClient::~CImapClient() {
    LogOut();
}

MailError CImapClient::LastMailError() const {
    MailError error = m_error;
    m_connection.MaskSecrets(error.detail);
    return error;
}

bool CImapClient::Fail(MailErrorCode code, std::string detail) {
    m_error = {code, 0, std::move(detail)};
    return false;
}

bool CImapClient::FailFromConnection() {
    m_error = m_connection.Error();
    if (m_error.code == MailErrorCode::Closed && m_bye)
        m_error.detail = m_byeText;
    return false;
}

bool CImapClient::Send(const std::string& line, TraceShape shape) {
    if (!m_connection.Send(line, kSendTimeout, shape))
        return FailFromConnection();
    return true;
}

void CImapClient::NextTag() {
    m_tag = "k" + std::to_string(++m_tagNumber);
}

bool CImapClient::ReadResponse(imap::Response& response, std::chrono::milliseconds inactivity,
                               Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    std::string bytes;
    // A response runs over several lines only through literals, and those carry message data
    // here: the transcript shows such a response as its first line and its size.
    if (!m_connection.ReadReply(replyend::ImapResponseScanner(),
                                {inactivity, std::max(left, std::chrono::milliseconds(1)),
                                 kMaxResponseBytes, 0, true},
                                bytes))
        return FailFromConnection();
    std::optional<imap::Response> parsed = imap::ParseResponse(bytes);
    if (!parsed)
        return Fail(MailErrorCode::ProtocolError, bytes.substr(0, 200));
    response = std::move(*parsed);
    return true;
}

void CImapClient::Note(const imap::Response& response) {
    if (response.kind == imap::Response::Kind::Continuation)
        return;
    if (response.status == "BYE") {
        m_bye = true;
        m_byeText = ServerWords(response);
    }
    // A CAPABILITY response, or a [CAPABILITY ...] code on any status.
    const std::vector<std::string> capabilities = imap::Capabilities(response);
    if (!capabilities.empty()) {
        m_capabilities = {};
        for (const std::string& name : capabilities) {
            m_capabilities.idle |= name == "IDLE";
            m_capabilities.uidPlus |= name == "UIDPLUS";
            m_capabilities.startTls |= name == "STARTTLS";
            m_capabilities.authPlain |= name == "AUTH=PLAIN";
            m_capabilities.authOAuthBearer |= name == "AUTH=OAUTHBEARER";
            m_capabilities.authXOAuth2 |= name == "AUTH=XOAUTH2";
            m_capabilities.saslIr |= name == "SASL-IR";
            m_capabilities.loginDisabled |= name == "LOGINDISABLED";
        }
        m_capabilitiesKnown = true;
    }
    if (response.kind != imap::Response::Kind::Untagged)
        return;
    if (const uint32_t validity = imap::UidValidity(response); validity != 0)
        m_uidValidity = validity;
    if (response.number && response.name == "EXISTS") {
        if (*response.number > m_exists)
            m_newMail = true;
        m_exists = *response.number;
    } else if (response.number && response.name == "EXPUNGE" && m_exists > 0) {
        --m_exists;
    }
}

bool CImapClient::Command(const std::string& command, const UntaggedHandler& onUntagged,
                          MailErrorCode refusal, std::chrono::milliseconds inactivity,
                          const std::string& continuation, TraceShape shape) {
    if (!m_connection.IsOpen())
        return Fail(MailErrorCode::Closed, m_bye ? m_byeText : std::string());
    NextTag();
    if (shape.kind == TraceShape::Kind::Secret)
        shape.visible += m_tag.size() + 1;
    if (!Send(m_tag + " " + command + "\r\n", shape))
        return false;
    return Complete(onUntagged, refusal, inactivity, continuation);
}

bool CImapClient::Complete(const UntaggedHandler& onUntagged, MailErrorCode refusal,
                           std::chrono::milliseconds inactivity,
                           const std::string& continuation) {
    const auto deadline = Clock::now() + kCommandLimit;
    bool continued = false;
    for (;;) {
        imap::Response response;
        if (!ReadResponse(response, inactivity, deadline))
            return false;
        if (response.kind == imap::Response::Kind::Continuation) {
            // Only a command that waits for more (an AUTHENTICATE without SASL-IR) gets one
            // line; anything else asked of it ends the exchange ("*" cancels it).
            const bool answer = !continuation.empty() && !continued;
            continued = true;
            if (!answer && m_bearerExchange) {
                // A refused token: the server explains in a JSON challenge and waits for the
                // mechanism's answer before it says no (RFC 7628 section 3.2.3).
                m_bearerChallenge = sasl::DescribeChallenge(response.text);
                const std::string reply = encoders::EncodeBase64Block(
                    sasl::ErrorChallengeReply(*m_bearerExchange),
                    encoders::Base64Flag::NoLineBreaks);
                m_bearerExchange.reset();
                if (!Send(reply + "\r\n"))
                    return false;
                continue;
            }
            if (!Send(answer ? continuation + "\r\n" : std::string("*\r\n"),
                      answer ? TraceShape::SecretAfter(0) : TraceShape()))
                return false;
            continue;
        }
        Note(response);
        if (response.kind == imap::Response::Kind::Tagged) {
            if (response.tag != m_tag)
                return Fail(MailErrorCode::ProtocolError, ServerWords(response));
            if (response.status == "OK")
                return true;
            return Fail(refusal, ServerWords(response));
        }
        if (m_bye && !m_loggingOut)
            return EndedByBye();
        if (onUntagged)
            onUntagged(response);
    }
}

bool CImapClient::EndedByBye() {
    m_connection.Close();
    m_loggedIn = false;
    return Fail(MailErrorCode::Closed, m_byeText);
}

bool CImapClient::RefreshCapabilities() {
    m_capabilitiesKnown = false;
    return Command("CAPABILITY") &&
           (m_capabilitiesKnown || Fail(MailErrorCode::ProtocolError, "CAPABILITY"));
}

bool CImapClient::UpgradeWithStartTls() {
    if (!m_capabilitiesKnown && !RefreshCapabilities())
        return false;
    if (!m_capabilities.startTls)
        return Fail(MailErrorCode::StartTlsNotOffered);
    if (!Command("STARTTLS", {}, MailErrorCode::StartTlsRefused))
        return false;
    if (!m_connection.StartTls({true, m_caFile}, kConnectTimeout))
        return FailFromConnection();
    // What was said in clear is forgotten (RFC 9051 section 6.2.1).
    return RefreshCapabilities();
}

bool CImapClient::Authenticate(const std::string& user, const std::string& password) {
    if (!m_capabilitiesKnown && !RefreshCapabilities())
        return false;
    // Nothing of the log-in goes before it is known that it may go.
    const LogInSecret secret = m_accessToken.empty() ? LogInSecret::Password : LogInSecret::Token;
    if (const MailErrorCode refusal = m_connection.LogInRefusal(m_tlsMode, secret);
        refusal != MailErrorCode::None)
        return Fail(refusal);
    if (secret == LogInSecret::Token)
        return AuthenticateWithToken(user);
    m_capabilitiesKnown = false; // a log-in may widen them; the tagged OK often lists them
    bool ok;
    if (m_capabilities.authPlain) {
        const std::string response = encoders::EncodeBase64Block(
            std::string(1, '\0') + user + '\0' + password, encoders::Base64Flag::NoLineBreaks);
        m_connection.SetLogInSecrets({password, response});
        constexpr std::string_view kAuthenticate = "AUTHENTICATE PLAIN ";
        ok = m_capabilities.saslIr
                 ? Command(std::string(kAuthenticate) + response, {}, MailErrorCode::LoginRefused,
                           kLogInInactivity, {}, TraceShape::SecretAfter(kAuthenticate.size()))
                 : Command("AUTHENTICATE PLAIN", {}, MailErrorCode::LoginRefused,
                           kLogInInactivity, response);
    } else if (m_capabilities.loginDisabled) {
        return Fail(MailErrorCode::LoginRefused, "LOGINDISABLED");
    } else {
        const std::optional<std::string> quotedUser = imap::Quoted(user);
        if (!quotedUser)
            return Fail(MailErrorCode::InvalidArgument, "LOGIN");
        constexpr std::string_view kLogin = "LOGIN ";
        const std::string command = std::string(kLogin) + *quotedUser + " ";
        const std::optional<std::string> quoted = imap::Quoted(password);
        m_connection.SetLogInSecrets({password, quoted.value_or(std::string())});
        // A password a quoted string cannot hold (bytes outside ASCII) goes as a literal, sent
        // when the server asks for it (RFC 9051 section 4.3).
        if (quoted)
            ok = Command(command + *quoted, {}, MailErrorCode::LoginRefused, kLogInInactivity, {},
                         TraceShape::SecretAfter(kLogin.size()));
        else
            ok = Command(command + "{" + std::to_string(password.size()) + "}", {},
                         MailErrorCode::LoginRefused, kLogInInactivity, password);
    }
    if (!ok)
        return false;
    m_loggedIn = true;
    m_connection.ForgetLogInSecrets();
    return m_capabilitiesKnown || RefreshCapabilities();
}

bool CImapClient::AuthenticateWithToken(const std::string& user) {
    const Capabilities offered = m_capabilities;
    const std::optional<BearerMechanism> mechanism =
        sasl::ChooseBearer([&offered](std::string_view name) {
            return name == "OAUTHBEARER" ? offered.authOAuthBearer : offered.authXOAuth2;
        });
    if (!mechanism)
        return Fail(MailErrorCode::NotOffered, "AUTH=OAUTHBEARER AUTH=XOAUTH2");
    if (!sasl::UsableToken(m_accessToken) || user.find('\x01') != std::string::npos)
        return Fail(MailErrorCode::InvalidArgument, "AUTHENTICATE");
    m_capabilitiesKnown = false; // a log-in may widen them; the tagged OK often lists them
    const std::string response = encoders::EncodeBase64Block(
        sasl::InitialResponse(*mechanism, user, m_accessToken), encoders::Base64Flag::NoLineBreaks);
    const std::string command = "AUTHENTICATE " + std::string(sasl::Name(*mechanism));
    m_connection.SetLogInSecrets({m_accessToken, response});
    m_bearerExchange = mechanism;
    m_bearerChallenge.clear();
    const bool ok = offered.saslIr
                        ? Command(command + " " + response, {}, MailErrorCode::LoginRefused,
                                  kLogInInactivity, {}, TraceShape::SecretAfter(command.size() + 1))
                        : Command(command, {}, MailErrorCode::LoginRefused, kLogInInactivity,
                                  response);
    m_bearerExchange.reset();
    if (!ok) {
        if (m_error.code == MailErrorCode::LoginRefused && !m_bearerChallenge.empty())
            m_error.detail += " " + m_bearerChallenge;
        return false;
    }
    m_loggedIn = true;
    m_connection.ForgetLogInSecrets();
    return m_capabilitiesKnown || RefreshCapabilities();
}

bool CImapClient::LogIn(const std::string& host, const std::string& user,
                        const std::string& password, int port) {
    LogOut();
    m_error = {};
    m_capabilities = {};
    m_capabilitiesKnown = false;
    m_bye = false;
    m_byeText.clear();
    m_exists = 0;
    m_uidValidity = 0;
    m_newMail = false;
    if (!UsableCredential(user) || (m_accessToken.empty() && !UsableCredential(password)))
        return Fail(MailErrorCode::InvalidArgument, "IMAP");
    auto failed = [this] {
        m_connection.Close();
        m_loggedIn = false;
        return false;
    };
    m_connection.SetTraceProtocol("imap");
    if (!m_connection.Connect(host, port, kConnectTimeout))
        return FailFromConnection();
    if (m_tlsMode == TlsMode::Implicit &&
        !m_connection.StartTls({true, m_caFile}, kConnectTimeout))
        return FailFromConnection() || failed();

    imap::Response greeting;
    if (!ReadResponse(greeting, kInactivity, Clock::now() + kCommandLimit))
        return failed();
    Note(greeting);
    if (greeting.kind != imap::Response::Kind::Untagged ||
        (greeting.status != "OK" && greeting.status != "PREAUTH"))
        return Fail(greeting.status == "BYE" ? MailErrorCode::LoginRefused
                                             : MailErrorCode::ProtocolError,
                    ServerWords(greeting)) ||
               failed();
    if (m_tlsMode == TlsMode::WhenOffered && !m_capabilitiesKnown && !RefreshCapabilities())
        return failed();
    const bool upgrade = m_tlsMode == TlsMode::StartTls ||
                         (m_tlsMode == TlsMode::WhenOffered && m_capabilities.startTls);
    if (upgrade && !UpgradeWithStartTls())
        return failed();
    if (greeting.status == "PREAUTH") {
        m_loggedIn = true;
        return m_capabilitiesKnown || RefreshCapabilities() || failed();
    }
    return Authenticate(user, password) || failed();
}

bool CImapClient::SelectInbox() {
    m_exists = 0;
    m_uidValidity = 0;
    return Command("SELECT INBOX");
}

bool CImapClient::SearchUids(std::vector<uint32_t>& uids) {
    uids.clear();
    m_newMail = false; // what arrives from here on is news for the next look
    const bool ok = Command("UID SEARCH UNDELETED", [&uids](const imap::Response& response) {
        if (response.name == "SEARCH") {
            const std::vector<uint32_t> found = imap::SearchNumbers(response);
            uids.insert(uids.end(), found.begin(), found.end());
        }
    });
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    return ok;
}

bool CImapClient::FetchHeaders(const std::vector<uint32_t>& uids, std::vector<Header>& headers) {
    headers.clear();
    std::vector<uint32_t> asked = uids;
    std::sort(asked.begin(), asked.end());
    for (const std::string& command :
         SlicedCommands(uids, kUidsPerCommand, "UID FETCH ", std::string(" ") + kHeaderItems)) {
        const bool ok = Command(command, [&headers, &asked](const imap::Response& response) {
            if (response.name != "FETCH")
                return;
            // A server may also tell of other messages (another client's changes).
            std::optional<imap::FetchedHeader> fetched = imap::HeaderOfFetch(response);
            if (fetched && std::binary_search(asked.begin(), asked.end(), fetched->uid))
                headers.push_back({fetched->uid, std::move(fetched->header)});
        });
        if (!ok)
            return false;
    }
    return true;
}

bool CImapClient::FetchWhole(uint32_t uid, std::size_t maxBytes, std::string& text,
                             bool& found) {
    found = false;
    text.clear();
    const std::string command = "UID FETCH " + std::to_string(uid) + " (UID BODY.PEEK[]<0." +
                                std::to_string(maxBytes) + ">)";
    return Command(command, [&](const imap::Response& response) {
        if (response.name != "FETCH")
            return;
        std::optional<imap::FetchedHeader> fetched = imap::HeaderOfFetch(response);
        if (fetched && fetched->uid == uid && !found) {
            found = true;
            text = std::move(fetched->header);
        }
    });
}

bool CImapClient::Delete(const std::vector<uint32_t>& uids) {
    if (uids.empty())
        return true;
    for (const std::string& command :
         SlicedCommands(uids, kUidsPerCommand, "UID STORE ", " +FLAGS.SILENT (\\Deleted)")) {
        if (!Command(command))
            return false;
    }
    if (!m_capabilities.uidPlus)
        return Command("EXPUNGE");
    for (const std::string& command : SlicedCommands(uids, kUidsPerCommand, "UID EXPUNGE ", "")) {
        if (!Command(command))
            return false;
    }
    return true;
}

CImapClient::IdleEnd CImapClient::Idle(std::chrono::milliseconds limit,
                                       const CCancelSignal* wake) {
    if (m_newMail)
        return IdleEnd::NewMail; // announced while the last look was under way
    if (wake && wake->IsCancelled())
        return IdleEnd::Woken;
    if (!m_capabilities.idle) {
        Fail(MailErrorCode::CommandRefused, "IDLE");
        return IdleEnd::Failed;
    }
    if (!m_connection.IsOpen()) {
        Fail(MailErrorCode::Closed, m_bye ? m_byeText : std::string());
        return IdleEnd::Failed;
    }
    NextTag();
    if (!Send(m_tag + " IDLE\r\n"))
        return IdleEnd::Failed;
    const auto started = Clock::now();
    const auto end = started + limit;

    // Until "+ idling" the server may still say anything, or refuse.
    for (;;) {
        imap::Response response;
        if (!ReadResponse(response, kInactivity, started + kCommandLimit))
            return IdleEnd::Failed;
        if (response.kind == imap::Response::Kind::Continuation)
            break;
        Note(response);
        if (response.kind == imap::Response::Kind::Tagged) {
            Fail(MailErrorCode::CommandRefused, ServerWords(response));
            return IdleEnd::Failed;
        }
        if (m_bye) {
            EndedByBye();
            return IdleEnd::Failed;
        }
    }

    IdleEnd how = IdleEnd::TimedOut;
    while (!m_newMail) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            break;
        const CMailConnection::Arrival arrival = m_connection.AwaitData(left, wake);
        if (arrival == CMailConnection::Arrival::TimedOut)
            break;
        if (arrival == CMailConnection::Arrival::Woken) {
            how = IdleEnd::Woken;
            break;
        }
        imap::Response response;
        if (arrival == CMailConnection::Arrival::Failed ||
            !ReadResponse(response, kInactivity, Clock::now() + kCommandLimit)) {
            FailFromConnection();
            m_connection.Close();
            return IdleEnd::Failed;
        }
        Note(response);
        if (m_bye) {
            EndedByBye();
            return IdleEnd::Failed;
        }
    }
    if (m_newMail)
        how = IdleEnd::NewMail;

    // DONE, and the tagged end of the IDLE command.
    if (!Send("DONE\r\n") || !Complete())
        return IdleEnd::Failed;
    return how;
}

bool CImapClient::LogOut() {
    if (!m_connection.IsOpen()) {
        m_loggedIn = false;
        return false;
    }
    const bool wasLoggedIn = m_loggedIn;
    m_loggingOut = true;
    const bool ok = Command("LOGOUT");
    m_loggingOut = false;
    m_connection.Close();
    m_loggedIn = false;
    return wasLoggedIn && ok;
}
