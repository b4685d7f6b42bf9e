// The device list and what a device's caps offer.
#include "capture/CaptureDevices.h"

#include "capture/DeviceControls.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

bool ListsTestPattern() {
    const std::vector<CaptureDevice> devices = ListCaptureDevices();
    return std::any_of(devices.begin(), devices.end(),
                       [](const CaptureDevice& d) { return d.name == kTestPatternName; });
}

GstCapsPtr Caps(const char* text) {
    EnsureGstInitialized();
    return AdoptCaps(gst_caps_from_string(text));
}

} // namespace

TEST(CaptureDevices, TestPatternListedOnlyWhenAskedFor) {
    unsetenv("KESTROVAMAIL_TEST_PATTERN");
    EnableTestPattern(false);
    EXPECT_FALSE(ListsTestPattern());

    setenv("KESTROVAMAIL_TEST_PATTERN", "0", 1);
    EXPECT_FALSE(ListsTestPattern());

    setenv("KESTROVAMAIL_TEST_PATTERN", "1", 1);
    EXPECT_TRUE(ListsTestPattern());
    unsetenv("KESTROVAMAIL_TEST_PATTERN");

    EnableTestPattern(true); // --test-pattern
    const std::vector<CaptureDevice> devices = ListCaptureDevices();
    ASSERT_GE(devices.size(), 2u);
    // After the real devices: the raw one, then the one that sends JPEG pictures.
    const CaptureDevice& raw = devices[devices.size() - 2];
    const CaptureDevice& jpeg = devices.back();
    EXPECT_EQ(raw.name, "テストパターン");
    EXPECT_EQ(jpeg.name, "テストパターン (JPEG)");
    EXPECT_TRUE(raw.testPattern && jpeg.testPattern);
    EXPECT_STREQ(DeliveredMediaType(raw.caps.get()), "video/x-raw");
    EXPECT_STREQ(DeliveredMediaType(jpeg.caps.get()), "image/jpeg");
    EXPECT_EQ(FrameSizesOf(jpeg.caps.get()), FrameSizesOf(raw.caps.get()));
    EnableTestPattern(false);
}

TEST(CaptureDevices, FrameSizesFromDiscreteAndRangeCaps) {
    GstCapsPtr discrete = Caps("video/x-raw, width=(int)640, height=(int)480;"
                               " image/jpeg, width=(int)320, height=(int)240;"
                               " video/x-raw, width=(int)320, height=(int)240");
    EXPECT_EQ(FrameSizesOf(discrete.get()),
              (std::vector<FrameSize>{{320, 240}, {640, 480}})); // sorted, once each

    GstCapsPtr range = Caps("video/x-raw, width=(int)[ 100, 700 ], height=(int)[ 100, 500 ]");
    EXPECT_EQ(FrameSizesOf(range.get()),
              (std::vector<FrameSize>{{160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 480}}));
    EXPECT_TRUE(FrameSizesOf(nullptr).empty());
}

TEST(CaptureDevices, RawVideoPreferredOverJpeg) {
    GstCapsPtr both = Caps("image/jpeg, width=(int)1280, height=(int)720;"
                           " video/x-raw, format=(string)YUY2, width=(int)640, height=(int)480");
    EXPECT_STREQ(DeliveredMediaType(both.get()), "video/x-raw");
    EXPECT_EQ(FrameSizesOf(both.get()), (std::vector<FrameSize>{{640, 480}}));
    EXPECT_FALSE(OffersFrameSize(both.get(), 1280, 720)); // only as JPEG: not taken

    GstCapsPtr jpeg = Caps("image/jpeg, width=(int)1280, height=(int)720");
    EXPECT_STREQ(DeliveredMediaType(jpeg.get()), "image/jpeg");
    EXPECT_TRUE(OffersFrameSize(jpeg.get(), 1280, 720));
    EXPECT_STREQ(DeliveredMediaType(nullptr), "video/x-raw");
}

TEST(CaptureDevices, OffersFrameSize) {
    GstCapsPtr discrete = Caps("video/x-raw, width=(int)640, height=(int)480;"
                               " video/x-raw, width=(int)320, height=(int)240");
    GstCapsPtr range = Caps("video/x-raw, width=(int)[ 16, 1920, 16 ], height=(int)[ 16, 1080 ]");
    GstCapsPtr list = Caps("video/x-raw, width=(int){ 176, 352 }, height=(int)288");
    struct Case {
        const GstCaps* caps;
        int width, height;
        bool offered;
    } cases[] = {
        {discrete.get(), 640, 480, true},  {discrete.get(), 320, 240, true},
        {discrete.get(), 640, 240, false}, // each size is a pair
        {discrete.get(), 352, 288, false}, {range.get(), 352, 288, true},
        {range.get(), 350, 288, false}, // off the width step
        {range.get(), 2048, 288, false},   {list.get(), 176, 288, true},
        {list.get(), 176, 144, false},     {nullptr, 123, 45, true}, // no caps: anything
    };
    for (const Case& c : cases)
        EXPECT_EQ(OffersFrameSize(c.caps, c.width, c.height), c.offered)
            << c.width << "x" << c.height;
}

TEST(CaptureDevices, TestPatternOffersAFewSizes) {
    CaptureDevice device = MakeTestPatternDevice();
    const std::vector<FrameSize> sizes = FrameSizesOf(device.caps.get());
    EXPECT_EQ(sizes.size(), 5u);
    EXPECT_TRUE(OffersFrameSize(device.caps.get(), 640, 480));
    EXPECT_FALSE(OffersFrameSize(device.caps.get(), 123, 77));
}

TEST(DeviceControls, MissingNodeOffersNothing) {
    auto controls = MakeV4l2Controls("/dev/no-such-video-node");
    EXPECT_TRUE(controls->Controls().empty());
    EXPECT_FALSE(controls->SetValue(0x00980900, 10)); // brightness
}

TEST(DeviceControls, ElementPropertiesAsControls) {
    EnsureGstInitialized();
    GstElementPtr source = AdoptFloating(gst_element_factory_make("videotestsrc", nullptr));
    ASSERT_TRUE(source);
    auto controls = MakeElementControls(
        source.get(),
        {{"pattern", "パターン"}, {"is-live", ""}, {"no-such", ""}, {"foreground-color", ""}});
    const std::vector<DeviceControl> list = controls->Controls();
    ASSERT_EQ(list.size(), 2u); // "no-such" is not there; a uint property is not offered
    EXPECT_EQ(list[0].label, "パターン");
    EXPECT_EQ(list[1].label, "is-live");
    EXPECT_EQ(list[0].kind, DeviceControl::Kind::Menu);
    EXPECT_EQ(list[0].value, 0); // smpte
    const auto red = std::find_if(list[0].menuItems.begin(), list[0].menuItems.end(),
                                  [](const auto& item) { return item.second == "red"; });
    ASSERT_NE(red, list[0].menuItems.end());
    EXPECT_EQ(list[1].kind, DeviceControl::Kind::Boolean);

    ASSERT_TRUE(controls->SetValue(list[0].id, red->first));
    EXPECT_EQ(controls->Controls()[0].value, red->first);
    ASSERT_TRUE(controls->SetValue(list[1].id, 1));
    gboolean live = FALSE;
    g_object_get(source.get(), "is-live", &live, nullptr);
    EXPECT_TRUE(live);
}
