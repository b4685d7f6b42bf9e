#pragma once
// Helpers of the MIME composer: the Date line, the multipart boundary, content types by file
// extension, header encoding of display names and subjects, and the folding of the To list.

#include <ctime>
#include <string>
#include <string_view>

namespace mime {

// "Date: Sun, 6 Dec 2026 15:47:44 +0900" (no CR LF) for a local time and the zone bias in
// minutes (UTC = local + bias, so Japan is -540). A zero bias gives "-0000".
std::string FormatDateLine(const std::tm& local, long biasMinutes);
// The same for the current local time and zone.
std::string FormatDateLine();

// "------=_Next_Part_" + ten digits (milliseconds since system start) + "." + three digits:
// always 32 characters.
std::string MakeBoundary();

// The content type of a file by its extension from the system's mime.types table;
// "application/octet-stream" when the extension is empty or not listed.
std::string LookupContentType(std::string_view path,
                              const std::string& mimeTypesFile = "/etc/mime.types");

// A display name or subject in charset: unchanged when it holds no extended bytes, else one Q
// encoded word (under 17 % extended bytes) or one B encoded word.
std::string EncodeHeaderText(std::string_view bytes, const std::string& charset);

// A display name in an address header (From, To). Like EncodeHeaderText, except that a plain
// name holding characters that would split the address list (",", "<", '"', ...) is quoted
// (always, with alwaysQuote), and a Q word whose text holds characters RFC 2047 5(3) does not
// allow in a phrase becomes a B word.
std::string EncodeDisplayName(std::string_view bytes, const std::string& charset, bool alwaysQuote);

// CR LF TAB after every ',' of a recipient list, dropping one blank right after the comma.
std::string FoldRecipientList(std::string_view list);

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
