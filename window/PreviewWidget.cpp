#include "window/PreviewWidget.h"

#include "capture/CaptureGraph.h"

#include <QMetaObject>
#include <QPainter>

CPreviewWidget::CPreviewWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("id%1").arg(kPreviewId));
    setMinimumSize(kWidth, kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Every pixel is painted in paintEvent: no background fill by Qt first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPreviewWidget::SetSource(PreviewSource source) {
    m_source = std::move(source);
    m_lastFrame = 0;
}

void CPreviewWidget::SetGraph(const CCaptureGraph* graph) {
    SetSource(PreviewSource::Of(graph));
}

void CPreviewWidget::AnnounceFrame() {
    if (m_refreshQueued.exchange(true))
        return; // a refresh is already on its way; it will fetch the newest frame
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_refreshQueued = false;
            Refresh();
        },
        Qt::QueuedConnection);
}

void CPreviewWidget::Refresh() {
    if (!m_source || !m_notice.isEmpty())
        return;
    const uint64_t frame = m_source.frameCount();
    if (frame == m_lastFrame)
        return;
    QImage image = m_source.image(width(), height());
    if (image.isNull())
        return;
    m_lastFrame = frame;
    m_image = std::move(image);
    ++m_shownFrames;
    update();
}

void CPreviewWidget::SetNotice(const QString& notice) {
    if (notice == m_notice)
        return;
    m_notice = notice;
    if (!m_notice.isEmpty()) {
        m_image = QImage();
        m_lastFrame = 0;
    }
    update();
}

void CPreviewWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The frame shown was scaled for the old size: fetch it again at the new one, also from a
    // camera that sends nothing new just now.
    m_lastFrame = 0;
    Refresh();
}

void CPreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_notice.isEmpty() || m_image.isNull()) {
        painter.fillRect(rect(), Qt::black);
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(12, 12, -12, -12),
                         Qt::AlignCenter | Qt::TextWordWrap, m_notice);
        return;
    }
    // The image is already scaled to fit; centre it and fill the bars black.
    const int x = (width() - m_image.width()) / 2;
    const int y = (height() - m_image.height()) / 2;
    if (m_image.width() < width() || m_image.height() < height())
        painter.fillRect(rect(), Qt::black);
    painter.drawImage(x, y, m_image);
}
