#include "tests/support/OAuthPeer.h"

#include "tests/support/TestCertificates.h"

#include <regex>

OAuthPeer::OAuthPeer(const Options& options) {
    const TestCertificates& certs = TestCertificates::Shared();
    std::vector<std::string> argv = {SystemPython(),
                                     TestSourceDir() + "/peers/oauth_peer.py",
                                     "--tls-cert", certs.serverCert().string(),
                                     "--tls-key", certs.serverKey().string(),
                                     "--user", options.user,
                                     "--client-id", options.clientId,
                                     "--expires-in", std::to_string(options.expiresIn),
                                     "--pending", std::to_string(options.pending),
                                     "--slow-down", std::to_string(options.slowDown)};
    if (!options.clientSecret.empty())
        argv.insert(argv.end(), {"--client-secret", options.clientSecret});
    if (options.rotate)
        argv.push_back("--rotate");
    m_process = std::make_unique<PeerProcess>(argv);
}

std::string OAuthPeer::Url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port()) + path;
}

std::string OAuthPeer::Get(const std::string& path) const {
    return CommandOutput({"curl", "-s", "--max-time", "10", "--cacert",
                          TestCertificates::Shared().caFile().string(), Url(path)});
}

std::string OAuthPeer::Post(const std::string& path, const std::string& form) const {
    return CommandOutput({"curl", "-s", "--max-time", "10", "--cacert",
                          TestCertificates::Shared().caFile().string(), "--data", form,
                          Url(path)});
}

std::string OAuthPeer::Approve(const std::string& authorizationAddress) {
    return CommandOutput({"curl", "-s", "-o", "/dev/null", "-w", "%{redirect_url}", "--max-time",
                          "10", "--cacert", TestCertificates::Shared().caFile().string(),
                          authorizationAddress});
}

OAuthPeer::Tokens OAuthPeer::Issue() const {
    const std::string pair = Post("/control/issue");
    const std::size_t blank = pair.find(' ');
    if (blank == std::string::npos)
        return {};
    return {pair.substr(0, blank), pair.substr(blank + 1)};
}

void OAuthPeer::ExpireAccessTokens() const {
    Post("/control/expire");
}

void OAuthPeer::RevokeRefreshTokens() const {
    Post("/control/revoke");
}

std::map<std::string, int> OAuthPeer::Stats() const {
    std::map<std::string, int> stats;
    const std::string json = Get("/control/stats");
    const std::regex entry("\"([a-z_:.]+)\": ([0-9]+)");
    for (std::sregex_iterator it(json.begin(), json.end(), entry), end; it != end; ++it)
        stats[(*it)[1]] = std::stoi((*it)[2]);
    return stats;
}
