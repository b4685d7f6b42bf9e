#pragma once
// kestrovamail --set-up ADDRESS [--dry-run] [--accept-other-domain]: finds the account's
// servers (AccountDiscovery), says each source it passed over (and why) as the search goes,
// then what it found and from where, writes them into setup.ini and says what is left to do:
// the password (--set-password) or the OAuth sign-in (--sign-in). With dryRun nothing is
// written. Servers outside the address's domain that only DNS SRV named are written only with
// acceptOtherDomain.

#include <iosfwd>
#include <string>

namespace setupcli {

inline constexpr int kDone = 0; // written, or printed with dryRun
// nothing usable found, only servers in another domain and not accepted, or setup.ini not
// writable
inline constexpr int kNothingFound = 1;
inline constexpr int kBadAddress = 2; // no address to look up

int SetUp(const std::string& folder, const std::string& address, bool dryRun,
          bool acceptOtherDomain, std::ostream& out, std::ostream& err);

} // namespace setupcli
