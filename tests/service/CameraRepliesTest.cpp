// Replies from several cameras, with real peers (dovecot, aiosmtpd): which cameras a request
// asks for, the one mail per requester with a picture per camera, a camera that is away, a
// name no camera has, and a server whose SIZE limit is smaller than the pictures.

#include "app/service/CameraChoice.h"
#include "app/service/MailService.h"
#include "capture/JpegWriter.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

TEST(CameraChoice, SubjectsAndNames) {
    const Lines names = {"玄関", "Garden"};
    struct Case {
        const char* subject;
        std::optional<std::string> word;
        std::vector<std::size_t> cameras;
        Lines unknown;
    };
    const Case cases[] = {
        {"cap", "", {0, 1}, {}},
        {"cap garden", "garden", {1}, {}},
        {"cap ＧＡＲＤＥＮ", "ＧＡＲＤＥＮ", {1}, {}}, // full-width letters, as phones type
        {"cap\xE3\x80\x80玄関\xE3\x80\x80", "玄関", {0}, {}}, // full-width spaces
        {"cap 裏口", "裏口", {}, {"裏口"}},
        {"capture", std::nullopt, {}, {}},
        {"cap ", std::nullopt, {}, {}},
        {"CAP garden", std::nullopt, {}, {}}, // the check string itself counts its case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subject);
        const std::optional<std::string> word = RequestWord(c.subject, "cap");
        EXPECT_EQ(word, c.word);
        if (!word)
            continue;
        CameraChoice choice;
        choice.Add(*word, names);
        EXPECT_EQ(choice.cameras, c.cameras);
        EXPECT_EQ(choice.unknown, c.unknown);
    }
}

TEST(CameraChoice, WordsThatSwitchTheAlerts) {
    const std::pair<const char*, std::optional<bool>> cases[] = {
        {"arm", true}, {"ＡＲＭ", true}, {"警戒", true}, {"disarm", false}, {"解除", false},
        {"garden", std::nullopt}, {"", std::nullopt}, {"armed", std::nullopt}};
    for (const auto& [word, arm] : cases)
        EXPECT_EQ(ArmWord(word), arm) << word;
}

// Two cameras that give a picture of their own colour (and size), or none while away.
class TwoCameras final : public IReplyCameras {
public:
    std::size_t CameraCount() const override { return 2; }
    std::string CameraName(std::size_t camera) const override { return camera ? "garden" : "玄関"; }
    bool GrabReplyPicture(std::size_t camera, bool, JpegPicture& picture,
                          GrabFailure& why) override {
        if (camera == 1 && gardenAway) {
            why = {GrabFailure::Kind::NoPicture};
            return false;
        }
        CaptureFrame frame = CaptureFrame::Blank(camera ? 320 : 640, 240);
        std::mt19937 noise(7);
        for (uint8_t& byte : frame.pixels) // noise: a picture that does not compress away
            byte = large ? static_cast<uint8_t>(noise()) : static_cast<uint8_t>(camera ? 200 : 40);
        picture.fileName = "20261206154744.jpg";
        picture.jpeg = std::make_shared<const std::string>(*EncodeJpeg(frame, 90));
        return true;
    }
    bool gardenAway = false;
    bool large = false;
};

TEST(CameraReplies, OneMailPerRequesterWithThePicturesItAskedFor) {
    TempDir decoded;
    RecordingLog log;
    FixedClock clock({2026, 12, 6, 0, 15, 47, 44});
    ServiceFlags flags;
    flags.graphReady = true;
    TwoCameras cameras;
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
    SmtpPeer small({.authUser = "camera", .authPassword = "secret", .sizeLimit = 120000});
    DovecotPeer dovecot("camera", "secret", {});
    MailSettings settings;
    settings.pop3Server = settings.smtpServer = "127.0.0.1";
    settings.pop3Port = dovecot.port();
    settings.pop3Id = "camera";
    settings.pop3Pass = "secret";
    settings.senderAddress = "camera@example.com";
    CMailService service(settings, flags, log, cameras, clock, nullptr, UnusedLoopbackPort());

    struct Case {
        const char* what;
        Lines subjects; // from one requester
        bool gardenAway;
        Lines attachments; // file names without the time stamp
        Lines texts;       // what the body says
        bool staysOnServer;
    };
    const Case cases[] = {
        {"every camera", {"cap"}, false, {"玄関_", "garden_"}, {"現在の画像です"}, false},
        {"one by its name", {"cap ｇａｒｄｅｎ"}, false, {"garden_"}, {}, false},
        {"two requests, one reply", {"cap garden", "cap 玄関"}, false, {"玄関_", "garden_"}, {}, false},
        {"a name no camera has", {"cap 裏口"}, false, {},
         {"「裏口」という名前のカメラはありません。カメラ: 玄関、garden"}, false},
        {"one camera away", {"cap"}, true, {"玄関_"}, {"garden: 写真はありません"}, false},
        {"the only camera asked for is away", {"cap garden"}, true, {}, {}, true},
    };
    std::size_t received = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cameras.gardenAway = c.gardenAway;
        settings.smtpPort = smtp.port();
        for (const std::string& subject : c.subjects)
            dovecot.AddMessage(RequestMail("taro@example.com", subject));
        EXPECT_EQ(service.CheckMail(), 1);
        if (c.staysOnServer) {
            EXPECT_EQ(dovecot.Messages().size(), c.subjects.size());
            continue; // answered below, once the camera is back
        }
        const auto mails = smtp.WaitForMessages(++received);
        ASSERT_EQ(mails.size(), received);
        EXPECT_EQ(mails.back().recipients, Lines{"taro@example.com"});
        const DecodedMail mail =
            SmtpPeer::DecodeMail(mails.back().file, DecodeFolder(decoded, std::to_string(received)));
        ASSERT_EQ(mail.attachments.size(), c.attachments.size());
        for (std::size_t i = 0; i < c.attachments.size(); ++i)
            EXPECT_EQ(mail.attachments[i].filename().string(), c.attachments[i] + "20261206154744.jpg");
        ASSERT_EQ(mail.texts.size(), 1u);
        for (const std::string& text : c.texts)
            EXPECT_NE(mail.texts[0].find(text), std::string::npos) << mail.texts[0];
        EXPECT_TRUE(dovecot.Messages().empty());
    }

    {
        SCOPED_TRACE("English mails (the request left while garden was away is answered too)");
        settings.language = MailLanguage::English;
        cameras.gardenAway = false;
        dovecot.AddMessage(RequestMail("taro@example.com", "cap 裏口"));
        dovecot.AddMessage(RequestMail("hanako@example.com", "cap garden"));
        EXPECT_EQ(service.CheckMail(), 1);
        const auto mails = smtp.WaitForMessages(received + 2);
        ASSERT_EQ(mails.size(), received + 2);
        const DecodedMail names = SmtpPeer::DecodeMail(mails[received].file, DecodeFolder(decoded, "en1"));
        const DecodedMail picture = SmtpPeer::DecodeMail(mails[received + 1].file, DecodeFolder(decoded, "en2"));
        EXPECT_EQ(picture.headers.at("subject"), "Camera picture");
        EXPECT_NE(picture.texts.at(0).find("The camera at 15:47:44 on Sun 6 Dec 2026."), std::string::npos)
            << picture.texts[0];
        EXPECT_NE(names.texts.at(0).find("No camera is called \"裏口\". Cameras: 玄関, garden"),
                  std::string::npos) << names.texts[0];
        settings.language = MailLanguage::Japanese;
    }

    SCOPED_TRACE("pictures larger than the server's SIZE are made smaller, not dropped");
    cameras.gardenAway = false;
    cameras.large = true;
    settings.smtpPort = small.port();
    dovecot.AddMessage(RequestMail("taro@example.com", "cap"));
    EXPECT_EQ(service.CheckMail(), 1);
    const auto mails = small.WaitForMessages(1);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_LE(mails[0].raw.size(), 120000u);
    const DecodedMail mail = SmtpPeer::DecodeMail(mails[0].file, DecodeFolder(decoded, "small"));
    ASSERT_EQ(mail.attachments.size(), 2u);
    EXPECT_TRUE(dovecot.Messages().empty());
    EXPECT_LT(JpegSize(mail.attachments[0]).first, 640);
    EXPECT_NE(mail.texts[0].find("写真を小さくしました"), std::string::npos);
}

} // namespace
