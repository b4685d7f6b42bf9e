#include "mail/text/AsciiCase.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Only ASCII letters change, whatever the locale: Latin-1 and UTF-8 bytes stay as they are.
TEST(AsciiCase, ChangesOnlyAsciiLetters) {
    struct Case {
        std::string text, lower, upper;
    };
    const std::vector<Case> cases = {
        {"", "", ""},
        {"ISO-2022-JP", "iso-2022-jp", "ISO-2022-JP"},
        {"Shift_JIS", "shift_jis", "SHIFT_JIS"},
        {"@[`{", "@[`{", "@[`{"},
        {"\xC0\xE9\xFF", "\xC0\xE9\xFF", "\xC0\xE9\xFF"},
        {"画像Ab", "画像ab", "画像AB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ascii::Lower(c.text), c.lower) << c.text;
        EXPECT_EQ(ascii::Upper(c.text), c.upper) << c.text;
        EXPECT_TRUE(ascii::EqualNoCase(c.lower, c.upper)) << c.text;
    }
}

} // namespace
