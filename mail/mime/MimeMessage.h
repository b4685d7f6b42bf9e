#pragma once
// CMimeMessage composes a mail (header lines, optional multipart/mixed structure, text parts,
// attachments from files or from memory) and streams it onto a CMimeStream; the SMTP session
// makes each message in memory before it sends it, so that its size is known first.
//
// Texts are UTF-8; they are converted to the mail code page given with each call (0 = the
// system code page 932, charset "shift_jis"). Addresses holding CR, LF, '<' or '>' are refused;
// CR and LF are removed from display names and subjects, so no text can add a header line.

#include "mail/mime/MimeHeaderPart.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CMimeMessage final : public CMimeHeaderPart {
public:
    // Without a service a new one is created (the message stays without one if that fails).
    explicit CMimeMessage(std::shared_ptr<CCodePageService> service = nullptr);
    ~CMimeMessage() override;
    CMimeMessage(const CMimeMessage&) = delete;
    CMimeMessage& operator=(const CMimeMessage&) = delete;

    // Replaces the service; null creates a new one (false when that fails).
    bool SetCodePageService(std::shared_ptr<CCodePageService> service);
    // False for a negative level.
    bool SetPriorityLevel(int level);
    // Appends "<address>" (and/or a display name) to the To list; false when both are empty,
    // the address is unsafe or the name cannot be converted. Each mail of the program goes to
    // one recipient, so that no requester learns another's address.
    bool AddToRecipient(std::string_view address, std::string_view displayName = {},
                        unsigned codePage = 0);
    // False when address is empty or unsafe.
    bool SetSenderAddress(std::string_view address);
    bool SetSenderDisplayName(std::string_view name, unsigned codePage = 0);
    bool SetSubjectText(std::string_view subject, unsigned codePage = 0);
    // Inserts a text part before the part at position (1-based; 0 or less counts as 1;
    // appended when fewer parts exist).
    bool AddTextPart(std::string_view text, int position = 1, unsigned codePage = 0);
    // Appends a file attachment; empty contentType looks the type up by extension.
    // transferEncoding: 0 base64, 1 uuencode, 2 quoted-printable. The file is opened when the
    // message is written.
    bool AddFileAttachment(const std::string& path, std::string_view contentType = {},
                           int transferEncoding = 0, unsigned codePage = 0);

    // Appends an attachment held in memory under name (the type looked up by its extension when
    // contentType is empty), in base64. The bytes are shared, not copied, and encoded once
    // however many messages carry them.
    bool AddBytesAttachment(std::string_view name, std::shared_ptr<const std::string> bytes,
                            std::string_view contentType = {});
    // A further header field of ASCII tokens (X-Mailer, Reply-To, Auto-Submitted,
    // In-Reply-To, ...), folded where long; false for a name or token that is not printable
    // ASCII, or holds a line break.
    bool AddHeaderField(std::string_view name, const std::vector<std::string>& tokens);

    // Writes the whole message; flags usually SmtpForm.
    bool WriteTo(CMimeStream& stream, unsigned flags);
    bool WriteTo(CMimeStream& stream, const std::string& boundary, unsigned flags) override;
    std::unique_ptr<CMimePart> Clone() const override;
    // "X-Priority: n" and, with a boundary, the multipart lines.
    bool MakePartHeader(const std::string& boundary, std::string& header) const override;

    // The bare recipient addresses of the To list joined with ',' (for RCPT TO).
    std::string EnvelopeRecipients() const;
    // The bare sender address (for MAIL FROM).
    std::string SenderAddress() const { return m_fromAddress; }
    // The value of the To field as the header writes it (folded where long).
    std::string ToList() const;
    std::size_t PartCount() const { return m_parts.size(); }

private:
    std::optional<std::string> ConvertToCodePage(std::string_view utf8, unsigned codePage) const;
    std::optional<std::string> CharsetForCodePage(unsigned codePage) const;

    std::vector<std::unique_ptr<CMimePart>> m_parts;
};
