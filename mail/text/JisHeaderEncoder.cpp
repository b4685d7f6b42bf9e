// Shift_JIS <-> ISO-2022-JP (RFC 1468) for Japanese mail text and header words.

#include "mail/text/JisHeaderEncoder.h"

#include "mail/text/TextCodec.h"

#include <array>
#include <optional>

namespace {

constexpr std::string_view kToJis208 = "\x1B$B";
constexpr std::string_view kToAscii = "\x1B(B";

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
