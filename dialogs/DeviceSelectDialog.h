#pragma once
// "デバイス選択": lets the user pick one of the attached video input devices. The list keeps the
// order in which the names were added, so a list position is the device's index. The same
// choice, under another title, asks which camera a snapshot is taken from.

#include <QDialog>
#include <QString>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;

class CDeviceSelectDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 130;
    static constexpr int kIdDeviceList = 1006;

    explicit CDeviceSelectDialog(QWidget* parent = nullptr);

    // The title and the line above the list, for a choice other than the input device.
    void SetQuestion(const QString& title, const QString& prompt);
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

    // Which camera a snapshot is taken from: 0 at once with one camera or none, else the
    // choice (the first camera preselected); nullopt when cancelled.
    static std::optional<int> ChooseSnapshotCamera(QWidget* parent,
                                                   const std::vector<std::string>& names);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillList();

    QLabel* m_prompt = nullptr;
    QComboBox* m_list = nullptr;
    std::vector<std::string> m_names;
    int m_initialIndex = 0;
    int m_selectedIndex = -1;
    bool m_filled = false;
};
