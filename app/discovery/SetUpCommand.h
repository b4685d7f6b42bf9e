#pragma once
// kestrovamail --set-up ADDRESS [--dry-run]: finds the account's servers (AccountDiscovery),
// says what it found and from where (and which sources it passed over, and why), writes them
// into setup.ini and says what is left to do: the password (--set-password) or the OAuth
// sign-in (--sign-in). With dryRun nothing is written.

#include <iosfwd>
#include <string>

namespace setupcli {

inline constexpr int kDone = 0;         // written, or printed with dryRun
inline constexpr int kNothingFound = 1; // nothing usable found, or setup.ini not writable
inline constexpr int kBadAddress = 2;   // no address to look up

int SetUp(const std::string& folder, const std::string& address, bool dryRun, std::ostream& out,
          std::ostream& err);

} // namespace setupcli
