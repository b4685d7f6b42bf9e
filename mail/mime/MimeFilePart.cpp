#include "mail/mime/MimeFilePart.h"

#include "mail/text/ContentEncoders.h"
#include "mail/mime/MimeFormat.h"

#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::string Opening(const std::string& boundary) {
    return boundary.empty() ? "MIME-Version: 1.0" : "\r\n\r\n--" + boundary;
}

const char* EncodingName(int transferEncoding) {
    switch (transferEncoding) {
    case kTransferUuencode:
        return "uuencode";
    case kTransferQuotedPrintable:
        return "quoted-printable";
    default:
        return "base64";
    }
}

// Source bytes per block: 100 lines of each encoding, so blocks join without a seam.
std::size_t BlockSize(int transferEncoding) {
    switch (transferEncoding) {
    case kTransferUuencode:
        return 45 * 100;
    case kTransferQuotedPrintable:
        return 76 * 100;
    default:
        return 57 * 100;
    }
}

} // namespace

CMimeAttachmentPart::CMimeAttachmentPart(int transferEncoding, std::string contentType,
                                         std::string charset)
    : m_transferEncoding(transferEncoding), m_contentType(std::move(contentType)),
      m_charset(std::move(charset)), m_encodingName(EncodingName(transferEncoding)) {}

bool CMimeAttachmentPart::MakePartHeader(const std::string& boundary, std::string& header) const {
    return MakePartHeaderNamed(boundary, "rawdata", header);
}

bool CMimeAttachmentPart::MakePartHeaderNamed(const std::string& boundary, const std::string& name,
                                              std::string& header) const {
    const std::string fileName = mime::QuotedParameterText(mime::FileNameOfPath(name));
    // The parameters are separated by ";" (RFC 2045 5.1): without it readers take "name" for
    // part of the charset value.
    header = Opening(boundary) + "\r\nContent-Type: " + m_contentType + ";\r\n\tcharset=\"" +
             m_charset + "\";\r\n\tname=\"" + fileName +
             "\"\r\nContent-Transfer-Encoding: " + m_encodingName +
             "\r\nContent-Disposition: attachment;\r\n\tfilename=\"" + fileName + "\"\r\n\r\n";
    return true;
}

CMimeFilePart::CMimeFilePart(std::string filePath, int transferEncoding, std::string contentType,
                             std::string charset)
    : CMimeAttachmentPart(transferEncoding, std::move(contentType), std::move(charset)),
      m_filePath(std::move(filePath)) {}

std::unique_ptr<CMimePart> CMimeFilePart::Clone() const {
    return std::make_unique<CMimeFilePart>(*this);
}

bool CMimeFilePart::WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) {
    const bool smtpForm = (flags & SmtpForm) != 0;
    EncodedBodyMemo* memo = stream.EncodedBodies();
    const std::string memoKey =
        std::to_string(m_transferEncoding) + (smtpForm ? "S:" : "-:") + m_filePath;
    if (memo) {
        if (const auto found = memo->find(memoKey); found != memo->end()) {
            std::string header;
            return MakePartHeaderNamed(boundary, m_filePath, header) && stream.WriteAll(header) &&
                   stream.WriteAll(found->second);
        }
    }

    FileHandle file(std::fopen(m_filePath.c_str(), "rb"));
    if (!file)
        return false;
    std::string header;
    if (!MakePartHeaderNamed(boundary, m_filePath, header) || !stream.WriteAll(header))
        return false;

    // The body is kept for the memo as it is written; only a whole one is kept.
    std::string kept;
    const std::size_t blockSize = BlockSize(m_transferEncoding);
    std::string block(blockSize, '\0');
    // The begin line names the file only: a full path would tell the receiver where to write.
    const std::string uuName = mime::FileNameOfPath(m_filePath);
    for (bool first = true;; first = false) {
        const std::size_t got = std::fread(block.data(), 1, blockSize, file.get());
        if (std::ferror(file.get()))
            return false;
        const bool full = got == blockSize;
        const std::string_view source(block.data(), got);

        std::string encoded;
        switch (m_transferEncoding) {
        case kTransferUuencode: {
            unsigned uuFlags = (first ? encoders::UuFlag::WriteBegin : 0u) |
                               (full ? 0u : encoders::UuFlag::WriteEnd) |
                               (smtpForm ? encoders::UuFlag::DotStuff : 0u);
            auto lines = encoders::EncodeUuBlock(source, uuName, uuFlags);
            if (!lines)
                return false;
            encoded = std::move(*lines);
            break;
        }
        case kTransferQuotedPrintable:
            encoded = encoders::EncodeQuotedPrintableBlock(
                source, (smtpForm ? encoders::QuotedPrintableFlag::DotStuff : 0u) |
                            (full ? encoders::QuotedPrintableFlag::SoftBreakAtEnd : 0u));
            break;
        default:
            encoded = encoders::EncodeBase64Block(source, full ? encoders::Base64Flag::NoPad : 0u);
            if (!full)
                encoded += "\r\n";
            break;
        }
        if (!stream.WriteAll(encoded))
            return false;
        if (memo)
            kept += encoded;
        if (!full) {
            if (memo)
                memo->insert_or_assign(memoKey, std::move(kept));
            return true;
        }
    }
}

CMimeBytesPart::CMimeBytesPart(std::string name, std::shared_ptr<const std::string> bytes,
                               std::string contentType, std::string charset)
    : CMimeAttachmentPart(kTransferBase64, std::move(contentType), std::move(charset)),
      m_name(std::move(name)), m_bytes(std::move(bytes)),
      m_encoded(std::make_shared<std::string>()) {}

std::unique_ptr<CMimePart> CMimeBytesPart::Clone() const {
    return std::make_unique<CMimeBytesPart>(*this);
}

bool CMimeBytesPart::WriteTo(CMimeStream& stream, const std::string& boundary,
                             unsigned /*flags*/) {
    // Base64 holds no '.' and no long line: the SMTP form needs nothing more.
    if (m_encoded->empty()) {
        *m_encoded = encoders::EncodeBase64Block(*m_bytes);
        if (!m_encoded->ends_with("\r\n"))
            *m_encoded += "\r\n";
    }
    std::string header;
    return MakePartHeaderNamed(boundary, m_name, header) && stream.WriteAll(header) &&
           stream.WriteAll(*m_encoded);
}
