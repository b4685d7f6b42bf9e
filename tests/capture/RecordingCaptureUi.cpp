#include "tests/capture/RecordingCaptureUi.h"

std::optional<int> RecordingCaptureUi::ChooseDevice(const std::vector<std::string>& names,
                                                    int preselected) {
    choices.push_back({names, preselected});
    if (choiceAnswers.empty())
        return std::nullopt;
    std::optional<int> answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
}

void RecordingCaptureUi::RecordSetup(const DeviceSetup& setup) {
    setups.push_back(setup);
    controlLists.push_back(setup.controls ? setup.controls->Controls()
                                          : std::vector<DeviceControl>{});
    if (onControls)
        onControls(setup.controls);
}

bool RecordingCaptureUi::ConfigureDevice(const DeviceSetup& setup, FrameSize& size) {
    RecordSetup(setup);
    if (!configureAnswer)
        return false;
    size = *configureAnswer;
    return true;
}

void RecordingCaptureUi::ShowProperties(const DeviceSetup& setup) {
    RecordSetup(setup);
}
