#pragma once
// Header values as mail programs write them, to the program's text (UTF-8): RFC 2047 encoded
// words of any charset iconv knows, raw 8-bit UTF-8 (RFC 6532, the SMTPUTF8 form) and the raw
// ISO-2022-JP or Shift_JIS of older Japanese mailers.

#include <string>
#include <string_view>

namespace mime {

// Decodes an unfolded header value:
//  - "=?charset?B?...?=" and "=?charset?Q?...?=" (B and Q in either case, "charset*lang" of
//    RFC 2231 too) become their text; white space between two adjacent encoded words is
//    dropped (RFC 2047 section 6.2), and adjacent words of one charset are decoded as one run
//    of bytes, so a character split across two words comes out whole;
//  - text outside encoded words is taken as ISO-2022-JP when it holds an escape, else as UTF-8
//    when it is valid UTF-8, else as Shift_JIS;
//  - a word of a charset that is not known, or that is malformed, stays as written;
//  - bytes that are not valid in their charset become U+FFFD; NUL bytes are dropped.
std::string DecodeHeaderValue(std::string_view raw);

} // namespace mime
