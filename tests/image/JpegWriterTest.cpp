#include "capture/JpegWriter.h"

#include "tests/image/ImageTestSupport.h"
#include "tests/support/TempDir.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

bool IsRed(Bgr p) {
    return p.r > 200 && p.g < 60 && p.b < 60;
}
bool IsBlue(Bgr p) {
    return p.b > 200 && p.g < 60 && p.r < 60;
}
bool IsGreen(Bgr p) {
    return p.g > 200 && p.r < 60 && p.b < 60;
}

// Top half red, bottom half blue, a green vertical bar at columns 100..123.
CaptureFrame MarkedFrame(int width, int height) {
    CaptureFrame frame = CaptureFrame::Blank(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel(frame, x, y,
                     x >= 100 && x < 124 ? Bgr{0, 255, 0}
                     : y < height / 2    ? Bgr{0, 0, 255}
                                         : Bgr{255, 0, 0});
    return frame;
}

TEST(JpegWriter, KeepsColoursOrientationAndRowAlignment) {
    TempDir dir;
    for (int width : {352, 350}) {
        const std::string path = dir.folder() + "marked" + std::to_string(width) + ".jpg";
        ASSERT_TRUE(WriteJpegFile(path, MarkedFrame(width, 288), 90));

        const DecodedJpeg jpeg = DecodeJpegFile(path);
        ASSERT_TRUE(jpeg.ok);
        ASSERT_EQ(jpeg.width, width);
        ASSERT_EQ(jpeg.height, 288);
        EXPECT_TRUE(IsRed(jpeg.At(20, 10))) << "the top of the picture is red";
        EXPECT_TRUE(IsRed(jpeg.At(width - 20, 130)));
        EXPECT_TRUE(IsBlue(jpeg.At(20, 277)));
        EXPECT_TRUE(IsBlue(jpeg.At(width - 20, 160)));
        // A skewed picture would move the bar sideways from row to row.
        for (int y : {4, 100, 200, 283}) {
            EXPECT_TRUE(IsGreen(jpeg.At(104, y))) << "row " << y;
            EXPECT_TRUE(IsGreen(jpeg.At(119, y))) << "row " << y;
            EXPECT_FALSE(IsGreen(jpeg.At(90, y))) << "row " << y;
            EXPECT_FALSE(IsGreen(jpeg.At(134, y))) << "row " << y;
        }
    }
}

TEST(JpegWriter, QualityGrowsTheFileAndASecondWriteReplacesTheFirst) {
    TempDir dir;
    CaptureFrame frame = CaptureFrame::Blank(320, 240);
    FillNoise(frame, 11);
    const std::string path = dir.folder() + "q.jpg";
    std::vector<std::uintmax_t> sizes;
    for (int quality : {0, 50, 100}) {
        ASSERT_TRUE(WriteJpegFile(path, frame, quality));
        EXPECT_TRUE(DecodeJpegFile(path).ok);
        sizes.push_back(fs::file_size(path));
    }
    EXPECT_LT(sizes[0], sizes[1]);
    EXPECT_LT(sizes[1], sizes[2]);
}

TEST(JpegWriter, FailuresReturnFalseAndTheProcessGoesOn) {
    TempDir dir;
    const CaptureFrame frame = MarkedFrame(160, 120);

    EXPECT_FALSE(WriteJpegFile(dir.folder() + "missing/x.jpg", frame, 50));
    EXPECT_FALSE(fs::exists(dir.folder() + "missing/x.jpg"));
    EXPECT_FALSE(WriteJpegFile(dir.folder(), frame, 50)); // a folder, not a file
    EXPECT_FALSE(WriteJpegFile("/dev/full", frame, 50));  // the disk is full while writing

    // Sizes the library refuses come back as errors, not as an ended process.
    EXPECT_FALSE(WriteJpegFile(dir.folder() + "empty.jpg", CaptureFrame::Blank(0, 10), 50));
    EXPECT_FALSE(WriteJpegFile(dir.folder() + "wide.jpg", CaptureFrame::Blank(70000, 1), 50));

    CaptureFrame truncated = frame;
    truncated.pixels.resize(truncated.pixels.size() / 2);
    EXPECT_FALSE(WriteJpegFile(dir.folder() + "short.jpg", truncated, 50));

    // The writer still works afterwards.
    EXPECT_TRUE(WriteJpegFile(dir.folder() + "after.jpg", frame, 50));
    EXPECT_TRUE(DecodeJpegFile(dir.folder() + "after.jpg").ok);
}

} // namespace

TEST(JpegWriter, AFailureGivesTheSystemsReason) {
    TempDir dir;
    const CaptureFrame frame = CaptureFrame::Blank(320, 240);
    const struct {
        std::string path;
        CaptureFrame frame;
        int systemError;
    } cases[] = {
        {dir.folder() + "missing/x.jpg", frame, ENOENT},
        {dir.folder(), frame, EISDIR},
        {"/dev/full", frame, ENOSPC}, // seen as the buffered bytes go out
        {dir.folder() + "empty.jpg", CaptureFrame::Blank(0, 10), 0}, // the library's own failure
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        int systemError = -1;
        EXPECT_FALSE(WriteJpegFile(c.path, c.frame, 50, &systemError));
        EXPECT_EQ(systemError, c.systemError);
    }
}
