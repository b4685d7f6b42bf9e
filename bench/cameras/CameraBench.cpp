// What a network camera costs while nobody looks, and how long an RTSP grab takes.
//
// Waiting cost: process CPU time (user + system, getrusage) over wall time while an open
// NetworkCamera waits, beside the bare stream in the same process and run (alternating, median
// of 3 rounds each; busy pictures so that the streams carry what a camera's do): for RTSP (H.264,
// 640 x 480, 30 frames/s, a key frame every 2 s) rtspsrc over TCP -> rtph264depay -> fakesink;
// for MJPEG (640 x 480, 30 frames/s) souphttpsrc -> multipartdemux -> fakesink. The snapshot
// camera is shown alone (nothing runs between pictures). The servers are the test peers
// (tests/peers/rtsp_peer.py, camera_http_peer.py), other processes, not counted.
// Goals: RTSP within 1.2 x bare, MJPEG within 1.1 x bare.
//
// Grab latency: CFrameGrabber::GrabFreshFrame on the idle RTSP camera (key frame every 2 s) at
// moments spread over the key-frame interval, from the request to the fresh picture; median
// and worst. Expected: one frame time plus decoding the kept group (at most 2 s of pictures),
// well within one key-frame interval plus the decode time.
//
// Run: build/bench/cameras/bench_cameras [seconds per figure] [grabs] [rounds]

#include "capture/CaptureUi.h"
#include "capture/FrameGrabber.h"
#include "capture/GstHandles.h"
#include "capture/NetworkCamera.h"
#include "tests/support/CameraPeer.h"

#include "bench/CpuShare.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <memory>
#include <vector>

namespace {

constexpr double kRtspGoal = 1.2;
constexpr double kMjpegGoal = 1.1;
constexpr double kFourGoal = 1.1; // four cameras beside the sum of their streams
constexpr int kFps = 30;
constexpr const char* kSize = "640x480";

class QuietUi final : public QuietCaptureUi {
public:
    void StreamLost(const std::string& reason) override {
        std::fprintf(stderr, "lost: %s\n", reason.c_str());
    }
};

double Share(double seconds) {
    return CpuShare(seconds);
}

// The bare streams, all at once.
double BareShare(const std::vector<std::string>& descriptions, double seconds) {
    std::vector<GstElementPtr> pipelines;
    for (const std::string& description : descriptions) {
        pipelines.push_back(AdoptFloating(gst_parse_launch(description.c_str(), nullptr)));
        if (!pipelines.back())
            return -1;
        gst_element_set_state(pipelines.back().get(), GST_STATE_PLAYING);
    }
    const double share = Share(seconds);
    for (const GstElementPtr& pipeline : pipelines)
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return share;
}
double BareShare(const std::string& description, double seconds) {
    return BareShare(std::vector<std::string>{description}, seconds);
}

// The cameras open and waiting, all at once.
double CameraShare(const std::vector<NetworkCameraSpec>& specs, double seconds) {
    QuietUi ui;
    std::vector<std::unique_ptr<NetworkCamera>> cameras;
    for (const NetworkCameraSpec& spec : specs) {
        cameras.push_back(std::make_unique<NetworkCamera>(spec, ui));
        std::string why;
        if (!cameras.back()->Open(why)) {
            std::fprintf(stderr, "cannot open: %s\n", why.c_str());
            return -1;
        }
    }
    return Share(seconds);
}
double CameraShare(const NetworkCameraSpec& spec, double seconds) {
    return CameraShare(std::vector<NetworkCameraSpec>{spec}, seconds);
}

void PrintRow(const char* what, double share, double bare) {
    if (bare > 0)
        std::printf("  %-10s %5.1f %% of one core   %5.2f x bare\n", what, share, share / bare);
    else
        std::printf("  %-10s %5.1f %% of one core\n", what, share);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Median shares of `rounds` rounds, bare and camera alternating so that a change in the
// machine's load falls on both.
struct Shares {
    double bare = -1;
    double ours = -1;
};

Shares Compare(const std::string& bare, const NetworkCameraSpec& spec, double seconds,
               int rounds) {
    std::vector<double> bares, ours;
    for (int i = 0; i < rounds; ++i) {
        bares.push_back(BareShare(bare, seconds));
        ours.push_back(CameraShare(spec, seconds));
        if (bares.back() < 0 || ours.back() < 0)
            return {};
    }
    return {Median(bares), Median(ours)};
}

} // namespace

int main(int argc, char* argv[]) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    const int grabs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    EnsureGstInitialized();
    bool met = true;

    // Busy pictures, so that the streams carry what a camera's do (about 2 Mbit/s of H.264,
    // JPEG pictures of some 100 KB).
    CameraPeer rtsp({.kind = CameraPeer::Kind::Rtsp, .keyint = 2 * kFps, .fps = kFps,
                     .size = kSize, .pattern = "snow"});
    const NetworkCameraSpec rtspSpec{CameraType::Rtsp, rtsp.Url("/h264"), "", "", ""};
    const Shares rtspShares =
        Compare("rtspsrc location=" + rtsp.Url("/h264") +
                    " protocols=tcp latency=100 ! rtph264depay ! fakesink sync=false",
                rtspSpec, seconds, rounds);
    std::printf("RTSP H.264, %s at %d frames/s, key frame every 2 s, median of %d x %.0f s\n",
                kSize, kFps, rounds, seconds);
    PrintRow("bare", rtspShares.bare, rtspShares.bare);
    PrintRow("waiting", rtspShares.ours, rtspShares.bare);
    met = met && rtspShares.ours >= 0 && rtspShares.ours <= kRtspGoal * rtspShares.bare;

    CameraPeer http({.kind = CameraPeer::Kind::Http, .fps = kFps, .size = kSize,
                     .pattern = "snow"});
    const Shares mjpegShares =
        Compare("souphttpsrc is-live=true location=" + http.Url("/mjpeg") +
                    " ! multipartdemux single-stream=true ! fakesink sync=false",
                {CameraType::Mjpeg, http.Url("/mjpeg"), "", "", ""}, seconds, rounds);
    const double snapshotOurs =
        CameraShare({CameraType::Snapshot, http.Url("/snapshot.jpg"), "", "", ""}, seconds);
    std::printf("MJPEG over HTTP, %s at %d frames/s, median of %d x %.0f s\n", kSize, kFps,
                rounds, seconds);
    PrintRow("bare", mjpegShares.bare, mjpegShares.bare);
    PrintRow("waiting", mjpegShares.ours, mjpegShares.bare);
    std::printf("JPEG snapshot over HTTP, %.0f s\n", seconds);
    PrintRow("waiting", snapshotOurs, 0);
    met = met && mjpegShares.ours >= 0 && mjpegShares.ours <= kMjpegGoal * mjpegShares.bare;

    // Four cameras at once, two of each kind: what they cost together beside their four bare
    // streams together, alternating as above.
    const std::string rtspBare = "rtspsrc location=" + rtsp.Url("/h264") +
                                 " protocols=tcp latency=100 ! rtph264depay ! fakesink sync=false";
    const std::string mjpegBare = "souphttpsrc is-live=true location=" + http.Url("/mjpeg") +
                                  " ! multipartdemux single-stream=true ! fakesink sync=false";
    const NetworkCameraSpec mjpegSpec{CameraType::Mjpeg, http.Url("/mjpeg"), "", "", ""};
    std::vector<double> fourBare, fourOurs;
    for (int i = 0; i < rounds; ++i) {
        fourBare.push_back(BareShare({rtspBare, rtspBare, mjpegBare, mjpegBare}, seconds));
        fourOurs.push_back(CameraShare({rtspSpec, rtspSpec, mjpegSpec, mjpegSpec}, seconds));
    }
    std::printf("Four cameras at once (2 RTSP, 2 MJPEG), median of %d x %.0f s\n", rounds, seconds);
    PrintRow("bare", Median(fourBare), Median(fourBare));
    PrintRow("waiting", Median(fourOurs), Median(fourBare));
    met = met && Median(fourOurs) >= 0 && Median(fourOurs) <= kFourGoal * Median(fourBare);
    // Grabs at moments spread over the key-frame interval (2 s / grabs apart, plus a second).
    QuietUi ui;
    NetworkCamera camera(rtspSpec, ui);
    std::string why;
    if (!camera.Open(why)) {
        std::fprintf(stderr, "cannot open: %s\n", why.c_str());
        return 1;
    }
    std::vector<double> latencies;
    for (int i = 0; i < grabs; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 + 2000 * i / grabs));
        CFrameGrabber grabber(camera);
        GrabRequest request;
        request.graphReady = camera.graphReady();
        request.timeText.showText = false;
        const auto start = std::chrono::steady_clock::now();
        const auto grabbed = grabber.GrabFreshFrame(request, CFrameGrabber::WaitPolicy::Snapshot);
        const double ms = std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - start)
                              .count();
        if (!grabbed || grabber.lastPollCount() >= CFrameGrabber::kSnapshotPolls) {
            std::fprintf(stderr, "grab %d found no fresh picture\n", i);
            return 1;
        }
        latencies.push_back(ms);
    }
    std::printf("RTSP grab, key frame every 2 s, %d grabs: median %.1f ms, worst %.1f ms\n",
                grabs, Median(latencies), *std::max_element(latencies.begin(), latencies.end()));
    std::printf("goal: RTSP waiting within %.1f x bare, MJPEG within %.1f x bare, four cameras "
                "within %.1f x their streams: %s\n",
                kRtspGoal, kMjpegGoal, kFourGoal, met ? "met" : "NOT met");
    return met ? 0 : 2;
}
