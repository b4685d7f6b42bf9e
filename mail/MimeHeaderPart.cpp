#include "mail/MimeHeaderPart.h"

#include "mail/MimeFormat.h"

namespace {

// Appends piece when it fits into what is left of the header budget.
bool AppendWithin(std::string& block, std::string_view piece) {
    if (block.size() > CMimeHeaderPart::kHeaderBudget ||
        piece.size() > CMimeHeaderPart::kHeaderBudget - block.size())
        return false;
    block += piece;
    return true;
}

} // namespace

bool CMimeHeaderPart::MakeHeaderLines(std::string& block) const {
    block.clear();
    if (!AppendWithin(block, mime::FormatDateLine()))
        return false;
    block += "\r\n";

    std::string from;
    if (!m_senderName.empty()) {
        from = m_codePageService ? mime::EncodeDisplayName(m_senderName, m_senderNameCharset, false)
                                 : m_senderName;
    }
    if (!m_fromAddress.empty()) {
        if (!from.empty())
            from += ' ';
        from += '<' + m_fromAddress + '>';
    }
    if (!from.empty()) {
        if (!AppendWithin(block, "From: ") || !AppendWithin(block, from))
            return false;
        block += "\r\n";
    }

    if (!m_subject.empty()) {
        const std::string subject =
            m_codePageService ? mime::EncodeHeaderText(m_subject, m_subjectCharset) : m_subject;
        if (!subject.empty()) {
            if (!AppendWithin(block, "Subject: ") || !AppendWithin(block, subject))
                return false;
            block += "\r\n";
        }
    }

    if (!m_toList.empty()) {
        if (!AppendWithin(block, "To: ") || !AppendWithin(block, mime::FoldRecipientList(m_toList)))
            return false;
        block += "\r\n";
    }
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
