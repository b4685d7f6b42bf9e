#pragma once
// One SMTP reply as the SMTP session reads it (RFC 5321 section 4.2): the three-digit code,
// and the text of every line without code, separator and line end. The EHLO reply's lines
// after the first name the server's extensions (RFC 5321 section 4.1.1.1).

#include <string>
#include <string_view>
#include <vector>

struct SmtpReply {
    int code = 0; // 0 when the first line does not begin with three digits
    std::vector<std::string> lines;

    // The text to show: code and every line, joined by blanks.
    std::string Text() const;
    // True when an EHLO reply lists keyword (any letter case) as an extension.
    bool HasExtension(std::string_view keyword) const;
    // The parameters of an extension line ("AUTH PLAIN LOGIN" → "PLAIN LOGIN"), also from the
    // old "AUTH=" form; empty when it is not listed.
    std::string ExtensionParameters(std::string_view keyword) const;
    // True when the extension lists parameter among its blank-separated parameters (any letter
    // case): OffersParameter("AUTH", "PLAIN").
    bool OffersParameter(std::string_view keyword, std::string_view parameter) const;
};

// Parses a complete reply as CMailConnection read it with replyend::SmtpReply.
SmtpReply ParseSmtpReply(std::string_view text);
