// Live preview CPU load: the 640 x 480 test pattern at 30 frames a second shown in the
// 320 x 240 preview for 20 seconds (first argument: seconds), against the same graph without
// a preview. Process CPU time (user + system) from getrusage over wall time.
#include "window/PreviewWidget.h"
#include "capture/CaptureGraph.h"
#include "capture/CaptureUi.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

class PreviewUi final : public ICaptureUi {
public:
    CPreviewWidget* preview = nullptr;
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::optional<int> ChooseDevice(const std::vector<std::string>&, int) override { return 0; }
    bool ConfigureDevice(const DeviceSetup&, FrameSize&) override { return false; }
    void ShowProperties(const DeviceSetup&) override {}
    void SetTitle(const std::string&) override {}
    void FrameArrived() override {
        if (preview)
            preview->AnnounceFrame();
    }
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Result {
    double cpuShare;
    uint64_t frames;
    uint64_t shown;
    double wall;
};

Result Measure(CCaptureGraph& graph, CPreviewWidget* preview, double seconds) {
    const uint64_t framesBefore = graph.FrameCount();
    const uint64_t shownBefore = preview ? preview->shownFrames() : 0;
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {100.0 * (CpuSeconds() - cpuBefore) / wall, graph.FrameCount() - framesBefore,
            preview ? preview->shownFrames() - shownBefore : 0, wall};
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;

    CameraSettings settings;
    settings.width = 640;
    settings.height = 480;
    PreviewUi ui;
    CCaptureGraph graph(settings, ui);
    graph.SetDeviceLister([] { return std::vector<CaptureDevice>{MakeTestPatternDevice()}; });
    graph.SetPreviewShown(true); // frames decoded for both figures, as for the visible window
    if (!graph.BuildGraph(true, false) || !graph.RunGraph()) {
        std::fprintf(stderr, "the test pattern did not start\n");
        return 1;
    }

    // Let the stream settle, then the baseline: frames arrive, nothing is shown.
    Measure(graph, nullptr, 1.0);
    const Result baseline = Measure(graph, nullptr, seconds / 2);

    CPreviewWidget preview;
    preview.SetGraph(&graph);
    preview.show();
    ui.preview = &preview;
    const Result live = Measure(graph, &preview, seconds);
    ui.preview = nullptr;
    graph.TearDownGraph();

    std::printf("capture graph alone:  %5.1f %% of one core, %.1f frames/s over %.1f s\n",
                baseline.cpuShare, baseline.frames / baseline.wall, baseline.wall);
    std::printf("with live preview:    %5.1f %% of one core, %.1f frames/s, %.1f shown/s over "
                "%.1f s\n",
                live.cpuShare, live.frames / live.wall, live.shown / live.wall, live.wall);
    std::printf("preview share:        %5.1f %% of one core (goal below 10 %%)\n",
                live.cpuShare - baseline.cpuShare);
    return 0;
}
