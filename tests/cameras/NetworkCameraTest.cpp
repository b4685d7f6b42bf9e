// Network cameras against real servers on loopback (tests/peers/rtsp_peer.py and
// camera_http_peer.py): a grab returns a picture taken after its request, a refused log-in or
// an untrusted certificate fails the open with a reason, a server that goes away is reported
// lost once and the camera opens again when it is back, pictures are decoded only while
// wanted, and no password reaches a message.
#include "capture/NetworkCamera.h"

#include "capture/CaptureUi.h"
#include "capture/FrameGrabber.h"
#include "mail/net/CancelSignal.h"
#include "tests/support/CameraPeer.h"
#include "tests/support/TestCertificates.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Kind = CameraPeer::Kind;
using Tls = CameraPeer::Tls;

constexpr const char* kPassword = "Pa55-w0rd!x"; // looked for in every message

class LossRecorder final : public QuietCaptureUi {
public:
    void StreamLost(const std::string& reason) override {
        std::lock_guard lock(mutex);
        reasons.push_back(reason);
    }
    std::size_t Lost() {
        std::lock_guard lock(mutex);
        return reasons.size();
    }

    std::mutex mutex;
    std::vector<std::string> reasons;
};

struct CameraCase {
    const char* name;
    CameraType type;
    CameraPeer::Options peer;
    const char* path;
    bool caFile = false; // the test CA as the camera's CA file
};

CameraPeer::Options Rtsp(std::string user = {}) {
    CameraPeer::Options options;
    options.kind = Kind::Rtsp;
    options.keyint = 60; // 4 s: a grab starts mid-group, with pictures of the old colour kept
    if (!user.empty()) {
        options.user = user;
        options.password = kPassword;
    }
    return options;
}

CameraPeer::Options Http(Tls tls, std::string user = {}) {
    CameraPeer::Options options;
    options.kind = Kind::Http;
    options.tls = tls;
    if (!user.empty()) {
        options.user = user;
        options.password = kPassword;
    }
    return options;
}

std::string Name(const ::testing::TestParamInfo<CameraCase>& info) { return info.param.name; }
void PrintTo(const CameraCase& c, std::ostream* out) { *out << c.name; }

// A free loopback port with nobody listening on it.
int DeadPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override { ::testing::internal::CaptureStderr(); }
    void TearDown() override {
        const std::string printed = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed.find(kPassword), std::string::npos) << printed;
        for (const std::string& reason : m_ui.reasons)
            EXPECT_EQ(reason.find(kPassword), std::string::npos) << reason;
    }

    std::unique_ptr<NetworkCamera> Camera(const CameraCase& c, const CameraPeer& peer) {
        NetworkCameraSpec spec{c.type, peer.Url(c.path), c.peer.user, c.peer.password,
                               c.caFile ? TestCertificates::Shared().caFile().string() : ""};
        auto camera = std::make_unique<NetworkCamera>(spec, m_ui);
        camera->SetStallLimit(2s);
        return camera;
    }

    // The colour at the picture's centre of a fresh grab, as RRGGBB-ish numbers.
    static std::optional<std::array<int, 3>> GrabCentre(NetworkCamera& camera) {
        CFrameGrabber grabber(camera);
        GrabRequest request;
        request.graphReady = camera.graphReady();
        request.timeText.showText = false;
        const auto grabbed = grabber.GrabFreshFrame(request, CFrameGrabber::WaitPolicy::Snapshot);
        // A snapshot grab that ran out of polls goes on with the last picture: not fresh.
        if (!grabbed || grabber.lastPollCount() >= CFrameGrabber::kSnapshotPolls)
            return std::nullopt;
        const CaptureFrame& frame = grabbed->frame;
        const int row = frame.height() / 2;
        const uint8_t* p = frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride() +
                           3 * (frame.width() / 2);
        return std::array<int, 3>{p[2], p[1], p[0]};
    }

    static void ExpectColour(const std::optional<std::array<int, 3>>& got,
                             std::array<int, 3> want) {
        ASSERT_TRUE(got.has_value()) << "no picture";
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR((*got)[i], want[i], 40) << "channel " << i;
    }

    LossRecorder m_ui;
};

class FreshPictureTest : public CameraTest, public ::testing::WithParamInterface<CameraCase> {};

// The colour changes well before the request (so that no picture of the old one is still on
// its way); the grab must show the new one, never a kept or earlier picture.
TEST_P(FreshPictureTest, GrabShowsTheColourAfterTheRequest) {
    const CameraCase& c = GetParam();
    CameraPeer peer(c.peer);
    auto camera = Camera(c, peer);
    std::string why;
    ASSERT_TRUE(camera->Open(why)) << why;
    std::this_thread::sleep_for(1s); // pictures of the first colour are received (and kept)
    peer.SetColor("ff0000");
    std::this_thread::sleep_for(500ms);
    ExpectColour(GrabCentre(*camera), {255, 0, 0});
    peer.SetColor("00ff00");
    std::this_thread::sleep_for(500ms);
    ExpectColour(GrabCentre(*camera), {0, 255, 0});
    EXPECT_EQ(m_ui.Lost(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, FreshPictureTest,
    ::testing::Values(CameraCase{"RtspH264", CameraType::Rtsp, Rtsp(), "/h264"},
                      CameraCase{"RtspH265", CameraType::Rtsp, Rtsp(), "/h265"},
                      CameraCase{"RtspPassword", CameraType::Rtsp, Rtsp("cam"), "/h264"},
                      CameraCase{"MjpegHttp", CameraType::Mjpeg, Http(Tls::None), "/mjpeg"},
                      CameraCase{"MjpegHttpsTestCa", CameraType::Mjpeg, Http(Tls::Trusted),
                                 "/mjpeg", true},
                      CameraCase{"SnapshotHttpsPassword", CameraType::Snapshot,
                                 Http(Tls::Trusted, "cam"), "/snapshot.jpg", true}),
    Name);

class IdleTest : public CameraTest, public ::testing::WithParamInterface<CameraCase> {};

// Pictures are decoded while the preview is shown and not at all while the camera waits.
TEST_P(IdleTest, DecodesOnlyWhileThePreviewIsShown) {
    const CameraCase& c = GetParam();
    CameraPeer peer(c.peer);
    auto camera = Camera(c, peer);
    std::string why;
    ASSERT_TRUE(camera->Open(why)) << why;
    camera->SetPreviewShown(true);
    for (auto end = std::chrono::steady_clock::now() + 10s;
         camera->FrameCount() < 10 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(20ms);
    EXPECT_GE(camera->FrameCount(), 10u);
    EXPECT_FALSE(camera->PreviewImage(160, 120).isNull());
    camera->SetPreviewShown(false);
    std::this_thread::sleep_for(300ms); // pictures already on their way through the decoder
    const uint64_t waiting = camera->FrameCount();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(camera->FrameCount(), waiting);
    EXPECT_TRUE(camera->RunGraph()); // still receiving
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, IdleTest,
    ::testing::Values(CameraCase{"Rtsp", CameraType::Rtsp, Rtsp(), "/h264"},
                      CameraCase{"Mjpeg", CameraType::Mjpeg, Http(Tls::None), "/mjpeg"},
                      CameraCase{"Snapshot", CameraType::Snapshot, Http(Tls::None),
                                 "/snapshot.jpg"}),
    Name);

struct RefusedCase {
    const char* name;
    CameraType type;
    CameraPeer::Options peer;
    const char* path;
    std::string wrongPassword; // the camera's password (the peer's is kPassword)
    bool caFile;
    const char* reason; // a part of the reason
};

void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }

class RefusedOpenTest : public CameraTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedOpenTest, OpenFailsWithAReason) {
    const RefusedCase& c = GetParam();
    CameraPeer peer(c.peer);
    NetworkCameraSpec spec{c.type, peer.Url(c.path), c.peer.user, c.wrongPassword,
                           c.caFile ? TestCertificates::Shared().caFile().string() : ""};
    NetworkCamera camera(spec, m_ui);
    std::string why;
    EXPECT_FALSE(camera.Open(why));
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    EXPECT_EQ(why.find(c.wrongPassword), std::string::npos) << why;
    EXPECT_FALSE(camera.graphReady());
    EXPECT_EQ(m_ui.Lost(), 0u);
}

const std::string kWrong = "wr0ng-Pa55";
const char* kLogin = "ユーザー名かパスワード";
const char* kCertificate = "証明書";

INSTANTIATE_TEST_SUITE_P(
    Cameras, RefusedOpenTest,
    ::testing::Values(
        RefusedCase{"RtspWrongPassword", CameraType::Rtsp, Rtsp("cam"), "/h264", kWrong, false,
                    kLogin},
        RefusedCase{"MjpegWrongPassword", CameraType::Mjpeg, Http(Tls::None, "cam"), "/mjpeg",
                    kWrong, false, kLogin},
        RefusedCase{"SnapshotWrongPassword", CameraType::Snapshot, Http(Tls::Trusted, "cam"),
                    "/snapshot.jpg", kWrong, true, kLogin},
        RefusedCase{"MjpegUntrustedCertificate", CameraType::Mjpeg, Http(Tls::Untrusted),
                    "/mjpeg", kWrong, true, kCertificate},
        RefusedCase{"SnapshotUntrustedBySystem", CameraType::Snapshot, Http(Tls::Trusted),
                    "/snapshot.jpg", kWrong, false, kCertificate}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

// Unfit addresses and log-ins are refused before anything is sent, and the reason does not
// repeat the password.
TEST_F(CameraTest, UnfitSpecsAreRefusedWithAReason) {
    struct Row {
        NetworkCameraSpec spec;
        const char* reason;
    };
    const Row rows[] = {
        {{CameraType::Rtsp, "rtsp://cam:" + std::string(kPassword) + "@127.0.0.1:1/x", "", "", ""},
         "ユーザー名やパスワードを書かず"},
        {{CameraType::Mjpeg, "http://127.0.0.1:1/a\r\nX-Evil: 1", "", "", ""}, "使えない文字"},
        {{CameraType::Mjpeg, "rtsp://127.0.0.1:1/x", "", "", ""}, "http://"},
        {{CameraType::Rtsp, "http://127.0.0.1:1/x", "", "", ""}, "rtsp://"},
        {{CameraType::Snapshot, "https:///x.jpg", "", "", ""}, "ホスト名"},
        {{CameraType::Snapshot, "http://127.0.0.1:1/x.jpg", "a:b", kPassword, ""}, "ユーザー名"},
        {{CameraType::Snapshot, "http://127.0.0.1:1/x.jpg", "a", "pw\r\nX: 1", ""},
         "パスワード"},
        {{CameraType::Usb, "/dev/video0", "", "", ""}, "USB"},
        {{CameraType::Mjpeg, "https://localhost:1/m", "", "", "/nonexistent/ca.pem"},
         "CA証明書ファイル"},
    };
    for (const Row& row : rows) {
        NetworkCamera camera(row.spec, m_ui);
        std::string why;
        EXPECT_FALSE(camera.Open(why)) << row.spec.url;
        EXPECT_NE(why.find(row.reason), std::string::npos) << row.spec.url << ": " << why;
        EXPECT_EQ(why.find(kPassword), std::string::npos) << why;
    }
}

TEST_F(CameraTest, OpenFailsWhenNobodyAnswers) {
    const int port = DeadPort();
    for (CameraType type : {CameraType::Rtsp, CameraType::Mjpeg, CameraType::Snapshot}) {
        const std::string url = (type == CameraType::Rtsp ? "rtsp" : "http") +
                                std::string("://127.0.0.1:") + std::to_string(port) + "/x";
        NetworkCamera camera({type, url, "cam", kPassword, ""}, m_ui);
        std::string why;
        EXPECT_FALSE(camera.Open(why)) << url;
        EXPECT_NE(why.find("カメラ"), std::string::npos) << why;
    }
}

// A server that takes the connection and never answers: the open waits until it is cancelled.
TEST_F(CameraTest, CancelEndsAnOpenThatWaits) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 8), 0);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string host = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    for (const auto& [type, url] : {std::pair{CameraType::Rtsp, "rtsp://" + host + "/x"},
                                    std::pair{CameraType::Mjpeg, "http://" + host + "/m"},
                                    std::pair{CameraType::Snapshot, "http://" + host + "/s"}}) {
        NetworkCamera camera({type, url, "", "", ""}, m_ui);
        camera.SetOpenWait(60s);
        CCancelSignal cancel;
        std::thread canceller([&] {
            std::this_thread::sleep_for(300ms);
            cancel.Cancel();
        });
        std::string why;
        EXPECT_FALSE(camera.Open(why, &cancel)) << url;
        canceller.join();
        EXPECT_NE(why.find("中止"), std::string::npos) << url << ": " << why;
    }
    ::close(fd);
}

class LostAndBackTest : public CameraTest, public ::testing::WithParamInterface<CameraCase> {};

// Stopped, the server is reported lost exactly once (a snapshot camera notices at its next
// picture); back on the same port, opening again works and grabs are fresh again.
TEST_P(LostAndBackTest, ReportedOnceAndOpensAgain) {
    const CameraCase& c = GetParam();
    CameraPeer peer(c.peer);
    auto camera = Camera(c, peer);
    std::string why;
    ASSERT_TRUE(camera->Open(why)) << why;
    peer.Stop();
    if (c.type == CameraType::Snapshot)
        camera->WantFrames(true); // a snapshot camera asks only while frames are wanted
    for (auto end = std::chrono::steady_clock::now() + 15s;
         m_ui.Lost() == 0 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(3s); // past the stall limit: no second report
    if (c.type == CameraType::Snapshot)
        camera->WantFrames(false);
    EXPECT_EQ(m_ui.Lost(), 1u);
    EXPECT_FALSE(camera->RunGraph());

    peer.Start();
    ASSERT_TRUE(camera->Open(why)) << why;
    peer.SetColor("ffffff");
    std::this_thread::sleep_for(500ms);
    ExpectColour(GrabCentre(*camera), {255, 255, 255});
    EXPECT_EQ(m_ui.Lost(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, LostAndBackTest,
    ::testing::Values(CameraCase{"Rtsp", CameraType::Rtsp, Rtsp("cam"), "/h264"},
                      CameraCase{"Mjpeg", CameraType::Mjpeg, Http(Tls::None, "cam"), "/mjpeg"},
                      CameraCase{"Snapshot", CameraType::Snapshot, Http(Tls::Trusted, "cam"),
                                 "/snapshot.jpg", true}),
    Name);

} // namespace
