// The headless service in process, on a camera of the fake device provider: the camera is
// unplugged while a check grabs its picture (the request stays, the loss is logged once) and
// plugged in again (the next check answers); a service started with no camera at all.

#include "app/runtime/HeadlessService.h"
#include "app/settings/SettingsStore.h"
#include "tests/capture/FakeDeviceProvider.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/RunUntil.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr const char* kCamera = "Window Cam";

int Count(const std::string& logText, const std::string& part) {
    const std::vector<std::string> lines = MessagesOf(logText);
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.find(part) != std::string::npos;
    }));
}

class HeadlessCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnableTestPattern(false);
        ::unsetenv("KESTROVAMAIL_TEST_PATTERN");
        InstallFakeCameras({{kCamera, "/dev/video7", "usb-7", "ball", "video/x-raw, width=(int)320, height=(int)240"}});
    }

    void WriteSettings(int pop3Port, int smtpPort, bool imap = false) {
        Settings settings;
        settings.device.cameras[0].address = kCamera;
        settings.device.cameras[0].width = 320;
        settings.device.cameras[0].height = 240;
        settings.mail.pop3Server = "127.0.0.1";
        settings.mail.pop3Port = pop3Port;
        settings.mail.pop3Id = "camera";
        settings.mail.pop3Pass = "secret";
        settings.mail.smtpServer = "127.0.0.1";
        settings.mail.smtpPort = smtpPort;
        settings.mail.senderAddress = "camera@example.com";
        if (imap) {
            settings.mail.receiveProtocol = ReceiveProtocol::Imap;
            settings.mail.imapServer = "127.0.0.1";
            settings.mail.imapPort = pop3Port;
        }
        MessageCapture sink;
        ASSERT_TRUE(SaveSettings(settings, m_home.folder(), sink));
    }

    CHeadlessService::Options ServiceOptions() {
        CHeadlessService::Options options;
        options.folder = m_home.folder();
        options.echoToStandardError = false;
        options.teardownPauseMs = 0;
        options.cameraRetry = std::chrono::milliseconds(100);
        return options;
    }

    // One check; its status.
    int CheckOnce(CHeadlessService& service) {
        int status = -1;
        service.CheckOnce([&](int result, const std::string&) { status = result; });
        EXPECT_TRUE(RunUntil([&] { return status >= 0; }));
        return status;
    }

    TempDir m_home;
};

TEST_F(HeadlessCameraTest, CameraUnpluggedDuringACheckKeepsTheRequestAndAnswersOnceBack) {
    DovecotPeer dovecot("camera", "secret", {RequestMail("taro@example.jp", "cap")});
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
    WriteSettings(dovecot.port(), smtp.port());

    bool unplugDuringGrab = true;
    CHeadlessService::Options options = ServiceOptions();
    options.onGrab = [&] {
        if (std::exchange(unplugDuringGrab, false))
            VanishFakeCamera(kCamera);
    };
    CHeadlessService service(options);
    ASSERT_TRUE(service.Start(false));
    ASSERT_TRUE(RunUntil([&] { return service.graph().FrameCount() > 0; }));

    EXPECT_EQ(CheckOnce(service), CHeadlessService::kRequestsLeft);
    EXPECT_EQ(dovecot.MessageCount(), 1);
    EXPECT_TRUE(smtp.Messages().empty());
    EXPECT_TRUE(service.keeper().waiting());
    // Checks go on while the camera is away, answering nothing.
    EXPECT_EQ(CheckOnce(service), CHeadlessService::kRequestsLeft);
    EXPECT_EQ(dovecot.MessageCount(), 1);
    EXPECT_EQ(Count(service.log().text(), "使えなくなりました"), 1);

    ReturnFakeCamera(kCamera);
    ASSERT_TRUE(RunUntil([&] {
        return !service.keeper().waiting() && service.graph().FrameCount() > 0 &&
               Count(service.log().text(), "撮影を再開しました") == 1;
    }));
    EXPECT_EQ(CheckOnce(service), CHeadlessService::kCheckCompleted);
    EXPECT_EQ(smtp.WaitForMessages(1).size(), 1u);
    EXPECT_EQ(dovecot.MessageCount(), 0);
    EXPECT_EQ(Count(service.log().text(), "使えなくなりました"), 1);
}

TEST_F(HeadlessCameraTest, WithoutACameraMailIsCheckedAndTheCameraIsTakenUpWhenItComes) {
    VanishFakeCamera(kCamera);
    DovecotPeer dovecot("camera", "secret", {RequestMail("taro@example.jp", "cap")});
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
    WriteSettings(dovecot.port(), smtp.port());

    CHeadlessService service(ServiceOptions());
    ASSERT_TRUE(service.Start(false));
    EXPECT_TRUE(service.keeper().waiting());
    EXPECT_EQ(CheckOnce(service), CHeadlessService::kRequestsLeft);
    EXPECT_EQ(CheckOnce(service), CHeadlessService::kRequestsLeft);
    EXPECT_TRUE(dovecot.SawLoginAttempt());
    EXPECT_EQ(dovecot.MessageCount(), 1);
    EXPECT_EQ(Count(service.log().text(), "映像入力デバイスがありません"), 1);

    ReturnFakeCamera(kCamera);
    ASSERT_TRUE(RunUntil([&] { return !service.keeper().waiting(); }));
    EXPECT_EQ(CheckOnce(service), CHeadlessService::kCheckCompleted);
    EXPECT_EQ(smtp.WaitForMessages(1).size(), 1u);
    EXPECT_EQ(dovecot.MessageCount(), 0);
}

// The IMAP session idles between cycles and hears only of new mail; a request it had to leave
// on the server for want of a camera is looked at again at a tick, as a POP3 check would, and
// answered once the camera has come.
TEST_F(HeadlessCameraTest, ImapRequestLeftWithoutACameraIsAnsweredAtATickOnceItComes) {
    VanishFakeCamera(kCamera);
    DovecotPeer dovecot("camera", "secret", {RequestMail("taro@example.jp", "cap")},
                        {.imap = true});
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
    WriteSettings(dovecot.port(), smtp.port(), true);

    CHeadlessService service(ServiceOptions());
    ASSERT_TRUE(service.Start(true));
    service.mailHost().timer().setInterval(200);
    ASSERT_TRUE(RunUntil([&] { return Count(service.log().text(), "カメラがないため") == 1; }))
        << service.log().text();
    EXPECT_EQ(dovecot.MessageCount(), 1);

    ReturnFakeCamera(kCamera);
    EXPECT_TRUE(RunUntil([&] { return dovecot.MessageCount() == 0; })) << service.log().text();
    EXPECT_EQ(smtp.Messages().size(), 1u);
    EXPECT_EQ(Count(service.log().text(), "カメラがないため"), 1);
}

TEST_F(HeadlessCameraTest, WaitingServiceDecodesOnlyForAGrabAndStillHearsTheCameraGo) {
    // A camera that sends JPEG pictures: each frame decoded would cost a decode and a convert.
    InstallFakeCameras({{kCamera, "/dev/video7", "usb-7", "ball",
                         "image/jpeg, width=(int)320, height=(int)240"}});
    DovecotPeer dovecot("camera", "secret", {RequestMail("taro@example.jp", "cap")});
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
    WriteSettings(dovecot.port(), smtp.port());
    CHeadlessService service(ServiceOptions());
    ASSERT_TRUE(service.Start(false));
    const CCaptureGraph& graph = service.graph();
    // Frames decoded while the camera hands over `buffers` more.
    auto decodedOver = [&](uint64_t buffers) {
        const uint64_t before = graph.FrameCount();
        const uint64_t target = graph.BuffersArrived() + buffers;
        EXPECT_TRUE(RunUntil([&] { return graph.BuffersArrived() >= target; }));
        return graph.FrameCount() - before;
    };
    ASSERT_TRUE(RunUntil([&] { return graph.FrameCount() > 0; }));
    decodedOver(3); // frames in flight from the start
    EXPECT_EQ(decodedOver(15), 0u);

    const uint64_t beforeCheck = graph.FrameCount();
    EXPECT_EQ(CheckOnce(service), CHeadlessService::kCheckCompleted);
    EXPECT_EQ(smtp.WaitForMessages(1).size(), 1u);
    EXPECT_GT(graph.FrameCount(), beforeCheck);
    decodedOver(3);
    EXPECT_EQ(decodedOver(15), 0u);

    VanishFakeCamera(kCamera);
    EXPECT_TRUE(RunUntil([&] { return service.keeper().waiting(); }));
    EXPECT_EQ(Count(service.log().text(), "使えなくなりました"), 1);
    ReturnFakeCamera(kCamera);
}

TEST_F(HeadlessCameraTest, NamedDeviceIsTakenByNameOrPathAndNoOtherInItsPlace) {
    InstallFakeCameras({{"First Cam", "/dev/video0", "usb-1", "red", "video/x-raw"},
                        {"Second Cam", "/dev/video2", "usb-2", "blue", "video/x-raw"}});
    const struct {
        const char* device;
        const char* taken; // empty: none
    } cases[] = {{"Second Cam", "Second Cam"}, {"/dev/video2", "Second Cam"}, {"/dev/video9", ""}};
    for (const auto& c : cases) {
        CHeadlessService::Options options = ServiceOptions();
        options.device = c.device;
        CHeadlessService service(options);
        ASSERT_TRUE(service.Start(false));
        EXPECT_EQ(service.keeper().waiting(), std::string(c.taken).empty()) << c.device;
        if (*c.taken) {
            EXPECT_EQ(service.graph().deviceName(), c.taken) << c.device;
        }
    }
}

} // namespace
