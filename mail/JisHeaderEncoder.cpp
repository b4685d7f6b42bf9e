// Shift_JIS <-> ISO-2022-JP (RFC 1468) and RFC 2047 B words for Japanese mail headers.

#include "mail/JisHeaderEncoder.h"

#include "mail/ContentEncoders.h"
#include "mail/TextCodec.h"

#include <array>
#include <new>
#include <optional>

namespace {

constexpr std::string_view kToJis208 = "\x1B$B";
constexpr std::string_view kToAscii = "\x1B(B";

// The text up to its first NUL, as a C text would be read.
std::string_view CText(std::string_view s) {
    const auto nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// Byte i of s, or 0 past its end.
unsigned char At(std::string_view s, std::size_t i) {
    return i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
}

// The arithmetic mapping of code page 932 from a Shift_JIS pair to its JIS X 0208 row and cell.
// Lead bytes 0xF0-0xFC (user-defined and vendor characters) have no JIS pair.
std::optional<std::array<char, 2>> SjisPairToJis(unsigned char lead, unsigned char trail) {
    const bool leadOk = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF);
    const bool trailOk = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC);
    if (!leadOk || !trailOk)
        return std::nullopt;
    unsigned row = (lead <= 0x9F ? lead - 0x71u : lead - 0xB1u) * 2 + 1;
    unsigned cell = trail > 0x7F ? trail - 1u : trail;
    if (cell >= 0x9E) {
        ++row;
        cell -= 0x7D;
    } else {
        cell -= 0x1F;
    }
    return std::array<char, 2>{static_cast<char>(row), static_cast<char>(cell)};
}

// The reverse: a JIS X 0208 row and cell (0x21-0x7E each) to its Shift_JIS pair.
std::optional<std::array<char, 2>> JisPairToSjis(unsigned char row, unsigned char cell) {
    if (row < 0x21 || row > 0x7E || cell < 0x21 || cell > 0x7E)
        return std::nullopt;
    const unsigned lead = ((row + 1u) >> 1) + (row <= 0x5E ? 0x70u : 0xB0u);
    unsigned trail;
    if (row & 1)
        trail = cell + (cell <= 0x5F ? 0x1Fu : 0x20u);
    else
        trail = cell + 0x7Eu;
    return std::array<char, 2>{static_cast<char>(lead), static_cast<char>(trail)};
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

std::string CJisHeaderEncoder::ShiftJisToJis(std::string_view sjis) try {
    const std::string_view in = CText(sjis);
    std::string out;
    out.reserve(in.size() + in.size() / 2 + 8);
    bool doubleByte = false;
    std::size_t i = 0;
    while (i < in.size()) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (text::IsSjisLeadByte(c)) {
            if (i + 1 >= in.size())
                break; // incomplete last character: dropped
            const auto jis = SjisPairToJis(c, static_cast<unsigned char>(in[i + 1]));
            if (!jis)
                break; // no JIS pair: the text ends here
            if (!doubleByte)
                out.append(kToJis208);
            out.append(jis->data(), 2);
            doubleByte = text::IsSjisLeadByte(At(in, i + 2));
            if (!doubleByte)
                out.append(kToAscii);
            i += 2;
        } else if (c == '\r') {
            // CR LF becomes LF; a lone CR becomes LF as well and keeps the byte after it.
            out.push_back('\n');
            i += At(in, i + 1) == '\n' ? 2 : 1;
        } else {
            out.push_back(static_cast<char>(c));
            ++i;
        }
    }
    if (doubleByte)
        out.append(kToAscii); // the text ended inside a run; close it so it ends in ASCII
    return out;
} catch (const std::bad_alloc&) {
    return {}; // out of memory: the empty text
}

std::string CJisHeaderEncoder::MakeEncodedWord(std::string_view jis) try {
    const std::string_view in = CText(jis);
    std::string out = "=?ISO-2022-JP?B?";
    out.append(encoders::EncodeBase64Block(in, encoders::Base64Flag::NoLineBreaks));
    out.append("?=");
    return out;
} catch (const std::bad_alloc&) {
    return {}; // out of memory: the empty text
}

// The value is cut into segments at every '=', CR, LF and TAB (which are dropped, runs of them
// giving no empty segments). A segment starting with one of the labels is an encoded word: its
// payload gets back the '=' fill the cut removed (a closing '?' turns into '=') and is decoded from
// base64 and then from ISO-2022-JP. Any other segment except a lone "?" (the rest of a closing
// "?=") is plain text and only passes JisToShiftJis. Blanks between words are segments of their
// own and stay.
std::string CJisHeaderEncoder::DecodeHeaderText(std::string_view raw) try {
    static constexpr std::string_view kLabels[] = {"?ISO-2022-JP?B?", "?iso-2022-jp?B?",
                                                   "?shift_jis?B?"};
    static constexpr std::string_view kSeparators{"=\r\n\t"};

    const std::string_view in = CText(raw);
    std::string result;
    std::size_t pos = 0;
    while (pos < in.size()) {
        pos = in.find_first_not_of(kSeparators, pos);
        if (pos == std::string_view::npos)
            break;
        std::size_t end = in.find_first_of(kSeparators, pos);
        if (end == std::string_view::npos)
            end = in.size();
        const std::string_view segment = in.substr(pos, end - pos);
        pos = end;

        std::string_view label;
        for (std::string_view candidate : kLabels) {
            if (StartsWith(segment, candidate))
                label = candidate;
        }
        if (!label.empty()) {
            // The segment ends before the '=' of a fill or of the closing "?=": put back what
            // the split took so the payload is whole base64 again.
            std::string payload(segment.substr(label.size()));
            if (!payload.empty() && payload.back() == '?')
                payload.back() = '=';
            if (const std::size_t missing = payload.size() % 4; missing != 0)
                payload.append(4 - missing, '=');
            result.append(JisToShiftJis(DecodeBase64Text(payload)));
        } else if (segment != "?") {
            // Plain text before, between and after encoded words is kept.
            result.append(JisToShiftJis(segment));
        }
    }
    return result;
} catch (const std::bad_alloc&) {
    return {}; // out of memory: the empty text
}

std::string CJisHeaderEncoder::JisToShiftJis(std::string_view jis) try {
    const std::string_view in = CText(jis);
    std::string out;
    out.reserve(in.size() + 8);
    bool doubleByte = false;
    std::size_t i = 0;
    while (i < in.size()) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == 0x1B && i + 2 < in.size()) {
            const std::string_view escape = in.substr(i, 3);
            if (escape == "\x1B$B" || escape == "\x1B$@") {
                doubleByte = true;
                i += 3;
                continue;
            }
            if (escape == "\x1B(B" || escape == "\x1B(J") {
                doubleByte = false;
                i += 3;
                continue;
            }
        }
        if (doubleByte && c >= 0x21 && c <= 0x7E) {
            const auto sjis = JisPairToSjis(c, At(in, i + 1));
            if (!sjis)
                break; // outside the mapping: the text ends here
            out.append(sjis->data(), 2);
            i += 2;
        } else if (c == '\n' && (i == 0 || in[i - 1] != '\r')) {
            out.append("\r\n");
            ++i;
        } else {
            if (c != '=')
                out.push_back(static_cast<char>(c));
            ++i;
        }
    }
    return out;
} catch (const std::bad_alloc&) {
    return {}; // out of memory: the empty text
}

std::string CJisHeaderEncoder::DecodeBase64Text(std::string_view base64) try {
    const std::string_view in = CText(base64);
    auto value = [](unsigned char c) -> unsigned {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return 0;
    };
    std::string out;
    out.reserve(in.size() / 4 * 3 + 3);
    for (std::size_t i = 0; i < in.size(); i += 4) {
        const unsigned a = value(At(in, i));
        const unsigned b = value(At(in, i + 1));
        const unsigned c = value(At(in, i + 2));
        const unsigned d = value(At(in, i + 3));
        const char bytes[3] = {static_cast<char>((a * 4 + b / 16) & 0xFF),
                               static_cast<char>((b * 16 + c / 4) & 0xFF),
                               static_cast<char>((c * 64 + d) & 0xFF)};
        for (char byte : bytes) {
            if (byte == '\0')
                return out; // a zero byte ends the text
            out.push_back(byte);
        }
    }
    return out;
} catch (const std::bad_alloc&) {
    return {}; // out of memory: the empty text
}
