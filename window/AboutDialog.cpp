#include "window/AboutDialog.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("KestrovaMail - バージョン情報"));
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    m_bitmap = QPixmap(QStringLiteral(":/icons/bitmap147.svg"));
    setFixedSize(320, 260);
}

void AboutDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawPixmap(QRect(0, 0, 320, 240), m_bitmap);
    painter.setPen(Qt::white);
    painter.setFont(font());
    const int ascent = painter.fontMetrics().ascent();
    painter.drawText(QPoint(205, 45 + ascent), QString::fromLatin1(kVersion));
    painter.drawText(QPoint(120, 220 + ascent), QString::fromLatin1(kSecondLine));
    painter.drawText(QRect(QPoint(20, 55), rect().bottomRight()), Qt::AlignLeft | Qt::AlignTop,
                     QString::fromLatin1(kJpegNotice));
}

void AboutDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        accept();
}
