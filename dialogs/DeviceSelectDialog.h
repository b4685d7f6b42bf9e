#pragma once
// "デバイス選択": lets the user pick one of the attached video input devices. The list keeps the
// order in which the names were added, so a list position is the device's index.

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

class QComboBox;

class CDeviceSelectDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 130;
    static constexpr int kIdDeviceList = 1006;

    explicit CDeviceSelectDialog(QWidget* parent = nullptr);

    void AddDeviceName(const std::string& name);
    int DeviceCount() const { return static_cast<int>(m_names.size()); }
    // A negative index is stored as 0.
    void SetInitialSelection(int index) { m_initialIndex = index < 0 ? 0 : index; }
    // After OK: the chosen entry, -1 when nothing was selected. Unchanged by Cancel.
    int SelectedIndex() const { return m_selectedIndex; }

    // Shows the dialog modally with names and the preselected entry: nullopt when cancelled,
    // else the selected index (-1 for OK with nothing selected).
    static std::optional<int> Choose(QWidget* parent, const std::vector<std::string>& names,
                                     int preselected);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillList();

    QComboBox* m_list = nullptr;
    std::vector<std::string> m_names;
    int m_initialIndex = 0;
    int m_selectedIndex = -1;
    bool m_filled = false;
};
