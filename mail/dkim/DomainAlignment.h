#pragma once
// Relaxed identifier alignment as DMARC has it (RFC 7489 section 3.1): two domains are aligned
// when they share the organizational domain, the registrable domain below a public suffix.
// The suffixes come from the system's public suffix list through libpsl (the newer of the
// distribution's file and the library's built-in copy).

#include <string>
#include <string_view>

namespace alignment {

// The organizational domain of a domain name (lower case, without a final dot); the name
// itself when it is a public suffix or libpsl knows no better.
std::string OrganizationalDomain(std::string_view domain);

// True when both names have the same organizational domain; empty names never align.
bool RelaxedAligned(std::string_view signingDomain, std::string_view fromDomain);

} // namespace alignment
