// Drives the real IMAP client through a whole session against a loopback server whose bytes
// come from the fuzzer all at once, then the end of the stream: greeting, log-in (LOGIN or
// AUTHENTICATE as the capabilities say), SELECT, UID SEARCH, UID FETCH of the headers, UID
// STORE and EXPUNGE, a short IDLE, LOGOUT. Responses in any order, literals, BYE and stray
// tags must end in a failure or a result, never a crash or a hang.
//
// Checked: the UIDs found are ascending without repeats; every header fetched belongs to a
// UID that was asked for; a client that failed or logged out is no longer logged in.

#include "fuzz/FuzzCheck.h"
#include "fuzz/LoopbackPeer.h"
#include "mail/imap/ImapClient.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzpeer::Session peer =
        fuzzpeer::Session::Stream(std::string(reinterpret_cast<const char*>(data), size));
    CImapClient client;
    if (!client.LogIn("127.0.0.1", "camera", "secret", fuzzpeer::Listener::Instance().port())) {
        FUZZ_CHECK(!client.IsLoggedIn());
        return 0;
    }
    std::vector<uint32_t> uids;
    if (client.SelectInbox() && client.SearchUids(uids)) {
        FUZZ_CHECK(std::adjacent_find(uids.begin(), uids.end(), [](uint32_t a, uint32_t b) {
                       return a >= b;
                   }) == uids.end());
        uids.resize(std::min<std::size_t>(uids.size(), 5));
        std::vector<CImapClient::Header> headers;
        if (client.FetchHeaders(uids, headers)) {
            for (const CImapClient::Header& header : headers)
                FUZZ_CHECK(std::find(uids.begin(), uids.end(), header.uid) != uids.end());
            if (!uids.empty())
                client.Delete({uids.front()});
        }
        client.Idle(std::chrono::milliseconds(20), nullptr);
    }
    client.LogOut();
    FUZZ_CHECK(!client.IsLoggedIn());
    return 0;
}
