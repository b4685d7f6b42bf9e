#pragma once
// HTTPS requests with libcurl: POSTs of a form to an authorization server (token, device and
// revocation endpoints), and GETs of account discovery's configuration files: the certificate chain and host name verified against the system's authorities
// plus an optional extra CA file, TLS 1.2 at least, no redirects followed, HTTPS only (plain
// HTTP is refused before anything is sent). Every request is bounded in time and ends at once
// when the cancel signal is raised.
//
// The form holds secrets (client secret, refresh token, code verifier): nothing of it is
// logged, and error texts name only the cause.

#include "mail/net/MailError.h"

#include <chrono>
#include <string>
#include <utility>
#include <vector>

class CCancelSignal;

struct HttpReply {
    long status = 0;  // the HTTP status; 0 when no reply came
    std::string body; // at most kMaxBodyBytes
    MailError error;  // a failure before a whole reply came (no answer, TLS, cancelled)
};

using FormFields = std::vector<std::pair<std::string, std::string>>;

namespace https {

constexpr std::size_t kMaxBodyBytes = 256 * 1024;

// application/x-www-form-urlencoded text of fields.
std::string EncodeForm(const FormFields& fields);
// Percent-encodes everything but RFC 3986's unreserved characters.
std::string PercentEncode(std::string_view text);

HttpReply PostForm(const std::string& url, const FormFields& fields, const std::string& caFile,
                   const CCancelSignal* cancel,
                   std::chrono::milliseconds timeout = std::chrono::seconds(30));

struct RequestOptions {
    std::string caFile; // an extra authority beside the system's; empty: the system's alone
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};
    std::string accept = "Accept: application/json"; // the Accept header line
    // libcurl's resolve entries ("host:port:address[,address]"): the addresses the program's
    // own resolver found, so that libcurl asks no resolver of its own.
    std::vector<std::string> resolve;
};

HttpReply Get(const std::string& url, const RequestOptions& options, const CCancelSignal* cancel);

} // namespace https
