#include "tests/support/SmtpPeer.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace {

std::string Base64Decode(const std::string& text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    std::string out;
    int bits = 0, collected = 0;
    for (char c : text) {
        const int v = value(c);
        if (v < 0)
            continue;
        bits = (bits << 6) | v;
        collected += 6;
        if (collected >= 8) {
            collected -= 8;
            out += static_cast<char>((bits >> collected) & 0xFF);
        }
    }
    return out;
}

} // namespace

SmtpPeer::SmtpPeer(const Options& options) {
    std::vector<std::string> argv = {SystemPython(), TestSourceDir() + "/peers/smtp_peer.py",
                                     "--port",       std::to_string(options.port),
                                     "--folder",     m_folder.path().string()};
    if (!options.authUser.empty()) {
        argv.insert(argv.end(),
                    {"--auth-user", options.authUser, "--auth-password", options.authPassword});
    }
    if (!options.authMechanisms.empty())
        argv.insert(argv.end(), {"--auth-mechanisms", options.authMechanisms});
    if (!options.tlsCert.empty()) {
        argv.insert(argv.end(),
                    {"--tls-cert", options.tlsCert.string(), "--tls-key", options.tlsKey.string()});
    }
    if (options.implicitTls)
        argv.push_back("--implicit-tls");
    if (options.noStarttls)
        argv.push_back("--no-starttls");
    if (options.requireTls)
        argv.push_back("--require-tls");
    if (options.noEightBitMime)
        argv.push_back("--no-8bitmime");
    if (options.pipelining)
        argv.push_back("--pipelining");
    if (options.sizeLimit > 0)
        argv.insert(argv.end(), {"--size-limit", std::to_string(options.sizeLimit)});
    if (!options.oauthIntrospect.empty()) {
        argv.insert(argv.end(), {"--oauth-introspect", options.oauthIntrospect, "--oauth-ca",
                                 options.oauthCa.string()});
    }
    for (const std::string& address : options.refusedRecipients)
        argv.insert(argv.end(), {"--refuse-recipient", address});
    m_process = std::make_unique<PeerProcess>(argv);
}

std::vector<SmtpPeer::AuthAttempt> SmtpPeer::AuthAttempts() const {
    // Lines: "<mechanism> <login or -> <password-received|no-password> <tls|plain>".
    std::vector<AuthAttempt> attempts;
    std::istringstream lines(TempDir::ReadFile(m_folder.path() / "auth.log"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        AuthAttempt attempt;
        std::string password, tls;
        if (!(words >> attempt.mechanism >> attempt.login >> password >> tls))
            continue;
        if (attempt.login == "-")
            attempt.login.clear();
        attempt.passwordReceived = password == "password-received";
        attempt.tls = tls == "tls";
        attempts.push_back(attempt);
    }
    return attempts;
}

std::vector<SmtpPeer::SessionEvent> SmtpPeer::SessionEvents() const {
    // Lines: "<connection> <AUTH|MAIL> <tls|plain>".
    std::vector<SessionEvent> events;
    std::istringstream lines(TempDir::ReadFile(m_folder.path() / "session.log"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        SessionEvent event;
        std::string tls;
        if (!(words >> event.connection >> event.command >> tls))
            continue;
        event.tls = tls == "tls";
        events.push_back(event);
    }
    return events;
}

bool SmtpPeer::SawPassword() const {
    const auto attempts = AuthAttempts();
    return std::any_of(attempts.begin(), attempts.end(),
                       [](const AuthAttempt& a) { return a.passwordReceived; });
}

std::vector<ReceivedMail> SmtpPeer::Messages() const {
    std::vector<ReceivedMail> mails;
    for (int n = 1;; ++n) {
        const auto stem = m_folder.path() / std::to_string(n);
        std::ifstream envelope(stem.string() + ".env");
        if (!envelope)
            break;
        ReceivedMail mail;
        mail.file = stem.string() + ".eml";
        std::getline(envelope, mail.sender);
        for (std::string line; std::getline(envelope, line);)
            mail.recipients.push_back(line);
        std::ifstream options(stem.string() + ".opt");
        for (std::string line; std::getline(options, line);)
            mail.mailOptions.push_back(line);
        mail.raw = TempDir::ReadFile(mail.file);
        mails.push_back(std::move(mail));
    }
    return mails;
}

std::vector<ReceivedMail> SmtpPeer::WaitForMessages(std::size_t count,
                                                    std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto mails = Messages();
        if (mails.size() >= count || std::chrono::steady_clock::now() >= deadline)
            return mails;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

DecodedMail SmtpPeer::DecodeMail(const std::filesystem::path& mailFile,
                                 const std::filesystem::path& outFolder) {
    const std::string output =
        CommandOutput({SystemPython(), TestSourceDir() + "/peers/parse_mail.py", mailFile.string(),
                       outFolder.string()});

    DecodedMail mail;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("header:", 0) == 0) {
            const std::size_t colon = line.find(':', 7);
            if (colon != std::string::npos)
                mail.headers[line.substr(7, colon - 7)] = line.substr(colon + 1);
        } else if (line.rfind("part:", 0) == 0) {
            mail.partTypes.push_back(line.substr(5));
        } else if (line.rfind("text:", 0) == 0) {
            mail.texts.push_back(Base64Decode(line.substr(5)));
        } else if (line.rfind("attachment:", 0) == 0) {
            mail.attachments.emplace_back(line.substr(11));
        } else if (line.rfind("defect:", 0) == 0) {
            mail.defects.push_back(line.substr(7));
        }
    }
    return mail;
}
