#pragma once
// What the mail service needs of the camera side of the program, kept small so that the check
// cycle and the reply sender run without a window (in tests, and off the user-interface
// thread): the main window's flags and the reply-picture grab (and the activity log, from
// app/report).

#include "app/report/ServiceLog.h"
#include "capture/GrabFailure.h"
#include "capture/JpegWriter.h"

#include <atomic>
#include <cstddef>
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

// Every camera a reply can show, in the order of the settings (camera 1 first). A request names
// a camera by its name; one camera alone may go without one.
class IReplyCameras {
public:
    virtual ~IReplyCameras() = default;
    virtual std::size_t CameraCount() const = 0;
    virtual std::string CameraName(std::size_t camera) const = 0;
    // IReplyPictureSource::GrabReplyPicture of that camera.
    virtual bool GrabReplyPicture(std::size_t camera, bool rotate, JpegPicture& picture,
                                  GrabFailure& why) = 0;
};

// One camera without a name: how a single picture source serves as the set.
class SingleReplyCamera final : public IReplyCameras {
public:
    explicit SingleReplyCamera(IReplyPictureSource& source) : m_source(source) {}
    std::size_t CameraCount() const override { return 1; }
    std::string CameraName(std::size_t) const override { return {}; }
    bool GrabReplyPicture(std::size_t, bool rotate, JpegPicture& picture,
                          GrabFailure& why) override {
        return m_source.GrabReplyPicture(rotate, picture, why);
    }

private:
    IReplyPictureSource& m_source;
};
