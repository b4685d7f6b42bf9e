// The headless service with two network cameras (an RTSP stream with a password, MJPEG over HTTPS
// with the test CA and a password), dovecot and aiosmtpd: every request answered from the
// cameras as they show after it, a camera that stops and comes back, and no password anywhere.

#include "app/runtime/HeadlessService.h"
#include "app/settings/SettingsStore.h"
#include "capture/JpegReader.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/CameraPeer.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/RunUntil.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

constexpr const char* kRtspPassword = "rtsp-Secret-7";
constexpr const char* kHttpPassword = "mjpeg-Secret-9";

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Red, green and blue of the picture's centre, each 0-255.
std::array<int, 3> Centre(const std::filesystem::path& jpeg) {
    const std::optional<CaptureFrame> frame = DecodeJpeg(TempDir::ReadFile(jpeg));
    if (!frame)
        return {-1, -1, -1};
    const uint8_t* p = frame->pixels.data() + static_cast<std::size_t>(frame->height() / 2) * frame->stride() +
                       3 * (frame->width() / 2);
    return {p[2], p[1], p[0]};
}

void ExpectColour(const std::filesystem::path& jpeg, std::array<int, 3> want) {
    const std::array<int, 3> got = Centre(jpeg);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got[i], want[i], 48) << jpeg << " channel " << i;
}

TEST(CamerasService, RequestsAnsweredFromEachCameraAsItShowsAfterTheRequest) {
    TempDir home;
    TempDir decoded;
    CameraPeer rtsp({.kind = CameraPeer::Kind::Rtsp, .user = "cam", .password = kRtspPassword,
                     .keyint = 15});
    CameraPeer http({.kind = CameraPeer::Kind::Http, .tls = CameraPeer::Tls::Trusted,
                     .user = "cam", .password = kHttpPassword});
    DovecotPeer dovecot("camera", "secret", {});
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
    {
        Settings settings;
        settings.device.cameras = {
            {"玄関", CameraType::Rtsp, rtsp.Url("/h264"), "cam", kRtspPassword},
            {"garden", CameraType::Mjpeg, http.Url("/mjpeg"), "cam", kHttpPassword}};
        settings.mail.pop3Server = settings.mail.smtpServer = "127.0.0.1";
        settings.mail.pop3Port = dovecot.port();
        settings.mail.smtpPort = smtp.port();
        settings.mail.pop3Id = "camera";
        settings.mail.pop3Pass = "secret";
        settings.mail.senderAddress = "camera@example.com";
        settings.mail.caFile = TestCertificates::Shared().caFile().string();
        MessageCapture sink;
        ASSERT_TRUE(SaveSettings(settings, home.folder(), sink));
    }
    CHeadlessService::Options options;
    options.folder = home.folder();
    options.echoToStandardError = false;
    options.teardownPauseMs = 0;
    CHeadlessService service(options);
    ASSERT_TRUE(service.Start(false));
    const auto& cameras = service.runtime().cameras();
    ASSERT_EQ(cameras.size(), 2u);
    ASSERT_TRUE(RunUntil([&] { return !cameras[0].waiting() && !cameras[1].waiting(); }, 30000))
        << service.log().text();
    const auto checkOnce = [&] {
        int status = -1;
        service.CheckOnce([&](int result, const std::string&) { status = result; });
        EXPECT_TRUE(RunUntil([&] { return status >= 0; }));
        return status;
    };
    std::size_t mailsSoFar = 0;
    const auto nextMail = [&] {
        const auto mails = smtp.WaitForMessages(++mailsSoFar);
        EXPECT_GE(mails.size(), mailsSoFar);
        return SmtpPeer::DecodeMail(mails.at(mailsSoFar - 1).file,
                                    DecodeFolder(decoded, std::to_string(mailsSoFar)));
    };

    {
        SCOPED_TRACE("cap: one mail, a picture from each camera, taken after the request");
        dovecot.AddMessage(RequestMail("taro@example.com", "cap"));
        rtsp.SetColor("00ff00");
        http.SetColor("ff00ff");
        // What the servers had encoded and sent before the change is still on its way (the
        // encoder, the network, the jitter buffer): a request comes in after that.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_EQ(checkOnce(), CHeadlessService::kCheckCompleted);
        const DecodedMail mail = nextMail();
        ASSERT_EQ(mail.attachments.size(), 2u);
        EXPECT_TRUE(mail.attachments[0].filename().string().starts_with("玄関_"));
        EXPECT_TRUE(mail.attachments[1].filename().string().starts_with("garden_"));
        ExpectColour(mail.attachments[0], {0, 255, 0});
        ExpectColour(mail.attachments[1], {255, 0, 255});
    }
    {
        SCOPED_TRACE("cap NAME: that camera alone; an unknown name: the names");
        dovecot.AddMessage(RequestMail("taro@example.com", "cap GARDEN"));
        dovecot.AddMessage(RequestMail("hanako@example.com", "cap 裏口"));
        http.SetColor("ff0000");
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_EQ(checkOnce(), CHeadlessService::kCheckCompleted);
        const DecodedMail one = nextMail();
        ASSERT_EQ(one.attachments.size(), 1u);
        ExpectColour(one.attachments[0], {255, 0, 0});
        const DecodedMail names = nextMail();
        EXPECT_TRUE(names.attachments.empty());
        ASSERT_EQ(names.texts.size(), 1u);
        EXPECT_NE(names.texts[0].find("カメラ: 玄関、garden"), std::string::npos) << names.texts[0];
        EXPECT_EQ(dovecot.MessageCount(), 0);
    }
    {
        SCOPED_TRACE("a camera that stops: named in the reply, its own requests stay, said once");
        rtsp.Stop();
        ASSERT_TRUE(RunUntil([&] { return cameras[0].waiting(); }));
        dovecot.AddMessage(RequestMail("taro@example.com", "cap"));
        dovecot.AddMessage(RequestMail("hanako@example.com", "cap 玄関"));
        EXPECT_EQ(checkOnce(), CHeadlessService::kRequestsLeft);
        const DecodedMail mail = nextMail();
        ASSERT_EQ(mail.attachments.size(), 1u);
        EXPECT_NE(mail.texts[0].find("玄関: 写真はありません"), std::string::npos);
        EXPECT_EQ(dovecot.MessageCount(), 1);
        checkOnce();
        EXPECT_EQ(dovecot.MessageCount(), 1);
        EXPECT_EQ(Count(service.log().text(), "カメラ「玄関」につながりません"), 1);
    }
    {
        SCOPED_TRACE("back: answered at the next check, the return said once");
        rtsp.Start();
        rtsp.SetColor("ffffff");
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ASSERT_TRUE(RunUntil([&] { return !cameras[0].waiting(); }, 90000));
        EXPECT_EQ(checkOnce(), CHeadlessService::kCheckCompleted);
        const DecodedMail mail = nextMail();
        ASSERT_EQ(mail.attachments.size(), 1u);
        ExpectColour(mail.attachments[0], {255, 255, 255});
        EXPECT_EQ(dovecot.MessageCount(), 0);
        EXPECT_EQ(Count(service.log().text(), "カメラ「玄関」で撮影を再開しました"), 1);
    }
    service.Stop();

    // Nothing the run wrote holds a camera's password: the log, the files, the mails.
    std::string written = service.log().text();
    for (const auto& folder : {home.path(), smtp.folder()})
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                written += TempDir::ReadFile(entry.path());
    for (const char* password : {kRtspPassword, kHttpPassword})
        EXPECT_EQ(written.find(password), std::string::npos) << password;
}

} // namespace
