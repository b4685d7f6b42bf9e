// The cameras speak first, end to end: the headless service on a camera of the fake device
// provider whose ball moves, aiosmtpd as the SMTP server. An armed camera mails one alert with
// three pictures and holds back the rest of the interval; a disarmed one mails nothing; a
// scheduled moment missed while the program was off is sent once at start.

#include "app/runtime/HeadlessService.h"
#include "app/settings/SettingsStore.h"
#include "tests/capture/FakeDeviceProvider.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/RunUntil.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>

namespace {

constexpr const char* kCamera = "Yard Cam";

struct AlertRig {
    explicit AlertRig(bool armed, const std::string& times = {}) {
        EnableTestPattern(false);
        InstallFakeCameras({{kCamera, "/dev/video7", "usb-7", "ball",
                             "video/x-raw, width=(int)320, height=(int)240"}});
        Settings settings;
        CameraSettings& camera = settings.device.cameras.front();
        camera.address = kCamera;
        camera.name = "yard";
        camera.width = 320;
        camera.height = 240;
        camera.motion = true;
        camera.sensitivity = MotionSensitivity::High;
        settings.alert.armed = armed;
        settings.alert.addresses = {"owner@example.com"};
        settings.schedule.times = times;
        settings.schedule.addresses = {"customer@example.com"};
        settings.mail.smtpServer = "127.0.0.1";
        settings.mail.smtpPort = smtp.port();
        settings.mail.smtpId = "camera";
        settings.mail.smtpPass = "secret";
        settings.mail.senderAddress = "camera@example.com";
        MessageCapture sink;
        EXPECT_TRUE(SaveSettings(settings, home.folder(), sink));
    }
    CHeadlessService::Options Options() {
        CHeadlessService::Options options;
        options.folder = home.folder();
        options.echoToStandardError = false;
        options.teardownPauseMs = 0;
        return options;
    }
    TempDir home;
    TempDir decoded;
    SmtpPeer smtp{{.authUser = "camera", .authPassword = "secret"}};
};

TEST(AlertMails, ArmedCameraSendsOneAlertWithThreePicturesAndHoldsBackTheRest) {
    AlertRig run(true);
    CHeadlessService service(run.Options());
    ASSERT_TRUE(service.Start(false));
    // The event loop runs while waiting: the alert is made on it and sent on the worker.
    RunUntil([&] { return !run.smtp.Messages().empty(); }, 30000);
    const auto mails = run.smtp.Messages();
    ASSERT_EQ(mails.size(), 1u) << service.log().text();
    EXPECT_EQ(mails[0].recipients, std::vector<std::string>{"owner@example.com"});
    const DecodedMail mail = SmtpPeer::DecodeMail(mails[0].file, DecodeFolder(run.decoded, "1"));
    EXPECT_TRUE(mail.headers.at("subject").starts_with("動き検知: yard ")) << mail.headers.at("subject");
    EXPECT_EQ(mail.headers.at("auto-submitted"), "auto-generated");
    EXPECT_EQ(mail.attachments.size(), 3u);
    // The ball keeps moving: within the interval nothing more goes out.
    RunUntil([] { return false; }, 10000);
    EXPECT_EQ(run.smtp.Messages().size(), 1u);
}

TEST(AlertMails, DisarmedCameraSendsNothing) {
    AlertRig run(false);
    CHeadlessService service(run.Options());
    ASSERT_TRUE(service.Start(false));
    RunUntil([] { return false; }, 8000);
    EXPECT_TRUE(run.smtp.Messages().empty()) << service.log().text();
}

TEST(AlertMails, MomentsMissedWhileOffAreSentOnceAtStart) {
    // Two moments of today passed while the program was off (its record says yesterday).
    const std::time_t now = std::time(nullptr);
    if (std::tm local{}; localtime_r(&now, &local) && local.tm_hour * 60 + local.tm_min < 3)
        GTEST_SKIP() << "too close to midnight for two moments of today";
    AlertRig run(false, "00:01,00:02");
    std::ofstream(run.home.path() / "schedule-sent.txt") << (now - 86400) << "\n";
    CHeadlessService service(run.Options());
    ASSERT_TRUE(service.Start(false));
    service.runtime().alerts()->LookAtSchedule();
    RunUntil([&] { return !run.smtp.Messages().empty(); }, 30000);
    const auto mails = run.smtp.Messages();
    ASSERT_EQ(mails.size(), 1u) << service.log().text();
    EXPECT_EQ(mails[0].recipients, std::vector<std::string>{"customer@example.com"});
    service.runtime().alerts()->LookAtSchedule();
    RunUntil([] { return false; }, 3000);
    EXPECT_EQ(run.smtp.Messages().size(), 1u);
}

} // namespace
