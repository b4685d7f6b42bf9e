#pragma once
// What the capture graph needs of the user interface. The main window implements it with
// widgets (message boxes, the device select and device settings dialogs, its title, the
// preview); tests use a recording fake.

#include "capture/CaptureDevices.h"

#include <optional>
#include <string>
#include <vector>

class IDeviceControls;

// What the device settings dialog offers for one device.
struct DeviceSetup {
    std::string deviceName;              // UTF-8
    std::vector<FrameSize> frameSizes;   // sizes the device delivers; empty: none to choose
    IDeviceControls* controls = nullptr; // the device's controls; null: none
};

class ICaptureUi {
public:
    virtual ~ICaptureUi() = default;

    // A message box with an OK button (UTF-8 text).
    virtual void ShowMessage(const std::string& text) = 0;
    // The device select dialog with the names in this order and `preselected` selected
    // (a negative index preselects the first entry). nullopt: cancelled (Escape, close box).
    // Otherwise the selected index, -1 when OK was pressed with nothing selected.
    virtual std::optional<int> ChooseDevice(const std::vector<std::string>& names,
                                            int preselected) = 0;
    // The device settings dialog with frame size choice. `size` holds the requested size on
    // entry and the chosen one after OK. False when cancelled (size unchanged).
    virtual bool ConfigureDevice(const DeviceSetup& setup, FrameSize& size) = 0;
    // The device settings dialog without frame size choice (the device's controls only).
    virtual void ShowProperties(const DeviceSetup& setup) = 0;
    // The main window's title (UTF-8).
    virtual void SetTitle(const std::string& title) = 0;
    // A new frame is available (CCaptureGraph::CopyCurrentBuffer / PreviewImage). Called on a
    // GStreamer streaming thread, up to the frame rate: queue the work to the UI thread.
    virtual void FrameArrived() {}
    // The stream of the graph has failed for good (the device was unplugged, or its source
    // reported an error or ended): called once per stream, on a GStreamer thread. Queue the
    // work to the UI thread; nothing may be grabbed from that stream any more.
    virtual void StreamLost(const std::string& /*reason*/) {}
};

// Nobody to ask and nowhere to show anything: a camera opened for one look, a benchmark, a
// test. A failed stream and new frames are the holder's to hear, by overriding.
class QuietCaptureUi : public ICaptureUi {
public:
    void ShowMessage(const std::string&) override {}
    std::optional<int> ChooseDevice(const std::vector<std::string>&, int) override {
        return std::nullopt;
    }
    bool ConfigureDevice(const DeviceSetup&, FrameSize&) override { return false; }
    void ShowProperties(const DeviceSetup&) override {}
    void SetTitle(const std::string&) override {}
};
