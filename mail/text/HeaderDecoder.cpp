// RFC 2047 encoded words (sections 2 to 6), RFC 2231 section 5 language suffixes, RFC 6532
// raw UTF-8 header text.
#include "mail/text/HeaderDecoder.h"

#include "mail/text/AsciiCase.h"
#include "mail/text/ContentEncoders.h"
#include "mail/text/JisHeaderEncoder.h"
#include "mail/text/TextCodec.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace mime {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = ascii::ToLower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Q: "_" is a blank, "=XX" a byte; everything else stands for itself (section 4.2).
std::optional<std::string> DecodeQ(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.push_back(' ');
        } else if (c == '=') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// One piece of the value: an encoded word's bytes in its charset, or plain text, with where
// it stands in the value.
struct Piece {
    bool encoded = false;
    std::string charset; // lower case, without a language suffix
    std::string bytes;
    std::size_t begin = 0, end = 0;
};

// The next place at or after a position where one of some characters (or a two-character
// pattern) stands. The positions asked for never go back, so the answer is kept until it lies
// behind them: each byte of the value is looked at once, whatever the value holds.
class ForwardFinder {
public:
    ForwardFinder(std::string_view raw, std::string_view what, bool pattern)
        : m_raw(raw), m_what(what), m_pattern(pattern) {}

    std::size_t From(std::size_t pos) {
        if (!m_valid || (m_found != std::string_view::npos && m_found < pos)) {
            m_found = m_pattern ? m_raw.find(m_what, pos) : m_raw.find_first_of(m_what, pos);
            m_valid = true;
        }
        return m_found;
    }

private:
    std::string_view m_raw;
    std::string_view m_what;
    bool m_pattern;
    bool m_valid = false;
    std::size_t m_found = std::string_view::npos;
};

struct Finders {
    explicit Finders(std::string_view raw)
        : question(raw, "?", false), close(raw, "?=", true), blank(raw, " \t\r\n", false) {}
    ForwardFinder question, close, blank;
};

// Reads the encoded word at raw[pos] ("=?" there); its length, or 0 when it is not one. A word
// holds no white space, so it ends before the next blank.
std::size_t ReadEncodedWord(std::string_view raw, std::size_t pos, Finders& find, Piece& piece) {
    const std::size_t charsetEnd = find.question.From(pos + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 3 > raw.size() ||
        raw[charsetEnd + 2] != '?' || charsetEnd == pos + 2)
        return 0;
    const std::size_t textEnd = find.close.From(charsetEnd + 3);
    const std::size_t blank = find.blank.From(pos);
    if (textEnd == std::string_view::npos || (blank != std::string_view::npos && blank < textEnd))
        return 0;
    std::string_view charset = raw.substr(pos + 2, charsetEnd - pos - 2);
    const std::string_view text = raw.substr(charsetEnd + 3, textEnd - charsetEnd - 3);
    charset = charset.substr(0, charset.find('*'));
    const char encoding = ascii::ToLower(raw[charsetEnd + 1]);
    // B: mailers that leave out the '=' fill are read too.
    std::optional<std::string> bytes =
        encoding == 'b'   ? encoders::DecodeBase64(text, encoders::Base64DecodeFlag::PadOptional)
        : encoding == 'q' ? DecodeQ(text)
                          : std::nullopt;
    if (!bytes)
        return 0;
    piece.encoded = true;
    piece.charset = ascii::Lower(charset);
    piece.bytes = std::move(*bytes);
    piece.begin = pos;
    piece.end = textEnd + 2;
    return piece.end - pos;
}

// Bytes of one charset as UTF-8; nullopt for a charset nobody here knows.
std::optional<std::string> ToUtf8(std::string_view bytes, const std::string& charset) {
    if (charset == "iso-2022-jp")
        return text::SjisToUtf8(CJisHeaderEncoder::DecodeMailText(bytes));
    return text::CharsetToUtf8(bytes, charset);
}

std::string PlainToUtf8(std::string_view bytes) {
    // An escape is the mark of ISO-2022-JP, whose bytes are all ASCII and so valid UTF-8 too.
    if (bytes.find('\x1B') != std::string_view::npos)
        return text::SjisToUtf8(CJisHeaderEncoder::DecodeMailText(bytes));
    if (text::IsUtf8(bytes))
        return std::string(bytes);
    return text::SjisToUtf8(bytes);
}

std::vector<Piece> Split(std::string_view raw) {
    std::vector<Piece> pieces;
    Finders finders(raw);
    std::size_t plainStart = 0;
    auto flushPlain = [&](std::size_t end) {
        if (end > plainStart)
            pieces.push_back({false,
                              {},
                              std::string(raw.substr(plainStart, end - plainStart)),
                              plainStart,
                              end});
    };
    for (std::size_t pos = 0; pos + 1 < raw.size();) {
        Piece word;
        const std::size_t length =
            raw.compare(pos, 2, "=?") == 0 ? ReadEncodedWord(raw, pos, finders, word) : 0;
        if (length == 0) {
            ++pos;
            continue;
        }
        flushPlain(pos);
        pieces.push_back(std::move(word));
        pos += length;
        plainStart = pos;
    }
    flushPlain(raw.size());
    return pieces;
}

} // namespace

std::string DecodeHeaderValue(std::string_view raw) {
    std::vector<Piece> pieces = Split(raw);

    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        if (!piece.encoded) {
            const bool onlyBlanks = std::all_of(piece.bytes.begin(), piece.bytes.end(), IsBlank);
            const bool betweenWords =
                i > 0 && i + 1 < pieces.size() && pieces[i - 1].encoded && pieces[i + 1].encoded;
            if (!(onlyBlanks && betweenWords))
                out += PlainToUtf8(piece.bytes);
            continue;
        }
        // A run of words of one charset (only blanks between them) is one byte sequence.
        std::string bytes = piece.bytes;
        std::size_t last = i;
        for (std::size_t k = i + 1; k < pieces.size(); ++k) {
            if (pieces[k].encoded) {
                if (pieces[k].charset != piece.charset)
                    break;
                bytes += pieces[k].bytes;
                last = k;
            } else if (!std::all_of(pieces[k].bytes.begin(), pieces[k].bytes.end(), IsBlank)) {
                break;
            }
        }
        if (const auto text = ToUtf8(bytes, piece.charset)) {
            out += *text;
        } else {
            // Unknown charset: the words stay as they were written (RFC 2047 section 6.3).
            out += PlainToUtf8(raw.substr(piece.begin, pieces[last].end - piece.begin));
        }
        i = last;
    }
    out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
    return out;
}

} // namespace mime
