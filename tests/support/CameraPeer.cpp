#include "tests/support/CameraPeer.h"

#include "tests/support/TestCertificates.h"

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

CameraPeer::CameraPeer(const Options& options) : m_options(options) {
    TempDir::WriteFile(m_dir.path() / "color", options.color + "\n");
    Start();
}

CameraPeer::~CameraPeer() { Stop(); }

void CameraPeer::Start() {
    const bool rtsp = m_options.kind == Kind::Rtsp;
    std::vector<std::string> argv{SystemPython(),
                                  TestSourceDir() + (rtsp ? "/peers/rtsp_peer.py"
                                                          : "/peers/camera_http_peer.py"),
                                  (m_dir.path() / "color").string(),
                                  "--port",
                                  std::to_string(m_port),
                                  "--fps",
                                  std::to_string(m_options.fps),
                                  "--size",
                                  m_options.size,
                                  "--color",
                                  m_options.color,
                                  "--pattern",
                                  m_options.pattern};
    if (rtsp) {
        argv.insert(argv.end(), {"--keyint", std::to_string(m_options.keyint)});
    } else if (m_options.tls != Tls::None) {
        const auto& certs = TestCertificates::Shared();
        const bool trusted = m_options.tls == Tls::Trusted;
        argv.insert(argv.end(),
                    {"--cert", (trusted ? certs.serverCert() : certs.untrustedCert()).string(),
                     "--key", (trusted ? certs.serverKey() : certs.untrustedKey()).string()});
    }
    if (!m_options.user.empty())
        argv.insert(argv.end(), {"--user", m_options.user, "--password", m_options.password});
    // A port just given up may still be held for a moment: try again a few times.
    for (int attempt = 0;; ++attempt) {
        try {
            m_process = std::make_unique<PeerProcess>(argv);
            break;
        } catch (const std::runtime_error&) {
            if (m_port == 0 || attempt >= 20)
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    }
    m_port = m_process->port();
    m_seen = 0;
}

void CameraPeer::Stop() {
    if (m_process)
        m_process->Stop();
    m_process.reset();
}

std::string CameraPeer::Url(const std::string& path) const {
    const char* scheme = m_options.kind == Kind::Rtsp ? "rtsp"
                         : m_options.tls == Tls::None ? "http"
                                                      : "https";
    const char* host = m_options.tls == Tls::None ? "127.0.0.1" : "localhost";
    return std::string(scheme) + "://" + host + ":" + std::to_string(m_port) + path;
}

void CameraPeer::SetColor(const std::string& rrggbb) {
    const auto file = m_dir.path() / "color";
    TempDir::WriteFile(m_dir.path() / "color.new", rrggbb + "\n");
    std::filesystem::rename(m_dir.path() / "color.new", file);
    m_options.color = rrggbb; // a restart shows it too
    const std::string line = "COLOR " + rrggbb;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
        const std::string output = m_process ? m_process->Output() : std::string();
        const auto found = output.find(line, m_seen);
        if (found != std::string::npos) {
            m_seen = found + line.size();
            return;
        }
    }
    throw std::runtime_error("the camera peer did not take the colour " + rrggbb);
}
