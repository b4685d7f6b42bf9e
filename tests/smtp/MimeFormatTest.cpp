#include "mail/mime/MimeFormat.h"

#include "mail/mime/MailAddress.h"
#include "mail/mime/MimeHeaderField.h"
#include "mail/text/HeaderDecoder.h"
#include "mail/text/JisHeaderEncoder.h"
#include "mail/text/TextCodec.h"
#include "tests/smtp/SmtpTestUtil.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

namespace {

std::tm Sunday6Dec2026() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 6;
    t.tm_wday = 0;
    t.tm_hour = 15;
    t.tm_min = 47;
    t.tm_sec = 44;
    return t;
}

TEST(MimeFormat, DateLineWritesTheZoneOffset) {
    struct Case {
        long bias;
        const char* expected;
    };
    const Case cases[] = {
        {-540, "Date: Sun, 6 Dec 2026 15:47:44 +0900"},
        {0, "Date: Sun, 6 Dec 2026 15:47:44 +0000"},
        {330, "Date: Sun, 6 Dec 2026 15:47:44 -0530"},
        {-345, "Date: Sun, 6 Dec 2026 15:47:44 +0545"},
        {30, "Date: Sun, 6 Dec 2026 15:47:44 -0030"},
        {-30, "Date: Sun, 6 Dec 2026 15:47:44 +0030"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mime::FormatDateLine(Sunday6Dec2026(), c.bias), c.expected) << c.bias;
}

// The Date line of now in the zone TZ names; TZ is put back afterwards.
std::string DateLineIn(const char* zone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", zone, 1);
    ::tzset();
    const std::string line = mime::FormatDateLine();
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    return line;
}

TEST(MimeFormat, DateLineOfNowFollowsTheLocalZone) {
    struct Case {
        const char* zone; // POSIX TZ: the offset is west of UTC, the other way round
        const char* offset;
    };
    const Case cases[] = {
        {"UTC0", "+0000"}, // UTC is a known zone, never "-0000"
        {"JST-9", "+0900"},    {"Asia/Tokyo", "+0900"},  {"EST5", "-0500"},
        {"IST-5:30", "+0530"}, {"<-0030>0:30", "-0030"}, // under an hour west: the sign still says
                                                         // west
    };
    const std::regex shape(R"(Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), \d{1,2} [A-Z][a-z]{2} \d{4} )"
                           R"(\d\d:\d\d:\d\d [+-]\d{4})");
    for (const Case& c : cases) {
        const std::string line = DateLineIn(c.zone);
        EXPECT_TRUE(std::regex_match(line, shape)) << c.zone << ": " << line;
        EXPECT_EQ(line.substr(line.size() - 5), c.offset) << c.zone << ": " << line;
    }
}

TEST(MimeFormat, BoundaryHasThirtyTwoCharacters) {
    const std::regex shape(R"(------=_Next_Part_\d{10}\.\d{3})");
    for (int i = 0; i < 20; ++i) {
        const std::string boundary = mime::MakeBoundary();
        EXPECT_EQ(boundary.size(), 32u);
        EXPECT_TRUE(std::regex_match(boundary, shape)) << boundary;
    }
}

TEST(MimeFormat, ContentTypeComesFromTheMimeTypesTable) {
    TempDir dir;
    const auto table = dir.path() / "mime.types";
    TempDir::WriteFile(table, "# comment jpg\n"
                              "image/jpeg\t\tjpeg jpg jpe\n"
                              "text/plain  txt\n"
                              "application/x-empty\n");
    const struct {
        const char* path;
        const char* type;
    } cases[] = {
        {"/tmp/x/20261206154744.jpg", "image/jpeg"},
        {"PICTURE.JPG", "image/jpeg"},
        {"notes.txt", "text/plain"},
        {"archive.unknownext", "application/octet-stream"},
        {"no_extension", "application/octet-stream"},
        {"dir.d/no_extension", "application/octet-stream"},
        {"trailing.", "application/octet-stream"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mime::LookupContentType(c.path, table.string()), c.type) << c.path;
    EXPECT_EQ(mime::LookupContentType("a.jpg", (dir.path() / "missing").string()),
              "application/octet-stream");
}

TEST(MimeFormat, MimeTypesTableIsReadOnce) {
    // The first type listed for an extension wins; a later change of the file is not read.
    TempDir dir;
    const auto table = dir.path() / "mime.types";
    TempDir::WriteFile(table, "image/jpeg jpg\nimage/x-other jpg png\n");
    EXPECT_EQ(mime::LookupContentType("a.jpg", table.string()), "image/jpeg");
    TempDir::WriteFile(table, "text/plain jpg png\n");
    EXPECT_EQ(mime::LookupContentType("a.jpg", table.string()), "image/jpeg");
    EXPECT_EQ(mime::LookupContentType("a.png", table.string()), "image/x-other");
}

TEST(MimeFormat, SystemTableKnowsJpeg) {
    EXPECT_EQ(mime::LookupContentType("snap.jpg"), "image/jpeg");
}

TEST(HeaderField, TextIsEncodedByItsShareOfExtendedBytesAndNamesAreQuotedWhereNeeded) {
    // 1 extended byte in 10 (10 %) gives Q, 2 in 10 (20 %) gives B; in a phrase, a Q word that
    // would hold a character a phrase may not hold becomes B.
    struct Case {
        mime::TextRole role;
        const char* text;
        const char* value;
    };
    using enum mime::TextRole;
    const Case cases[] = {
        {Unstructured, "Plain Name", "Plain Name"},
        {Unstructured, "Ren\xE9 Abcd", "=?iso-8859-1?Q?Ren=E9=20Abcd?="},
        {Unstructured, "R\xE9n\xE9 Abcd", "=?iso-8859-1?B?Uulu6SBBYmNk?="},
        {Unstructured, "a =?x?Q?y?= b", "=?iso-8859-1?Q?a=20=3D=3Fx=3FQ=3Fy=3F=3D=20b?="},
        {Phrase, "Camera Name", "Camera Name"},
        {Phrase, "Camera, Inc.", "\"Camera, Inc.\""},
        {Phrase, "Say \"Hi\" <x>", "\"Say \\\"Hi\\\" <x>\""},
        {Phrase, "Ren\xE9, Smith", "=?iso-8859-1?B?UmVu6SwgU21pdGg=?="},
        {Phrase, "Ren\xE9-Smith", "=?iso-8859-1?Q?Ren=E9-Smith?="},
    };
    for (const Case& c : cases) {
        mime::HeaderField field("X");
        field.AddText(c.text, "iso-8859-1", c.role);
        EXPECT_EQ(field.Text(), std::string("X: ") + c.value + "\r\n") << c.text;
    }
}

TEST(HeaderField, LongTextsFoldIntoShortLinesAndDecodeBackWhole) {
    std::string japanese, emoji;
    for (int i = 0; i < 60; ++i) {
        japanese += "監視カメラ玄関";
        emoji += "a😀";
    }
    const std::string latin1 = std::string(300, 'x') + "\xE9";
    struct Case {
        const char* name;
        std::string text;
        std::string charset; // empty: AddJapaneseText
    };
    const Case cases[] = {
        {"over 1000 bytes of kanji", japanese, ""},
        {"beyond code page 932: UTF-8 words", emoji, ""},
        {"shift_jis words split between characters", text::Utf8ToSjis(japanese), "shift_jis"},
        {"single-byte Q words", latin1, "iso-8859-1"},
        {"plain words", std::string(200, 'w') + " " + std::string(70, 'v') + " end", ""},
        {"many short words",
         [] {
             std::string s;
             for (int i = 0; i < 300; ++i)
                 s += "word" + std::to_string(i) + " ";
             return s.substr(0, s.size() - 1);
         }(),
         ""},
    };
    for (const Case& c : cases) {
        mime::HeaderField field("Subject");
        if (c.charset.empty())
            field.AddJapaneseText(c.text, mime::TextRole::Unstructured);
        else
            field.AddText(c.text, c.charset, mime::TextRole::Unstructured);
        field.AddToken("<camera@example.com>");
        const std::string all = field.Text();
        std::string unfolded;
        for (const std::string& line : SplitCrLf(all)) {
            EXPECT_LE(line.size(), mime::HeaderField::kFoldWidth) << c.name << ": " << line;
            unfolded += line;
        }
        std::istringstream tokens(unfolded);
        for (std::string token; tokens >> token;)
            EXPECT_LE(token.size(), mime::HeaderField::kMaxWordLength) << c.name;
        const std::string expected = c.charset == "shift_jis" || c.charset == "iso-8859-1"
                                         ? text::CharsetToUtf8(c.text, c.charset).value()
                                         : c.text;
        EXPECT_EQ(mime::DecodeHeaderValue(unfolded.substr(9)), expected + " <camera@example.com>")
            << c.name;
    }
}

TEST(HeaderField, ATokenLongerThanALineBreaksTheLineLimit) {
    mime::HeaderField field("To");
    field.AddToken("<" + std::string(990, 'a') + "@example.com>");
    EXPECT_FALSE(field.FitsLineLimit());
    mime::HeaderField shorter("To");
    shorter.AddToken("<" + std::string(900, 'a') + "@example.com>");
    EXPECT_TRUE(shorter.FitsLineLimit());
}

TEST(MimeFormat, MessageIdsAreUniqueAndStandAtTheSendersDomain) {
    const std::regex shape(R"(<\d{14}\.[0-9a-f]{16}\.\d+@([^>]+)>)");
    const struct {
        const char* sender;
        const char* domain; // nullptr: this host's name or localhost.localdomain
    } cases[] = {
        {"camera@example.com", "example.com"}, {"camera@Sub.Example.JP", "Sub.Example.JP"},
        {"camera@[192.0.2.1]", "[192.0.2.1]"}, {"no-domain", nullptr},
        {"camera@bad domain>", nullptr},
    };
    std::set<std::string> seen;
    for (const auto& c : cases) {
        for (int i = 0; i < 200; ++i) {
            const std::string id = mime::MakeMessageId(c.sender);
            std::smatch match;
            ASSERT_TRUE(std::regex_match(id, match, shape)) << id;
            if (c.domain)
                EXPECT_EQ(match[1], c.domain);
            else
                EXPECT_TRUE(mailbox::IsPlainAddress("id@" + match[1].str())) << id;
            EXPECT_TRUE(seen.insert(id).second) << id;
        }
    }
}

TEST(MimeFormat, TextBodyTakesASevenBitFormWhereEightBitsCannotGo) {
    const std::string sjis = text::Utf8ToSjis("画像です\r\n.終");
    const std::string jis = "\x1B$B2hA|$G$9\x1B(B\r\n.\x1B$B=*\x1B(B";
    struct Case {
        const char* name;
        std::string bytes;
        const char* charset;
        bool eightBit;
        mime::TextBody expected;
    };
    const Case cases[] = {
        {"8-bit server", sjis, "shift_jis", true, {"shift_jis", "8bit", sjis}},
        {"Shift_JIS as ISO-2022-JP", sjis, "shift_jis", false, {"ISO-2022-JP", "7bit", jis}},
        {"ASCII as it is", "a\nb", "shift_jis", false, {"shift_jis", "7bit", "a\r\nb"}},
        {"half-width katakana as base64",
         "\xB6\xD2\xD7",
         "shift_jis",
         false,
         {"shift_jis", "base64", "ttLX"}},
        {"Latin-1 as base64", "caf\xE9", "iso-8859-1", false, {"iso-8859-1", "base64", "Y2Fm6Q=="}},
    };
    for (const Case& c : cases) {
        const mime::TextBody body = mime::EncodeTextBody(c.bytes, c.charset, c.eightBit);
        EXPECT_EQ(body.charset, c.expected.charset) << c.name;
        EXPECT_EQ(body.transferEncoding, c.expected.transferEncoding) << c.name;
        EXPECT_EQ(body.lines, c.expected.lines) << c.name;
    }

    // A line of 2000 kanji: 7-bit lines within 998 bytes that read back as the whole text.
    std::string kanji;
    for (int i = 0; i < 1000; ++i)
        kanji += text::Utf8ToSjis(i % 2 ? "字" : "画a");
    const mime::TextBody body = mime::EncodeTextBody(kanji, "shift_jis", false);
    std::string joined;
    for (const std::string& line : SplitCrLf(body.lines)) {
        EXPECT_LE(line.size(), 998u);
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; }));
        joined += CJisHeaderEncoder::DecodeMailText(line);
    }
    EXPECT_EQ(joined, kanji);
}

TEST(MimeFormat, UnsafeTextsAreRecognised) {
    EXPECT_TRUE(mime::IsSafeAddress("user@example.test"));
    EXPECT_TRUE(mime::IsSafeAddress(""));
    for (const char* bad : {"a@b\r\nRCPT TO:<c@d>", "a@b\n", "a@b\r", "a>b@c", "<a@b"})
        EXPECT_FALSE(mime::IsSafeAddress(bad)) << bad;
    EXPECT_FALSE(mime::IsSafeAddress(std::string_view("a\0b", 3)));
    EXPECT_EQ(mime::StripLineBreaks("Hi\r\nBcc: x\n"), "HiBcc: x");
}

} // namespace
