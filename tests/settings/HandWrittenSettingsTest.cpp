// setup.ini as a user writes it with a Linux editor (UTF-8), values too long to read whole, and
// values nobody changed: what is read, what a save writes back, and what is reported.

#include "app/settings/IniFile.h"
#include "app/settings/SettingsStore.h"
#include "mail/text/TextCodec.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::string kBom = "\xEF\xBB\xBF";

class HandWrittenSettingsTest : public ::testing::Test {
protected:
    std::string Setup() const { return TempDir::ReadFile(m_dir.path() / "setup.ini"); }
    void PutSetup(const std::string& bytes) const {
        TempDir::WriteFile(m_dir.path() / "setup.ini", bytes);
        // Private, as the program keeps it: a file others may read is a case of its own.
        std::filesystem::permissions(m_dir.path() / "setup.ini",
                                     std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write);
    }
    // Loads and saves as every start of the program does; returns the reported lines.
    std::vector<std::string> LoadAndSave(Settings& settings) {
        std::vector<std::string> notes = LoadSettings(settings, m_dir.folder(), m_sink);
        EXPECT_TRUE(SaveSettings(settings, m_dir.folder(), m_sink));
        return notes;
    }

    TempDir m_dir;
    MessageCapture m_sink;
};

struct EncodingCase {
    const char* name;
    std::string file;      // setup.ini as written by hand
    bool readAsUtf8;       // how it is read
    std::string fontName;  // FONT_NAME read from it
};

void PrintTo(const EncodingCase& c, std::ostream* os) {
    *os << c.name;
}

class FileEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(FileEncoding, IsTakenFromTheBytes) {
    IniFile file("unused.ini");
    file.Parse(GetParam().file);
    EXPECT_EQ(file.readAsUtf8(), GetParam().readAsUtf8);
    EXPECT_EQ(file.ReadString("TIMETEXT", "FONT_NAME", ""), GetParam().fontName);
}

INSTANTIATE_TEST_SUITE_P(
    HandWritten, FileEncoding,
    ::testing::Values(
        EncodingCase{"utf8", "[TIMETEXT]\nFONT_NAME=ＭＳ ゴシック\n", true, "ＭＳ ゴシック"},
        EncodingCase{"utf8_with_mark", kBom + "[TIMETEXT]\r\nFONT_NAME=IPAGothic\r\n", true,
                     "IPAGothic"},
        EncodingCase{"code_page_932", text::Utf8ToSjis("[TIMETEXT]\r\nFONT_NAME=ＭＳ ゴシック\r\n"),
                     false, "ＭＳ ゴシック"},
        EncodingCase{"ascii", "[TIMETEXT]\r\nFONT_NAME=IPAGothic\r\n", false, "IPAGothic"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HandWrittenSettingsTest, Utf8FileIsReadWholeAndWrittenBackInCodePage932) {
    PutSetup("[MAIL]\nSENDER_NAME=監視カメラ「窓辺」\n[TIMETEXT]\nFONT_NAME=ＭＳ ゴシック\n");
    Settings settings;
    EXPECT_TRUE(LoadAndSave(settings).empty());
    EXPECT_EQ(settings.mail.senderName, "監視カメラ「窓辺」");
    EXPECT_EQ(settings.timeText.fontName, "ＭＳ ゴシック");
    const std::string saved = Setup();
    EXPECT_NE(saved.find(text::Utf8ToSjis("SENDER_NAME=監視カメラ「窓辺」")), std::string::npos);
    EXPECT_NE(saved.find(text::Utf8ToSjis("FONT_NAME=ＭＳ ゴシック")), std::string::npos);
    EXPECT_EQ(saved.find('?'), std::string::npos);
    Settings again;
    LoadSettings(again, m_dir.folder(), m_sink);
    EXPECT_EQ(again.mail.senderName, settings.mail.senderName);
}

TEST_F(HandWrittenSettingsTest, CharacterCodePage932LacksKeepsTheFileUtf8AndIsReportedOnce) {
    PutSetup("[MAIL]\nSENDER_NAME=カメラ 📷\nCHECK_STRING=写真\n");
    Settings settings;
    const std::vector<std::string> notes = LoadAndSave(settings);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("SENDER_NAME"), std::string::npos);
    EXPECT_EQ(settings.mail.senderName, "カメラ 📷");
    const std::string saved = Setup();
    EXPECT_EQ(saved.substr(0, 3), kBom);
    EXPECT_NE(saved.find("SENDER_NAME=カメラ 📷\n"), std::string::npos);
    Settings again;
    EXPECT_EQ(LoadAndSave(again).size(), 1u); // reported at every start, once
    EXPECT_EQ(again.mail.senderName, "カメラ 📷");
    EXPECT_EQ(again.mail.checkString, "写真");
}

TEST_F(HandWrittenSettingsTest, ValuesThatCannotBeReadWholeStayAsTheyStand) {
    const std::string longValue(100 * 1024, 'x');
    const struct {
        const char* key;
        std::string stored; // bytes of the value in a code page 932 file
    } cases[] = {
        {"SENDER_NAME", longValue},
        {"SENDER_ADDRESS", "\xFF\xFE camera@example.com"}, // bytes that are no text
        {"CHECK_STRING", std::string("cap\0tail", 8)},
    };
    std::string file = "[MAIL]\r\n";
    for (const auto& c : cases)
        file += std::string(c.key) + "=" + c.stored + "\r\n";
    PutSetup(file);
    Settings settings;
    const std::vector<std::string> notes = LoadAndSave(settings);
    EXPECT_EQ(notes.size(), std::size(cases));
    EXPECT_EQ(settings.mail.senderName.size(), IniFile::kMaxValueBytes);
    const std::string saved = Setup();
    for (const auto& c : cases)
        EXPECT_NE(saved.find(std::string(c.key) + "=" + c.stored + "\r\n"), std::string::npos)
            << c.key;
}

TEST_F(HandWrittenSettingsTest, AChangedValueReplacesAValueThatWasNotReadWhole) {
    PutSetup("[MAIL]\r\nSENDER_NAME=" + std::string(5000, 'y') + "\r\n");
    Settings settings;
    LoadSettings(settings, m_dir.folder(), m_sink);
    settings.mail.senderName = "カメラ";
    ASSERT_TRUE(SaveSettings(settings, m_dir.folder(), m_sink));
    Settings again;
    EXPECT_TRUE(LoadSettings(again, m_dir.folder(), m_sink).empty());
    EXPECT_EQ(again.mail.senderName, "カメラ");
}

TEST_F(HandWrittenSettingsTest, StoredPasswordThatDeciphersToThePasswordIsNotRewritten) {
    Settings settings;
    settings.mail.pop3Pass = "secret";
    ASSERT_TRUE(SaveSettings(settings, m_dir.folder(), m_sink));
    // The same password stored with a stray blank after it: read the same, kept as it stands.
    std::string setup = Setup();
    const std::size_t end = setup.find("\r\n", setup.find("POP3_PASS="));
    setup.insert(end, " ");
    PutSetup(setup);
    Settings loaded;
    LoadAndSave(loaded);
    EXPECT_EQ(loaded.mail.pop3Pass, "secret");
    EXPECT_EQ(Setup(), setup);
}

} // namespace
