// A TLS server that goes away while a picture is being sent: the send fails with its cause
// and the process lives on (a write to a closed socket would otherwise raise SIGPIPE).

#include "mail/net/MailConnection.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>
#include <memory>
#include <openssl/ssl.h>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Accepts one TLS client, reads a little of what it sends, then closes without a word.
class TlsServerThatLeaves {
public:
    TlsServerThatLeaves() : m_listener(ListenOnLoopback(1, m_port)) {
        m_thread = std::thread([this] { Serve(); });
    }
    ~TlsServerThatLeaves() {
        m_thread.join();
        ::close(m_listener);
    }
    int port() const { return m_port; }

private:
    void Serve() {
        const auto& certs = TestCertificates::Shared();
        std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> context(SSL_CTX_new(TLS_server_method()),
                                                             SSL_CTX_free);
        SSL_CTX_use_certificate_chain_file(context.get(), certs.serverCert().c_str());
        SSL_CTX_use_PrivateKey_file(context.get(), certs.serverKey().c_str(), SSL_FILETYPE_PEM);
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        std::unique_ptr<SSL, void (*)(SSL*)> session(SSL_new(context.get()), SSL_free);
        SSL_set_fd(session.get(), client);
        if (SSL_accept(session.get()) == 1) {
            char buffer[16384];
            for (std::size_t total = 0; total < 64 * 1024;) {
                const int n = SSL_read(session.get(), buffer, sizeof buffer);
                if (n <= 0)
                    break;
                total += static_cast<std::size_t>(n);
            }
        }
        ::close(client); // unread bytes make this a reset
    }

    int m_port = 0;
    int m_listener;
    std::thread m_thread;
};

TEST(TlsPeerGone, APictureSentToAServerThatClosesFailsWithItsCauseAndTheProcessLives) {
    TlsServerThatLeaves server;
    CMailConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), 5s));
    ASSERT_TRUE(connection.StartTls({.caFile = TestCertificates::Shared().caFile()}, 5s))
        << DescribeMailError(connection.Error());

    const std::string picture(5 * 1024 * 1024, 'P');
    bool sent = true;
    for (int i = 0; i < 4 && sent; ++i) // the reset may only be seen on a later write
        sent = connection.Send(picture, 30s);
    EXPECT_FALSE(sent);
    EXPECT_EQ(connection.Error().code, MailErrorCode::SendFailed);
    EXPECT_TRUE(connection.Error().systemError == EPIPE ||
                connection.Error().systemError == ECONNRESET)
        << DescribeMailError(connection.Error());
}

} // namespace
