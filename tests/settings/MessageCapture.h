#pragma once
// Collects the texts the settings store would show in message boxes.

#include "app/report/MessageSink.h"

#include <string>
#include <vector>

class MessageCapture final : public IMessageSink {
public:
    void ShowMessage(const std::string& utf8Text) override { messages.push_back(utf8Text); }
    std::vector<std::string> messages;
};
