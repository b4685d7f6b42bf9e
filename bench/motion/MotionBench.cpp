// What motion detection costs a waiting camera: process CPU time (user + system, getrusage)
// over wall time with a camera at 1280 x 720 and 30 frames/s, for the raw test pattern (YUY2)
// and the JPEG one, three figures each, alternating in this process:
//   bare    the same source and caps into a fakesink: what the camera itself costs (the peer);
//   waiting the capture graph with nobody wanting frames, detection off;
//   motion  the same with detection on (medium): 5 pictures a second read at the gate.
// The picture is the bouncing ball (at this size too small for an event at medium: what is
// measured is reading and judging the pictures, which is the same whatever they show).
// Median of the rounds, 1 s to settle before each. Goal: motion within 1.5 x bare.
//
// Run: build/bench/motion/bench_motion [seconds per figure] [rounds]

#include "capture/CaptureDevices.h"
#include "capture/CaptureGraph.h"
#include "capture/CaptureUi.h"
#include "capture/GstHandles.h"

#include "bench/CpuShare.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr double kGoal = 1.5;

double Share(double seconds) {
    return CpuShare(seconds);
}

double BareShare(const CaptureDevice& device, double seconds) {
    std::string description = device.sourceFactory;
    for (const auto& [name, value] : device.sourceProperties)
        description += " " + name + "=" + value;
    description += " ! " + device.sourceChain + " ! " + DeliveredMediaType(device.caps.get()) +
                   ",width=" + std::to_string(kWidth) + ",height=" + std::to_string(kHeight) +
                   " ! fakesink";
    GstElementPtr pipeline = AdoptFloating(gst_parse_launch(description.c_str(), nullptr));
    if (!pipeline)
        return -1;
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const double share = Share(seconds);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return share;
}

class QuietUi final : public ICaptureUi {
public:
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    std::optional<int> ChooseDevice(const std::vector<std::string>&, int preselected) override {
        return preselected;
    }
    bool ConfigureDevice(const DeviceSetup&, FrameSize&) override { return true; }
    void ShowProperties(const DeviceSetup&) override {}
    void SetTitle(const std::string&) override {}
    void FrameArrived() override {}
    void StreamLost(const std::string& why) override { std::fprintf(stderr, "lost: %s\n", why.c_str()); }
};

struct GraphShare {
    double share = -1;
    uint64_t analysed = 0;
    int events = 0;
};

GraphShare GraphShareOf(const CaptureDevice& device, bool motion, double seconds) {
    CameraSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.motion = motion;
    QuietUi ui;
    CCaptureGraph graph(settings, ui);
    graph.SetTeardownPause(std::chrono::milliseconds(0));
    std::atomic<int> events{0};
    graph.SetMotionHandler([&](const MotionResult&) { ++events; });
    graph.SetDeviceLister([device] { return std::vector<CaptureDevice>{device}; });
    if (!graph.BuildGraph(true, false) || !graph.graphReady())
        return {};
    GraphShare result;
    result.share = Share(seconds);
    result.analysed = graph.MotionFramesAnalysed();
    result.events = events.load();
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    EnsureGstInitialized();
    bool met = true;
    for (CaptureDevice device : {MakeTestPatternDevice(), MakeJpegTestPatternDevice()}) {
        device.sourceProperties.emplace_back("pattern", "ball");
        std::vector<double> bare, waiting, motion;
        uint64_t analysed = 0;
        int events = 0;
        for (int round = 0; round < rounds; ++round) {
            bare.push_back(BareShare(device, seconds));
            waiting.push_back(GraphShareOf(device, false, seconds).share);
            const GraphShare on = GraphShareOf(device, true, seconds);
            motion.push_back(on.share);
            analysed += on.analysed;
            events += on.events;
        }
        const double b = Median(bare), w = Median(waiting), m = Median(motion);
        if (b <= 0 || w < 0 || m < 0) {
            std::fprintf(stderr, "%s did not start\n", device.name.c_str());
            return 1;
        }
        std::printf("%s, %d x %d at 30 frames/s, %.0f s each, median of %d\n", device.name.c_str(),
                    kWidth, kHeight, seconds, rounds);
        std::printf("  bare     %5.1f %% of one core\n", b);
        std::printf("  waiting  %5.1f %% of one core   %5.2f x bare\n", w, w / b);
        std::printf("  motion   %5.1f %% of one core   %5.2f x bare   (%.1f pictures/s analysed, "
                    "%d events)\n",
                    m, m / b, analysed / (rounds * (seconds + 1.0)), events);
        met = met && m <= kGoal * b;
    }
    std::printf("goal: motion within %.1f x bare: %s\n", kGoal, met ? "met" : "NOT met");
    return met ? 0 : 2;
}
