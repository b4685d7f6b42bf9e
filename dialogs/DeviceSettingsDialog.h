#pragma once
// The settings of one capture device: its frame sizes (when a size is to be chosen) and its
// controls (brightness, contrast, exposure, the test pattern's picture ...). Controls act at
// once so the preview shows the effect; Cancel puts back the values the dialog found.

#include "capture/CaptureUi.h"
#include "capture/DeviceControls.h"

#include <QDialog>
#include <vector>

class QComboBox;
class QLabel;

class CDeviceSettingsDialog final : public QDialog {
    Q_OBJECT
public:
    // size: the requested frame size, preselected when the device offers it; null shows no
    // size choice (the device's properties only).
    CDeviceSettingsDialog(const DeviceSetup& setup, const FrameSize* size,
                          QWidget* parent = nullptr);

    // False when the device offers nothing to set (the dialog then says so).
    bool HasSettings() const { return m_hasSettings; }
    // The size chosen in the list; the requested size when there is no list.
    FrameSize SelectedSize() const;
    QComboBox* sizeList() const { return m_sizeList; }

    // The frame size and controls; true and size set after OK.
    static bool Configure(QWidget* parent, const DeviceSetup& setup, FrameSize& size);
    // The controls only.
    static void ShowProperties(QWidget* parent, const DeviceSetup& setup);

    void reject() override;

private:
    QWidget* MakeEditor(const DeviceControl& control);
    void Apply(uint32_t id, int32_t value);

    IDeviceControls* m_controls = nullptr;
    std::vector<DeviceControl> m_initial; // values found on opening, restored by Cancel
    std::vector<FrameSize> m_sizes;
    FrameSize m_requested;
    QComboBox* m_sizeList = nullptr;
    bool m_hasSettings = false;
};
