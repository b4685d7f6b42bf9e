// Transfer encodings of RFC 2045 (base64, quoted-printable), traditional uuencode and the
// encoded words of RFC 2047.

#include "mail/text/ContentEncoders.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace encoders {
namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr std::size_t kGroupsPerLine = 19; // 76 characters

// The two base64 characters of every 12-bit value, first character in the low byte, so that
// one lookup serves half of a 3-byte group.
struct Base64PairTable {
    std::array<std::uint16_t, 4096> pairs{};
    constexpr Base64PairTable() {
        for (unsigned v = 0; v < 4096; ++v)
            pairs[v] = static_cast<std::uint16_t>(
                static_cast<unsigned char>(kBase64Alphabet[v >> 6]) |
                static_cast<unsigned char>(kBase64Alphabet[v & 63]) << 8);
    }
};
constexpr Base64PairTable kPairs;

// The value of every byte as a base64 character, -1 outside the alphabet.
struct Base64ValueTable {
    std::array<std::int8_t, 256> values{};
    constexpr Base64ValueTable() {
        for (auto& v : values)
            v = -1;
        for (int i = 0; i < 64; ++i)
            values[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::int8_t>(i);
    }
};
constexpr Base64ValueTable kValues;

// Stores a little-endian value byte by byte in memory order, whatever the host order.
template <typename T> inline char* StoreLowFirst(T value, char* out) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &value, sizeof value);
    } else {
        for (std::size_t i = 0; i < sizeof value; ++i)
            out[i] = static_cast<char>(value >> (8 * i));
    }
    return out + sizeof value;
}

// One group of 3 bytes to 4 characters.
inline char* EncodeGroup(const unsigned char* s, char* out) {
    const std::uint32_t v = (std::uint32_t{s[0]} << 16) | (std::uint32_t{s[1]} << 8) | s[2];
    return StoreLowFirst(kPairs.pairs[v >> 12] | (std::uint32_t{kPairs.pairs[v & 0xFFF]} << 16),
                         out);
}

// The 8 bytes at s as one big-endian number (s[0] in the top byte).
inline std::uint64_t LoadHighFirst(const unsigned char* s) {
    std::uint64_t x;
    std::memcpy(&x, s, sizeof x);
    if constexpr (std::endian::native == std::endian::little)
        x = __builtin_bswap64(x);
    return x;
}

// Two groups (6 bytes) to 8 characters. Reads 8 bytes: the caller guarantees 2 more after them.
inline char* EncodeTwoGroups(const unsigned char* s, char* out) {
    const std::uint64_t x = LoadHighFirst(s);
    return StoreLowFirst(std::uint64_t{kPairs.pairs[(x >> 52) & 0xFFF]} |
                             (std::uint64_t{kPairs.pairs[(x >> 40) & 0xFFF]} << 16) |
                             (std::uint64_t{kPairs.pairs[(x >> 28) & 0xFFF]} << 32) |
                             (std::uint64_t{kPairs.pairs[(x >> 16) & 0xFFF]} << 48),
                         out);
}

// One full line: 57 bytes to 76 characters (9 double groups, then one group).
inline char* EncodeLine(const unsigned char* s, char* out) {
    for (int i = 0; i < 9; ++i, s += 6)
        out = EncodeTwoGroups(s, out);
    return EncodeGroup(s, out);
}

// Literal in quoted-printable and in Q words: '!' to '<' and '>' to '~'.
constexpr bool IsPrintableExceptEquals(unsigned char c) {
    return (c >= 33 && c <= 60) || (c >= 62 && c <= 126);
}

inline char* WriteHexEscape(unsigned char c, char* out) {
    out[0] = '=';
    out[1] = kHexDigits[c >> 4];
    out[2] = kHexDigits[c & 15];
    return out + 3;
}

// Traditional uuencode character of a 6-bit value; 0 is written '`' instead of a blank.
constexpr char UuChar(unsigned v) {
    return v == 0 ? '`' : static_cast<char>(v + 32);
}

} // namespace

std::size_t Base64EncodedLength(std::size_t sourceLength, unsigned flags) {
    const std::size_t groups = sourceLength / 3;
    const std::size_t rest = sourceLength % 3;
    std::size_t length = groups * 4;
    if (!(flags & Base64Flag::NoLineBreaks))
        length += 2 * (groups / kGroupsPerLine);
    if (rest != 0)
        length += (flags & Base64Flag::NoPad) ? rest + 1 : 4;
    return length;
}

std::size_t EncodeBase64To(const unsigned char* source, std::size_t length, unsigned flags,
                           char* out) {
    char* const start = out;
    const std::size_t groups = length / 3;
    const bool lineBreaks = !(flags & Base64Flag::NoLineBreaks);
    const unsigned char* s = source;

    for (std::size_t lines = groups / kGroupsPerLine; lines > 0; --lines, s += 57) {
        out = EncodeLine(s, out);
        if (lineBreaks) {
            *out++ = '\r';
            *out++ = '\n';
        }
    }
    for (std::size_t g = groups % kGroupsPerLine; g > 0; --g, s += 3)
        out = EncodeGroup(s, out);

    const std::size_t rest = length % 3;
    if (rest != 0) {
        const unsigned b0 = s[0];
        const unsigned b1 = rest == 2 ? s[1] : 0;
        *out++ = kBase64Alphabet[b0 >> 2];
        *out++ = kBase64Alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        if (rest == 2)
            *out++ = kBase64Alphabet[(b1 & 15) << 2];
        if (!(flags & Base64Flag::NoPad)) {
            *out++ = '=';
            if (rest == 1)
                *out++ = '=';
        }
    }
    return static_cast<std::size_t>(out - start);
}

std::string EncodeBase64Block(std::string_view source, unsigned flags) {
    std::string out(Base64EncodedLength(source.size(), flags), '\0');
    EncodeBase64To(reinterpret_cast<const unsigned char*>(source.data()), source.size(), flags,
                   out.data());
    return out;
}

std::optional<std::string> DecodeBase64(std::string_view text, unsigned flags) {
    std::size_t fill = 0;
    while (fill < 2 && fill < text.size() && text[text.size() - 1 - fill] == '=')
        ++fill;
    const std::string_view digits = text.substr(0, text.size() - fill);
    const std::size_t rest = digits.size() % 4;
    const bool fillFits =
        fill == 0 ? rest == 0 || (flags & Base64DecodeFlag::PadOptional) : rest + fill == 4;
    if (rest == 1 || !fillFits)
        return std::nullopt;
    std::string out;
    out.reserve(digits.size() / 4 * 3 + 2);
    std::uint32_t bits = 0;
    int collected = 0;
    for (char c : digits) {
        const int value = kValues.values[static_cast<unsigned char>(c)];
        if (value < 0)
            return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        collected += 6;
        if (collected >= 8) {
            collected -= 8;
            out.push_back(static_cast<char>((bits >> collected) & 0xFF));
        }
    }
    return out;
}

std::string EncodeQuotedPrintableBlock(std::string_view source, unsigned flags) {
    // A line takes at least 22 input bytes before its soft break (65 characters, at most 3 per
    // byte plus a stuffed dot), and costs at most 4 extra characters (dot and "=" CRLF).
    std::string out(3 * source.size() + 4 * (source.size() / 21 + 2), '\0');
    char* o = out.data();
    const bool dotStuff = flags & QuotedPrintableFlag::DotStuff;
    unsigned column = 0;
    for (char ch : source) {
        const auto c = static_cast<unsigned char>(ch);
        if (column == 0 && dotStuff && c == '.') {
            *o++ = '.';
            column = 1;
        }
        if (IsPrintableExceptEquals(c) || ((c == ' ' || c == '\t') && column < 64)) {
            *o++ = static_cast<char>(c);
            column += 1;
        } else {
            o = WriteHexEscape(c, o);
            column += 3;
        }
        if (column >= 65) {
            *o++ = '=';
            *o++ = '\r';
            *o++ = '\n';
            column = 0;
        }
    }
    if (flags & QuotedPrintableFlag::SoftBreakAtEnd) {
        *o++ = '=';
        *o++ = '\r';
        *o++ = '\n';
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::optional<std::string> EncodeUuBlock(std::string_view source, std::string_view fileName,
                                         unsigned flags) {
    constexpr std::size_t kBytesPerLine = 45;
    std::string out;
    if (flags & UuFlag::WriteBegin) {
        // The name goes into a line of its own: a line break in it would end the line early.
        if (fileName.size() >= 260 ||
            fileName.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
            return std::nullopt;
        out.append("begin 666 ").append(fileName).append("\r\n");
    }
    const std::size_t lines = (source.size() + kBytesPerLine - 1) / kBytesPerLine;
    // Per line: length character (twice at most), 60 characters, CRLF.
    const std::size_t head = out.size();
    out.resize(head + lines * (2 + 60 + 2) + 8);
    char* o = out.data() + head;
    const auto* s = reinterpret_cast<const unsigned char*>(source.data());
    std::size_t left = source.size();
    while (left > 0) {
        const std::size_t count = left < kBytesPerLine ? left : kBytesPerLine;
        const char lengthChar = static_cast<char>(count + 32);
        *o++ = lengthChar;
        if (lengthChar == '.' && (flags & UuFlag::DotStuff))
            *o++ = '.';
        for (std::size_t i = 0; i < count; i += 3) {
            const unsigned b0 = s[i];
            const unsigned b1 = i + 1 < count ? s[i + 1] : ' ';
            const unsigned b2 = i + 2 < count ? s[i + 2] : ' ';
            *o++ = UuChar(b0 >> 2);
            *o++ = UuChar(((b0 & 3) << 4) | (b1 >> 4));
            *o++ = UuChar(((b1 & 15) << 2) | (b2 >> 6));
            *o++ = UuChar(b2 & 63);
        }
        *o++ = '\r';
        *o++ = '\n';
        s += count;
        left -= count;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (flags & UuFlag::WriteEnd)
        out.append("`\r\nend\r\n");
    return out;
}

std::string EncodeHeaderWordQ(std::string_view bytes, std::string_view charset) {
    std::string out;
    out.reserve(charset.size() + 3 * bytes.size() + 7);
    out.append("=?").append(charset).append("?Q?");
    char escape[3];
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsPrintableExceptEquals(c) && c != '?' && c != '_') {
            out.push_back(static_cast<char>(c));
        } else {
            WriteHexEscape(c, escape);
            out.append(escape, 3);
        }
    }
    out.append("?=");
    return out;
}

std::string EncodeHeaderWordB(std::string_view bytes, std::string_view charset) {
    std::string out;
    out.reserve(charset.size() + 7 + Base64EncodedLength(bytes.size(), Base64Flag::NoLineBreaks));
    out.append("=?").append(charset).append("?B?");
    out.append(EncodeBase64Block(bytes, Base64Flag::NoLineBreaks));
    out.append("?=");
    return out;
}

std::size_t CountExtendedBytes(std::string_view bytes) {
    std::size_t count = 0;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 32 || c > 126) && c != '\t' && c != '\n' && c != '\r')
            ++count;
    }
    return count;
}

} // namespace encoders
