#pragma once
// Attachment parts: CMimeAttachmentPart carries the content type, charset and transfer
// encoding; CMimeFilePart streams a file in blocks (base64, uuencode or quoted-printable). Onto
// a stream that keeps a memo of encoded bodies (CMimeStream::EncodedBodies) the file is read
// and encoded once: later messages on that stream write the kept body.

#include "mail/mime/MimePart.h"

#include <memory>
#include <string>

enum MimeTransferEncoding : int {
    kTransferBase64 = 0,
    kTransferUuencode = 1,
    kTransferQuotedPrintable = 2,
};

class CMimeAttachmentPart : public CMimePart {
public:
    std::string ContentType() const override { return m_contentType; }
    std::string Charset() const override { return m_charset; }
    bool MakePartHeader(const std::string& boundary, std::string& header) const override;
    // The part header naming the last path component of name.
    virtual bool MakePartHeaderNamed(const std::string& boundary, const std::string& name,
                                     std::string& header) const;
    int TransferEncoding() const { return m_transferEncoding; }

protected:
    CMimeAttachmentPart(int transferEncoding, std::string contentType, std::string charset);

    int m_transferEncoding;
    std::string m_contentType;
    std::string m_charset;
    std::string m_encodingName; // set when the part is written
};

class CMimeFilePart final : public CMimeAttachmentPart {
public:
    static constexpr std::size_t kMaxPathLength = 260;

    CMimeFilePart(std::string filePath, int transferEncoding, std::string contentType,
                  std::string charset);

    bool WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) override;
    std::unique_ptr<CMimePart> Clone() const override;
    const std::string& FilePath() const { return m_filePath; }

private:
    std::string m_filePath;
};

// An attachment held in memory, always in base64. Its encoded body is made at the first write
// and shared by every copy of the part, so one picture mailed to many requesters is encoded
// once.
class CMimeBytesPart final : public CMimeAttachmentPart {
public:
    CMimeBytesPart(std::string name, std::shared_ptr<const std::string> bytes,
                   std::string contentType, std::string charset);

    bool WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) override;
    std::unique_ptr<CMimePart> Clone() const override;

private:
    std::string m_name;
    std::shared_ptr<const std::string> m_bytes;
    std::shared_ptr<std::string> m_encoded; // shared with the clones; empty until first written
};
