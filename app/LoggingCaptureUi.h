#pragma once
// The capture graph's user interface when there is no screen: messages become log lines,
// nobody is asked to choose or set up a device (the build takes the saved, the named or the
// first device), and a failed stream is handed on (to the camera keeper).

#include "app/ServiceInterfaces.h"
#include "capture/CaptureUi.h"

#include <functional>
#include <string>
#include <utility>

class CLoggingCaptureUi final : public ICaptureUi {
public:
    explicit CLoggingCaptureUi(IServiceLog& log) : m_log(log) {}

    // Called from a GStreamer thread when the stream fails; set before the first build.
    void SetStreamLostHandler(std::function<void(const std::string&)> handler) {
        m_onStreamLost = std::move(handler);
    }

    void ShowMessage(const std::string& text) override { m_log.AddLog(text); }
    std::optional<int> ChooseDevice(const std::vector<std::string>&, int) override {
        return std::nullopt; // nobody to ask: the build gives up
    }
    bool ConfigureDevice(const DeviceSetup&, FrameSize&) override { return false; }
    void ShowProperties(const DeviceSetup&) override {}
    void SetTitle(const std::string&) override {}
    void StreamLost(const std::string& reason) override {
        if (m_onStreamLost)
            m_onStreamLost(reason);
    }

private:
    IServiceLog& m_log;
    std::function<void(const std::string&)> m_onStreamLost;
};
