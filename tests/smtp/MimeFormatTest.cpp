#include "mail/MimeFormat.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <regex>

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
        {0, "Date: Sun, 6 Dec 2026 15:47:44 -0000"},
        {330, "Date: Sun, 6 Dec 2026 15:47:44 -0530"},
        {-345, "Date: Sun, 6 Dec 2026 15:47:44 +0545"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mime::FormatDateLine(Sunday6Dec2026(), c.bias), c.expected) << c.bias;
}

TEST(MimeFormat, DateLineOfNowFollowsTheLocalZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    const std::string line = mime::FormatDateLine();
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    EXPECT_TRUE(std::regex_match(
        line, std::regex(R"(Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), \d{1,2} [A-Z][a-z]{2} \d{4} )"
                         R"(\d\d:\d\d:\d\d \+0900)")))
        << line;
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

TEST(MimeFormat, SystemTableKnowsJpeg) {
    EXPECT_EQ(mime::LookupContentType("snap.jpg"), "image/jpeg");
}

TEST(MimeFormat, HeaderTextIsEncodedByItsShareOfExtendedBytes) {
    // 1 extended byte in 10 (10 %) gives Q, 2 in 10 (20 %) gives B.
    EXPECT_EQ(mime::EncodeHeaderText("Plain Name", "iso-8859-1"), "Plain Name");
    EXPECT_EQ(mime::EncodeHeaderText("Ren\xE9 Abcd", "iso-8859-1"),
              "=?iso-8859-1?Q?Ren=E9=20Abcd?=");
    EXPECT_EQ(mime::EncodeHeaderText("R\xE9n\xE9 Abcd", "iso-8859-1"),
              "=?iso-8859-1?B?Uulu6SBBYmNk?=");
}

TEST(MimeFormat, RecipientListIsFoldedAfterEveryComma) {
    EXPECT_EQ(mime::FoldRecipientList("<a@x>, <b@y>,<c@z>"), "<a@x>,\r\n\t<b@y>,\r\n\t<c@z>");
    EXPECT_EQ(mime::FoldRecipientList("<a@x>"), "<a@x>");
}

TEST(MimeFormat, UnsafeTextsAreRecognised) {
    EXPECT_TRUE(mime::IsSafeAddress("user@example.test"));
    EXPECT_TRUE(mime::IsSafeAddress(""));
    for (const char* bad : {"a@b\r\nRCPT TO:<c@d>", "a@b\n", "a@b\r", "a>b@c", "<a@b"})
        EXPECT_FALSE(mime::IsSafeAddress(bad)) << bad;
    EXPECT_FALSE(mime::IsSafeAddress(std::string_view("a\0b", 3)));
    EXPECT_EQ(mime::StripLineBreaks("Hi\r\nBcc: x\n"), "HiBcc: x");
}

TEST(MimeFormat, DisplayNamesCannotSplitTheAddressList) {
    struct Case {
        const char* name;
        bool alwaysQuote;
        const char* expected;
    };
    const Case cases[] = {
        {"Camera Name", false, "Camera Name"},
        {"Camera Name", true, "\"Camera Name\""},
        {"Camera, Inc.", false, "\"Camera, Inc.\""},
        {"Say \"Hi\" <x>", false, "\"Say \\\"Hi\\\" <x>\""},
        // 1 extended byte in 11: a Q word, but its ',' would split the list, so B.
        {"Ren\xE9, Smith", false, "=?iso-8859-1?B?UmVu6SwgU21pdGg=?="},
        {"Ren\xE9-Smith", false, "=?iso-8859-1?Q?Ren=E9-Smith?="},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mime::EncodeDisplayName(c.name, "iso-8859-1", c.alwaysQuote), c.expected)
            << c.name;
}

} // namespace
