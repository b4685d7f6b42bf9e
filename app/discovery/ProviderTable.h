#pragma once
// The mail providers most of our users have, kept as data (ProviderTable.cpp, with the month
// the entries were last checked): the servers for the providers' own domains, the MX hosts
// that mark a domain the provider hosts, and whether the provider takes OAuth 2.0 sign-in
// instead of passwords. It answers when the shared provider database cannot be reached; each
// row names where its facts are published, and a row nobody confirms is not kept.

#include "app/discovery/AccountDiscovery.h"

#include <string>
#include <string_view>
#include <vector>

struct ProviderEntry {
    const char* name;                    // "Gmail", for people
    std::vector<const char*> domains;    // the addresses' domains it answers for
    std::vector<const char*> mxSuffixes; // an MX host ending in one of these: a hosted domain
    DiscoveredServer incoming;           // userName may hold the autoconfig placeholders
    DiscoveredServer outgoing;
    const char* oauthProvider; // OAUTH_PROVIDER, or "" for a password log-in
    const char* note;          // a QT_TRANSLATE_NOOP("AccountDiscovery", ...) or nullptr
    const char* source;        // where the servers are published ("ISPDB hotmail.com", a URL)
};

namespace providers {

// The month the table was last checked, as "2026-12".
extern const char* const kTableDate;

// Every row, for the test that holds them against the published facts.
const std::vector<ProviderEntry>& ProviderRows();

// The entry for an address's domain (lower case), or nullptr.
const ProviderEntry* ForDomain(std::string_view domain);
// The entry whose MX suffix the host (lower case, without the final dot) ends in, or nullptr.
const ProviderEntry* ForMxHost(std::string_view host);
// The OAUTH_PROVIDER a mail server's host belongs to ("google" for imap.gmail.com), or "".
std::string OAuthProviderForHost(std::string_view host);

// pattern with %EMAILADDRESS%, %EMAILLOCALPART% and %EMAILDOMAIN% replaced from address
// (the autoconfig placeholders); any other text as it stands.
std::string ExpandPlaceholders(std::string_view pattern, const std::string& address);

} // namespace providers
