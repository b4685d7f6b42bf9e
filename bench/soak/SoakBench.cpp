// Runs the mail check cycle many times (1,000 by default) against a local dovecot holding a
// few ordinary mails, with a picture request added before every tenth cycle and answered
// through aiosmtpd (the authenticating path). The camera is the GStreamer test pattern through
// the real capture graph, frame grabber, stamp and JPEG writer. Prints the resident memory
// (VmRSS) after the 10th and after the last cycle; the goal is a growth within 5 MB. Beside it
// the reply latency: from the start of a cycle with a request to the moment aiosmtpd accepts
// the reply (its envelope file appears, right before it answers 250); the goal is a median
// within twice the frame time of the test pattern plus 10 ms. The camera decodes frames only for
// a grab, as in the service; every other request is answered with the camera decoding every
// frame instead (as under a visible preview, and as before frames were decoded on demand), and
// the medians of the two are compared: decoding on demand may add at most one frame time
// plus 10 ms.
//
// Run: build/bench/soak/bench_soak [cycles] [requestEvery]

#include "app/report/ActivityLog.h"
#include "app/service/MailService.h"
#include "app/service/ServiceAdapters.h"
#include "bench/ReplyLatency.h"
#include "tests/support/DovecotPeer.h"
#include "tests/support/SmtpPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPatternCamera.h"

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kGoalGrowthKb = 5 * 1024;
constexpr int kOrdinaryMails = 5;
// The test pattern runs at videotestsrc's 30 frames a second.
constexpr double kFrameMs = 1000.0 / 30;

// VmRSS of this process in kB.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

std::string Mail(const std::string& from, const std::string& subject, int serial) {
    std::string body;
    for (int i = 0; i < 40; ++i)
        body += "An ordinary line of an ordinary mail, number " + std::to_string(i) + ".\r\n";
    return "From: " + from + "\r\nTo: camera@example.com\r\nSubject: " + subject +
           "\r\nMessage-ID: <soak" + std::to_string(serial) +
           "@example.com>\r\nDate: Sun, 6 Dec 2026 15:40:00 +0900\r\n\r\n" + body;
}

} // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
    const int requestEvery = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv); // the stamp draws with Qt's fonts

    TempDir home;
    std::vector<std::string> ordinary;
    for (int i = 0; i < kOrdinaryMails; ++i)
        ordinary.push_back(Mail("someone" + std::to_string(i) + "@example.com", "hello", i));
    DovecotPeer dovecot("camera", "secret", ordinary);
    SmtpPeer smtp({.authUser = "camera", .authPassword = "secret"});

    // The test pattern through the real capture graph, grabber, stamp and JPEG writer
    // (throws when the graph does not start).
    ServiceFlags flags;
    TestPatternCamera camera(flags);

    AppSettings app;
    SystemClock clock;
    ActivityLog activity(app, home.folder(), clock);
    CActivityLogAdapter log(activity);
    MailSettings settings = PeerMailSettings(dovecot.port(), smtp.port());
    settings.senderName = "監視カメラ";
    CMailService service(settings, flags, log, camera.pictures(), clock, nullptr,
                         static_cast<uint16_t>(smtp.port()));

    AcceptanceClock acceptance(smtp.folder());
    std::vector<double> plain, withRequest, latency, latencyDecodingAll;
    long rssAfter10 = 0;
    int failures = 0;
    int requests = 0;
    const auto start = Clock::now();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const bool request = cycle % requestEvery == 0;
        // Set from the cycle after a request on, so it is well established at the next one.
        camera.graph().SetPreviewShown(requests % 2 == 1);
        const bool decodingAll = request && requests % 2 == 1;
        if (request) {
            dovecot.AddMessage(Mail("Taro <taro@example.com>", "cap", 1000 + cycle));
            ++requests;
        }
        const auto cycleStart = Clock::now();
        if (service.CheckMail() != 1)
            ++failures;
        const double ms =
            std::chrono::duration<double, std::milli>(Clock::now() - cycleStart).count();
        (request ? withRequest : plain).push_back(ms);
        if (request) {
            if (const auto accepted = acceptance.AcceptedAt(requests))
                (decodingAll ? latencyDecodingAll : latency)
                    .push_back(
                        std::chrono::duration<double, std::milli>(*accepted - cycleStart).count());
        }
        if (cycle == 10)
            rssAfter10 = ResidentKb();
    }
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    const long rssAfterLast = ResidentKb();
    const size_t replies = smtp.WaitForMessages(static_cast<size_t>(requests)).size();
    const int left = dovecot.MessageCount();

    std::printf("soak: %d cycles in %.1f s, a request every %d cycles (test pattern camera)\n",
                cycles, total, requestEvery);
    std::printf("  cycles that failed: %d; replies received: %zu of %d; mails left: %d of %d\n",
                failures, replies, requests, left, kOrdinaryMails);
    std::printf("  cycle without request: median %.1f ms, 95th percentile %.1f ms\n",
                Percentile(plain, 0.5), Percentile(plain, 0.95));
    std::printf("  cycle with request:    median %.1f ms, 95th percentile %.1f ms\n",
                Percentile(withRequest, 0.5), Percentile(withRequest, 0.95));
    const double latencyGoal = 2 * kFrameMs + 10;
    const double latencyMedian = Percentile(latency, 0.5);
    std::printf("  reply accepted after the cycle start: median %.1f ms, 95th percentile %.1f ms "
                "(%zu replies; goal: median within %.1f ms: %s)\n",
                latencyMedian, Percentile(latency, 0.95), latency.size(), latencyGoal,
                latencyMedian <= latencyGoal ? "met" : "NOT met");
    const double decodingAllMedian = Percentile(latencyDecodingAll, 0.5);
    const double onDemandGoal = decodingAllMedian + kFrameMs + 10;
    std::printf("  the same with every frame decoded: median %.1f ms, 95th percentile %.1f ms; "
                "decoded on demand / every frame: %.2f (goal: within %.1f ms: %s)\n",
                decodingAllMedian, Percentile(latencyDecodingAll, 0.95),
                latencyMedian / decodingAllMedian, onDemandGoal,
                latencyMedian <= onDemandGoal ? "met" : "NOT met");
    const long growth = rssAfterLast - rssAfter10;
    std::printf("  VmRSS after cycle 10: %ld kB; after cycle %d: %ld kB; growth %+ld kB "
                "(goal: within %ld kB: %s)\n",
                rssAfter10, cycles, rssAfterLast, growth, kGoalGrowthKb,
                growth <= kGoalGrowthKb ? "met" : "NOT met");
    const bool ok = failures == 0 && replies == static_cast<size_t>(requests) &&
                    left == kOrdinaryMails && growth <= kGoalGrowthKb &&
                    latency.size() + latencyDecodingAll.size() == static_cast<size_t>(requests) &&
                    latencyMedian <= latencyGoal && latencyMedian <= onDemandGoal;
    return ok ? 0 : 1;
}
