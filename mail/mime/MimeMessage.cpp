#include "mail/mime/MimeMessage.h"

#include "mail/mime/MimeFilePart.h"
#include "mail/mime/MimeFormat.h"
#include "mail/mime/MimeHeaderField.h"
#include "mail/mime/MimeTextPart.h"

#include <algorithm>

namespace {

constexpr unsigned kLatin1CodePage = 28591;
// Charset names of 50 characters or more are not taken.
constexpr std::size_t kMaxCharsetLength = 49;

} // namespace

CMimeMessage::CMimeMessage(std::shared_ptr<CCodePageService> service) {
    m_codePageService = service ? std::move(service) : CCodePageService::Create();
}

CMimeMessage::~CMimeMessage() = default;

bool CMimeMessage::SetCodePageService(std::shared_ptr<CCodePageService> service) {
    m_codePageService = service ? std::move(service) : CCodePageService::Create();
    return m_codePageService != nullptr;
}

bool CMimeMessage::SetPriorityLevel(int level) {
    if (level < 0)
        return false;
    m_priority = level;
    return true;
}

std::optional<std::string> CMimeMessage::ConvertToCodePage(std::string_view utf8,
                                                           unsigned codePage) const {
    if (!m_codePageService)
        return std::nullopt;
    return m_codePageService->ConvertFromUtf8(utf8, codePage);
}

std::optional<std::string> CMimeMessage::CharsetForCodePage(unsigned codePage) const {
    std::optional<std::string> name;
    if (!m_codePageService) {
        if (codePage == 0 || codePage == kLatin1CodePage)
            name = "iso-8859-1";
    } else {
        name = m_codePageService->CharsetName(codePage);
    }
    if (name && name->size() > kMaxCharsetLength)
        return std::nullopt;
    return name;
}

bool CMimeMessage::AddToRecipient(std::string_view address, std::string_view displayName,
                                  unsigned codePage) {
    if (address.empty() && displayName.empty())
        return false;
    if (!mime::IsSafeAddress(address))
        return false;
    Recipient recipient;
    if (!displayName.empty()) {
        auto name = ConvertToCodePage(mime::StripLineBreaks(displayName), codePage);
        auto charset = CharsetForCodePage(codePage);
        if (!name || !charset)
            return false;
        recipient.name = std::move(*name);
        recipient.nameCharset = std::move(*charset);
    }
    recipient.address = address;
    m_recipients.push_back(std::move(recipient));
    return true;
}

std::string CMimeMessage::ToList() const {
    std::string field = ToField();
    if (field.size() < 6)
        return {};
    return field.substr(4, field.size() - 6); // without "To: " and the line end
}

bool CMimeMessage::SetSenderAddress(std::string_view address) {
    if (address.empty() || !mime::IsSafeAddress(address))
        return false;
    m_fromAddress = address;
    return true;
}

bool CMimeMessage::SetSenderDisplayName(std::string_view name, unsigned codePage) {
    auto converted = ConvertToCodePage(mime::StripLineBreaks(name), codePage);
    auto charset = CharsetForCodePage(codePage);
    if (!converted || !charset)
        return false;
    m_senderName = std::move(*converted);
    m_senderNameCharset = std::move(*charset);
    return true;
}

bool CMimeMessage::SetSubjectText(std::string_view subject, unsigned codePage) {
    auto converted = ConvertToCodePage(mime::StripLineBreaks(subject), codePage);
    auto charset = CharsetForCodePage(codePage);
    if (!converted || !charset)
        return false;
    m_subject = std::move(*converted);
    m_subjectCharset = std::move(*charset);
    return true;
}

bool CMimeMessage::AddTextPart(std::string_view text, int position, unsigned codePage) {
    std::optional<std::string> bytes =
        m_codePageService ? ConvertToCodePage(text, codePage) : std::string(text);
    auto charset = CharsetForCodePage(codePage);
    if (!bytes || !charset)
        return false;
    auto part = std::make_unique<CMimeTextPart>(std::move(*bytes), std::move(*charset));
    const std::size_t index = position <= 1 ? 0 : static_cast<std::size_t>(position - 1);
    m_parts.insert(m_parts.begin() + static_cast<std::ptrdiff_t>(std::min(index, m_parts.size())),
                   std::move(part));
    return true;
}

bool CMimeMessage::AddFileAttachment(const std::string& path, std::string_view contentType,
                                     int transferEncoding, unsigned codePage) {
    if (path.empty() || path.size() > CMimeFilePart::kMaxPathLength)
        return false;
    auto charset = CharsetForCodePage(codePage);
    if (!charset)
        return false;
    if (transferEncoding < kTransferBase64 || transferEncoding > kTransferQuotedPrintable)
        return false;
    std::string type =
        contentType.empty() ? mime::LookupContentType(path) : mime::StripLineBreaks(contentType);
    m_parts.push_back(std::make_unique<CMimeFilePart>(path, transferEncoding, std::move(type),
                                                      std::move(*charset)));
    return true;
}

bool CMimeMessage::AddBytesAttachment(std::string_view name,
                                      std::shared_ptr<const std::string> bytes,
                                      std::string_view contentType) {
    if (name.empty() || !bytes)
        return false;
    auto charset = CharsetForCodePage(0);
    if (!charset)
        return false;
    std::string type =
        contentType.empty() ? mime::LookupContentType(name) : mime::StripLineBreaks(contentType);
    m_parts.push_back(std::make_unique<CMimeBytesPart>(
        mime::StripLineBreaks(name), std::move(bytes), std::move(type), std::move(*charset)));
    return true;
}

bool CMimeMessage::AddHeaderField(std::string_view name, const std::vector<std::string>& tokens) {
    auto printable = [](std::string_view text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
            return c > ' ' && c < 0x7f;
        });
    };
    if (!printable(name) || name.find(':') != std::string_view::npos || tokens.empty())
        return false;
    mime::HeaderField field(name);
    for (const std::string& token : tokens) {
        if (!printable(token))
            return false;
        field.AddToken(token);
    }
    if (!field.FitsLineLimit())
        return false;
    m_extraHeaderText += field.Text();
    return true;
}

bool CMimeMessage::MakePartHeader(const std::string& boundary, std::string& header) const {
    header = "X-Priority: " + std::to_string(m_priority) + "\r\n" + m_extraHeaderText;
    if (!boundary.empty()) {
        header += "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"" +
                  boundary + "\"\r\n";
    }
    return true;
}

bool CMimeMessage::WriteTo(CMimeStream& stream, unsigned flags) {
    const std::string boundary = m_parts.size() > 1 ? mime::MakeBoundary() : std::string();
    return WriteTo(stream, boundary, flags);
}

bool CMimeMessage::WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) {
    std::string block;
    if (!MakeHeaderLines(block) || !stream.WriteAll(block))
        return false;
    if (!MakePartHeader(boundary, block) || !stream.WriteAll(block))
        return false;
    for (auto& part : m_parts) {
        if (!part->WriteTo(stream, boundary, flags))
            return false;
    }
    return boundary.empty() || stream.WriteAll("\r\n\r\n--" + boundary + "--\r\n");
}

std::unique_ptr<CMimePart> CMimeMessage::Clone() const {
    auto copy = std::make_unique<CMimeMessage>(m_codePageService);
    copy->m_fromAddress = m_fromAddress;
    copy->m_recipients = m_recipients;
    copy->m_messageId = m_messageId;
    copy->m_subject = m_subject;
    copy->m_priority = m_priority;
    copy->m_extraHeaderText = m_extraHeaderText;
    copy->m_senderName = m_senderName;
    copy->m_subjectCharset = m_subjectCharset;
    copy->m_senderNameCharset = m_senderNameCharset;
    for (const auto& part : m_parts)
        copy->m_parts.push_back(part->Clone());
    return copy;
}

// The addresses are kept as they were added rather than scanned back out of the To text, where
// a quote or bracket inside an encoded display name could hide or invent an address.
std::string CMimeMessage::EnvelopeRecipients() const {
    std::string result;
    for (const Recipient& recipient : m_recipients) {
        if (recipient.address.empty())
            continue;
        if (!result.empty())
            result += ',';
        result += recipient.address;
    }
    return result;
}
