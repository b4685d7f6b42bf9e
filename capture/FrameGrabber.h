#pragma once
// Grabbing a fresh frame from a running capture stream and turning it into JPEG pictures in
// memory: the reply picture for the mail service and the manual snapshot. Nothing is written to
// disk but the snapshot the user chooses to save.

#include "base/Settings.h"
#include "capture/CaptureFrame.h"
#include "capture/FrameSource.h"
#include "capture/GrabFailure.h"
#include "capture/JpegWriter.h"

#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

// What the caller's window holds at the moment of a grab.
struct GrabRequest {
    bool graphReady = false;   // a stream exists; both grabs do nothing without one
    TimeTextSettings timeText; // the stamp (drawn when timeText.showText)
    int jpegQuality = 50;      // JPEG_QUALITY
    // Raised (true) when a grab starts and cleared (false) on every way out; may be empty.
    std::function<void(bool)> setUiBusy;
};

// A grabbed, stamped frame and the moment the grab began.
struct GrabbedFrame {
    CaptureFrame frame;
    std::tm time{};
};

// A snapshot as its dialog shows and mails it: the stamped frame and both JPEG pictures.
struct Snapshot {
    std::string stem;    // "YYYYMMDDhhmmss", the moment of the grab
    CaptureFrame frame;  // for the dialog to show
    JpegPicture plain;   // stem + ".jpg"
    JpegPicture turned;  // stem + "r.jpg", turned by 90 degrees
};

class CFrameGrabber {
public:
    using Clock = std::function<std::tm()>; // local time now
    using Sleeper = std::function<void(std::chrono::milliseconds)>;
    // Shows the snapshot dialog and returns the path the user chose to save the plain picture
    // under, or an empty text when the picture is to be discarded.
    using SnapshotDialog = std::function<std::string(const Snapshot& snapshot)>;

    enum class WaitPolicy {
        Reply,    // from the 11th unchanged poll on: rebuild, wait 3000 ms; at most 4 rebuilds
        Snapshot, // up to kSnapshotPolls polls, no rebuild; then go on with the last frame
    };

    static constexpr std::chrono::milliseconds kPollInterval{100};
    static constexpr int kPollsBeforeRebuild = 10;
    static constexpr int kMaxRebuilds = 4;
    static constexpr std::chrono::milliseconds kWaitAfterRebuild{3000};
    static constexpr int kSnapshotPolls = 100; // about 10 s

    // clock and sleeper default to the local time and a real sleep; the sleeps block the
    // calling thread.
    explicit CFrameGrabber(IFrameSource& source, Clock clock = {}, Sleeper sleeper = {});

    // Runs the stream, asks it for decoded frames while the grab lasts, waits for a frame that
    // arrives after the request (or, from a source that does not count its frames, one that
    // differs from the first one seen) and stamps it. Does not touch uiBusy. Empty when no graph is ready or no 24-bit format is connected.
    std::optional<GrabbedFrame> GrabFreshFrame(const GrabRequest& request, WaitPolicy policy);

    // Grabs a fresh frame, turns it when rotate and encodes it; the picture is named
    // "YYYYMMDDhhmmss.jpg" (or "...r.jpg" when turned). True when it was made; otherwise *why
    // (when given) says why and picture is left empty.
    bool GrabReplyPicture(bool rotate, const GrabRequest& request, JpegPicture& picture,
                          GrabFailure* why = nullptr);

    // Grabs a fresh frame, encodes it plain and turned, runs the dialog and writes the plain
    // picture to the path it chose (a private file; a failure is not reported).
    void TakeSnapshot(const GrabRequest& request, const SnapshotDialog& showDialog);

    // The 14-digit stem "%04d%02d%02d%02d%02d%02d" of a moment.
    static std::string FileStem(const std::tm& time);
    // stem + ".jpg", or stem + "r.jpg" for the picture turned by 90 degrees.
    static std::string PictureName(const std::string& stem, bool turned);

    // Number of polls and rebuilds of the last GrabFreshFrame (for diagnostics and tests).
    int lastPollCount() const { return m_lastPollCount; }
    int lastRebuildCount() const { return m_lastRebuildCount; }

private:
    IFrameSource& m_source;
    Clock m_clock;
    Sleeper m_sleep;
    int m_lastPollCount = 0;
    int m_lastRebuildCount = 0;
};
