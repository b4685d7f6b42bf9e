#include "capture/TimeText.h"

#include "mail/text/TextCodec.h"
#include "tests/image/ImageTestSupport.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

struct FormatCase {
    const char* format;
    std::tm time;
    const char* expected;
};

const std::tm kWednesday = MakeTime(2024, 1, 31, 9, 5, 7);

TEST(ExpandTimeFormat, FollowsTheTokenTable) {
    const FormatCase cases[] = {
        {"%Y/%M/%D(%W) %h:%m:%s", kWednesday, "2024/01/31(Wed) 09:05:07"},
        {"%Y%M%D%h%m%s", kWednesday, "20240131090507"},
        {"%W/%w", MakeTime(2024, 2, 4, 12, 0, 0), "Sun/日"},
        {"%W/%w", MakeTime(2024, 2, 3, 12, 0, 0), "Sat/土"},
        {"%w%w%W", kWednesday, "水水Wed"},
        {"%M%m", kWednesday, "0105"},
        {"%%Y", kWednesday, "%2024"},
        {"%x %y %S %H %", kWednesday, "%x %y %S %H %"},
        {"a\\nb\\rc\\t", kWednesday, "a\nb\rc\\t"},
        {"表n", kWednesday, "表n"},
        {"表\\n%h時", kWednesday, "表\n09時"},
        {"%Y", MakeTime(987, 3, 4, 0, 0, 0), "0987"},
        {"", kWednesday, ""},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(ExpandTimeFormat(c.format, c.time), c.expected) << "format " << c.format;
}

TEST(ExpandTimeFormat, TrailByteThatLooksLikeABackslashStartsNoToken) {
    // In code page 932 "表" is 0x95 0x5C: its second byte is the backslash. A format read from
    // setup.ini arrives as UTF-8, where no byte of "表" is ASCII.
    const std::string sjis = text::Utf8ToSjis("表n表r");
    ASSERT_EQ(sjis, "\x95\x5Cn\x95\x5Cr");
    const std::string format = text::SjisToUtf8(sjis);
    EXPECT_EQ(ExpandTimeFormat(format, kWednesday), "表n表r");
    EXPECT_EQ(text::Utf8ToSjis(ExpandTimeFormat(format, kWednesday)), sjis);
}

// ---- drawing ----

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1; // inclusive; empty when right < 0
    int count = 0;
    bool empty() const { return count == 0; }
};

Box ChangedPixels(const CaptureFrame& before, const CaptureFrame& after) {
    Box box;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (!(PixelAt(before, x, y) == PixelAt(after, x, y))) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x);
                box.bottom = std::max(box.bottom, y);
                ++box.count;
            }
    return box;
}

class TimeTextDrawing : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGuiApplication(); }

    TimeTextDrawing() {
        m_background = CaptureFrame::Blank(200, 100);
        Fill(m_background, Bgr{40, 40, 40});
        m_settings.showText = true;
        m_settings.textXPos = 30;
        m_settings.textYPos = 20;
        m_settings.textColor = 0x00FFFFFF;
    }

    CaptureFrame Draw(const std::string& text) const {
        CaptureFrame frame = m_background;
        DrawTimeText(frame, text, m_settings);
        return frame;
    }
    Box Changed(const std::string& text) const { return ChangedPixels(m_background, Draw(text)); }

    CaptureFrame m_background;
    TimeTextSettings m_settings;
};

TEST_F(TimeTextDrawing, ChangesOnlyPixelsInsideItsRectangleNearTheTopOfThePicture) {
    const Box box = Changed("09:05:07 表");
    ASSERT_FALSE(box.empty());
    EXPECT_GE(box.left, 30);
    EXPECT_GE(box.top, 20);
    EXPECT_LT(box.bottom, 20 + 14 + 1) << "one line of 14-pixel cells, from the picture's top";
    EXPECT_GT(box.right, 60);
}

TEST_F(TimeTextDrawing, FramePixelsMatchAnUprightDrawingOfTheSameText) {
    // The frame is stored bottom-up; the stamp must come out upright, not mirrored.
    const std::string text = "Fg 2024/01/31";
    const CaptureFrame frame = Draw(text);
    QImage upright(m_background.width(), m_background.height(), QImage::Format_BGR888);
    upright.fill(QColor(40, 40, 40));
    {
        QPainter painter(&upright);
        DrawTimeText(painter, upright.width(), upright.height(), text, m_settings);
    }
    int differing = 0;
    for (int y = 0; y < upright.height(); ++y)
        for (int x = 0; x < upright.width(); ++x) {
            const QRgb q = upright.pixel(x, y);
            const Bgr p = PixelAt(frame, x, y);
            if (std::abs(qRed(q) - p.r) + std::abs(qGreen(q) - p.g) + std::abs(qBlue(q) - p.b) > 24)
                ++differing;
        }
    EXPECT_LE(differing, 3);
}

TEST_F(TimeTextDrawing, ColourIsReadAsBlueGreenRed) {
    m_settings.textColor = 0x000000FF; // red
    m_settings.fontSize = 40;
    const CaptureFrame frame = Draw("■");
    bool sawRed = false;
    for (int y = 20; y < 60 && !sawRed; ++y)
        for (int x = 30; x < 70 && !sawRed; ++x)
            sawRed = PixelAt(frame, x, y) == Bgr{0, 0, 255};
    EXPECT_TRUE(sawRed);
}

TEST_F(TimeTextDrawing, ShadowLiesAtItsOffsetAndTheTextCoversIt) {
    const Box text = Changed("12:34");
    m_settings.showShadow = true;
    m_settings.shadowColor = 0x00000000;
    struct {
        int dx, dy;
    } const offsets[] = {{-2, -2}, {2, 2}, {3, -1}};
    for (const auto [dx, dy] : offsets) {
        m_settings.shadowXPos = dx;
        m_settings.shadowYPos = dy;
        const Box both = Changed("12:34");
        EXPECT_EQ(both.left, std::min(text.left, text.left + dx)) << dx << "," << dy;
        EXPECT_EQ(both.right, std::max(text.right, text.right + dx)) << dx << "," << dy;
        EXPECT_EQ(both.top, std::min(text.top, text.top + dy)) << dx << "," << dy;
        EXPECT_EQ(both.bottom, std::max(text.bottom, text.bottom + dy)) << dx << "," << dy;
    }
    // The text is drawn last: where it stands alone it still has its own colour.
    m_settings.shadowXPos = m_settings.shadowYPos = -2;
    const CaptureFrame shaded = Draw("12:34");
    m_settings.showShadow = false;
    const CaptureFrame plain = Draw("12:34");
    int whiteInBoth = 0;
    for (int y = text.top; y <= text.bottom; ++y)
        for (int x = text.left; x <= text.right; ++x)
            if (PixelAt(plain, x, y) == Bgr{255, 255, 255} &&
                PixelAt(shaded, x, y) == Bgr{255, 255, 255})
                ++whiteInBoth;
    EXPECT_GT(whiteInBoth, 0);
}

TEST_F(TimeTextDrawing, PositionsBeyondThePictureDrawNothing) {
    m_settings.textXPos = 200;
    EXPECT_TRUE(Changed("12:34").empty());
    m_settings.textXPos = 0;
    m_settings.textYPos = 100;
    EXPECT_TRUE(Changed("12:34").empty());
    m_settings.textYPos = 0;
    EXPECT_TRUE(Changed("").empty());
}

TEST_F(TimeTextDrawing, LineBreaksStartAgainAtTheLeftEdge) {
    const QFontMetricsF metrics(TimeTextFont(m_settings));
    const Box one = Changed("H");
    const Box two = Changed("H\nH");
    EXPECT_EQ(two.left, one.left);
    EXPECT_EQ(two.right, one.right);
    EXPECT_NEAR(two.bottom - one.bottom, metrics.lineSpacing(), 1.0);
    const CaptureFrame lf = Draw("H\nH");
    EXPECT_EQ(Draw("H\r\nH").pixels, lf.pixels);
    EXPECT_EQ(Draw("H\rH").pixels, lf.pixels);
}

TEST_F(TimeTextDrawing, LongLinesAreCutAtThePictureEdgeNotWrapped) {
    m_settings.textXPos = 150;
    const Box box = Changed("2024/01/31(Wed) 09:05:07");
    ASSERT_FALSE(box.empty());
    EXPECT_EQ(box.right, 199);
    EXPECT_LT(box.bottom, 20 + 14 + 1);
}

TEST_F(TimeTextDrawing, AmpersandUnderlinesTheNextCharacterAndDoubledDrawsOne) {
    const Box plain = Changed("H");
    const Box marked = Changed("&H");
    EXPECT_EQ(marked.left, plain.left) << "a single & is not drawn";
    EXPECT_GT(marked.count, plain.count) << "the H is underlined";
    const Box doubled = Changed("&&");
    EXPECT_FALSE(doubled.empty());
    EXPECT_EQ(Draw("&&").pixels, Draw("&&").pixels);
    EXPECT_NE(Draw("&&").pixels, Draw("&").pixels);
}

TEST_F(TimeTextDrawing, BoldDrawsHeavierStrokes) {
    const int normal = Changed("2024/01/31").count;
    m_settings.fontBold = true;
    EXPECT_GT(Changed("2024/01/31").count, normal);
}

TEST_F(TimeTextDrawing, MissingFacesFallBackToIpaGothicAndCellsHaveTheGivenHeight) {
    for (const char* face : {"ＭＳ ゴシック", "No Such Face 123", ""}) {
        m_settings.fontName = face;
        EXPECT_EQ(QFontInfo(TimeTextFont(m_settings)).family(), "IPAGothic") << face;
    }
    m_settings.fontName = "IPAPGothic";
    EXPECT_EQ(QFontInfo(TimeTextFont(m_settings)).family(), "IPAPGothic");

    for (int size : {14, 30}) {
        m_settings.fontSize = size;
        const QFontMetricsF metrics(TimeTextFont(m_settings));
        EXPECT_LE(metrics.ascent() + metrics.descent(), size + 0.5);
        EXPECT_GE(metrics.ascent() + metrics.descent(), size - 1.5);
    }
}

} // namespace
