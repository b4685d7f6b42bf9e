#pragma once
// Conversion between the program's inner text (UTF-8) and code page 932 (Shift_JIS), the
// encoding of the INI files, the log file, the password cipher and mail text on the wire.
// This is the only place that talks to iconv.

#include <optional>
#include <string>
#include <string_view>

namespace text {

// True when the platform can convert between UTF-8 and code page 932 at all.
bool CodePageAvailable();

// UTF-8 to code page 932. A character that code page 932 cannot hold, and every byte that is
// not valid UTF-8, becomes a single "?" (the default character Windows uses for the same case).
std::string Utf8ToSjis(std::string_view utf8);
// True when Utf8ToSjis keeps every character of utf8 (none becomes "?").
bool FitsSjis(std::string_view utf8);

// Code page 932 to UTF-8. A byte (or an incomplete double-byte pair) that is not valid
// code page 932 becomes U+FFFD, so the text stays displayable and the rest is kept.
std::string SjisToUtf8(std::string_view sjis);

// Latin-1 (code page 28591) to UTF-8 and back; "?" for what Latin-1 cannot hold.
std::string Utf8ToLatin1(std::string_view utf8);
std::string Latin1ToUtf8(std::string_view latin1);

// Bytes of any charset iconv knows (name in any letter case, e.g. "EUC-JP", "utf-8",
// "Shift_JIS") to UTF-8. A sequence that is not valid in that charset becomes U+FFFD. nullopt
// when the charset is unknown or its name is not a plain charset name.
std::optional<std::string> CharsetToUtf8(std::string_view bytes, std::string_view charset);

// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view bytes);

// True when byte b starts a double-byte character in code page 932.
constexpr bool IsSjisLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Cuts sjis to at most maxBytes bytes without splitting a double-byte character.
std::string_view CutSjis(std::string_view sjis, std::size_t maxBytes);

} // namespace text
