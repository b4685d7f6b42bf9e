#include "dialogs/DeviceSettingsDialog.h"

#include "app/report/ScreenText.h"
#include "dialogs/DialogSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdlib>

namespace {

// The offered size nearest to the requested one (by area, then width).
int NearestSize(const std::vector<FrameSize>& sizes, FrameSize wanted) {
    int best = 0;
    long long bestDistance = -1;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const long long distance = std::llabs(1LL * sizes[i].width * sizes[i].height -
                                              1LL * wanted.width * wanted.height) +
                                   std::llabs(1LL * sizes[i].width - wanted.width);
        if (bestDistance < 0 || distance < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

CDeviceSettingsDialog::CDeviceSettingsDialog(const DeviceSetup& setup, const FrameSize* size,
                                             QWidget* parent)
    : QDialog(parent), m_controls(setup.controls) {
    setWindowTitle(tr("%1 の設定").arg(ScreenText(ToQt(setup.deviceName))));
    ApplyDialogFont(this);
    setMinimumWidth(280);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout();
    layout->addLayout(form);

    if (size && !setup.frameSizes.empty()) {
        m_requested = *size;
        m_sizes = setup.frameSizes;
        m_sizeList = new QComboBox(this);
        m_sizeList->setObjectName(QStringLiteral("frameSize"));
        for (const FrameSize& s : m_sizes)
            m_sizeList->addItem(QStringLiteral("%1 x %2").arg(s.width).arg(s.height));
        m_sizeList->setCurrentIndex(NearestSize(m_sizes, *size));
        form->addRow(tr("フレームサイズ"), m_sizeList);
        m_hasSettings = true;
    } else if (size) {
        m_requested = *size;
    }

    if (m_controls)
        m_initial = m_controls->Controls();
    for (const DeviceControl& control : m_initial) {
        form->addRow(ScreenText(ToQt(control.label)), MakeEditor(control));
        m_hasSettings = true;
    }

    if (!m_hasSettings) {
        auto* nothing = new QLabel(tr("設定できる項目はありません"), this);
        nothing->setObjectName(QStringLiteral("nothingToSet"));
        layout->addWidget(nothing);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetControlId(buttons->button(QDialogButtonBox::Ok), kIdOk);
    SetControlId(buttons->button(QDialogButtonBox::Cancel), kIdCancel);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("キャンセル"));
    for (QAbstractButton* button : buttons->buttons())
        button->setIcon(QIcon());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QWidget* CDeviceSettingsDialog::MakeEditor(const DeviceControl& control) {
    const uint32_t id = control.id;
    switch (control.kind) {
    case DeviceControl::Kind::Boolean: {
        auto* box = new QCheckBox(this);
        box->setChecked(control.value != 0);
        connect(box, &QCheckBox::toggled, this, [this, id](bool on) { Apply(id, on ? 1 : 0); });
        return box;
    }
    case DeviceControl::Kind::Menu: {
        auto* list = new QComboBox(this);
        for (const auto& [value, label] : control.menuItems) {
            list->addItem(ToQt(label), value);
            if (value == control.value)
                list->setCurrentIndex(list->count() - 1);
        }
        connect(list, &QComboBox::activated, this,
                [this, id, list](int index) { Apply(id, list->itemData(index).toInt()); });
        return list;
    }
    case DeviceControl::Kind::Integer:
        break;
    }
    auto* row = new QWidget(this);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    auto* slider = new QSlider(Qt::Horizontal, row);
    auto* spin = new QSpinBox(row);
    slider->setRange(control.minimum, control.maximum);
    slider->setSingleStep(control.step);
    slider->setValue(control.value);
    spin->setRange(control.minimum, control.maximum);
    spin->setSingleStep(control.step);
    spin->setValue(control.value);
    connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
    connect(spin, &QSpinBox::valueChanged, slider, &QSlider::setValue);
    connect(spin, &QSpinBox::valueChanged, this, [this, id](int value) { Apply(id, value); });
    rowLayout->addWidget(slider, 1);
    rowLayout->addWidget(spin);
    return row;
}

void CDeviceSettingsDialog::Apply(uint32_t id, int32_t value) {
    if (m_controls)
        m_controls->SetValue(id, value);
}

FrameSize CDeviceSettingsDialog::SelectedSize() const {
    if (!m_sizeList || m_sizeList->currentIndex() < 0)
        return m_requested;
    return m_sizes[static_cast<std::size_t>(m_sizeList->currentIndex())];
}

void CDeviceSettingsDialog::reject() {
    if (m_controls) {
        // Put back only what was changed, so a device is not written needlessly.
        const std::vector<DeviceControl> now = m_controls->Controls();
        for (const DeviceControl& before : m_initial)
            for (const DeviceControl& current : now)
                if (current.id == before.id && current.value != before.value)
                    m_controls->SetValue(before.id, before.value);
    }
    QDialog::reject();
}

bool CDeviceSettingsDialog::Configure(QWidget* parent, const DeviceSetup& setup, FrameSize& size) {
    CDeviceSettingsDialog dialog(setup, &size, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    size = dialog.SelectedSize();
    return true;
}

void CDeviceSettingsDialog::ShowProperties(QWidget* parent, const DeviceSetup& setup) {
    CDeviceSettingsDialog dialog(setup, nullptr, parent);
    dialog.exec();
}
