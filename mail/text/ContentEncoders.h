#pragma once
// Content transfer encodings for attachments (base64 of RFC 2045, quoted-printable,
// traditional uuencode), applied one block at a time, and the RFC 2047 encoded words (Q and B)
// for display names and subjects; the program's one base64 decoder. None of them keeps state
// between blocks; the composer's block sizes (multiples of 57, 45 and 76 bytes) keep the output
// continuous.
//
// Every encoder makes one pass over its input and writes into an output sized up front; the
// output is returned as a std::string that fits exactly, so no input length can overflow it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace encoders {

struct Base64Flag {
    enum : unsigned {
        NoPad = 1,        // leave out the '=' fill after the last 1 or 2 bytes
        NoLineBreaks = 2, // one line, no CRLF after every 76 characters
    };
};

struct Base64DecodeFlag {
    enum : unsigned {
        PadOptional = 1, // the '=' fill of the last group may be left out (never half of it)
    };
};

struct QuotedPrintableFlag {
    enum : unsigned {
        DotStuff = 1,       // double a '.' that starts a line (SMTP DATA)
        SoftBreakAtEnd = 2, // end the block with "=" CRLF (the next block continues the line)
    };
};

struct UuFlag {
    enum : unsigned {
        WriteBegin = 1, // "begin 666 <name>" line first
        WriteEnd = 2,   // "`" and "end" lines last
        DotStuff = 4,   // a line starting with '.' (14 bytes) gets a second '.'
    };
};

// Base64 text of source: 4 characters per 3 bytes, CRLF after every full line of 76 characters
// (not after a shorter last line); 1 or 2 bytes left over give 2 or 3 characters plus '=' fill.
std::string EncodeBase64Block(std::string_view source, unsigned flags = 0);

// Number of characters EncodeBase64Block produces for sourceLength bytes with these flags.
std::size_t Base64EncodedLength(std::size_t sourceLength, unsigned flags);

// Writes the base64 text of source[0, length) to out, which must hold
// Base64EncodedLength(length, flags) characters; returns the number written.
std::size_t EncodeBase64To(const unsigned char* source, std::size_t length, unsigned flags,
                           char* out);

// The bytes of base64 text (RFC 4648 section 4), strictly: the alphabet only, in groups of
// four, the last group of 2 or 3 characters filled with "==" or "=". nullopt for anything
// else: white space, a character outside the alphabet, '=' before the end, fill that is
// missing (unless PadOptional) or too long, one character left over. The empty text is no
// bytes. A caller that allows white space (folded header values) takes it out first.
std::optional<std::string> DecodeBase64(std::string_view text, unsigned flags = 0);

// Quoted-printable text of source: '!' to '<' and '>' to '~' literal, blank and TAB literal
// below column 64, everything else (CR and LF included) as "=XX"; soft break "=" CRLF once a line
// holds 65 characters or more.
std::string EncodeQuotedPrintableBlock(std::string_view source, unsigned flags = 0);

// Uuencoded lines of source, 45 bytes per line, each ending in CRLF. Fails (nullopt) with
// WriteBegin when fileName has 260 characters or more or holds CR, LF or NUL.
std::optional<std::string> EncodeUuBlock(std::string_view source, std::string_view fileName,
                                         unsigned flags);

// "=?charset?Q?...?=": bytes '!' to '<' and '>' to '~' except '?' and '_' literal, all others
// (a blank included) as "=XX". One word, no length limit.
std::string EncodeHeaderWordQ(std::string_view bytes, std::string_view charset);

// "=?charset?B?" + base64 of bytes (one line, with '=' fill) + "?=".
std::string EncodeHeaderWordB(std::string_view bytes, std::string_view charset);

// Bytes other than TAB, LF and CR that lie below 32 or above 126.
std::size_t CountExtendedBytes(std::string_view bytes);

} // namespace encoders
