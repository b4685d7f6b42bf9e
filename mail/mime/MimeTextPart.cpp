#include "mail/mime/MimeTextPart.h"

#include "mail/mime/MimeFormat.h"

namespace {

// The text is handed to the stream in pieces of this size.
constexpr std::size_t kWriteBlock = 4094;

std::string PartHeader(const std::string& boundary, const std::string& charset,
                       const std::string& transferEncoding) {
    const std::string opening = boundary.empty() ? "MIME-Version: 1.0" : "\r\n\r\n--" + boundary;
    return opening + "\r\nContent-Type: text/plain;\r\n\tcharset=\"" + charset +
           "\"\r\nContent-Transfer-Encoding: " + transferEncoding + "\r\n\r\n";
}

} // namespace

CMimeTextPart::CMimeTextPart(std::string text, std::string charset)
    : m_text(std::move(text)), m_charset(std::move(charset)) {}

std::unique_ptr<CMimePart> CMimeTextPart::Clone() const {
    return std::make_unique<CMimeTextPart>(*this);
}

bool CMimeTextPart::MakePartHeader(const std::string& boundary, std::string& header) const {
    header = PartHeader(boundary, m_charset, "8bit");
    return true;
}

// Every line break goes out as CR LF (a lone CR or LF would let a server see an end of data the
// client did not mean, RFC 5321 2.3.8), lines stay within 998 bytes, and in SMTP form a '.' that
// starts a line is doubled (RFC 5321 4.5.2).
bool CMimeTextPart::WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) {
    const mime::TextBody body = mime::EncodeTextBody(m_text, m_charset, (flags & SevenBit) == 0);
    if (!stream.WriteAll(PartHeader(boundary, body.charset, body.transferEncoding)))
        return false;
    const std::string lines = (flags & SmtpForm) ? mime::DotStuff(body.lines) : body.lines;
    for (std::size_t pos = 0; pos < lines.size(); pos += kWriteBlock) {
        if (!stream.WriteAll(std::string_view(lines).substr(pos, kWriteBlock)))
            return false;
    }
    return true;
}
