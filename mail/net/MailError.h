#pragma once
// The one error value of the mail connection layer: what went wrong (a code), the system's
// error number where there was one, and the detail to show (the server's own reply for a
// refused command or log-in, the TLS library's reason). It is the only error record of the
// mail clients and of the code that drives them.

#include <string>

enum class MailErrorCode {
    None,
    InvalidArgument,    // empty host, port outside 1..65535, a text that cannot go into a command
    NameNotFound,       // the host name does not resolve
    Refused,            // the server refused the connection
    ConnectTimeout,     // no connection within the limit
    Unreachable,        // another failure to connect (network unreachable, ...)
    NoAnswer,           // no (complete) reply within the limit
    Closed,             // the server closed the connection
    SendFailed,         // the system refused to send, or the peer took nothing within the limit
    ReceiveFailed,      // the system reported an error while receiving
    ReplyTooLong,       // a reply beyond the protocol's bound
    Cancelled,          // the wait was cancelled from another thread
    TlsFailed,          // the TLS handshake or a TLS record failed (detail: the library's reason)
    CertificateUntrusted,
    CertificateExpired,
    CertificateNameMismatch,
    StartTlsNotOffered, // STARTTLS/STLS asked for and not in the server's capabilities
    StartTlsRefused,    // the server refused STARTTLS/STLS
    PasswordNeedsTls,   // no TLS, and the password goes in clear only where "none" was chosen
    TokenNeedsTls,      // no TLS, and an access token never goes in clear over a network
    LoginRefused,       // detail: the server's reply
    CommandRefused,     // detail: the server's reply
    ProtocolError,      // a reply the protocol does not allow
    NotOffered,         // the server does not offer what is needed (detail: which, e.g. "AUTH")
    NoCredentials,      // a log-in is needed and none is set
    TooLarge,           // the message is larger than the server takes (detail: the sizes)
    SignInNeeded,       // OAuth 2.0: no refresh token, or the authorization server refused it for good
    AuthorizationFailed, // OAuth 2.0: the authorization server refused a request (detail: its error code)
    FileNotWritten,     // a file the program keeps could not be written (detail: its path)
    KeyringLocked,      // the desktop's keyring holding the secrets is locked
    KeyringUnreachable, // no keyring answered (detail: what was wanted of it)
};

struct MailError {
    MailErrorCode code = MailErrorCode::None;
    int systemError = 0; // errno of the failing call, 0 when none
    std::string detail;  // server text or library reason, UTF-8 as far as it is text

    explicit operator bool() const { return code != MailErrorCode::None; }
};

// One line in the program's Japanese that names the cause, e.g. "証明書が信頼できません" or
// "ログインが拒否されました (-ERR Authentication failed.)".
std::string DescribeMailError(const MailError& error);
// The system's reason for an error number in the program's Japanese, with the system's own
// text after it for a search, e.g. "ディスクの空きがありません (No space left on device)";
// the system's text alone for a number without a Japanese text of its own.
std::string DescribeSystemError(int systemError);
// True for the TLS and certificate causes.
bool IsTlsError(MailErrorCode code);
