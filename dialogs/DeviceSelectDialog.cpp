#include "dialogs/DeviceSelectDialog.h"

#include "app/report/ScreenText.h"
#include "dialogs/DialogSupport.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CDeviceSelectDialog::CDeviceSelectDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("デバイス選択"));
    ApplyDialogFont(this);

    auto* layout = new QVBoxLayout(this);
    m_prompt = new QLabel(tr("映像入力デバイスを選択してください。"), this);
    layout->addWidget(m_prompt);
    m_list = new QComboBox(this);
    m_list->setEditable(false);
    m_list->setMinimumWidth(260);
    SetControlId(m_list, kIdDeviceList);
    layout->addWidget(m_list);

    // No Cancel button: Escape and the close box cancel.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    SetControlId(buttons->button(QDialogButtonBox::Ok), kIdOk);
    buttons->button(QDialogButtonBox::Ok)->setIcon(QIcon());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

void CDeviceSelectDialog::SetQuestion(const QString& title, const QString& prompt) {
    setWindowTitle(title);
    m_prompt->setText(prompt);
}

void CDeviceSelectDialog::AddDeviceName(const std::string& name) {
    m_names.push_back(name);
}

void CDeviceSelectDialog::FillList() {
    if (m_filled)
        return;
    m_filled = true;
    for (const std::string& name : m_names)
        m_list->addItem(ScreenText(ToQt(name))); // never sorted: the position is the device index
    m_list->setCurrentIndex(m_initialIndex < m_list->count() ? m_initialIndex : -1);
}

void CDeviceSelectDialog::showEvent(QShowEvent* event) {
    FillList();
    QDialog::showEvent(event);
}

void CDeviceSelectDialog::accept() {
    FillList();
    m_selectedIndex = m_list->currentIndex();
    QDialog::accept();
}

std::optional<int> CDeviceSelectDialog::Choose(QWidget* parent,
                                               const std::vector<std::string>& names,
                                               int preselected) {
    CDeviceSelectDialog dialog(parent);
    for (const std::string& name : names)
        dialog.AddDeviceName(name);
    dialog.SetInitialSelection(preselected);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.SelectedIndex();
}

std::optional<int> CDeviceSelectDialog::ChooseSnapshotCamera(QWidget* parent,
                                                             const std::vector<std::string>& names) {
    if (names.size() < 2)
        return 0;
    CDeviceSelectDialog dialog(parent);
    dialog.SetQuestion(tr("カメラ選択"), tr("スナップショットを撮るカメラを選択してください。"));
    for (const std::string& name : names)
        dialog.AddDeviceName(name);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const int chosen = dialog.SelectedIndex();
    return chosen < 0 ? std::nullopt : std::optional<int>(chosen);
}
