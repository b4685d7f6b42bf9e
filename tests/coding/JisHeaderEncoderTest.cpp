#include "mail/text/JisHeaderEncoder.h"

#include "mail/text/TextCodec.h"

#include <gtest/gtest.h>
#include <optional>
#include <random>
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

// --- ShiftJisToJis ---------------------------------------------------------------------------

TEST(ShiftJisToJis, ConvertsRunsAndControls) {
    ASSERT_TRUE(text::CodePageAvailable());
    const std::vector<Case> cases = {
        {"ascii unchanged", "cap", "cap"},
        {"empty", "", ""},
        {"crlf becomes lf", "a\r\nb", "a\nb"},
        {"lone cr becomes lf and keeps the next byte", "a\rb", "a\nb"},
        {"cr at the end", "a\r", "a\n"},
        {"reply subject", Sjis("キャプチャ画像"),
         kEsc208 + "\x25\x2D\x25\x63\x25\x57\x25\x41\x25\x63\x32\x68\x41\x7C" + kEscAscii},
        {"one pair per kanji run", Sjis("Re:画像abc字"),
         "Re:" + kEsc208 + "\x32\x68\x41\x7C" + kEscAscii + "abc" + kEsc208 + "\x3B\x7A" +
             kEscAscii},
        {"first and last kanji of the mapping", Sjis("亜熙"),
         kEsc208 + "\x30\x21\x74\x26" + kEscAscii},
        {"half-width katakana copied", "\xB1z", "\xB1z"},
        {"user-defined character ends the text",
         "a\xF0\x40"
         "b",
         "a"},
        {"unmappable inside a run closes the run",
         Sjis("漢字") + "\xF0\x40"
                        "b",
         kEsc208 + "\x34\x41\x3B\x7A" + kEscAscii},
        {"bad trail byte ends the text", "a\x82 b", "a"},
        {"lead byte at the end dropped", "a\x82", "a"},
        {"lead byte at the end of a run", Sjis("字") + "\x82", kEsc208 + "\x3B\x7A" + kEscAscii},
        {"nul ends the text", "ab\0cd"s, "ab"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CJisHeaderEncoder::ShiftJisToJis(c.input), c.expected) << c.name;
}

TEST(ShiftJisToJis, EveryMappedPairRoundTrips) {
    for (unsigned lead = 0x81; lead <= 0xEF; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string sjis{static_cast<char>(lead), static_cast<char>(trail)};
            const std::string jis = CJisHeaderEncoder::ShiftJisToJis(sjis);
            ASSERT_EQ(jis.size(), 8u) << std::hex << lead << ' ' << trail;
            for (std::size_t i = 3; i < 5; ++i) {
                const auto b = static_cast<unsigned char>(jis[i]);
                ASSERT_TRUE(b >= 0x21 && b <= 0x7E) << std::hex << lead << ' ' << trail;
            }
            ASSERT_EQ(CJisHeaderEncoder::JisToShiftJis(jis), sjis)
                << std::hex << lead << ' ' << trail;
        }
    }
}

// --- MakeEncodedWord -------------------------------------------------------------------------

TEST(MakeEncodedWord, WrapsBase64WithFill) {
    const std::vector<Case> cases = {
        {"empty", "",
         "=?ISO-2022-JP?B?"
         "?="},
        {"three bytes, no fill", "abc", "=?ISO-2022-JP?B?YWJj?="},
        {"four bytes, two fill characters", "abcd", "=?ISO-2022-JP?B?YWJjZA==?="},
        {"five bytes, one fill character", "abcde", "=?ISO-2022-JP?B?YWJjZGU=?="},
        {"reply subject", CJisHeaderEncoder::ShiftJisToJis(Sjis("キャプチャ画像")),
         "=?ISO-2022-JP?B?GyRCJS0lYyVXJUElYzJoQXwbKEI=?="},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CJisHeaderEncoder::MakeEncodedWord(c.input), c.expected) << c.name;
}

TEST(MakeEncodedWord, LongTextStaysOneWord) {
    const std::string jis(3000, 'x');
    const std::string word = CJisHeaderEncoder::MakeEncodedWord(jis);
    EXPECT_EQ(word.size(), 16 + 4000 + 2u);
    EXPECT_EQ(word.find_first_of("\r\n "), std::string::npos);
}

// --- DecodeHeaderText ------------------------------------------------------------------------

TEST(DecodeHeaderText, DecodesWordsAndPlainSegments) {
    const std::string subject = Sjis("キャプチャ画像");
    const std::string word = "=?ISO-2022-JP?B?GyRCJS0lYyVXJUElYzJoQXwbKEI=?=";
    const std::string gazou = "=?ISO-2022-JP?B?GyRCMmhBfBsoQg==?="; // 画像, "==" fill
    const std::vector<Case> cases = {
        {"reply subject", word, subject},
        {"lower-case label", "=?iso-2022-jp?B?GyRCJS0lYyVXJUElYzJoQXwbKEI=?=", subject},
        {"shift_jis label", "=?shift_jis?B?ieaRnA==?=", Sjis("画像")},
        {"plain ascii", "cap", "cap"},
        {"plain text kept whole", "a=b\tc\r\nd", "a=b\tc\r\nd"},
        {"payload without fill", "=?ISO-2022-JP?B?YWJj?=", "abc"},
        {"text before a word", "Re: " + gazou, "Re: " + Sjis("画像")},
        {"text after a word", gazou + " cap", Sjis("画像") + " cap"},
        {"words folded with tab", gazou + "\r\n\t" + gazou, Sjis("画像画像")},
        {"words folded with blank", gazou + "\r\n " + gazou, Sjis("画像画像")},
        {"no word, no change", "a=?=b", "a=?=b"},
        {"plain jis text", kEsc208 + "\x32\x68\x41\x7C" + kEscAscii, Sjis("画像")},
        {"lower-case b is a word too", "=?iso-2022-jp?b?YWJj?=", "abc"},
        {"label alone", "=?ISO-2022-JP?B?", "=?ISO-2022-JP?B?"},
        {"label and question mark",
         "=?ISO-2022-JP?B?"
         "?=",
         ""},
        {"blank between words of two charsets dropped",
         "=?shift_jis?B?ieaRnA==?= =?ISO-2022-JP?B?YWJj?=", Sjis("画像") + "abc"},
        {"nul ends the text", "ab\0=?ISO-2022-JP?B?YWJj?="s, "ab"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CJisHeaderEncoder::DecodeHeaderText(c.input), c.expected) << c.name;
}

TEST(DecodeHeaderText, RoundTripsMakeEncodedWord) {
    for (const char* utf8 :
         {"キャプチャ画像", "Re: 画像", "ｶﾒﾗ", "a", "ab", "abc", "漢字テスト123"}) {
        const std::string sjis = Sjis(utf8);
        const std::string word =
            CJisHeaderEncoder::MakeEncodedWord(CJisHeaderEncoder::ShiftJisToJis(sjis));
        EXPECT_EQ(CJisHeaderEncoder::DecodeHeaderText(word), sjis) << utf8;
    }
}

TEST(DecodeHeaderText, LongSegmentsDecodeWhole) {
    // Far beyond a 1023-byte working segment: the result grows to fit.
    std::string sjis;
    for (int i = 0; i < 2000; ++i)
        sjis += Sjis("画");
    const std::string word =
        CJisHeaderEncoder::MakeEncodedWord(CJisHeaderEncoder::ShiftJisToJis(sjis));
    EXPECT_EQ(CJisHeaderEncoder::DecodeHeaderText(word), sjis);
    const std::string plain(100000, 'p');
    EXPECT_EQ(CJisHeaderEncoder::DecodeHeaderText(plain), plain);
}

TEST(DecodeHeaderText, MalformedInputDoesNotCrash) {
    const std::string word = "=?ISO-2022-JP?B?GyRCJS0lYyVXJUElYzJoQXwbKEI=?=";
    for (std::size_t n = 0; n <= word.size(); ++n)
        CJisHeaderEncoder::DecodeHeaderText(word.substr(0, n));
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string alphabet = "=?\r\n\t\x1B$(B@J ISO-2022-JP?B?shift_jis?AZaz09+/\x82\xA0";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 2000; ++round) {
        std::string input;
        const int length = round % 200;
        for (int i = 0; i < length; ++i)
            input += round % 2 ? static_cast<char>(byte(random)) : alphabet[pick(random)];
        CJisHeaderEncoder::DecodeHeaderText(input);
        CJisHeaderEncoder::JisToShiftJis(input);
        CJisHeaderEncoder::ShiftJisToJis(input);
        CJisHeaderEncoder::DecodeBase64Text(input);
    }
}

// --- JisToShiftJis ---------------------------------------------------------------------------

TEST(JisToShiftJis, SwitchesModesAndTreatsControls) {
    const std::vector<Case> cases = {
        {"esc $ B and esc ( B", kEsc208 + "\x32\x68\x41\x7C" + kEscAscii + "x", Sjis("画像x")},
        {"esc $ @ and esc ( J", "\x1B$@\x32\x68\x1B(Jx", Sjis("画x")},
        {"lf at the start", "\nab", "\r\nab"},
        {"lone lf", "a\nb", "a\r\nb"},
        {"crlf kept", "a\r\nb", "a\r\nb"},
        {"equals dropped", "a=b", "ab"},
        {"blank inside a run copied", kEsc208 + "\x32\x68 \x41\x7C", Sjis("画 像")},
        {"pair outside the mapping ends the text", kEsc208 + "\x32\x68\x21\x7F", Sjis("画")},
        {"half a pair at the end", kEsc208 + "\x32", ""},
        {"other escapes copied", "\x1B(Ia", "\x1B(Ia"},
        {"short escape at the end", "a\x1B$", "a\x1B$"},
        {"nul ends the text", "ab\0cd"s, "ab"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CJisHeaderEncoder::JisToShiftJis(c.input), c.expected) << c.name;
}

// --- DecodeBase64Text ------------------------------------------------------------------------

TEST(DecodeBase64Text, DecodesGroupsOfFour) {
    const std::vector<Case> cases = {
        {"three bytes", "YWJj", "abc"},
        {"fill ends the text", "YWJjZA==", "abcd"},
        {"one fill character", "YWJjZGU=", "abcde"},
        {"plus and slash", "+/+/", "\xFB\xFF\xBF"},
        {"zero byte ends the text", "YQBi", "a"},
        {"short last group", "YWJjZGU", "abcde"},
        {"outside the alphabet counts as zero", "Y*Jj",
         "`\x02"
         "c"},
        {"empty", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CJisHeaderEncoder::DecodeBase64Text(c.input), c.expected) << c.name;
}

// --- EncodeMailText / DecodeMailText ------------------------------------------------------

TEST(EncodeMailText, TakesOnlyWhatIsoTwoThousandTwentyTwoJpCarries) {
    struct MailCase {
        const char* name;
        std::string sjis;
        std::optional<std::string> jis;
    };
    const std::vector<MailCase> cases = {
        {"ascii", "cap\r\n", "cap\r\n"},
        {"runs closed before line ends", Sjis("画\r\n像"),
         kEsc208 + "\x32\x68" + kEscAscii + "\r\n" + kEsc208 + "\x41\x7C" + kEscAscii},
        {"half-width katakana", "\xB1", std::nullopt},
        {"user-defined character", "\xF0\x40", std::nullopt},
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
        {"equals and line ends kept", "a=b\nc", "a=b\nc"},
        {"esc $ @ and esc ( J", "\x1B$@\x32\x68\x1B(Jx", Sjis("画x")},
        {"esc ( I half-width katakana", "\x1B(I\x36\x52\x57\x1B(B!", "\xB6\xD2\xD7!"},
        {"pair cut by a line end", kEsc208 + "\x32\r\n\x32\x68", "?\r\n" + Sjis("画")},
        {"half a pair at the end", kEsc208 + "\x32", "?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CJisHeaderEncoder::DecodeMailText(c.input), c.expected) << c.name;
}

} // namespace
