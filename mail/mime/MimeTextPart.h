#pragma once
// A text/plain body part. The text is held in its mail code page; on writing, lines are kept
// within 998 bytes, the text goes in 8-bit or (with SevenBit) 7-bit form as
// mime::EncodeTextBody makes it, and in SMTP form a leading '.' is doubled.

#include "mail/mime/MimePart.h"

#include <string>

class CMimeTextPart final : public CMimePart {
public:
    // text: bytes already in the charset named by charset.
    CMimeTextPart(std::string text, std::string charset);

    bool WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) override;
    std::string ContentType() const override { return "text/plain"; }
    std::string Charset() const override { return m_charset; }
    std::unique_ptr<CMimePart> Clone() const override;
    // The header of the 8-bit form.
    bool MakePartHeader(const std::string& boundary, std::string& header) const override;

    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
    std::string m_charset;
};
