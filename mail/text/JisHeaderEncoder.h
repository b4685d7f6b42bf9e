#pragma once
// Japanese text in mail: Shift_JIS (code page 932) to ISO-2022-JP (RFC 1468) and back, for
// headers (RFC 2047 B encoded words) and for text bodies. Every function works on code page 932
// byte strings; convert from and to the program's UTF-8 with text::Utf8ToSjis /
// text::SjisToUtf8 (mail/text/TextCodec.h).
//
// Inputs are treated as C texts (a NUL byte ends the text), except by EncodeMailText and
// DecodeMailText, which take every byte. Outputs grow to fit, however long the input; nothing is
// read past the end of an input. Running out of memory gives the empty text.

#include <optional>
#include <string>
#include <string_view>

class CJisHeaderEncoder final {
public:
    CJisHeaderEncoder() = delete;

    // Shift_JIS to ISO-2022-JP. Every run of double-byte characters is enclosed in one
    // ESC $ B ... ESC ( B pair, so the result always ends in ASCII mode. CR LF (and a lone CR)
    // becomes LF; single-byte katakana and other bytes are copied. A character without a JIS
    // pair (user-defined characters, lead bytes 0xF0-0xFC, bad trail bytes) ends the text there;
    // a lead byte at the very end is dropped.
    static std::string ShiftJisToJis(std::string_view sjis);

    // "=?ISO-2022-JP?B?" + base64 of all bytes of jis (padded with "=") + "?=". Never split or
    // folded, whatever its length.
    static std::string MakeEncodedWord(std::string_view jis);

    // A raw header value (for example an unfolded Subject) to Shift_JIS, decoded as
    // mime::DecodeHeaderValue (mail/text/HeaderDecoder.h) decodes it; what code page 932 cannot
    // hold becomes "?".
    static std::string DecodeHeaderText(std::string_view raw);

    // Shift_JIS to ISO-2022-JP as mail text must be (RFC 1468): ASCII and JIS X 0208 only, each
    // double-byte run closed by ESC ( B before the next single byte, so every line ends in
    // ASCII. nullopt when the text holds what ISO-2022-JP cannot carry: half-width katakana,
    // user-defined characters, bytes that are not Shift_JIS. CR and LF are kept as they are.
    static std::optional<std::string> EncodeMailText(std::string_view sjis);

    // ISO-2022-JP to Shift_JIS, every byte accounted for: ESC $ B and ESC $ @ switch to JIS
    // X 0208, ESC ( B and ESC ( J to ASCII, ESC ( I to half-width katakana; a pair cut short
    // becomes "?"; nothing else is changed or dropped.
    static std::string DecodeMailText(std::string_view jis);

    // ISO-2022-JP to Shift_JIS. ESC $ B and ESC $ @ switch to double-byte JIS X 0208, ESC ( B and
    // ESC ( J back to ASCII. A lone LF becomes CR LF, '=' is dropped, other bytes are copied. A
    // JIS pair outside the mapping ends the text there.
    static std::string JisToShiftJis(std::string_view jis);

    // Decodes base64 four characters at a time; characters outside the alphabet ('=' included)
    // count as 0, and a missing character at the end counts as '='. The first zero byte
    // produced ends the text.
    static std::string DecodeBase64Text(std::string_view base64);
};
