// What reaches a browser sign-in from outside: the request on its loopback listener (a browser,
// or anything else on this machine that finds the port) and the address pasted into the
// terminal. COAuthBrowserSignIn reads the request with the connection layer's reply reader,
// parses the request line, the Host header and the query, and answers with a page.
//
// Input: byte 0 bit 0 puts the listener's own address before the pasted text (so that the
// query parsing is reached); the rest is sent to the listener as the request and pasted.
//
// Checked: no input reaches the token endpoint (the state is random, so none can carry it; the
// endpoint is a port where nothing listens and would say Refused); a pasted text ends in a
// refusal; a request either ends the wait with a refusal or leaves it waiting (then the test's
// cancel ends it).

#include "app/signin/OAuthSignIn.h"
#include "fuzz/FuzzCheck.h"
#include "mail/net/CancelSignal.h"

#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

MailSettings SignInSettings() {
    MailSettings mail;
    mail.oauth2 = true;
    mail.oauthProvider = "custom";
    mail.oauthClientId = "fuzz";
    mail.oauthAuthUrl = "https://127.0.0.1:1/authorize";
    mail.oauthTokenUrl = "https://127.0.0.1:1/token";
    return mail;
}

// Plays the other side: sends request, reads the answer to its end, then cancels the wait (a
// request that did not end it leaves it waiting for the next one).
void Request(int port, const std::string& request, CCancelSignal& done) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        for (std::size_t sent = 0; sent < request.size();) {
            const ssize_t n =
                ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        ::shutdown(fd, SHUT_WR);
        char sink[4096];
        for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, 5000) > 0;) {
            if (::recv(fd, sink, sizeof sink, 0) <= 0)
                break;
        }
    }
    if (fd >= 0)
        ::close(fd);
    done.Cancel();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const bool prefixed = (data[0] & 1) != 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    COAuthBrowserSignIn signIn(SignInSettings(), "/nonexistent/");
    MailError error;
    FUZZ_CHECK(!signIn.Start(error).empty());
    const MailError pasted =
        signIn.Complete(prefixed ? signIn.RedirectUri() + text : text, nullptr);
    FUZZ_CHECK(pasted.code == MailErrorCode::ProtocolError);

    FUZZ_CHECK(!signIn.Start(error).empty());
    const int port = std::stoi(signIn.RedirectUri().substr(signIn.RedirectUri().rfind(':') + 1));
    CCancelSignal done;
    std::thread client(Request, port, text, std::ref(done));
    const MailError waited = signIn.Wait(&done, 20s);
    client.join();
    FUZZ_CHECK(waited.code == MailErrorCode::Cancelled ||
               waited.code == MailErrorCode::ProtocolError);
    return 0;
}
