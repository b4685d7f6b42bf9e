#include "mail/MimeTextPart.h"

#include "mail/TextCodec.h"

#include <cstdio>

namespace {

constexpr std::size_t kMaxLineLength = 998; // RFC 5322 2.1.1, without the CR LF
constexpr std::size_t kStagingSize = 4096;
constexpr std::size_t kFlushLevel = 4094;

std::string Opening(const std::string& boundary) {
    return boundary.empty() ? "MIME-Version: 1.0" : "\r\n\r\n--" + boundary;
}

} // namespace

CMimeTextPart::CMimeTextPart(std::string text, std::string charset)
    : m_text(std::move(text)), m_charset(std::move(charset)) {}

std::unique_ptr<CMimePart> CMimeTextPart::Clone() const {
    return std::make_unique<CMimeTextPart>(*this);
}

bool CMimeTextPart::MakePartHeader(const std::string& boundary, std::string& header) const {
    header = Opening(boundary) + "\r\nContent-Type: text/plain;\r\n\tcharset=\"" + m_charset +
             "\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    return true;
}

// The text goes out with three changes: every line break becomes CR LF (a lone CR or LF would
// let a server see an end of data the client did not mean, RFC 5321 2.3.8), a line is broken
// before it grows past 998 bytes (never inside a Shift_JIS character), and in SMTP form a '.'
// that starts a line is doubled (RFC 5321 4.5.2).
bool CMimeTextPart::WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) {
    std::string staging;
    if (!MakePartHeader(boundary, staging) || staging.size() > kStagingSize)
        return false;
    staging.reserve(kStagingSize + 8);

    const bool smtpForm = (flags & SmtpForm) != 0;
    const bool sjis = m_charset == "shift_jis";
    std::size_t lineLength = 0;
    auto breakLine = [&] {
        staging += "\r\n";
        lineLength = 0;
    };

    const std::string& t = m_text;
    for (std::size_t i = 0; i < t.size();) {
        const char c = t[i];
        if (c == '\r' || c == '\n') {
            breakLine();
            i += (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ? 2 : 1;
        } else {
            std::size_t width = 1;
            if (sjis && text::IsSjisLeadByte(static_cast<unsigned char>(c)) && i + 1 < t.size() &&
                t[i + 1] != '\r' && t[i + 1] != '\n')
                width = 2;
            if (lineLength + width > kMaxLineLength)
                breakLine();
            if (lineLength == 0 && smtpForm && c == '.') {
                staging += '.';
                ++lineLength;
            }
            staging.append(t, i, width);
            lineLength += width;
            i += width;
        }
        if (staging.size() >= kFlushLevel) {
            if (!stream.WriteAll(staging))
                return false;
            staging.clear();
        }
    }
    return staging.empty() || stream.WriteAll(staging);
}
