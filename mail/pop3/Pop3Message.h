#pragma once
// One message as retrieved by POP3 (RETR or TOP), kept byte for byte: lines as received,
// no dot-unstuffing, without the final "CRLF.CRLF". The accessors pick header fields out of it.

#include <string>
#include <string_view>

class CPop3Message {
public:
    CPop3Message() = default;

    const std::string& Text() const { return m_text; }
    void SetText(std::string text) { m_text = std::move(text); }
    // Frees the text; the mail check reuses one object for every message.
    void Clear();
    bool IsEmpty() const { return m_text.empty(); }

    // The text before the first blank line ("\r\n\r\n"), or the whole text when there is none.
    std::string HeaderSection() const;
    // The text after the first "\r\n\r\n"; empty when there is none.
    std::string BodySection() const;
    // The unfolded value of the occurrence-th (0 = first) field called name (name compared
    // without regard to ASCII case): folding CR LF pairs removed, tabs turned into blanks,
    // white space trimmed at both ends. Empty when there is no such occurrence.
    std::string HeaderField(std::string_view name, int occurrence = 0) const;
    std::string FromField() const { return HeaderField("From"); }
    // The raw value; encoded words are left to the header decoder.
    std::string SubjectField() const { return HeaderField("Subject"); }
    // "Reply-To", else "From", else "Sender", else "Return-Path".
    std::string ReplyAddressField() const;

private:
    std::string_view HeaderView() const;

    std::string m_text;
};
