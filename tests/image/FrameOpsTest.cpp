#include "capture/FrameOps.h"

#include "tests/image/ImageTestSupport.h"

#include <gtest/gtest.h>

namespace {

class RotateTest : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(RotateTest, TurnsClockwisePixelForPixelWithPaddedRows) {
    const auto [width, height] = GetParam();
    CaptureFrame frame = CaptureFrame::Blank(width, height);
    frame.header.xPelsPerMeter = 2835;
    FillNoise(frame, 7); // padding bytes too: they must not leak into the turned frame
    const CaptureFrame original = frame;

    const CaptureFrame turned = RotateFrameClockwise(frame);

    EXPECT_EQ(frame.pixels, original.pixels);
    EXPECT_EQ(frame.header.Serialize(), original.header.Serialize());
    ASSERT_EQ(turned.width(), height);
    ASSERT_EQ(turned.height(), width);
    const int turnedStride = (3 * height + 3) / 4 * 4;
    EXPECT_EQ(turned.stride(), turnedStride);
    EXPECT_EQ(turned.header.sizeImage, static_cast<uint32_t>(turnedStride * width));
    EXPECT_EQ(turned.pixels.size(), static_cast<std::size_t>(turnedStride) * width);
    EXPECT_EQ(turned.header.xPelsPerMeter, 2835);
    EXPECT_EQ(turned.header.bitCount, 24);

    for (int y = 0; y < turned.height(); ++y)
        for (int x = 0; x < turned.width(); ++x)
            ASSERT_EQ(PixelAt(turned, x, y), PixelAt(frame, y, height - 1 - x))
                << "at " << x << "," << y;
    for (int row = 0; row < turned.height(); ++row)
        for (int pad = 3 * height; pad < turnedStride; ++pad)
            ASSERT_EQ(turned.pixels[static_cast<std::size_t>(row) * turnedStride + pad], 0);

    CaptureFrame back = turned;
    for (int i = 0; i < 3; ++i)
        back = RotateFrameClockwise(back);
    ASSERT_EQ(back.width(), width);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(PixelAt(back, x, y), PixelAt(frame, x, y));
}

INSTANTIATE_TEST_SUITE_P(Sizes, RotateTest,
                         ::testing::Values(std::pair{352, 288}, std::pair{350, 288},
                                           std::pair{7, 5}, std::pair{1, 1}));

TEST(BmpFile, HasTheFileHeaderThenTheFrameHeaderThenThePixels) {
    CaptureFrame frame = CaptureFrame::Blank(352, 288);
    FillNoise(frame, 3);
    const std::vector<uint8_t> bytes = BmpFileBytes(frame);

    // 352 × 288: stride 1056, 304128 pixel bytes (0x4A400), file 304182 (0x4A436).
    const std::vector<uint8_t> expected = {
        'B', 'M', 0x36, 0xA4, 0x04, 0x00, 0, 0, 0,    0,    54,   0,    0, 0, // file header
        40,  0,   0,    0,    0x60, 0x01, 0, 0, 0x20, 0x01, 0,    0,          // size, W, H
        1,   0,   24,   0,    0,    0,    0, 0, 0x00, 0xA4, 0x04, 0x00,       // planes .. image
        0,   0,   0,    0,    0,    0,    0, 0, 0,    0,    0,    0,    0, 0, 0, 0};
    ASSERT_EQ(bytes.size(), 54u + 304128u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 54), expected);
    EXPECT_TRUE(std::equal(frame.pixels.begin(), frame.pixels.end(), bytes.begin() + 54));
}

TEST(BmpFile, UsesTheReportedByteCountButNeverReadsPastThePixels) {
    CaptureFrame frame = CaptureFrame::Blank(4, 2); // 12 bytes per row, 24 bytes
    frame.byteCount = 20;
    EXPECT_EQ(BmpFileBytes(frame).size(), 74u);
    EXPECT_EQ(BmpFileBytes(frame)[2], 74);
    frame.byteCount = 1000;
    EXPECT_EQ(BmpFileBytes(frame).size(), 78u);
}

TEST(BmpFile, WriteFailsForAMissingFolder) {
    EXPECT_FALSE(WriteBmpFile("/nonexistent-folder/snap.tmp", CaptureFrame::Blank(4, 4)));
    EXPECT_FALSE(WriteBmpFile("/dev/full", CaptureFrame::Blank(64, 64)));
}

} // namespace
