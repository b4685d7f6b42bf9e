#pragma once
// Where the settings store and the password cipher send a text the user must see. The window
// shows it in a message box with an OK button; tests capture it.

#include <string>

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void ShowMessage(const std::string& utf8Text) = 0;
};
