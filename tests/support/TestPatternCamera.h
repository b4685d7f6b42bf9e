#pragma once
// The camera of the end-to-end tests: the GStreamer test pattern through the real capture graph
// and frame grabber, wired to the mail service as the main window wires it.

#include "app/service/ServiceAdapters.h"
#include "app/camera/ServiceInterfaces.h"
#include "capture/CaptureGraph.h"
#include "capture/CaptureUi.h"
#include "capture/FrameGrabber.h"

#include <stdexcept>
#include <string>

class SilentCaptureUi final : public ICaptureUi {
public:
    void ShowMessage(const std::string& text) override { messages += text + "\n"; }
    std::optional<int> ChooseDevice(const std::vector<std::string>&, int) override { return 0; }
    bool ConfigureDevice(const DeviceSetup&, FrameSize&) override { return true; }
    void ShowProperties(const DeviceSetup&) override {}
    void SetTitle(const std::string&) override {}

    std::string messages;
};

class TestPatternCamera {
public:
    // The stamp is drawn as the window would draw it.
    explicit TestPatternCamera(ServiceFlags& flags)
        : m_graph(m_device, m_ui), m_grabber(m_graph), m_source(m_grabber, [this, &flags] {
              GrabRequest request;
              request.graphReady = m_graph.graphReady();
              request.timeText.showText = true;
              request.jpegQuality = 50;
              request.setUiBusy = [&flags](bool busy) { flags.uiBusy = busy; };
              return request;
          }) {
        // A moving ball, so that every frame differs from the one before, as a camera's do.
        m_graph.SetDeviceLister([] {
            CaptureDevice device = MakeTestPatternDevice();
            device.sourceProperties.emplace_back("pattern", "ball");
            return std::vector<CaptureDevice>{device};
        });
        if (!m_graph.BuildGraph(true, false) || !m_graph.graphReady())
            throw std::runtime_error("test pattern graph did not start: " + m_ui.messages);
        flags.graphReady = true;
    }

    IReplyPictureSource& pictures() { return m_source; }
    CCaptureGraph& graph() { return m_graph; }
    // The camera goes away (grabs then find no stream) and comes back.
    void Unplug() { m_graph.TearDownGraph(); }
    void PlugIn() {
        if (!m_graph.BuildGraph(true, false))
            throw std::runtime_error("test pattern graph did not start again: " + m_ui.messages);
    }
    // Size of the pictures the graph delivers.
    FrameSize frameSize() const {
        BitmapInfoHeader header;
        m_graph.ConnectedHeader(header);
        return {header.width, header.height};
    }

private:
    CameraSettings m_device;
    SilentCaptureUi m_ui;
    CCaptureGraph m_graph;
    CFrameGrabber m_grabber;
    CGrabberPictureSource m_source;
};
