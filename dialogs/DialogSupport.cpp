#include "dialogs/DialogSupport.h"

#include <QFont>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

// Q_INIT_RESOURCE must be used outside any namespace; km_dialogs is a static library, so its
// resources are registered explicitly on first use.
static void InitDialogResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)done;
}

QString ControlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

void SetControlId(QWidget* w, int id) {
    w->setObjectName(ControlName(id));
}

void ApplyDialogFont(QWidget* dialog) {
    QFont font(QStringLiteral("IPAGothic"));
    font.setPointSize(9);
    dialog->setFont(font);
}

QLabel* MakeBanner(QWidget* parent, int height) {
    InitDialogResources();
    auto* label = new QLabel(parent);
    label->setObjectName(QStringLiteral("banner"));
    const int width = height / 8 > 24 ? height / 8 : 24;
    // The banner is an SVG, rendered at the wanted size by the svg image plugin.
    QImageReader reader(QStringLiteral(":/banner.svg"));
    reader.setScaledSize(QSize(width, height));
    const QImage image = reader.read();
    if (!image.isNull())
        label->setPixmap(QPixmap::fromImage(image));
    label->setFixedSize(width, height);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setScaledContents(true);
    return label;
}
