#pragma once
// Japanese text in mail: Shift_JIS (code page 932) to ISO-2022-JP (RFC 1468) and back, for
// headers (the payload of RFC 2047 B encoded words) and for text bodies. Both functions work on
// code page 932 byte strings and take every byte; convert from and to the program's UTF-8 with
// text::Utf8ToSjis / text::SjisToUtf8 (mail/text/TextCodec.h). Nothing is read past the end of
// an input.

#include <optional>
#include <string>
#include <string_view>

class CJisHeaderEncoder final {
public:
    CJisHeaderEncoder() = delete;

    // Shift_JIS to ISO-2022-JP as mail text must be (RFC 1468): ASCII and JIS X 0208 only, each
    // double-byte run closed by ESC ( B before the next single byte, so every line ends in
    // ASCII. nullopt when the text holds what ISO-2022-JP cannot carry: half-width katakana,
    // user-defined characters, bytes that are not Shift_JIS. CR and LF are kept as they are.
    static std::optional<std::string> EncodeMailText(std::string_view sjis);

    // ISO-2022-JP to Shift_JIS, every byte accounted for: ESC $ B and ESC $ @ switch to JIS
    // X 0208, ESC ( B and ESC ( J to ASCII, ESC ( I to half-width katakana; a pair cut short
    // becomes "?"; nothing else is changed or dropped.
    static std::string DecodeMailText(std::string_view jis);
};
