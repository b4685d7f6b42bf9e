#include "mail/imap/ImapResponse.h"

#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kCrLf = "\r\n";
constexpr int kMaxDepth = 64;
// Larger literal sizes are taken as garbage rather than waited for (a number may have 32 bits,
// RFC 3501 section 4.2, but no message the program reads comes near 2 GiB).
constexpr std::size_t kMaxLiteralDigits = 10;
constexpr uint64_t kMaxLiteralSize = uint64_t{1} << 31;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = Upper(c);
    return upper;
}

using ascii::EqualNoCase;
using ascii::StartsWithNoCase;

// A run of digits as a number no larger than max; nullopt for anything else.
std::optional<uint64_t> DigitsValue(std::string_view digits, uint64_t max) {
    if (digits.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (!IsDigit(c))
            return std::nullopt;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<uint64_t> LiteralSize(std::string_view digits) {
    if (digits.size() > kMaxLiteralDigits)
        return std::nullopt;
    return DigitsValue(digits, kMaxLiteralSize);
}

// The size of the literal "{n}" or "{n+}" (LITERAL+, RFC 7888) that ends line, which is
// given without its CR LF; nullopt when the line ends in none.
std::optional<uint64_t> LiteralAtLineEnd(std::string_view line) {
    if (line.empty() || line.back() != '}')
        return std::nullopt;
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '+')
        line.remove_suffix(1);
    const std::size_t open = line.find_last_not_of("0123456789");
    if (open == npos || line[open] != '{')
        return std::nullopt;
    return LiteralSize(line.substr(open + 1));
}

// Atom characters as servers send them: everything but the delimiters of the syntax.
bool IsAtomChar(char c) {
    switch (c) {
    case ' ':
    case '\r':
    case '\n':
    case '(':
    case ')':
    case '{':
    case '"':
    case '[':
    case ']':
        return false;
    default:
        return true;
    }
}

// A tagged response ends a command with OK, NO or BAD; BYE and PREAUTH come untagged only.
bool IsStatusWord(std::string_view word, bool tagged) {
    for (std::string_view status : {"OK", "NO", "BAD"}) {
        if (EqualNoCase(word, status))
            return true;
    }
    return !tagged && (EqualNoCase(word, "BYE") || EqualNoCase(word, "PREAUTH"));
}

// A recursive-descent reader over one response; m_pos only ever moves forward.
class Parser {
public:
    explicit Parser(std::string_view bytes) : m_in(bytes) {}

    std::optional<imap::Response> Parse();

private:
    bool Peek(char c) const { return m_pos < m_in.size() && m_in[m_pos] == c; }
    // At the end of the response: nothing left but its final CR LF, if that.
    bool AtEnd() const { return m_pos == m_in.size() || m_in.substr(m_pos) == kCrLf; }
    void SkipBlanks() {
        while (Peek(' '))
            ++m_pos;
    }
    std::string_view Word() {
        const std::size_t start = m_pos;
        while (m_pos < m_in.size() && IsAtomChar(m_in[m_pos]))
            ++m_pos;
        return m_in.substr(start, m_pos - start);
    }

    bool ParseRespText(imap::Response& response, bool blankRequired);
    bool ParseData(std::vector<imap::Value>& data);
    bool ParseValue(imap::Value& value, int depth);
    bool ParseList(imap::Value& list, int depth);
    bool ParseQuoted(imap::Value& value);
    bool ParseLiteral(imap::Value& value);
    bool ParseAtom(imap::Value& value);

    std::string_view m_in;
    std::size_t m_pos = 0;
};

std::optional<imap::Response> Parser::Parse() {
    imap::Response response;
    if (Peek('+')) {
        // RFC 3501 section 7.5; some servers send a bare "+" without the blank.
        response.kind = imap::Response::Kind::Continuation;
        ++m_pos;
        if (!ParseRespText(response, false))
            return std::nullopt;
        return response;
    }
    const std::string_view tag = Word();
    if (tag.empty() || !Peek(' '))
        return std::nullopt;
    ++m_pos;
    const bool tagged = tag != "*";
    if (tagged && tag[0] == '*')
        return std::nullopt;
    const std::string_view word = Word();
    if (IsStatusWord(word, tagged) && (AtEnd() || Peek(' '))) {
        response.kind = tagged ? imap::Response::Kind::Tagged : imap::Response::Kind::Untagged;
        response.tag = tagged ? std::string(tag) : std::string();
        response.status = UpperCase(word);
        if (!ParseRespText(response, true))
            return std::nullopt;
        return response;
    }
    if (tagged || word.empty())
        return std::nullopt;
    // Untagged data: "* 23 EXISTS", "* 5 FETCH (...)", or "* CAPABILITY ..." without a number.
    std::string_view name = word;
    if (IsDigit(word[0])) {
        const std::optional<uint64_t> number =
            DigitsValue(word, std::numeric_limits<uint32_t>::max());
        if (!number || !Peek(' '))
            return std::nullopt;
        ++m_pos;
        response.number = static_cast<uint32_t>(*number);
        name = Word();
        if (name.empty())
            return std::nullopt;
    }
    response.name = UpperCase(name);
    if (!AtEnd() && !Peek(' '))
        return std::nullopt;
    if (!ParseData(response.data))
        return std::nullopt;
    return response;
}

// resp-text: an optional "[code]", then text up to the line end (RFC 3501 section 7.1).
bool Parser::ParseRespText(imap::Response& response, bool blankRequired) {
    if (AtEnd()) {
        m_pos = m_in.size();
        return true;
    }
    if (Peek(' '))
        ++m_pos;
    else if (blankRequired)
        return false;
    std::size_t lineEnd = m_in.find(kCrLf, m_pos);
    if (lineEnd == npos)
        lineEnd = m_in.size();
    // A status text is no place for literals: whatever follows its line is another response,
    // and a line that ends as if a literal followed is not read as complete.
    if ((lineEnd != m_in.size() && lineEnd + kCrLf.size() != m_in.size()) ||
        LiteralAtLineEnd(m_in.substr(0, lineEnd)))
        return false;
    if (Peek('[')) {
        // A code runs to the first ']' (resp-text-code holds none); without one on the line
        // the whole is text, as some servers write a bracket at the start of a plain text.
        const std::size_t close = m_in.find(']', m_pos);
        if (close < lineEnd) {
            response.code = m_in.substr(m_pos + 1, close - m_pos - 1);
            m_pos = close + 1;
            if (Peek(' '))
                ++m_pos;
        }
    }
    response.text = m_in.substr(m_pos, lineEnd - m_pos);
    m_pos = m_in.size();
    return true;
}

// The values after an untagged name, separated by blanks (runs of them taken as one, and a
// trailing one allowed, as some servers end "* SEARCH " with it).
bool Parser::ParseData(std::vector<imap::Value>& data) {
    for (;;) {
        SkipBlanks();
        if (AtEnd())
            return true;
        imap::Value value;
        if (!ParseValue(value, 0))
            return false;
        data.push_back(std::move(value));
        if (!AtEnd() && !Peek(' '))
            return false;
    }
}

bool Parser::ParseValue(imap::Value& value, int depth) {
    if (m_pos >= m_in.size())
        return false;
    switch (m_in[m_pos]) {
    case '(':
        return ParseList(value, depth + 1);
    case '"':
        return ParseQuoted(value);
    case '{':
        return ParseLiteral(value);
    case '~':
        // literal8 (RFC 3516): "~{n}" and then n bytes of any value.
        if (m_pos + 1 < m_in.size() && m_in[m_pos + 1] == '{') {
            ++m_pos;
            return ParseLiteral(value);
        }
        return ParseAtom(value);
    default:
        return ParseAtom(value);
    }
}

bool Parser::ParseList(imap::Value& list, int depth) {
    if (depth > kMaxDepth)
        return false;
    list.kind = imap::Value::Kind::List;
    ++m_pos; // '('
    for (;;) {
        SkipBlanks();
        if (Peek(')')) {
            ++m_pos;
            return true;
        }
        imap::Value item;
        if (!ParseValue(item, depth))
            return false;
        list.items.push_back(std::move(item));
        if (!Peek(' ') && !Peek(')'))
            return false;
    }
}

bool Parser::ParseQuoted(imap::Value& value) {
    value.kind = imap::Value::Kind::String;
    for (++m_pos; m_pos < m_in.size(); ++m_pos) {
        char c = m_in[m_pos];
        if (c == '"') {
            ++m_pos;
            return true;
        }
        // Servers escape only '\' and '"'; any other escaped byte is taken as itself.
        if (c == '\\') {
            if (++m_pos == m_in.size())
                return false;
            c = m_in[m_pos];
        }
        if (c == '\r' || c == '\n')
            return false;
        value.text += c;
    }
    return false;
}

bool Parser::ParseLiteral(imap::Value& value) {
    value.kind = imap::Value::Kind::String;
    const std::size_t close = m_in.find('}', m_pos);
    if (close == npos)
        return false;
    std::string_view digits = m_in.substr(m_pos + 1, close - m_pos - 1);
    if (!digits.empty() && digits.back() == '+')
        digits.remove_suffix(1);
    const std::optional<uint64_t> size = LiteralSize(digits);
    m_pos = close + 1;
    if (!size || m_in.substr(m_pos, kCrLf.size()) != kCrLf)
        return false;
    m_pos += kCrLf.size();
    if (*size > m_in.size() - m_pos)
        return false;
    value.text = m_in.substr(m_pos, *size);
    m_pos += *size;
    return true;
}

// An atom, a number, NIL, or a FETCH item name whose section brackets hold blanks and
// parentheses ("BODY[HEADER.FIELDS (SUBJECT FROM)]<0>").
bool Parser::ParseAtom(imap::Value& value) {
    const std::size_t start = m_pos;
    bool bracketed = false;
    for (;;) {
        Word();
        if (!Peek('['))
            break;
        const std::size_t close = m_in.find_first_of("]\r\n", m_pos);
        if (close == npos || m_in[close] != ']')
            return false;
        m_pos = close + 1;
        bracketed = true;
    }
    if (m_pos == start)
        return false;
    value.text = m_in.substr(start, m_pos - start);
    if (!bracketed && EqualNoCase(value.text, "NIL")) {
        value.kind = imap::Value::Kind::Nil;
        value.text.clear();
    } else if (const std::optional<uint64_t> number =
                   DigitsValue(value.text, std::numeric_limits<int64_t>::max())) {
        value.kind = imap::Value::Kind::Number;
        value.number = *number;
    } else {
        value.kind = imap::Value::Kind::Atom;
    }
    return true;
}

} // namespace

namespace replyend {

std::size_t ImapResponseScanner::operator()(std::string_view buffered, std::size_t) {
    for (;;) {
        if (m_lineStart > buffered.size())
            return npos; // inside a literal that has not arrived whole
        // Bytes of this line searched before hold no CR LF; the last one may be its CR.
        const std::size_t from = std::max(m_lineStart, m_searched > 0 ? m_searched - 1 : 0);
        const std::size_t lineEnd = buffered.find(kCrLf, from);
        m_bytesSearched += (lineEnd == npos ? buffered.size() : lineEnd + kCrLf.size()) - from;
        if (lineEnd == npos) {
            m_searched = buffered.size();
            return npos;
        }
        const std::size_t next = lineEnd + kCrLf.size();
        const std::optional<uint64_t> literal =
            LiteralAtLineEnd(buffered.substr(m_lineStart, lineEnd - m_lineStart));
        if (!literal)
            return next;
        // The literal's bytes are skipped, never searched.
        m_lineStart = next + static_cast<std::size_t>(*literal);
        m_searched = m_lineStart;
    }
}

std::size_t ImapResponse(std::string_view buffered, std::size_t searchFrom) {
    return ImapResponseScanner()(buffered, searchFrom);
}

} // namespace replyend

namespace imap {

std::optional<Response> ParseResponse(std::string_view bytes) {
    return Parser(bytes).Parse();
}

std::vector<std::string> Capabilities(const Response& response) {
    std::vector<std::string> capabilities;
    if (response.status.empty() && response.name == "CAPABILITY") {
        for (const Value& value : response.data) {
            if (value.kind == Value::Kind::Atom || value.kind == Value::Kind::Number)
                capabilities.push_back(UpperCase(value.text));
        }
        return capabilities;
    }
    constexpr std::string_view kCode = "CAPABILITY";
    const std::string_view code = response.code;
    if (!StartsWithNoCase(code, kCode) || (code.size() > kCode.size() && code[kCode.size()] != ' '))
        return capabilities;
    for (std::size_t at = kCode.size(); at < code.size();) {
        const std::size_t start = code.find_first_not_of(' ', at);
        if (start == npos)
            break;
        const std::size_t end = std::min(code.find(' ', start), code.size());
        capabilities.push_back(UpperCase(code.substr(start, end - start)));
        at = end;
    }
    return capabilities;
}

std::vector<uint32_t> SearchNumbers(const Response& response) {
    std::vector<uint32_t> numbers;
    if (!response.status.empty() || response.name != "SEARCH")
        return numbers;
    for (const Value& value : response.data) {
        if (value.kind == Value::Kind::Number && value.number <= UINT32_MAX)
            numbers.push_back(static_cast<uint32_t>(value.number));
    }
    return numbers;
}

std::optional<FetchedHeader> HeaderOfFetch(const Response& response) {
    if (!response.status.empty() || response.name != "FETCH" || !response.number ||
        response.data.size() != 1 || response.data[0].kind != Value::Kind::List)
        return std::nullopt;
    // The items are name-value pairs in any order (RFC 3501 section 7.4.2).
    const std::vector<Value>& items = response.data[0].items;
    std::optional<uint32_t> uid;
    const Value* body = nullptr;
    for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
        const Value& name = items[i];
        const Value& value = items[i + 1];
        if (name.kind != Value::Kind::Atom)
            continue;
        if (EqualNoCase(name.text, "UID") && value.kind == Value::Kind::Number &&
            value.number > 0 && value.number <= UINT32_MAX)
            uid = static_cast<uint32_t>(value.number);
        else if (!body && StartsWithNoCase(name.text, "BODY["))
            body = &value;
    }
    if (!uid || !body || (body->kind != Value::Kind::String && body->kind != Value::Kind::Nil))
        return std::nullopt;
    return FetchedHeader{*uid, body->text};
}

std::optional<std::string> Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0' || static_cast<unsigned char>(c) > 0x7F)
            return std::nullopt;
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

uint32_t UidValidity(const Response& response) {
    constexpr std::string_view kCode = "UIDVALIDITY ";
    if (!StartsWithNoCase(response.code, kCode))
        return 0;
    const std::optional<uint64_t> value = DigitsValue(
        std::string_view(response.code).substr(kCode.size()), std::numeric_limits<uint32_t>::max());
    return value ? static_cast<uint32_t>(*value) : 0;
}

} // namespace imap
