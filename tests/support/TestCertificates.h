#pragma once
// Certificates for the TLS tests, made fresh by tests/peers/make_certs.py in a temporary
// folder: a CA the tests trust and server certificates that are good, for the wrong host,
// expired, or issued by a CA the tests do not trust. Leaf files hold the leaf alone.
//
//   const auto& certs = TestCertificates::Shared();
//   SmtpPeer peer({.tlsCert = certs.serverCert(), .tlsKey = certs.serverKey()});
//   settings.caFile = certs.caFile();

#include "tests/support/TempDir.h"

#include <filesystem>

class TestCertificates {
public:
    // Runs make_certs.py; throws std::runtime_error when it fails.
    TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    // One set for the whole test program; the files stay until it ends.
    static const TestCertificates& Shared();

    std::filesystem::path caFile() const { return file("ca.pem"); }
    // Valid now, for localhost, 127.0.0.1 and ::1.
    std::filesystem::path serverCert() const { return file("server.pem"); }
    std::filesystem::path serverKey() const { return file("server.key"); }
    // Valid now, but only for other.example.
    std::filesystem::path wrongHostCert() const { return file("wronghost.pem"); }
    std::filesystem::path wrongHostKey() const { return file("wronghost.key"); }
    // Valid now, for example.test and *.example.test.
    std::filesystem::path webCert() const { return file("web.pem"); }
    std::filesystem::path webKey() const { return file("web.key"); }
    // For the right names, but its time ran out ten days ago.
    std::filesystem::path expiredCert() const { return file("expired.pem"); }
    std::filesystem::path expiredKey() const { return file("expired.key"); }
    // For the right names, issued by untrustedCaFile(), which is not caFile().
    std::filesystem::path untrustedCert() const { return file("untrusted.pem"); }
    std::filesystem::path untrustedKey() const { return file("untrusted.key"); }
    std::filesystem::path untrustedCaFile() const { return file("untrusted-ca.pem"); }

private:
    std::filesystem::path file(const char* name) const { return m_dir.path() / name; }

    TempDir m_dir;
};
