// Which language the locale variables pick, as gettext reads them.

#include "app/report/UiLanguage.h"

#include <gtest/gtest.h>

namespace {

TEST(UiLanguage, PickedFromTheLocaleVariables) {
    const std::vector<std::string> translated = {"en", "de"};
    const struct {
        LocaleEnvironment environment; // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
        std::string expected;
        const char* why;
    } cases[] = {
        {{"", "", "", "ja_JP.UTF-8"}, "ja", "a Japanese LANG"},
        {{"", "", "", "en_US.UTF-8"}, "en", "an English LANG"},
        {{"", "", "", "fr_FR.UTF-8"}, "en", "a language without translation falls back to English"},
        {{"", "", "", ""}, "en", "no locale at all"},
        {{"", "", "", "C.UTF-8"}, "en", "the C locale"},
        {{"", "", "", "POSIX"}, "en", "the POSIX locale"},
        {{"", "", "", "de_DE@euro"}, "de", "a modifier after the territory"},
        {{"", "en_GB.UTF-8", "", "ja_JP.UTF-8"}, "en", "LC_ALL over LANG"},
        {{"", "", "ja_JP.eucJP", "en_US.UTF-8"}, "ja", "LC_MESSAGES over LANG"},
        {{"", "en_US.UTF-8", "ja_JP.UTF-8", ""}, "en", "LC_ALL over LC_MESSAGES"},
        {{"ja:en", "", "", "en_US.UTF-8"}, "ja", "LANGUAGE over the locale"},
        {{"fr:ja_JP", "", "", "en_US.UTF-8"}, "ja", "the first LANGUAGE entry there is"},
        {{"fr:it", "", "", "ja_JP.UTF-8"}, "ja", "no LANGUAGE entry there: the locale"},
        {{"ja", "C", "", ""}, "en", "LANGUAGE is ignored under the C locale"},
        {{"ja", "", "", ""}, "en", "LANGUAGE without any locale"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PickUiLanguage(c.environment, translated), c.expected) << c.why;
}

} // namespace
