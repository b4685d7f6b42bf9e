#pragma once
// What the mail service needs of the camera side of the program, kept small so that the check
// cycle and the reply sender run without a window (in tests, and off the user-interface
// thread): the main window's flags and the reply-picture grab (and the activity log, from
// app/report).

#include "app/report/ServiceLog.h"
#include "capture/GrabFailure.h"
#include "capture/JpegWriter.h"

#include <atomic>
#include <string>

// The main window's state that the mail service reads and writes. The window owns one of these
// for its whole life and hands it to the service by reference.
struct ServiceFlags {
    // A capture graph exists; without one no check runs and no picture can be grabbed.
    std::atomic<bool> graphReady{false};
    // A grab, graph rebuild, mail settings, date/time text or snapshot dialog is running.
    std::atomic<bool> uiBusy{false};

};

// Raises a flag (ServiceFlags::uiBusy) for the life of a command and lowers it on every way out.
class FlagGuard {
public:
    explicit FlagGuard(std::atomic<bool>& flag) : m_flag(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    std::atomic<bool>& m_flag;
};

// Grabs one fresh, stamped, optionally turned picture as JPEG bytes in memory, named as its
// file would be ("YYYYMMDDhhmmss.jpg", "...r.jpg" when turned); nothing touches the disk.
class IReplyPictureSource {
public:
    virtual ~IReplyPictureSource() = default;
    // True when the picture was made. On failure picture is empty and why says what went wrong.
    virtual bool GrabReplyPicture(bool rotate, JpegPicture& picture, GrabFailure& why) = 0;
};
