#pragma once
// The real implementations behind the mail service's interfaces: the activity log and the
// frame grabber of the capture stream.

#include "app/report/ActivityLog.h"
#include "app/camera/ServiceInterfaces.h"
#include "capture/FrameGrabber.h"

#include <functional>
#include <string>
#include <utility>

// IServiceLog over the ActivityLog, remembering the last line (the reason --check-once gives).
class CActivityLogAdapter final : public IServiceLog {
public:
    explicit CActivityLogAdapter(ActivityLog& log) : m_log(log) {}
    void AddLog(const std::string& message) override {
        m_last = message;
        m_log.AddLog(message);
    }
    void WriteLogFile(const std::string& message) override {
        m_last = message;
        m_log.WriteLogFile(message);
    }
    // The last line since the last call.
    std::string TakeLast() { return std::exchange(m_last, {}); }

private:
    ActivityLog& m_log;
    std::string m_last;
};

// IReplyPictureSource over CFrameGrabber. makeRequest describes the window at the moment of the
// grab (graph ready, minimised, stamp settings, JPEG quality, the uiBusy setter).
class CGrabberPictureSource final : public IReplyPictureSource {
public:
    CGrabberPictureSource(CFrameGrabber& grabber, std::function<GrabRequest()> makeRequest)
        : m_grabber(grabber), m_makeRequest(std::move(makeRequest)) {}

    bool GrabReplyPicture(bool rotate, JpegPicture& picture, GrabFailure& why) override {
        return m_grabber.GrabReplyPicture(rotate, m_makeRequest(), picture, &why);
    }

private:
    CFrameGrabber& m_grabber;
    std::function<GrabRequest()> m_makeRequest;
};
