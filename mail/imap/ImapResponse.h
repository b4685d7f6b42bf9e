#pragma once
// IMAP responses (RFC 3501 section 7; RFC 9051 keeps their syntax) as the IMAP client reads
// them: where one ends in the received bytes (past every literal, RFC 3501 section 4.3), and
// its parts: tagged and untagged status responses with their response code (section 7.1),
// untagged data such as EXISTS, CAPABILITY, SEARCH and FETCH (sections 7.2 to 7.4), and
// continuation requests (section 7.5). Plain functions on bytes, no I/O: the client feeds
// them what CMailConnection read.
//
// The parser is lenient where servers are known to stray (atoms of any bytes but the
// delimiters, a blank after SEARCH, a response code without its closing bracket read as text)
// and strict where a wrong guess would misread the data (every CR LF outside a literal ends
// the response, a literal must be there in full). It never crashes, loops or allocates beyond
// a small multiple of its input, whatever the bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace replyend {
// One IMAP response as it comes off the wire: a line ending in CR LF, continued past every
// literal "{n}" / "{n+}" that ends a line (the n bytes after that CR LF are part of the response,
// whatever they hold, CR LF included), up to the CR LF that ends a line not ending in a literal.
// Returns the index just past the final CR LF, or npos while incomplete. Same contract as the
// rules in mail/net/MailConnection.h. A literal size beyond 2^31 or with more than 10 digits is no
// literal: the response ends at that line (and ParseResponse rejects it).
std::size_t ImapResponse(std::string_view buffered, std::size_t searchFrom);

// The same rule for one response that arrives in many reads: it remembers how far it got, so
// each byte of a line is searched once and the bytes of a literal never, however the response
// is cut into reads (a stateless rule would search an unfinished line again after each read).
class ImapResponseScanner {
public:
    std::size_t operator()(std::string_view buffered, std::size_t searchFrom);
    // Bytes searched for a line end so far.
    std::size_t BytesSearched() const { return m_bytesSearched; }

private:
    std::size_t m_lineStart = 0; // where the line not yet ended begins
    std::size_t m_searched = 0;  // how far that line has been searched
    std::size_t m_bytesSearched = 0;
};
} // namespace replyend

namespace imap {

// One value of a response's data: atom, number, string (quoted or literal, already unquoted /
// unescaped), NIL, or a parenthesised list. Section brackets of a FETCH item such as
// BODY[HEADER.FIELDS (SUBJECT FROM)] are one Atom whose text is the whole
// "BODY[HEADER.FIELDS (SUBJECT FROM)]" (the spaces and parentheses inside brackets kept as sent,
// letter case as sent); "<partial>" suffixes likewise stay in the atom.
struct Value {
    enum class Kind { Atom, Number, String, Nil, List };
    Kind kind = Kind::Atom;
    std::string text;         // Atom, String (and the digits of a Number)
    uint64_t number = 0;      // Number (a run of digits that fits 63 bits; longer: an Atom)
    std::vector<Value> items; // List

    friend bool operator==(const Value&, const Value&) = default;
};

struct Response {
    enum class Kind { Tagged, Untagged, Continuation };
    Kind kind = Kind::Untagged;
    std::string tag; // Tagged: the tag as sent
    // A status response (tagged, or untagged OK/NO/BAD/BYE/PREAUTH): the word in upper case;
    // empty for untagged data.
    std::string status;
    // The response code in brackets after a status, without the brackets, as sent (e.g.
    // "CAPABILITY IMAP4rev1 IDLE", "UIDVALIDITY 3857529045", "ALERT"); empty when none.
    std::string code;
    // The human-readable text of a status or continuation ("+ idling" -> "idling"), as sent.
    std::string text;
    // Untagged data: "* 23 EXISTS" -> number 23, name "EXISTS"; "* CAPABILITY IMAP4rev1 IDLE"
    // -> no number, name "CAPABILITY"; name in upper case.
    std::optional<uint32_t> number;
    std::string name;
    // The values after the name: CAPABILITY/SEARCH/FLAGS/ENABLED... give one value each;
    // FETCH gives one List.
    std::vector<Value> data;

    friend bool operator==(const Response&, const Response&) = default;
};

// Parses one whole response as replyend::ImapResponse delimits it (the final CR LF may be
// there or not). nullopt when it is not a well-formed response: among others a tagged status
// other than OK/NO/BAD, an untagged number beyond 32 bits, a CR LF before the end that no
// literal explains, lists nested deeper than 64, a literal that claims more bytes than there
// are. Atoms are parsed leniently as servers really send them: any run of bytes except SP,
// CR, LF, '(', ')', '{', '"', and (outside a section bracket) '['/']'. A status text may hold
// anything up to the line end, except that it ends its response: a status line that ends in
// "{n}" (which the end rule reads on past) is rejected.
std::optional<Response> ParseResponse(std::string_view bytes);

// Capability atoms of an untagged CAPABILITY response or of a "[CAPABILITY ...]" code, upper case.
std::vector<std::string> Capabilities(const Response& response);
// The numbers of an untagged SEARCH response (non-numbers skipped, and so are numbers beyond
// 32 bits, such as the MODSEQ of a CONDSTORE search).
std::vector<uint32_t> SearchNumbers(const Response& response);
// Of an untagged FETCH: the UID, and the string value of the first item whose name starts with
// "BODY[" (any case), e.g. the header lines of BODY[HEADER.FIELDS (SUBJECT FROM)]; nullopt
// when the response is no FETCH, has no UID (or UID 0), or has no such item holding a string
// or NIL (a FETCH the server sends of its own accord to tell new flags). A NIL body is an
// empty text.
struct FetchedHeader {
    uint32_t uid = 0;
    std::string header;
};
std::optional<FetchedHeader> HeaderOfFetch(const Response& response);
// A command argument: a quoted string "..." with \ and " escaped when the text holds no CR,
// LF, NUL or byte above 0x7F; nullopt otherwise (the caller then sends a literal).
std::optional<std::string> Quoted(std::string_view text);
// The value of a "[UIDVALIDITY n]" code (0 when absent or not a number).
uint32_t UidValidity(const Response& response);

} // namespace imap
