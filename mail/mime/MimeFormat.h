#pragma once
// Helpers the MIME composer writes its messages with: the Date line, the multipart boundary,
// content types by file extension, the Message-ID, the text body in 8-bit or 7-bit form, and
// the checks that keep texts from adding header lines or commands. Header fields themselves
// are written by mime::HeaderField (mail/mime/MimeHeaderField.h).

#include <ctime>
#include <string>
#include <string_view>

namespace mime {

// "Date: Sun, 6 Dec 2026 15:47:44 +0900" (no CR LF) for a local time and the zone bias in
// minutes (UTC = local + bias, so Japan is -540). A zero bias gives "+0000".
std::string FormatDateLine(const std::tm& local, long biasMinutes);
// The same for the current local time and zone.
std::string FormatDateLine();

// "------=_Next_Part_" + ten digits (milliseconds since system start) + "." + three digits:
// always 32 characters.
std::string MakeBoundary();

// The content type of a file by its extension from the system's mime.types table;
// "application/octet-stream" when the extension is empty or not listed. Each table file is
// read once per process (the first lookup); later changes to it are not seen.
std::string LookupContentType(std::string_view path,
                              const std::string& mimeTypesFile = "/etc/mime.types");

// "<20261206064744.5f3a9c2e7b1d0a84.1@example.com>": a Message-ID (RFC 5322 3.6.4) made of the
// time, 64 random bits and a count of this process, at the domain of senderAddress, or of this
// host when the address has no domain that can stand there.
std::string MakeMessageId(std::string_view senderAddress);

// A text part's body as it travels: the charset and transfer encoding its header names, and
// its lines (CR LF between them, none after the last; no dot-stuffing yet).
struct TextBody {
    std::string charset;
    std::string transferEncoding; // "8bit", "7bit" or "base64"
    std::string lines;
};

// Text bytes in charset as a body: every line break CR LF, lines within 998 bytes (never split
// inside a Shift_JIS character). With eightBit (the server takes 8BITMIME) the bytes go as they
// are ("8bit"). Without, ASCII goes as "7bit"; Shift_JIS goes as ISO-2022-JP (RFC 1468), the
// form every Japanese mail reader has shown since the first ones, including phones that know
// no Shift_JIS in mail; text ISO-2022-JP cannot hold (half-width katakana, user-defined
// characters), and 8-bit text of other charsets, goes as base64 in its own charset.
TextBody EncodeTextBody(std::string_view bytes, std::string_view charset, bool eightBit);

// Doubles a '.' that begins a line (RFC 5321 4.5.2); lines end in CR LF.
std::string DotStuff(std::string_view lines);

// Removes every CR and LF, so that a text cannot start a header line or a command.
std::string StripLineBreaks(std::string_view text);
// True when an address may go into a header or an SMTP command: no CR, LF, NUL, '<' or '>'.
bool IsSafeAddress(std::string_view address);

// The last component of a path (after its last "/" or "\\"): the name an attachment travels
// under, never the folder it was read from.
std::string FileNameOfPath(std::string_view path);
// A file name as the value of a quoted header parameter: line breaks dropped, '"' and '\\'
// escaped.
std::string QuotedParameterText(std::string_view name);

} // namespace mime
