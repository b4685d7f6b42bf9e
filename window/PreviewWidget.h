#pragma once
// The live preview: paints the capture graph's latest frame scaled into the 320 x 240 preview
// area. Frames are announced from GStreamer's streaming thread; at most one repaint is queued
// to the UI thread at a time, so a slow UI drops frames instead of piling them up.

#include <QImage>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>

class CCaptureGraph;

class CPreviewWidget final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPreviewId = 1001;
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    explicit CPreviewWidget(QWidget* parent = nullptr);

    // The graph whose frames are shown (null: none). Tear the graph down, or stop announcing,
    // before the widget is destroyed.
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

private:
    const CCaptureGraph* m_graph = nullptr;
    std::atomic<bool> m_refreshQueued{false};
    uint64_t m_lastFrame = 0;
    uint64_t m_shownFrames = 0;
    QImage m_image;
    QString m_notice;
};
