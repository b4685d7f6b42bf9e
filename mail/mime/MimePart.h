#pragma once
// The part classes of the MIME composer. A part knows its content type and charset, makes
// its own part header and streams itself onto a CMimeStream.

#include "mail/mime/MimeStream.h"

#include <memory>
#include <string>

// Write flags passed down through every WriteTo.
enum MimeWriteFlags : unsigned {
    // Set for SMTP transmission: a '.' at the start of a line is doubled (text part,
    // quoted-printable and uuencode bodies).
    SmtpForm = 8,
    // Set when the server does not take 8-bit data (no 8BITMIME, RFC 6152): text parts go in a
    // 7-bit form (mime::EncodeTextBody).
    SevenBit = 16,
};

class CMimePart {
public:
    virtual ~CMimePart() = default;
    // Writes the part; boundary may be empty (a message of one part).
    virtual bool WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) = 0;
    virtual std::string ContentType() const = 0;
    virtual std::string Charset() const { return "iso-8859-1"; }
    virtual std::unique_ptr<CMimePart> Clone() const = 0;
    virtual bool MakePartHeader(const std::string& boundary, std::string& header) const = 0;
};
