#include "capture/FrameGrabber.h"

#include "tests/image/ImageTestSupport.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A stream whose frames the test controls: it delivers `frames[i]` on the i-th copy (the last
// one again after the end), and records every call in `events`.
class ScriptedSource : public IFrameSource {
public:
    ScriptedSource(int width, int height) {
        header.width = width;
        header.height = height;
        header.sizeImage = static_cast<uint32_t>(CaptureFrame::StrideFor(width) * height);
        CaptureFrame first = CaptureFrame::Blank(width, height);
        FillNoise(first, 1);
        frames.push_back(first.pixels);
    }

    bool RunGraph() override {
        events.push_back("run");
        return true;
    }
    void WantFrames(bool want) override { wants.push_back(want); }
    bool ConnectedHeader(BitmapInfoHeader& out) const override {
        out = header;
        return connected;
    }
    int32_t CurrentBufferSize() const override { return static_cast<int32_t>(header.sizeImage); }
    int32_t CopyCurrentBuffer(uint8_t* dest, int32_t capacity) override {
        events.push_back("copy");
        const auto& frame = frames[std::min<std::size_t>(copies++, frames.size() - 1)];
        const auto n = std::min<std::size_t>(frame.size(), static_cast<std::size_t>(capacity));
        std::copy_n(frame.begin(), n, dest);
        return static_cast<int32_t>(n);
    }
    bool Rebuild() override {
        events.push_back("rebuild");
        if (onRebuild)
            onRebuild();
        return true;
    }

    BitmapInfoHeader header;
    bool connected = true;
    std::vector<std::vector<uint8_t>> frames;
    std::size_t copies = 0;
    std::vector<std::string> events;
    std::vector<bool> wants;
    std::function<void()> onRebuild;

    // Makes the copy number `copy` (1 = the reference copy) deliver a changed frame.
    void ChangeFrom(std::size_t copy) {
        while (frames.size() + 1 < copy)
            frames.push_back(frames.back());
        std::vector<uint8_t> changed = frames.back();
        changed[changed.size() / 2] ^= 0x01; // one byte of sensor noise
        frames.push_back(changed);
    }
};

class FrameGrabberTest : public ::testing::Test {
protected:
    FrameGrabberTest()
        : m_grabber(
              m_source, [this] { return m_now; },
              [this](std::chrono::milliseconds ms) {
                  m_source.events.push_back("sleep " + std::to_string(ms.count()));
              }) {
        m_request.graphReady = true;
        m_request.setUiBusy = [this](bool busy) { m_busyChanges.push_back(busy); };
    }

    // A grabber on the source at the test's clock, without waiting.
    CFrameGrabber GrabberOn(IFrameSource& source) {
        return CFrameGrabber(
            source, [this] { return m_now; }, [](std::chrono::milliseconds) {});
    }

    TempDir m_dir;
    ScriptedSource m_source{352, 288};
    std::tm m_now = MakeTime(2024, 1, 31, 9, 5, 7);
    CFrameGrabber m_grabber;
    GrabRequest m_request;
    std::vector<bool> m_busyChanges;
};

TEST_F(FrameGrabberTest, ReplyGrabRebuildsAStalledStreamFourTimesThenEncodesTheUnchangedFrame) {
    JpegPicture picture;
    ASSERT_TRUE(m_grabber.GrabReplyPicture(false, m_request, picture));

    std::vector<std::string> expected = {"run", "copy"};
    for (int poll = 1; poll <= 14; ++poll) {
        expected.insert(expected.end(), {"sleep 100", "copy"});
        if (poll > 10)
            expected.insert(expected.end(), {"rebuild", "sleep 3000"});
    }
    EXPECT_EQ(m_source.events, expected);
    EXPECT_EQ(m_grabber.lastPollCount(), 14);
    EXPECT_EQ(m_grabber.lastRebuildCount(), 4);
    EXPECT_EQ(picture.fileName, "20240131090507.jpg");
    ASSERT_TRUE(picture.jpeg);
    EXPECT_EQ(DecodeJpeg(*picture.jpeg).width, 352);
    EXPECT_EQ(m_busyChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(fs::is_empty(m_dir.path())) << "nothing written";
}

TEST_F(FrameGrabberTest, FreshFrameEndsTheWaitAtOnce) {
    struct Case {
        std::size_t changedCopy;
        int polls;
        int rebuilds;
    } const cases[] = {{2, 1, 0}, {11, 10, 0}, {12, 11, 0}, {13, 12, 1}};
    for (const Case& c : cases) {
        ScriptedSource source(64, 48);
        source.ChangeFrom(c.changedCopy);
        CFrameGrabber grabber = GrabberOn(source);
        const auto grabbed = grabber.GrabFreshFrame(m_request, CFrameGrabber::WaitPolicy::Reply);
        ASSERT_TRUE(grabbed);
        EXPECT_EQ(grabber.lastPollCount(), c.polls) << "change on copy " << c.changedCopy;
        EXPECT_EQ(grabber.lastRebuildCount(), c.rebuilds) << "change on copy " << c.changedCopy;
        EXPECT_EQ(grabbed->frame.pixels, source.frames.back());
    }
}

TEST_F(FrameGrabberTest, AStreamRebuiltWithAnotherSizeContributesNoPixels) {
    const std::vector<uint8_t> first = m_source.frames[0];
    m_source.onRebuild = [this] {
        m_source.header.width = 640;
        m_source.header.height = 480;
        m_source.frames = {std::vector<uint8_t>(640 * 3 * 480, 0x77)};
    };
    const auto grabbed = m_grabber.GrabFreshFrame(m_request, CFrameGrabber::WaitPolicy::Reply);
    ASSERT_TRUE(grabbed);
    EXPECT_EQ(grabbed->frame.width(), 352);
    EXPECT_EQ(grabbed->frame.pixels, first);
    EXPECT_EQ(m_grabber.lastRebuildCount(), 4);
    EXPECT_EQ(std::count(m_source.events.begin(), m_source.events.end(), "copy"), 12);
}

TEST_F(FrameGrabberTest, ManualSnapshotWaitIsBoundedAndNeverRebuilds) {
    const auto grabbed = m_grabber.GrabFreshFrame(m_request, CFrameGrabber::WaitPolicy::Snapshot);
    ASSERT_TRUE(grabbed);
    EXPECT_EQ(m_grabber.lastPollCount(), CFrameGrabber::kSnapshotPolls);
    EXPECT_EQ(m_grabber.lastRebuildCount(), 0);
    EXPECT_EQ(std::count(m_source.events.begin(), m_source.events.end(), "rebuild"), 0);
}

TEST_F(FrameGrabberTest, TurnedReplyIsNamedWithRAndIsTurned) {
    m_source.ChangeFrom(2);
    m_now = MakeTime(2026, 12, 7, 23, 59, 58);
    JpegPicture picture;
    ASSERT_TRUE(m_grabber.GrabReplyPicture(true, m_request, picture));
    EXPECT_EQ(picture.fileName, "20261207235958r.jpg");
    const DecodedJpeg decoded = DecodeJpeg(*picture.jpeg);
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 288);
    EXPECT_EQ(decoded.height, 352);
}

TEST_F(FrameGrabberTest, NothingHappensWithoutAGraphOrAFormat) {
    JpegPicture picture{"unchanged", nullptr};
    m_request.graphReady = false;
    EXPECT_FALSE(m_grabber.GrabReplyPicture(false, m_request, picture));
    m_grabber.TakeSnapshot(m_request, [](const Snapshot&) { return std::string(); });
    EXPECT_TRUE(m_source.events.empty());
    EXPECT_TRUE(m_busyChanges.empty());

    m_request.graphReady = true;
    m_source.connected = false;
    GrabFailure why;
    EXPECT_FALSE(m_grabber.GrabReplyPicture(false, m_request, picture, &why));
    EXPECT_EQ(why.kind, GrabFailure::Kind::NoPicture);
    EXPECT_TRUE(picture.fileName.empty() && !picture.jpeg);
    EXPECT_EQ(m_busyChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(fs::is_empty(m_dir.path()));
}

// The stream keeps running after a grab; the grab only withdraws its want of frames, on
// every way out.
TEST_F(FrameGrabberTest, EveryGrabWantsFramesWhileItRunsAndThenNoMore) {
    struct Case {
        const char* what;
        bool connected;
        CFrameGrabber::WaitPolicy policy;
        bool grabbed;
    } const cases[] = {
        {"reply", true, CFrameGrabber::WaitPolicy::Reply, true},
        {"snapshot", true, CFrameGrabber::WaitPolicy::Snapshot, true},
        {"no format connected", false, CFrameGrabber::WaitPolicy::Reply, false},
    };
    for (const Case& c : cases) {
        ScriptedSource source(64, 48);
        source.ChangeFrom(2);
        source.connected = c.connected;
        CFrameGrabber grabber = GrabberOn(source);
        EXPECT_EQ(grabber.GrabFreshFrame(m_request, c.policy).has_value(), c.grabbed) << c.what;
        EXPECT_EQ(source.wants, (std::vector<bool>{true, false})) << c.what;
        EXPECT_EQ(source.events.front(), "run") << c.what; // running, not stopped again
        EXPECT_EQ(std::count(source.events.begin(), source.events.end(), "stop"), 0) << c.what;
    }
}

// A camera idle for a long time: its stored picture is the one from before the idle, its frame
// counter stands wherever the idle left it. Only a frame decoded after the grab's want answers.
class IdleCamera final : public IFrameSource {
public:
    IdleCamera(uint64_t decodedBeforeIdle) : decoded(decodedBeforeIdle) {
        header.width = 64;
        header.height = 48;
        header.sizeImage = static_cast<uint32_t>(CaptureFrame::StrideFor(64) * 48);
        latest.assign(header.sizeImage, 0x11); // from before the idle
    }
    bool RunGraph() override { return true; }
    bool ConnectedHeader(BitmapInfoHeader& out) const override {
        out = header;
        return true;
    }
    int32_t CurrentBufferSize() const override { return static_cast<int32_t>(latest.size()); }
    int32_t CopyCurrentBuffer(uint8_t* dest, int32_t capacity) override {
        const auto n = std::min<std::size_t>(latest.size(), static_cast<std::size_t>(capacity));
        std::copy_n(latest.begin(), n, dest);
        return static_cast<int32_t>(n);
    }
    bool Rebuild() override { return true; }
    std::optional<uint64_t> FramesDelivered() const override { return decoded; }
    void WantFrames(bool want) override { wanted += want ? 1 : -1; }
    // The camera sends on; its next frame is decoded only when someone wants it.
    void WaitForFrameBeyond(uint64_t, std::chrono::milliseconds) override {
        if (wanted > 0) {
            latest.assign(header.sizeImage, 0x22);
            ++decoded;
        }
    }

    BitmapInfoHeader header;
    std::vector<uint8_t> latest;
    uint64_t decoded;
    int wanted = 0;
};

TEST_F(FrameGrabberTest, GrabAfterALongIdleAnswersWithAFrameTakenAfterTheRequest) {
    constexpr uint64_t kHourAt30 = 60 * 60 * 30;
    for (const uint64_t idleCount : {uint64_t{1}, kHourAt30, ~uint64_t{0} - 1}) {
        IdleCamera camera(idleCount);
        CFrameGrabber grabber = GrabberOn(camera);
        const auto grabbed = grabber.GrabFreshFrame(m_request, CFrameGrabber::WaitPolicy::Reply);
        ASSERT_TRUE(grabbed) << idleCount;
        EXPECT_EQ(grabbed->frame.pixels.front(), 0x22) << idleCount;
        EXPECT_EQ(grabber.lastPollCount(), 1) << idleCount;
        EXPECT_EQ(camera.decoded, idleCount + 1) << idleCount;
        EXPECT_EQ(camera.wanted, 0) << idleCount;
    }
}

TEST_F(FrameGrabberTest, StampIsDrawnOnTheFrameWhenShowTextIsOn) {
    EnsureGuiApplication();
    m_source.ChangeFrom(2);
    const auto plain = m_grabber.GrabFreshFrame(m_request, CFrameGrabber::WaitPolicy::Reply);
    m_source.copies = 0;
    m_request.timeText.showText = true;
    const auto stamped = m_grabber.GrabFreshFrame(m_request, CFrameGrabber::WaitPolicy::Reply);
    ASSERT_TRUE(plain && stamped);
    EXPECT_NE(plain->frame.pixels, stamped->frame.pixels);
    EXPECT_EQ(PixelAt(plain->frame, 300, 280), PixelAt(stamped->frame, 300, 280));
}

TEST_F(FrameGrabberTest, SnapshotGivesTheDialogItsFrameAndPicturesAndWritesOnlyTheSavedOne) {
    m_source.ChangeFrom(2);
    const std::string saved = m_dir.folder() + "saved/picture.jpg";
    fs::create_directory(m_dir.folder() + "saved");
    Snapshot seen;
    m_grabber.TakeSnapshot(m_request, [&](const Snapshot& snapshot) {
        seen = snapshot;
        EXPECT_EQ(m_busyChanges, std::vector<bool>{true}) << "busy while the dialog is open";
        EXPECT_TRUE(fs::is_empty(m_dir.folder() + "saved")) << "nothing written for the dialog";
        return saved;
    });

    EXPECT_EQ(seen.stem, "20240131090507");
    EXPECT_EQ(seen.frame.pixels, m_source.frames.back()) << "pixels as grabbed, not turned";
    struct Picture {
        const JpegPicture& picture;
        const char* name;
        int width;
    } const pictures[] = {{seen.plain, "20240131090507.jpg", 352},
                          {seen.turned, "20240131090507r.jpg", 288}};
    for (const Picture& p : pictures) {
        EXPECT_EQ(p.picture.fileName, p.name);
        ASSERT_TRUE(p.picture.jpeg) << p.name;
        EXPECT_EQ(DecodeJpeg(*p.picture.jpeg).width, p.width) << p.name;
    }
    EXPECT_EQ(TempDir::ReadFile(saved), *seen.plain.jpeg);
    EXPECT_EQ(fs::status(saved).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(m_dir.path()))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"saved"});
    EXPECT_EQ(m_busyChanges, (std::vector<bool>{true, false}));
}

TEST_F(FrameGrabberTest, SnapshotDiscardedWritesNothing) {
    m_source.ChangeFrom(2);
    m_grabber.TakeSnapshot(m_request, [](const Snapshot&) { return std::string(); });
    EXPECT_TRUE(fs::is_empty(m_dir.path()));
}

} // namespace
