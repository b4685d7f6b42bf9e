#pragma once
// The live preview of one camera: paints its latest frame scaled to the widget, aspect kept,
// black bars around. Frames are announced from GStreamer's streaming thread; at most one
// repaint is queued to the UI thread at a time, so a slow UI drops frames instead of piling
// them up.

#include <QImage>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>

class CCaptureGraph;

// Where a preview takes its frames from: anything that scales its latest frame into a box and
// counts its frames (the capture graph, a camera of the camera set, a test's fake).
struct PreviewSource {
    std::function<QImage(int width, int height)> image; // fitted, aspect kept; null: no frame
    std::function<uint64_t()> frameCount;

    explicit operator bool() const { return image && frameCount; }

    // camera must outlive the preview's use of the source.
    template <typename Camera> static PreviewSource Of(const Camera* camera) {
        if (!camera)
            return {};
        return {[camera](int w, int h) { return camera->PreviewImage(w, h); },
                [camera] { return camera->FrameCount(); }};
    }
};

class CPreviewWidget final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPreviewId = 1001;
    // The smallest size of a preview that has the window to itself.
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    explicit CPreviewWidget(QWidget* parent = nullptr);

    // Whose frames are shown (empty: none). Drop the source, or stop announcing, before what
    // it reads from goes away.
    void SetSource(PreviewSource source);
    void SetGraph(const CCaptureGraph* graph);
    // A new frame is there; callable from any thread (ICaptureUi::FrameArrived).
    void AnnounceFrame();
    // Fetches the latest frame now (UI thread) and repaints when it is new.
    void Refresh();
    // A text shown in place of the picture (no camera); empty: the picture again. Setting one
    // drops the last frame, so nothing old stays on screen.
    void SetNotice(const QString& notice);
    const QString& notice() const { return m_notice; }

    // Frames fetched and shown so far (for the benchmark and tests).
    uint64_t shownFrames() const { return m_shownFrames; }
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    PreviewSource m_source;
    std::atomic<bool> m_refreshQueued{false};
    uint64_t m_lastFrame = 0;
    uint64_t m_shownFrames = 0;
    QImage m_image;
    QString m_notice;
};
