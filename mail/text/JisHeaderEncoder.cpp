// Shift_JIS <-> ISO-2022-JP (RFC 1468) and RFC 2047 B words for Japanese mail headers.

#include "mail/text/JisHeaderEncoder.h"

#include "mail/text/ContentEncoders.h"
#include "mail/text/HeaderDecoder.h"
#include "mail/text/TextCodec.h"

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

std::string CJisHeaderEncoder::DecodeHeaderText(std::string_view raw) try {
    return text::Utf8ToSjis(mime::DecodeHeaderValue(CText(raw)));
} catch (const std::bad_alloc&) {
    return {}; // out of memory: the empty text
}

std::optional<std::string> CJisHeaderEncoder::EncodeMailText(std::string_view sjis) {
    std::string out;
    out.reserve(sjis.size() + sjis.size() / 2 + 8);
    bool doubleByte = false;
    for (std::size_t i = 0; i < sjis.size();) {
        const auto c = static_cast<unsigned char>(sjis[i]);
        if (c >= 0x80) {
            if (!text::IsSjisLeadByte(c) || i + 1 >= sjis.size())
                return std::nullopt;
            const auto jis = SjisPairToJis(c, static_cast<unsigned char>(sjis[i + 1]));
            if (!jis)
                return std::nullopt;
            if (!doubleByte)
                out.append(kToJis208);
            out.append(jis->data(), 2);
            doubleByte = true;
            i += 2;
            continue;
        }
        if (doubleByte)
            out.append(kToAscii);
        doubleByte = false;
        if (c == 0x1B)
            return std::nullopt; // an escape of its own would switch the reader's mode
        out.push_back(static_cast<char>(c));
        ++i;
    }
    if (doubleByte)
        out.append(kToAscii);
    return out;
}

std::string CJisHeaderEncoder::DecodeMailText(std::string_view jis) {
    enum class Mode { Ascii, Jis208, Katakana };
    // The designations RFC 1468 and its readers use; any other escape is copied as it is.
    auto designation = [](std::string_view escape) -> std::optional<Mode> {
        if (escape == "\x1B$B" || escape == "\x1B$@")
            return Mode::Jis208;
        if (escape == "\x1B(B" || escape == "\x1B(J")
            return Mode::Ascii;
        if (escape == "\x1B(I")
            return Mode::Katakana;
        return std::nullopt;
    };
    std::string out;
    out.reserve(jis.size());
    Mode mode = Mode::Ascii;
    for (std::size_t i = 0; i < jis.size();) {
        const auto c = static_cast<unsigned char>(jis[i]);
        if (c == 0x1B) {
            if (const auto next = designation(jis.substr(i, 3))) {
                mode = *next;
                i += 3;
                continue;
            }
        }
        if (mode == Mode::Jis208 && c >= 0x21 && c <= 0x7E) {
            // A pair cut short keeps the byte that cut it (a line end, most likely).
            const auto sjis = JisPairToSjis(c, At(jis, i + 1));
            if (sjis)
                out.append(sjis->data(), 2);
            else
                out.push_back('?');
            i += sjis ? 2 : 1;
        } else if (mode == Mode::Katakana && c >= 0x21 && c <= 0x5F) {
            out.push_back(static_cast<char>(c + 0x80)); // JIS X 0201 katakana in Shift_JIS
            ++i;
        } else {
            out.push_back(static_cast<char>(c));
            ++i;
        }
    }
    return out;
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
