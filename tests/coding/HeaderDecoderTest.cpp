#include "mail/text/HeaderDecoder.h"

#include "mail/mime/MimeHeaderField.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::string raw;
    std::string text;
};

TEST(DecodeHeaderValue, ReadsTheFormsMailProgramsWrite) {
    const std::vector<Case> cases = {
        {"UTF-8 B", "=?UTF-8?B?Y2Fw?=", "cap"},
        {"UTF-8 B kanji", "=?UTF-8?B?5pKu5b2x?=", "撮影"},
        {"Shift_JIS B", "=?Shift_JIS?B?jkKJZQ==?=", "撮影"},
        {"EUC-JP B", "=?EUC-JP?B?u6Oxxg==?=", "撮影"},
        {"raw Shift_JIS",
         "\x8E"
         "B\x89"
         "e",
         "撮影"},
        {"raw ISO-2022-JP", "\x1B$B;#1F\x1B(B", "撮影"},
        {"ISO-2022-JP B", "=?ISO-2022-JP?B?GyRCJS0lYyVXJUElYzJoQXwbKEI=?=", "キャプチャ画像"},
        {"lower-case label and b", "=?iso-2022-jp?b?GyRCMmhBfBsoQg==?=", "画像"},
        {"B without its fill", "=?UTF-8?B?YWJjZA?=", "abcd"},
        {"B with half its fill kept", "=?UTF-8?B?YWJjZA=?=", "=?UTF-8?B?YWJjZA=?="},
        {"B with one character left over", "=?UTF-8?B?YWJjZ?=", "=?UTF-8?B?YWJjZ?="},
        {"words folded with CR LF and tab", "=?UTF-8?B?5pKu?=\r\n\t=?UTF-8?B?5b2x?=", "撮影"},
        {"label alone", "=?ISO-2022-JP?B?", "=?ISO-2022-JP?B?"},
        {"empty word",
         "=?ISO-2022-JP?B?"
         "?=",
         ""},
        {"no word, no change", "a=?=b", "a=?=b"},
        {"word split between characters", "=?UTF-8?B?5pKu?= =?UTF-8?B?5b2x?=", "撮影"},
        {"word split inside a character", "=?UTF-8?Q?=E6=92?=\t=?UTF-8?Q?=AE=E5=BD=B1?=", "撮影"},
        {"words of two charsets", "=?UTF-8?B?5pKu?= =?EUC-JP?B?scY=?=", "撮影"},
        {"text around words", "Re: =?UTF-8?B?Y2Fw?= x =?UTF-8?B?Y2Fw?=", "Re: cap x cap"},
        {"Q underscore", "=?UTF-8?Q?a_b?=", "a b"},
        {"language suffix", "=?UTF-8*ja?B?Y2Fw?=", "cap"},
        {"equals sign in plain text", "c=ap", "c=ap"},
        {"unknown charset kept", "=?x-unknown?B?Y2Fw?=", "=?x-unknown?B?Y2Fw?="},
        {"option in a charset name kept", "=?UTF-8//IGNORE?B?Y2Fw?=", "=?UTF-8//IGNORE?B?Y2Fw?="},
        {"bad base64 kept", "=?UTF-8?B?Y2F*?=", "=?UTF-8?B?Y2F*?="},
        {"unknown encoding kept", "=?UTF-8?X?Y2Fw?=", "=?UTF-8?X?Y2Fw?="},
        {"bad Q escape kept", "=?UTF-8?Q?a=G1?=", "=?UTF-8?Q?a=G1?="},
        {"blank inside a word", "=?UTF-8?Q?a b?=", "=?UTF-8?Q?a b?="},
        {"invalid UTF-8 in a word", "=?UTF-8?B?/w==?=", "\xEF\xBF\xBD"},
        {"NUL dropped", "=?UTF-8?B?YQBi?=", "ab"},
        {"empty", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mime::DecodeHeaderValue(c.raw), c.text) << c.name;
}

// What the composer writes (ISO-2022-JP or UTF-8 words, folded) reads back as it was.
TEST(DecodeHeaderValue, ReadsWhatTheComposerWrites) {
    std::string longText;
    for (int i = 0; i < 500; ++i)
        longText += "画";
    for (const std::string& utf8 :
         {std::string("キャプチャ画像"), std::string("Re: 画像"), std::string("ｶﾒﾗ"),
          std::string("漢字テスト123"), std::string("😀 smile"), longText}) {
        mime::HeaderField field("Subject");
        field.AddJapaneseText(utf8, mime::TextRole::Unstructured);
        std::string value = field.Text().substr(std::string("Subject: ").size());
        value.resize(value.size() - 2); // the line end
        EXPECT_EQ(mime::DecodeHeaderValue(value), utf8) << value;
    }
}

TEST(DecodeHeaderValue, TakesTimeInProportionToTheValue) {
    // Starts of words that never end: each must not send a search to the end of the value.
    std::string raw;
    while (raw.size() < 2'000'000)
        raw += "=?a?B?x";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(mime::DecodeHeaderValue(raw), raw);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

} // namespace
