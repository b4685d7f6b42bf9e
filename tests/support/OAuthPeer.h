#pragma once
// A small OAuth 2.0 authorization server on a free loopback port, over HTTPS with the shared
// test certificates (tests/peers/oauth_peer.py): an authorization endpoint that approves at
// once, a token endpoint that checks PKCE and refreshes, the device grant, and the
// introspection endpoint that the dovecot and SMTP peers ask about tokens.
//
//   OAuthPeer auth({.user = "user@example.com"});
//   DovecotPeer imap("user@example.com", "", {}, {.imap = true,
//                    .oauthIntrospect = auth.IntrospectionUrl(), .oauthCa = certs.caFile()});
//   const OAuthPeer::Tokens tokens = auth.Issue(); // access token valid for the peers
//   auth.ExpireAccessTokens();                     // every token issued so far stops working

#include "tests/support/PeerProcess.h"

#include <map>
#include <memory>
#include <string>

class OAuthPeer {
public:
    struct Options {
        std::string user = "user@example.com"; // whose tokens these are
        std::string clientId = "kestrova-test";
        std::string clientSecret{}; // empty: a public client
        int expiresIn = 3600;       // seconds an access token lives
        int pending = 0;            // device polls answered authorization_pending
        int slowDown = 0;           // device polls answered slow_down (before the pending ones)
        bool rotate = false;        // a refresh issues a new refresh token, the old one ends
    };
    struct Tokens {
        std::string access;
        std::string refresh;
    };

    OAuthPeer() : OAuthPeer(Options{}) {}
    explicit OAuthPeer(const Options& options);

    int port() const { return m_process->port(); }
    std::string Url(const std::string& path) const;
    std::string IntrospectionUrl() const { return Url("/introspect"); }

    // A fresh pair, as a sign-in would get it.
    Tokens Issue() const;
    // What a browser does with the authorization address: the address the approval sends it
    // on to (the redirect with code and state), not followed.
    static std::string Approve(const std::string& authorizationAddress);
    void ExpireAccessTokens() const;
    void RevokeRefreshTokens() const;
    // How often each grant was asked for ("authorization_code", "refresh_token",
    // "device_poll", "device_too_fast", "introspect").
    std::map<std::string, int> Stats() const;

    // An HTTPS request with the test CA; returns the body. post: a POST with this form body.
    std::string Get(const std::string& path) const;
    std::string Post(const std::string& path, const std::string& form = {}) const;

private:
    std::unique_ptr<PeerProcess> m_process;
};
