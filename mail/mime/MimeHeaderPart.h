#pragma once
// The header fields of a message: Date, From, Subject, To and Message-ID, written as one block
// whose lines are folded to stay within 76 characters where a token allows (never past 998).
// Display names and subject are held in their mail code page.

#include "mail/text/CodePageService.h"
#include "mail/mime/MimePart.h"

#include <memory>
#include <string>
#include <vector>

class CMimeHeaderPart : public CMimePart {
public:
    // Writes the header lines as one block; fails before writing anything when a line would
    // pass 998 characters (an address longer than a line).
    bool WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) override;
    std::string ContentType() const override { return "text/plain"; }
    std::unique_ptr<CMimePart> Clone() const override;
    bool MakePartHeader(const std::string& boundary, std::string& header) const override;

    // The header block as WriteTo would write it; false when a line cannot be kept within 998
    // characters. The Message-ID is made at the first call and kept, so that a message sent
    // again is the same message.
    bool MakeHeaderLines(std::string& block) const;

protected:
    struct Recipient {
        std::string name; // in nameCharset; may be empty
        std::string nameCharset;
        std::string address; // may be empty
    };

    // The To field as the block writes it.
    std::string ToField() const;

    std::shared_ptr<CCodePageService> m_codePageService;
    std::string m_fromAddress;
    std::vector<Recipient> m_recipients;
    mutable std::string m_messageId;
    std::string m_subject; // in m_subjectCharset
    int m_priority = 3;
    std::string m_extraHeaderText;
    std::string m_senderName; // in m_senderNameCharset
    std::string m_subjectCharset;
    std::string m_senderNameCharset;
};
