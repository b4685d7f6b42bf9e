// The masked regions as CAMERAn.MASK writes them.

#include "capture/MotionMask.h"

#include <gtest/gtest.h>

TEST(MotionMask, TextToRectangles) {
    struct Case {
        const char* text;
        std::optional<std::vector<MaskRect>> rects;
    };
    const Case cases[] = {
        {"", std::vector<MaskRect>{}},
        {"0,0,100,20", std::vector<MaskRect>{{0, 0, 100, 20}}},
        {" 0,0,100,20 ; 70, 60, 30, 40;", std::vector<MaskRect>{{0, 0, 100, 20}, {70, 60, 30, 40}}},
        {"0,0,100", std::nullopt},       // three numbers
        {"0,0,100,20,5", std::nullopt},  // five
        {"80,0,30,10", std::nullopt},    // beyond the right edge
        {"0,0,0,10", std::nullopt},      // no area
        {"-5,0,10,10", std::nullopt},
        {"a,0,10,10", std::nullopt},
        {"0,0,10,10;x", std::nullopt},   // a bad part after a good one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string why;
        EXPECT_EQ(ParseMotionMask(c.text, &why), c.rects);
        EXPECT_EQ(why.empty(), c.rects.has_value());
    }
}
