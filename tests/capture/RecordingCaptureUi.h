#pragma once
// An ICaptureUi that records what the graph asked of the user and answers from a script.

#include "capture/CaptureUi.h"
#include "capture/DeviceControls.h"

#include <atomic>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class RecordingCaptureUi final : public ICaptureUi {
public:
    struct Choice {
        std::vector<std::string> names;
        int preselected = 0;
    };

    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::optional<int> ChooseDevice(const std::vector<std::string>& names,
                                    int preselected) override;
    bool ConfigureDevice(const DeviceSetup& setup, FrameSize& size) override;
    void ShowProperties(const DeviceSetup& setup) override;
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    void FrameArrived() override { ++framesAnnounced; }
    void StreamLost(const std::string&) override { ++streamsLost; }

    // Answers of the device dialog in order; nullopt is Cancel. An empty script cancels.
    std::deque<std::optional<int>> choiceAnswers;
    // Answer of the settings dialog: nullopt cancels, a size is chosen with OK.
    std::optional<FrameSize> configureAnswer;
    // Runs inside ShowProperties/ConfigureDevice with the device's controls.
    std::function<void(IDeviceControls*)> onControls;

    std::vector<std::string> messages;
    std::vector<Choice> choices;
    std::vector<DeviceSetup> setups; // controls pointers are not valid afterwards
    std::vector<std::vector<DeviceControl>> controlLists;
    std::vector<std::string> titles;
    std::atomic<int> framesAnnounced{0};
    std::atomic<int> streamsLost{0};

private:
    void RecordSetup(const DeviceSetup& setup);
};
