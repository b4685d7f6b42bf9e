#pragma once
// The address of a mailbox as a From field writes it (RFC 5322 section 3.4), and the
// comparison of two addresses.

#include <string>
#include <string_view>

namespace mailbox {

// The address of a single mailbox in a raw (not decoded) header value, in any form RFC 5322
// allows: `Name <addr>`, `"Quoted, Name" <addr>`, `=?charset?B?...?= <addr>`, `addr (Comment)`,
// a bare `addr`, with comments and white space around them. Quoted strings and comments may
// hold "<", ">" and "," without ending anything. The result is the text between the angle
// brackets (without the obsolete route "@a,@b:"), else the value without the comments and
// white space at its ends; always a part of value as written. Empty when an angle bracket is
// left open.
std::string AddressOf(std::string_view value);

// True for an address a reply can go to: local-part "@" domain, all printable ASCII, the local
// part of atom characters and dots (mobile carriers hand out "a..b." forms, so dots may stand
// anywhere), the domain of letters, digits and hyphens in dot-separated labels, or an address
// literal "[...]". Quoted local parts and comments are not taken: they could not travel
// through the envelope lists of the SMTP session unharmed.
bool IsPlainAddress(std::string_view address);

// True when a and b name the same mailbox: the local parts equal byte for byte, the domains
// without regard to ASCII letter case (domain names are case-insensitive, RFC 5321 2.4).
bool SameAddress(std::string_view a, std::string_view b);
// The address as SameAddress compares it: the local part as it is, the domain in lower case.
std::string AddressKey(std::string_view address);

// The domain of an address (after its last "@"); empty when there is none.
std::string_view DomainOf(std::string_view address);

} // namespace mailbox
