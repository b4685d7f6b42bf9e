#pragma once

#include <string>

// The activity log as the mail service uses it. Messages are UTF-8.
class IServiceLog {
public:
    virtual ~IServiceLog() = default;
    // Screen line, and file line when logging to a file is on.
    virtual void AddLog(const std::string& message) = 0;
    // File line only (when logging to a file is on); nothing on screen.
    virtual void WriteLogFile(const std::string& message) = 0;
};
