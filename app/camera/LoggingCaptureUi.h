#pragma once
// The capture graph's user interface when there is no screen: messages become log lines,
// nobody is asked to choose or set up a device (the build takes the saved, the named or the
// first device).

#include "app/report/ServiceLog.h"
#include "capture/CaptureUi.h"

#include <string>

class CLoggingCaptureUi final : public ICaptureUi {
public:
    explicit CLoggingCaptureUi(IServiceLog& log) : m_log(log) {}

    void ShowMessage(const std::string& text) override { m_log.AddLog(text); }
    std::optional<int> ChooseDevice(const std::vector<std::string>&, int) override {
        return std::nullopt; // nobody to ask: the build gives up
    }
    bool ConfigureDevice(const DeviceSetup&, FrameSize&) override { return false; }
    void ShowProperties(const DeviceSetup&) override {}
    void SetTitle(const std::string&) override {}

private:
    IServiceLog& m_log;
};
