#pragma once
// A network camera on loopback for the camera tests and benchmark: tests/peers/rtsp_peer.py
// (RTSP, H.264 at /h264 and H.265 at /h265) or tests/peers/camera_http_peer.py (MJPEG at
// /mjpeg, one JPEG at /snapshot.jpg, HTTP or HTTPS), showing a solid colour the test changes.
//
//   CameraPeer peer({.kind = CameraPeer::Kind::Rtsp, .user = "cam", .password = "pw"});
//   camera spec.url = peer.Url("/h264");
//   peer.SetColor("ff0000"); // returns once the peer shows red
//   peer.Stop(); peer.Start(); // gone, then back on the same port

#include "tests/support/PeerProcess.h"
#include "tests/support/TempDir.h"

#include <memory>
#include <string>

class CameraPeer {
public:
    enum class Kind { Rtsp, Http };
    enum class Tls { None, Trusted, Untrusted }; // HTTP only: the test CA's server or another's
    struct Options {
        Kind kind = Kind::Rtsp;
        Tls tls = Tls::None;
        std::string user{}; // empty: no log-in asked
        std::string password{};
        int keyint = 30; // RTSP: frames between key frames
        int fps = 15;
        std::string size = "320x240";
        std::string color = "0000ff"; // RRGGBB at the start
        std::string pattern = "solid-color"; // "snow": a busy picture (the benchmark)
    };

    explicit CameraPeer(const Options& options);
    ~CameraPeer();

    int port() const { return m_port; }
    // rtsp://127.0.0.1:port/path, http://... or https://localhost:port/path (the name the
    // test certificates are for).
    std::string Url(const std::string& path) const;
    // Turns the picture to rrggbb and returns once the peer serves it (throws after 10 s).
    void SetColor(const std::string& rrggbb);
    // Ends the peer (its connections drop); Start brings it back on the same port.
    void Stop();
    void Start();

private:
    Options m_options;
    TempDir m_dir;
    std::unique_ptr<PeerProcess> m_process;
    int m_port = 0;
    std::size_t m_seen = 0; // peer output already looked at
};
