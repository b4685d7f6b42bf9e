#include "mail/text/JisHeaderEncoder.h"

#include "mail/text/ContentEncoders.h"
#include "mail/text/TextCodec.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

const std::string kEsc208 = "\x1B$B";
const std::string kEscAscii = "\x1B(B";

std::string Sjis(const char* utf8) {
    return text::Utf8ToSjis(utf8);
}

struct Case {
    const char* name;
    std::string input;
    std::string expected;
};

// --- EncodeMailText / DecodeMailText ------------------------------------------------------

TEST(EncodeMailText, TakesOnlyWhatIsoTwoThousandTwentyTwoJpCarries) {
    struct MailCase {
        const char* name;
        std::string sjis;
        std::optional<std::string> jis;
    };
    const std::vector<MailCase> cases = {
        {"ascii", "cap\r\n", "cap\r\n"},
        {"empty", "", ""},
        {"reply subject", Sjis("キャプチャ画像"),
         kEsc208 + "\x25\x2D\x25\x63\x25\x57\x25\x41\x25\x63\x32\x68\x41\x7C" + kEscAscii},
        {"one pair per kanji run", Sjis("Re:画像abc字"),
         "Re:" + kEsc208 + "\x32\x68\x41\x7C" + kEscAscii + "abc" + kEsc208 + "\x3B\x7A" +
             kEscAscii},
        {"first and last kanji of the mapping", Sjis("亜熙"),
         kEsc208 + "\x30\x21\x74\x26" + kEscAscii},
        {"runs closed before line ends", Sjis("画\r\n像"),
         kEsc208 + "\x32\x68" + kEscAscii + "\r\n" + kEsc208 + "\x41\x7C" + kEscAscii},
        {"half-width katakana", "\xB1", std::nullopt},
        {"user-defined character", "\xF0\x40", std::nullopt},
        {"bad trail byte", "a\x82 b", std::nullopt},
        {"lead byte at the end", "a\x82", std::nullopt},
        {"escape of its own", "\x1B(Ia", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CJisHeaderEncoder::EncodeMailText(c.sjis), c.jis) << c.name;
        if (c.jis) {
            EXPECT_EQ(CJisHeaderEncoder::DecodeMailText(*c.jis), c.sjis) << c.name;
        }
    }
}

TEST(DecodeMailText, KeepsEveryByteAndReadsKatakana) {
    const std::vector<Case> cases = {
        {"esc $ B and esc ( B", kEsc208 + "\x32\x68\x41\x7C" + kEscAscii + "x", Sjis("画像x")},
        {"equals and line ends kept", "a=b\nc", "a=b\nc"},
        {"esc $ @ and esc ( J", "\x1B$@\x32\x68\x1B(Jx", Sjis("画x")},
        {"esc ( I half-width katakana", "\x1B(I\x36\x52\x57\x1B(B!", "\xB6\xD2\xD7!"},
        {"pair cut by a line end", kEsc208 + "\x32\r\n\x32\x68", "?\r\n" + Sjis("画")},
        {"half a pair at the end", kEsc208 + "\x32", "?"},
        {"other escapes copied", "\x1B(Qa", "\x1B(Qa"},
        {"short escape at the end", "a\x1B$", "a\x1B$"},
        {"nul kept", "ab\0cd"s, "ab\0cd"s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CJisHeaderEncoder::DecodeMailText(c.input), c.expected) << c.name;
}

TEST(EncodeMailText, EveryMappedPairRoundTrips) {
    for (unsigned lead = 0x81; lead <= 0xEF; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string sjis{static_cast<char>(lead), static_cast<char>(trail)};
            const auto jis = CJisHeaderEncoder::EncodeMailText(sjis);
            ASSERT_TRUE(jis && jis->size() == 8u) << std::hex << lead << ' ' << trail;
            for (std::size_t i = 3; i < 5; ++i) {
                const auto b = static_cast<unsigned char>((*jis)[i]);
                ASSERT_TRUE(b >= 0x21 && b <= 0x7E) << std::hex << lead << ' ' << trail;
            }
            ASSERT_EQ(CJisHeaderEncoder::DecodeMailText(*jis), sjis)
                << std::hex << lead << ' ' << trail;
        }
    }
}

// The reply's subject as the composer writes it: ISO-2022-JP in one B word with its fill.
TEST(EncodeMailText, ReplySubjectWord) {
    const auto jis = CJisHeaderEncoder::EncodeMailText(Sjis("キャプチャ画像"));
    ASSERT_TRUE(jis);
    EXPECT_EQ(encoders::EncodeHeaderWordB(*jis, "ISO-2022-JP"),
              "=?ISO-2022-JP?B?GyRCJS0lYyVXJUElYzJoQXwbKEI=?=");
}

} // namespace
