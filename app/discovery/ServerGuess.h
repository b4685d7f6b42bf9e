#pragma once
// The last guess of account discovery: the host names mail domains use most (imap., mail.,
// pop., pop3. and smtp. under the address's domain), each probed on the standard ports with
// implicit TLS (993, 995, 465) and with STARTTLS (143, 110, 587), all at once. A probe counts
// only when the TLS handshake verifies a certificate for that very name and the server greets
// as the protocol does; a server that stays in clear text never counts.

#include "app/discovery/DiscoveryStep.h"

#include <string>

// The ports of tests: "993=41234,465=41235" maps a standard port to the one probed instead;
// a standard port not in the list is then not probed at all.
inline constexpr const char* kGuessPortsVariable = "KESTROVAMAIL_GUESS_PORTS";

namespace discovery {

// One probe: connects to host at port (found by the program's resolver), takes TLS as
// security says, reads the greeting; an empty text when the server counts, else why not
// (translated).
std::string ProbeServer(const StepContext& context, ServerKind kind, const std::string& host,
                        int port, SecurityChoice security);

} // namespace discovery
