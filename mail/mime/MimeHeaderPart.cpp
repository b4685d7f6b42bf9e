#include "mail/mime/MimeHeaderPart.h"

#include "mail/mime/MimeFormat.h"
#include "mail/mime/MimeHeaderField.h"
#include "mail/text/AsciiCase.h"
#include "mail/text/TextCodec.h"

namespace {

// Japanese names and subjects go as Japanese mail readers show them best, ISO-2022-JP words
// (mime::HeaderField::AddJapaneseText); texts in other charsets as their own words.
void AddHeaderText(mime::HeaderField& field, const std::string& bytes, const std::string& charset,
                   mime::TextRole role) {
    if (ascii::EqualNoCase(charset, "shift_jis"))
        field.AddJapaneseText(text::SjisToUtf8(bytes), role);
    else
        field.AddText(bytes, charset, role);
}

} // namespace

std::string CMimeHeaderPart::ToField() const {
    mime::HeaderField to("To");
    for (std::size_t i = 0; i < m_recipients.size(); ++i) {
        const Recipient& recipient = m_recipients[i];
        const std::string separator = i + 1 < m_recipients.size() ? "," : "";
        if (!recipient.name.empty())
            AddHeaderText(to, recipient.name, recipient.nameCharset, mime::TextRole::Phrase);
        if (!recipient.address.empty())
            to.AddToken("<" + recipient.address + ">" + separator);
        else if (!separator.empty())
            to.AddToken(separator); // a name without an address still ends its entry
    }
    return to.FitsLineLimit() ? to.Text() : std::string();
}

bool CMimeHeaderPart::MakeHeaderLines(std::string& block) const {
    block = mime::FormatDateLine() + "\r\n";

    mime::HeaderField from("From");
    if (!m_senderName.empty())
        AddHeaderText(from, m_senderName, m_senderNameCharset, mime::TextRole::Phrase);
    if (!m_fromAddress.empty())
        from.AddToken("<" + m_fromAddress + ">");
    if (!from.IsEmpty()) {
        if (!from.FitsLineLimit())
            return false;
        block += from.Text();
    }

    if (!m_subject.empty()) {
        mime::HeaderField subject("Subject");
        AddHeaderText(subject, m_subject, m_subjectCharset, mime::TextRole::Unstructured);
        if (!subject.FitsLineLimit())
            return false;
        if (!subject.IsEmpty())
            block += subject.Text();
    }

    if (!m_recipients.empty()) {
        const std::string to = ToField();
        if (to.empty())
            return false;
        block += to;
    }

    if (m_messageId.empty())
        m_messageId = mime::MakeMessageId(m_fromAddress);
    block += "Message-ID: " + m_messageId + "\r\n";
    return true;
}

bool CMimeHeaderPart::WriteTo(CMimeStream& stream, const std::string& /*boundary*/,
                              unsigned /*flags*/) {
    std::string block;
    return MakeHeaderLines(block) && stream.WriteAll(block);
}

std::unique_ptr<CMimePart> CMimeHeaderPart::Clone() const {
    return std::make_unique<CMimeHeaderPart>(*this);
}

bool CMimeHeaderPart::MakePartHeader(const std::string& /*boundary*/, std::string& header) const {
    header.clear();
    return true;
}
