// A program folder that takes no file, read-only or full: every request is answered and no
// file appears in that folder or in the temporary folder while a reply or a snapshot mail is
// made (the test watches both with inotify); what cannot be written (log.txt, the judged
// messages, the settings) is said once on screen and on standard error, however many checks
// and saves follow. Real peers: dovecot, aiosmtpd, the test pattern camera.

#include "app/report/ActivityLog.h"
#include "app/report/FaultNotices.h"
#include "app/service/MailService.h"
#include "app/report/MessageSink.h"
#include "app/service/ServiceAdapters.h"
#include "app/settings/SettingsStore.h"
#include "app/service/SnapshotMail.h"
#include "tests/service/IntegrationSupport.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPatternCamera.h"
#include "tests/support/TmpfsMount.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <string>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Names created in the watched folders from the last Start() on.
class FolderWatch {
public:
    FolderWatch() : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~FolderWatch() { ::close(m_fd); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    void Start(const std::vector<fs::path>& folders) {
        Created(); // what came before is not the reply's
        for (const fs::path& folder : folders)
            ::inotify_add_watch(m_fd, folder.c_str(), IN_CREATE | IN_MOVED_TO);
    }
    // Names created since the last call, but the replies-per-hour record: it is kept once a
    // reply has been accepted, after the reply.
    Lines Created() const {
        Lines names;
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                const std::string name = event->len ? event->name : "?";
                if (name.rfind("replies.txt", 0) != 0)
                    names.push_back(name);
                p += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

private:
    int m_fd;
};

// The camera's pictures, with the watch started as the grab begins: from then on the cycle
// makes the reply.
class WatchedPictures final : public IReplyPictureSource {
public:
    WatchedPictures(IReplyPictureSource& camera, std::function<void()> onGrab)
        : m_camera(camera), m_onGrab(std::move(onGrab)) {}
    bool GrabReplyPicture(bool rotate, JpegPicture& picture, GrabFailure& why) override {
        m_onGrab();
        return m_camera.GrabReplyPicture(rotate, picture, why);
    }

private:
    IReplyPictureSource& m_camera;
    std::function<void()> m_onGrab;
};

class SilentSink final : public IMessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

struct Case {
    const char* name;
    unsigned long mountFlags;
    bool fill;
    const char* reason; // the system's, as the lines give it
};

const Case kCases[] = {
    {"read-only folder", MS_RDONLY, false, "Read-only file system"},
    {"full folder", 0, true, "No space left on device"},
};

TEST(FullFolder, RequestsAreAnsweredWithoutAFileAndEachCauseIsSaidOnce) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        TempDir home;
        const fs::path folder = home.path() / "program";
        const fs::path temporary = home.path() / "tmp";
        fs::create_directories(folder);
        fs::create_directories(temporary);
        TmpfsMount mount(folder, "size=64k", c.mountFlags);
        if (!mount.mounted()) {
            std::cout << "[  SKIPPED ] " << c.name << ": cannot mount a tmpfs here ("
                      << mount.why() << ")\n";
            continue;
        }
        const std::string programFolder = folder.string() + "/";
        if (c.fill) {
            TempDir::WriteFile(folder / kLogFileName, ""); // a folder that filled up in use
            mount.Fill();
        }

        Settings settings;
        settings.app.logFile = true;
        FixedClock clock{{2026, 12, 6, 0, 15, 47, 44}};
        ActivityLog activity(settings.app, programFolder, clock);
        activity.SetStandardErrorEcho(true);
        CActivityLogAdapter log(activity);
        ServiceFlags flags;
        TestPatternCamera camera(flags);
        DovecotPeer dovecot("camera", "secret",
                            {RequestMail("other@example.com", "hello"),
                             RequestMail("Taro <taro@example.com>", "cap")});
        SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});
        MailSettings& mail = settings.mail;
        mail.pop3Server = mail.smtpServer = "127.0.0.1";
        mail.pop3Port = dovecot.port();
        mail.pop3Id = "camera";
        mail.pop3Pass = "secret";
        mail.smtpPort = smtp.port();
        mail.senderAddress = "camera@example.com";
        // The program's temporary folder from here on; the peers run already.
        ::setenv("TMPDIR", temporary.c_str(), 1);

        FolderWatch watch;
        WatchedPictures pictures(camera.pictures(), [&] { watch.Start({folder, temporary}); });
        CMailService service(mail, flags, log, pictures, clock, nullptr,
                             static_cast<uint16_t>(UnusedLoopbackPort()));
        service.SetStateFolder(programFolder);
        CFaultNotices settingsNotices(log);
        SilentSink sink;

        testing::internal::CaptureStderr();
        for (int check = 0; check < 3; ++check) {
            if (check > 0)
                dovecot.AddMessage(RequestMail("taro@example.com", "cap"));
            EXPECT_EQ(service.CheckMail(), 1);
            EXPECT_EQ(watch.Created(), Lines{}) << "check " << check;
            SaveSettingsAndSay(settings, programFolder, sink, settingsNotices);
        }

        // The snapshot mail, from the grab to the server, past the same folders.
        CFrameGrabber grabber(camera.graph());
        GrabRequest request;
        request.graphReady = true;
        SnapshotMailOutcome outcome;
        grabber.TakeSnapshot(request, [&](const Snapshot& snapshot) {
            watch.Start({folder, temporary});
            outcome = SendSnapshotMail(mail, {"hanako@example.com"}, snapshot.plain,
                                       clock.LocalNow(), nullptr, 1, nullptr);
            return std::string();
        });
        EXPECT_EQ(watch.Created(), Lines{}) << "snapshot mail";
        const std::string echoed = testing::internal::GetCapturedStderr();
        ::unsetenv("TMPDIR");
        EXPECT_EQ(outcome.result, SnapshotMailResult::Sent);

        EXPECT_EQ(smtp.WaitForMessages(4).size(), 4u);
        EXPECT_EQ(dovecot.MessageCount(), 1); // the one that asks for nothing
        const Lines screen = MessagesOf(activity.text());
        EXPECT_EQ(std::count(screen.begin(), screen.end(), "送信完了<taro@example.com>"), 3);
        // What cannot be written: log.txt, the judged messages, the two settings files.
        const Lines causes = {kLogFileErrorLine, "ERROR : 判定済みメールの記録 ",
                              "ERROR : 設定ファイル " + programFolder + "setup.ini",
                              "ERROR : 設定ファイル " + programFolder + "device.ini"};
        for (const std::string& cause : causes) {
            const auto said = [&](const std::string& line) { return line.rfind(cause, 0) == 0; };
            EXPECT_EQ(std::count_if(screen.begin(), screen.end(), said), 1) << cause;
            const auto found = std::find_if(screen.begin(), screen.end(), said);
            if (found != screen.end() && cause != kLogFileErrorLine) {
                EXPECT_NE(found->find(c.reason), std::string::npos) << *found;
                EXPECT_EQ(std::count(screen.begin(), screen.end(), *found), 1);
            }
            std::size_t times = 0;
            for (std::size_t at = echoed.find(cause); at != std::string::npos;
                 at = echoed.find(cause, at + 1))
                ++times;
            EXPECT_EQ(times, 1u) << "on standard error: " << cause;
        }
    }
}

} // namespace
