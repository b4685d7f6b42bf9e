#include "window/PreviewWidget.h"

#include "capture/CaptureGraph.h"

#include <QMetaObject>
#include <QPainter>

CPreviewWidget::CPreviewWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("id%1").arg(kPreviewId));
    setFixedSize(kWidth, kHeight);
    // Every pixel is painted in paintEvent: no background fill by Qt first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPreviewWidget::SetGraph(const CCaptureGraph* graph) {
    m_graph = graph;
    m_lastFrame = 0;
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
    if (!m_graph || !m_notice.isEmpty())
        return;
    const uint64_t frame = m_graph->FrameCount();
    if (frame == m_lastFrame)
        return;
    QImage image = m_graph->PreviewImage(width(), height());
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
