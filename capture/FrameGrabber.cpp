#include "capture/FrameGrabber.h"

#include "base/AtomicFile.h"
#include "capture/FrameOps.h"
#include "capture/JpegWriter.h"
#include "capture/TimeText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxSide = 16384; // larger sides are no video format; refuse before allocating

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void SleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

// Raises the caller's busy flag for one grab and clears it on every way out.
class BusyScope {
public:
    explicit BusyScope(const std::function<void(bool)>& setBusy) : m_setBusy(setBusy) {
        if (m_setBusy)
            m_setBusy(true);
    }
    ~BusyScope() {
        if (m_setBusy)
            m_setBusy(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    const std::function<void(bool)>& m_setBusy;
};

// Asks the source for decoded frames for one grab and withdraws on every way out.
class FrameWant {
public:
    explicit FrameWant(IFrameSource& source) : m_source(source) { m_source.WantFrames(true); }
    ~FrameWant() { m_source.WantFrames(false); }
    FrameWant(const FrameWant&) = delete;
    FrameWant& operator=(const FrameWant&) = delete;

private:
    IFrameSource& m_source;
};

bool SameSize(const IFrameSource& source, const BitmapInfoHeader& header) {
    BitmapInfoHeader now;
    return source.ConnectedHeader(now) && now.width == header.width &&
           now.height == header.height && now.bitCount == header.bitCount;
}

} // namespace

CFrameGrabber::CFrameGrabber(IFrameSource& source, Clock clock, Sleeper sleeper)
    : m_source(source), m_clock(clock ? std::move(clock) : Clock(LocalTimeNow)),
      m_sleep(sleeper ? std::move(sleeper) : Sleeper(SleepFor)) {}

std::string CFrameGrabber::FileStem(const std::tm& time) {
    char stem[64];
    std::snprintf(stem, sizeof stem, "%04d%02d%02d%02d%02d%02d", time.tm_year + 1900,
                  time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
    return stem;
}

std::string CFrameGrabber::PictureName(const std::string& stem, bool turned) {
    return stem + (turned ? "r.jpg" : ".jpg");
}

std::optional<GrabbedFrame> CFrameGrabber::GrabFreshFrame(const GrabRequest& request,
                                                          WaitPolicy policy) {
    m_lastPollCount = 0;
    m_lastRebuildCount = 0;
    if (!request.graphReady)
        return std::nullopt;

    GrabbedFrame grabbed;
    grabbed.time = m_clock(); // names the files and the stamp, whatever the wait takes
    const FrameWant want(m_source);
    m_source.RunGraph();

    // The frame keeps the size of the format connected now, for the whole grab.
    BitmapInfoHeader header;
    if (!m_source.ConnectedHeader(header) || header.bitCount != 24 || header.width <= 0 ||
        header.height <= 0 || header.width > kMaxSide || header.height > kMaxSide)
        return std::nullopt;
    CaptureFrame& frame = grabbed.frame;
    frame.header = header;
    const std::size_t capacity =
        static_cast<std::size_t>(CaptureFrame::StrideFor(header.width)) * header.height;
    std::vector<uint8_t> reference;
    try {
        frame.pixels.assign(capacity, 0);
        reference.assign(capacity, 0);
    } catch (const std::bad_alloc&) {
        return std::nullopt; // as when the drawing bitmap cannot be created
    }
    frame.byteCount =
        std::clamp<int32_t>(m_source.CurrentBufferSize(), 0, static_cast<int32_t>(capacity));

    // A source that counts its frames wakes the grab on the first frame after the request;
    // for one that does not, a fresh frame is one whose contents differ from the frame now.
    const std::optional<uint64_t> framesAtRequest = m_source.FramesDelivered();
    if (!framesAtRequest)
        m_source.CopyCurrentBuffer(reference.data(), static_cast<int32_t>(capacity));

    bool sizeUnchanged = true;
    const int maxPolls =
        policy == WaitPolicy::Reply ? kPollsBeforeRebuild + kMaxRebuilds : kSnapshotPolls;
    while (m_lastPollCount < maxPolls) {
        if (framesAtRequest)
            m_source.WaitForFrameBeyond(*framesAtRequest, kPollInterval);
        else
            m_sleep(kPollInterval);
        ++m_lastPollCount;
        if (sizeUnchanged) {
            const bool arrived =
                framesAtRequest && m_source.FramesDelivered().value_or(0) > *framesAtRequest;
            const int32_t copied =
                m_source.CopyCurrentBuffer(frame.pixels.data(), static_cast<int32_t>(capacity));
            if (copied > 0) {
                frame.byteCount = std::min(copied, static_cast<int32_t>(capacity));
                if (framesAtRequest ? arrived
                                    : std::memcmp(frame.pixels.data(), reference.data(),
                                                  frame.byteCount) != 0)
                    break;
            }
        }
        if (policy == WaitPolicy::Reply && m_lastPollCount > kPollsBeforeRebuild) {
            // The device seems stalled: rebuild the stream and give it time to start.
            m_source.Rebuild();
            ++m_lastRebuildCount;
            m_sleep(kWaitAfterRebuild);
            sizeUnchanged = SameSize(m_source, header);
        }
    }
    reference = {};
    if (request.timeText.showText)
        DrawTimeText(frame, ExpandTimeFormat(request.timeText.timeFormat, grabbed.time),
                     request.timeText);
    return grabbed;
}

bool CFrameGrabber::GrabReplyPicture(bool rotate, const GrabRequest& request,
                                     JpegPicture& picture, GrabFailure* why) {
    GrabFailure ignored;
    GrabFailure& failure = why ? *why : ignored;
    failure = {GrabFailure::Kind::NoCamera};
    picture = {};
    if (!request.graphReady)
        return false;
    BusyScope busy(request.setUiBusy);
    std::optional<GrabbedFrame> grabbed = GrabFreshFrame(request, WaitPolicy::Reply);
    std::optional<std::string> jpeg;
    if (grabbed)
        jpeg = EncodeJpeg(rotate ? RotateFrameClockwise(grabbed->frame) : grabbed->frame,
                          request.jpegQuality);
    if (!jpeg) {
        failure.kind = GrabFailure::Kind::NoPicture;
        return false;
    }
    picture = {PictureName(FileStem(grabbed->time), rotate),
               std::make_shared<const std::string>(std::move(*jpeg))};
    failure.kind = GrabFailure::Kind::None;
    return true;
}

void CFrameGrabber::TakeSnapshot(const GrabRequest& request, const SnapshotDialog& showDialog) {
    if (!request.graphReady)
        return;
    BusyScope busy(request.setUiBusy);
    std::optional<GrabbedFrame> grabbed = GrabFreshFrame(request, WaitPolicy::Snapshot);
    if (!grabbed)
        return;
    Snapshot snapshot;
    snapshot.stem = FileStem(grabbed->time);
    const auto encode = [&](const CaptureFrame& frame, bool turned) {
        std::optional<std::string> jpeg = EncodeJpeg(frame, request.jpegQuality);
        return JpegPicture{PictureName(snapshot.stem, turned),
                           jpeg ? std::make_shared<const std::string>(std::move(*jpeg)) : nullptr};
    };
    snapshot.plain = encode(grabbed->frame, false);
    snapshot.turned = encode(RotateFrameClockwise(grabbed->frame), true);
    snapshot.frame = std::move(grabbed->frame);

    const std::string savePath = showDialog ? showDialog(snapshot) : std::string();
    if (!savePath.empty() && snapshot.plain.jpeg)
        ReplaceFileContents(savePath, *snapshot.plain.jpeg);
}
