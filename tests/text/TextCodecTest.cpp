#include "mail/text/TextCodec.h"

#include <gtest/gtest.h>

namespace {

struct RoundTrip {
    const char* utf8;
    const char* sjis;
};

const RoundTrip kRoundTrips[] = {
    {"cap", "cap"},
    {"キャプチャ画像", "\x83\x4C\x83\x83\x83\x76\x83\x60\x83\x83\x89\xE6\x91\x9C"},
    {"表示", "\x95\x5C\x8E\xA6"}, // trail byte 0x5C looks like a backslash
    {"ｶﾒﾗ", "\xB6\xD2\xD7"},       // half-width katakana are single bytes
    {"①", "\x87\x40"},             // an NEC extension only code page 932 has
    {"", ""},
};

TEST(TextCodec, ConvertsBothWaysByteExact) {
    ASSERT_TRUE(text::CodePageAvailable());
    for (const auto& c : kRoundTrips) {
        EXPECT_EQ(text::Utf8ToSjis(c.utf8), c.sjis) << c.utf8;
        EXPECT_EQ(text::SjisToUtf8(c.sjis), c.utf8) << c.utf8;
    }
}

TEST(TextCodec, UnconvertibleInputBecomesReplacementWithoutLosingTheRest) {
    EXPECT_EQ(text::Utf8ToSjis("a\xF0\x9F\x98\x80z"), "a?z"); // emoji: not in code page 932
    EXPECT_EQ(text::Utf8ToSjis("a\xFF\xFEz"), "a??z");        // not UTF-8 at all
    EXPECT_EQ(text::Utf8ToSjis("a\xE3\x81"), "a??"); // a cut character: one "?" per byte
    EXPECT_EQ(text::SjisToUtf8("a\x83"), "a\xEF\xBF\xBD");    // lead byte without its trail
    EXPECT_EQ(text::SjisToUtf8("a\xA0z"), "a\xEF\xBF\xBDz");  // a byte code page 932 does not use
}

TEST(TextCodec, Latin1) {
    EXPECT_EQ(text::Utf8ToLatin1("caf\xC3\xA9"), "caf\xE9");
    EXPECT_EQ(text::Latin1ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(text::Utf8ToLatin1("画"), "?");
}

TEST(TextCodec, CutNeverSplitsADoubleByteCharacter) {
    const std::string sjis = text::Utf8ToSjis("aキャ"); // 1 + 2 + 2 bytes
    EXPECT_EQ(text::CutSjis(sjis, 10), sjis);
    EXPECT_EQ(text::CutSjis(sjis, 5), sjis);
    EXPECT_EQ(text::CutSjis(sjis, 4), sjis.substr(0, 3));
    EXPECT_EQ(text::CutSjis(sjis, 2), "a");
    EXPECT_EQ(text::CutSjis(sjis, 0), "");
}

} // namespace
