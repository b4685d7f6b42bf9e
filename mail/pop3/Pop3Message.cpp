#include "mail/pop3/Pop3Message.h"

#include <array>

namespace {

constexpr std::string_view kBlankLine = "\r\n\r\n";

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Case-insensitive (ASCII) search of key in text from pos; npos when absent.
size_t FindNoCase(std::string_view text, std::string_view key, size_t pos) {
    if (key.empty() || text.size() < key.size())
        return std::string_view::npos;
    const char first = UpperAscii(key[0]);
    for (size_t i = pos; i + key.size() <= text.size(); ++i) {
        if (UpperAscii(text[i]) != first)
            continue;
        size_t k = 1;
        while (k < key.size() && UpperAscii(text[i + k]) == UpperAscii(key[k]))
            ++k;
        if (k == key.size())
            return i;
    }
    return std::string_view::npos;
}

bool IsTrimmedSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

void CPop3Message::Clear() {
    std::string().swap(m_text);
}

std::string_view CPop3Message::HeaderView() const {
    std::string_view text(m_text);
    size_t end = text.find(kBlankLine);
    return end == std::string_view::npos ? text : text.substr(0, end);
}

std::string CPop3Message::HeaderSection() const {
    return std::string(HeaderView());
}

std::string CPop3Message::BodySection() const {
    size_t end = m_text.find(kBlankLine);
    return end == std::string::npos ? std::string() : m_text.substr(end + kBlankLine.size());
}

std::string CPop3Message::HeaderField(std::string_view name, int occurrence) const {
    if (occurrence < 0)
        return {};
    const std::string_view header = HeaderView();
    // A field starts a line; the first line has no CR LF before it, so it is matched on its
    // own at position 0 and after that as "\r\n" + name + ":".
    std::string key = "\r\n";
    key.append(name);
    key += ':';
    const std::string_view firstKey = std::string_view(key).substr(2);

    size_t valueStart = std::string_view::npos;
    size_t searchFrom = 0;
    if (FindNoCase(header.substr(0, firstKey.size()), firstKey, 0) == 0) {
        valueStart = firstKey.size();
        searchFrom = valueStart;
    } else {
        size_t at = FindNoCase(header, key, 0);
        if (at != std::string_view::npos)
            valueStart = at + key.size();
        searchFrom = valueStart;
    }
    for (int i = 0; i < occurrence && valueStart != std::string_view::npos; ++i) {
        size_t at = FindNoCase(header, key, searchFrom);
        valueStart = at == std::string_view::npos ? at : at + key.size();
        searchFrom = valueStart;
    }
    if (valueStart == std::string_view::npos)
        return {};

    // The value runs to the first CR LF not followed by a blank or a tab (RFC 5322 folding).
    size_t valueEnd = valueStart;
    for (;;) {
        size_t crlf = header.find("\r\n", valueEnd);
        if (crlf == std::string_view::npos) {
            valueEnd = header.size();
            break;
        }
        if (crlf + 2 < header.size() && (header[crlf + 2] == ' ' || header[crlf + 2] == '\t')) {
            valueEnd = crlf + 2;
            continue;
        }
        valueEnd = crlf;
        break;
    }

    // Unfold (drop CR LF pairs) and turn tabs into blanks in one pass.
    std::string value;
    value.reserve(valueEnd - valueStart);
    for (size_t i = valueStart; i < valueEnd; ++i) {
        char c = header[i];
        if (c == '\r' && i + 1 < valueEnd && header[i + 1] == '\n') {
            ++i;
            continue;
        }
        value += c == '\t' ? ' ' : c;
    }
    // Only single-byte white space is trimmed: bytes of a multibyte character (UTF-8 or
    // Shift_JIS) are never in this set, so a trailing full-width space stays.
    size_t b = 0;
    size_t e = value.size();
    while (b < e && IsTrimmedSpace(value[b]))
        ++b;
    while (e > b && IsTrimmedSpace(value[e - 1]))
        --e;
    return value.substr(b, e - b);
}

std::string CPop3Message::ReplyAddressField() const {
    static constexpr std::array<std::string_view, 4> kFields = {"Reply-To", "From", "Sender",
                                                                "Return-Path"};
    for (std::string_view field : kFields) {
        std::string value = HeaderField(field);
        if (!value.empty())
            return value;
    }
    return {};
}
