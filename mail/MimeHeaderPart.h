#pragma once
// The header fields of a message: Date, From, Subject and To, written as one block of at
// most 998 bytes. Display name and subject are held in their mail code page.

#include "mail/CodePageService.h"
#include "mail/MimePart.h"

#include <memory>
#include <string>

class CMimeHeaderPart : public CMimePart {
public:
    static constexpr std::size_t kHeaderBudget = 998;

    // Writes the header lines as one block; fails before writing anything when the block would
    // exceed kHeaderBudget.
    bool WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) override;
    std::string ContentType() const override { return "text/plain"; }
    std::unique_ptr<CMimePart> Clone() const override;
    bool MakePartHeader(const std::string& boundary, std::string& header) const override;

    // The header block as WriteTo would write it; false when it exceeds the budget.
    bool MakeHeaderLines(std::string& block) const;

protected:
    std::shared_ptr<CCodePageService> m_codePageService;
    std::string m_fromAddress;
    std::string m_toList;
    std::string m_subject; // in m_subjectCharset
    int m_priority = 3;
    std::string m_extraHeaderText;
    std::string m_senderName; // in m_senderNameCharset
    std::string m_subjectCharset;
    std::string m_senderNameCharset;
};
