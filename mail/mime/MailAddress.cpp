// RFC 5322 section 3.4 (mailbox, name-addr, angle-addr, addr-spec), 3.2.2 (comments and
// folding white space), 4.4 (the obsolete route in an angle-addr).
#include "mail/mime/MailAddress.h"

#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <cctype>

namespace mailbox {
namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Index just past the quoted string or comment opening at value[pos]; a backslash quotes the
// next character, comments nest. An unclosed one runs to the end.
std::size_t SkipDelimited(std::string_view value, std::size_t pos) {
    const char open = value[pos];
    const char close = open == '"' ? '"' : ')';
    int depth = 1;
    for (std::size_t i = pos + 1; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\') {
            ++i;
        } else if (open == '(' && c == '(') {
            ++depth;
        } else if (c == close && --depth == 0) {
            return i + 1;
        }
    }
    return value.size();
}

// Index of the first c in value from pos that is outside quoted strings and comments.
std::size_t FindOutside(std::string_view value, char c, std::size_t pos) {
    while (pos < value.size()) {
        const char here = value[pos];
        if (here == c)
            return pos;
        pos = here == '"' || here == '(' ? SkipDelimited(value, pos) : pos + 1;
    }
    return std::string_view::npos;
}

// value without the white space and comments at its two ends.
std::string_view TrimComments(std::string_view value) {
    std::size_t begin = 0;
    while (begin < value.size() && (IsWhite(value[begin]) || value[begin] == '('))
        begin = value[begin] == '(' ? SkipDelimited(value, begin) : begin + 1;
    value.remove_prefix(std::min(begin, value.size()));
    // From the end: a trailing comment is found by walking forward over the rest, so that a
    // ")" inside a quoted local part is not taken for one.
    std::size_t end = 0;
    for (std::size_t pos = 0; pos < value.size();) {
        const char c = value[pos];
        if (c == '(') {
            pos = SkipDelimited(value, pos);
            continue;
        }
        pos = c == '"' ? SkipDelimited(value, pos) : pos + 1;
        if (!IsWhite(c))
            end = pos;
    }
    return value.substr(0, end);
}

bool IsAtomChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

bool IsPlainDomain(std::string_view domain) {
    if (domain.size() >= 2 && domain.front() == '[' && domain.back() == ']') {
        const std::string_view literal = domain.substr(1, domain.size() - 2);
        return !literal.empty() && std::all_of(literal.begin(), literal.end(), [](char c) {
            return c > 0x20 && c < 0x7F && c != '[' && c != ']' && c != '\\';
        });
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = domain.find('.', start);
        const std::string_view label = domain.substr(start, dot - start);
        if (label.empty() || !std::all_of(label.begin(), label.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
            }))
            return false;
        if (dot == std::string_view::npos)
            return true;
        start = dot + 1;
    }
}

} // namespace

std::string AddressOf(std::string_view value) {
    const std::size_t open = FindOutside(value, '<', 0);
    if (open == std::string_view::npos)
        return std::string(TrimComments(value));
    const std::size_t close = FindOutside(value, '>', open + 1);
    if (close == std::string_view::npos)
        return {};
    std::string_view inside = TrimComments(value.substr(open + 1, close - open - 1));
    if (!inside.empty() && inside.front() == '@') {
        // obs-route: "@relay1,@relay2:" before the address itself.
        const std::size_t colon = FindOutside(inside, ':', 0);
        if (colon != std::string_view::npos)
            inside = TrimComments(inside.substr(colon + 1));
    }
    return std::string(inside);
}

bool IsPlainAddress(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos || at == 0)
        return false;
    const std::string_view local = address.substr(0, at);
    return std::all_of(local.begin(), local.end(),
                       [](char c) { return IsAtomChar(c) || c == '.'; }) &&
           IsPlainDomain(address.substr(at + 1));
}

bool SameAddress(std::string_view a, std::string_view b) {
    const std::size_t atA = a.rfind('@');
    const std::size_t atB = b.rfind('@');
    if (atA == std::string_view::npos || atB == std::string_view::npos)
        return a == b;
    return a.substr(0, atA) == b.substr(0, atB) && ascii::EqualNoCase(a.substr(atA), b.substr(atB));
}

std::string_view DomainOf(std::string_view address) {
    const std::size_t at = address.rfind('@');
    return at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
}

std::string AddressKey(std::string_view address) {
    const std::size_t at = address.rfind('@');
    std::string key(address);
    if (at != std::string_view::npos) {
        for (std::size_t i = at + 1; i < key.size(); ++i)
            key[i] = ascii::ToLower(key[i]);
    }
    return key;
}

} // namespace mailbox
