#pragma once
// Host name resolution for the mail connection layer: a literal address of either family is
// taken as it is; a name is looked up by getaddrinfo on a helper thread, so that the wait for
// it is bounded and can be cancelled (getaddrinfo itself can neither).

#include "mail/net/MailError.h"

#include <chrono>
#include <memory>
#include <netdb.h>
#include <string>

class CCancelSignal;

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

// The stream-socket addresses of host at port, in getaddrinfo's order, waiting at most until
// deadline. Empty on failure, with error set (NameNotFound, ConnectTimeout, Cancelled).
AddrInfoList ResolveAddresses(const std::string& host, int port,
                              std::chrono::steady_clock::time_point deadline,
                              const CCancelSignal* cancel, MailError& error);
