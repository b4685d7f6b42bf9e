#include "dialogs/DialogSupport.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
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

QPushButton* MakeButton(QWidget* parent, int id, const QString& text) {
    auto* button = new QPushButton(text, parent);
    SetControlId(button, id);
    button->setAutoDefault(false);
    return button;
}

QCheckBox* MakeCheck(QWidget* parent, int id, const QString& text) {
    auto* check = new QCheckBox(text, parent);
    SetControlId(check, id);
    return check;
}

QHBoxLayout* MakeOkCancelRow(QDialog* dialog) {
    auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
    SetControlId(ok, kIdOk);
    ok->setDefault(true);
    auto* cancel =
        MakeButton(dialog, kIdCancel, QCoreApplication::translate("DialogSupport", "キャンセル"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

QTableWidget* MakeAddressList(QWidget* parent, int id, const QString& header, int columnWidth) {
    auto* list = new QTableWidget(0, 1, parent);
    SetControlId(list, id);
    list->setHorizontalHeaderLabels({header});
    list->horizontalHeader()->hide();
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(20);
    list->setColumnWidth(0, columnWidth);
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}
