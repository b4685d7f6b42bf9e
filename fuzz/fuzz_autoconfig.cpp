// Feeds arbitrary bytes to the autoconfig reader as a web server could send them: it may take
// no server, but never crash, loop, or take one that is in clear text, has no valid host or
// port, or a log-in name that could not go into a command.

#include "app/discovery/AutoconfigFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void CheckServer(const DiscoveredServer& server) {
    if (server.security == SecurityChoice::None || server.security == SecurityChoice::ByPort ||
        !IsServerHostName(server.host) || server.port < 1 || server.port > 65535 ||
        server.userName.empty() || server.userName.find_first_of(" \r\n") != std::string::npos)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const AutoconfigReading reading = ReadAutoconfig(input, "me@example.jp");
    if (reading.account) {
        CheckServer(reading.account->incoming);
        CheckServer(reading.account->outgoing);
        if (reading.account->outgoing.kind != ServerKind::Smtp ||
            reading.account->incoming.kind == ServerKind::Smtp)
            std::abort();
    } else if (reading.problem.empty()) {
        std::abort();
    }
    return 0;
}
