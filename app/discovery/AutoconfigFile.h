#pragma once
// Reads a mail provider's configuration file (the autoconfig format, config-v1.1.xml):
//
//   <clientConfig version="1.1"><emailProvider id="example.com">
//     <incomingServer type="imap">               imap or pop3 (others are passed over)
//       <hostname>imap.example.com</hostname>   may hold the placeholders below
//       <port>993</port>
//       <socketType>SSL</socketType>            SSL, STARTTLS or plain
//       <username>%EMAILADDRESS%</username>     %EMAILADDRESS%, %EMAILLOCALPART%, %EMAILDOMAIN%
//       <authentication>password-cleartext</authentication>   one or more; OAuth2 too
//     </incomingServer>
//     <outgoingServer type="smtp">...</outgoingServer>
//   </emailProvider></clientConfig>
//
// The text comes from a web server and is trusted for nothing: a server in clear text, with a
// host name or port that is not one, a log-in name that could not go into a command, or only
// log-ins the program cannot do is not taken.

#include "app/discovery/AccountDiscovery.h"

#include <string>
#include <string_view>

struct AutoconfigReading {
    // The best incoming server (IMAP before POP3, SSL before STARTTLS, then the file's order),
    // the best SMTP server, and the OAuth provider where the servers take sign-in.
    std::optional<DiscoveredAccount> account;
    std::string problem; // translated, when there is no account
};

// xml: the file as it came; address: the account's, for the placeholders.
AutoconfigReading ReadAutoconfig(std::string_view xml, const std::string& address);

// True for a host name a server may have: letters, digits and hyphens in dot-separated labels.
bool IsServerHostName(std::string_view host);
