#include "app/settings/IniFile.h"

#include "tests/support/TempDir.h"

#include <climits>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    std::string Path() const { return m_dir.folder() + "setup.ini"; }
    std::string Bytes() const { return TempDir::ReadFile(Path()); }
    void Put(const std::string& bytes) const { TempDir::WriteFile(Path(), bytes); }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir.path()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    TempDir m_dir;
};

TEST_F(IniFileTest, MissingFileReadsDefaultsAndIsNotCreatedByReadingOrDeleting) {
    EXPECT_EQ(profile::ReadString("MAIL", "POP3_ID", "dflt", Path()), "dflt");
    EXPECT_EQ(profile::ReadInt("MAIL", "POP3_PORT", 110, Path()), 110);
    EXPECT_TRUE(profile::DeleteKey("MAIL", "POP3_ID", Path()));
    EXPECT_FALSE(fs::exists(Path()));
}

TEST_F(IniFileTest, WritesCreateFileSectionsAndKeysInPlace) {
    ASSERT_TRUE(profile::WriteString("APPLICATION", "LOGFILE", "off", Path()));
    ASSERT_TRUE(profile::WriteString("MAIL", "POP3_ID", "taro", Path()));
    ASSERT_TRUE(profile::WriteString("APPLICATION", "JPEG_QUALITY", "50", Path()));
    ASSERT_TRUE(profile::WriteString("APPLICATION", "LOGFILE", "on", Path()));
    EXPECT_EQ(Bytes(), "[APPLICATION]\r\nLOGFILE=on\r\nJPEG_QUALITY=50\r\n"
                       "\r\n[MAIL]\r\nPOP3_ID=taro\r\n");
    ASSERT_TRUE(profile::DeleteKey("APPLICATION", "LOGFILE", Path()));
    EXPECT_EQ(Bytes(), "[APPLICATION]\r\nJPEG_QUALITY=50\r\n\r\n[MAIL]\r\nPOP3_ID=taro\r\n");
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndKeepTheFileSpelling) {
    Put("[Mail]\r\npop3_id = jiro \r\n");
    EXPECT_EQ(profile::ReadString("MAIL", "POP3_ID", "", Path()), "jiro");
    ASSERT_TRUE(profile::WriteString("MAIL", "POP3_ID", "saburo", Path()));
    EXPECT_EQ(Bytes(), "[Mail]\r\npop3_id=saburo\r\n");
}

TEST_F(IniFileTest, DoubleByteNamesMatchExactly) {
    // The second bytes of ア (83 41) and ヂ (83 61) are "A" and "a": they must not fold.
    IniFile file(Path());
    file.Write("S", "ア", "1");
    EXPECT_EQ(file.ReadString("S", "ヂ", "none"), "none");
    EXPECT_EQ(file.ReadString("s", "ア", "none"), "1");
    // ゾ (83 5D) ends in "]" and must not end a section name.
    file.Write("ゾ名", "K", "v");
    EXPECT_EQ(file.ReadString("ゾ名", "K", ""), "v");
    EXPECT_EQ(file.Serialize(), "[S]\r\n\x83\x41=1\r\n\r\n[\x83\x5D\x96\xBC]\r\nK=v\r\n");
}

TEST_F(IniFileTest, NumbersReadLikeTheProfileFunctions) {
    struct Case {
        const char* value;
        int32_t expected;
    };
    const Case cases[] = {
        {"42", 42},
        {"  -7", -7},
        {"+5", 5},
        {"12abc", 12},
        {"abc", 0},
        {"", 99}, // empty: the default
        {"0x1F", 0},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
    };
    IniFile file(Path());
    for (const Case& c : cases) {
        file.Write("N", "V", c.value);
        EXPECT_EQ(file.ReadInt("N", "V", 99), c.expected) << '"' << c.value << '"';
    }
    EXPECT_EQ(file.ReadInt("N", "MISSING", 99), 99);

    file.Write("N", "C", "-1");
    EXPECT_EQ(file.ReadUInt32("N", "C", 5), 0xFFFFFFFFu);
    file.Write("N", "C", "4294967295");
    EXPECT_EQ(file.ReadUInt32("N", "C", 5), 0xFFFFFFFFu);
    file.Write("N", "C", "16744512");
    EXPECT_EQ(file.ReadUInt32("N", "C", 5), 0xFF8040u);
}

TEST_F(IniFileTest, LongValuesAreCutAt1023BytesBetweenCharacters) {
    std::string japanese;
    for (int i = 0; i < 600; ++i)
        japanese += "あ"; // two bytes each in code page 932
    IniFile file(Path());
    file.Write("T", "ODD", "a" + japanese);
    file.Write("T", "EVEN", "aa" + japanese);
    std::string odd = file.ReadString("T", "ODD", "");
    std::string even = file.ReadString("T", "EVEN", "");
    EXPECT_EQ(odd, "a" + japanese.substr(0, 511 * 3));   // 1 + 511 × 2 = 1023 bytes
    EXPECT_EQ(even, "aa" + japanese.substr(0, 510 * 3)); // 2 + 510 × 2 = 1022, never half
}

TEST_F(IniFileTest, UnparseableLinesAndLineEndingsAreKept) {
    const std::string before = "stray text\n"
                               "; a comment\r\n"
                               "[MAIL]\n"
                               "=no key\n"
                               "[unterminated\n"
                               "\xFF\xFE\x81\n"
                               "POP3_ID=old\n"
                               "\n"
                               "[OTHER]\r\n"
                               "X=1"; // no line ending at the end
    Put(before);
    ASSERT_TRUE(profile::WriteString("MAIL", "POP3_ID", "new", Path()));
    ASSERT_TRUE(profile::WriteString("MAIL", "CHECK_STRING", "cap", Path()));
    ASSERT_TRUE(profile::WriteString("OTHER", "Y", "2", Path()));
    EXPECT_EQ(Bytes(), "stray text\n"
                       "; a comment\r\n"
                       "[MAIL]\n"
                       "=no key\n"
                       "[unterminated\n"
                       "\xFF\xFE\x81\n"
                       "POP3_ID=new\n"
                       "CHECK_STRING=cap\r\n"
                       "\n"
                       "[OTHER]\r\n"
                       "X=1\r\n"
                       "Y=2\r\n");
}

TEST_F(IniFileTest, RandomBytesNeverCrashAndSurviveAWrite) {
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(random() % 200, '\0');
        for (char& c : bytes)
            c = "[]=;\r\n aZ\x81\x5D\xFF"[random() % 13];
        IniFile file(Path());
        file.Parse(bytes);
        file.ReadString("A", "B", "");
        file.Write("A", "B", "c");
        IniFile again(Path());
        again.Parse(file.Serialize());
        EXPECT_EQ(again.ReadString("A", "B", ""), "c") << testing::PrintToString(bytes);
    }
}

TEST_F(IniFileTest, NulByteEndsAValueAsItEndsAWrittenOne) {
    IniFile file(Path());
    file.Parse(std::string("[DEVICE]\r\nSELECT=USB Cam\0era\r\nWIDTH=6\0 40\r\n"
                           "NAME=USB \t\0Cam\r\n",
                           59));
    EXPECT_EQ(file.ReadString("DEVICE", "SELECT", ""), "USB Cam");
    EXPECT_EQ(file.ReadInt("DEVICE", "WIDTH", 0), 6);
    EXPECT_EQ(file.ReadString("DEVICE", "NAME", ""), "USB");
    file.Write("DEVICE", "SELECT", file.ReadString("DEVICE", "SELECT", ""));
    EXPECT_EQ(file.ReadString("DEVICE", "SELECT", ""), "USB Cam");
}

TEST_F(IniFileTest, LineBreaksInAValueCannotStartALine) {
    IniFile file(Path());
    file.Write("MAIL", "SENDER_NAME", "x\r\n[MAIL]\r\nPOP3_SERVER=evil");
    EXPECT_EQ(file.Serialize(), "[MAIL]\r\nSENDER_NAME=x  [MAIL]  POP3_SERVER=evil\r\n");
    EXPECT_EQ(file.ReadString("MAIL", "POP3_SERVER", "none"), "none");
}

TEST_F(IniFileTest, AFileIsReadInTheEncodingItWasWrittenIn) {
    IniFile file(Path());
    file.Parse("[MAIL]\r\nSENDER_NAME=\xEF\xBB\xBF\xE5\x89\xB5\r\n");
    ASSERT_TRUE(file.readAsUtf8());
    file.Write("MAIL", "CHECK_STRING", "cap\xEF");
    IniFile again(Path());
    again.Parse(file.Serialize());
    EXPECT_TRUE(again.readAsUtf8());
    EXPECT_EQ(again.ReadString("MAIL", "CHECK_STRING", ""), "cap\xEF\xBF\xBD");
    EXPECT_EQ(again.ReadString("MAIL", "SENDER_NAME", ""), "\xEF\xBB\xBF\xE5\x89\xB5");

    // The other way: a code page 932 file left with bytes that form UTF-8 ("ﾃｨ" is C3 A8).
    IniFile sjis(Path());
    sjis.Parse("[MAIL]\r\nSENDER_NAME=\x83\x4A\x83\x81\x83\x89\r\n");
    ASSERT_FALSE(sjis.readAsUtf8());
    sjis.Write("MAIL", "SENDER_NAME", "\xEF\xBE\x83\xEF\xBD\xA8");
    IniFile reread(Path());
    reread.Parse(sjis.Serialize());
    EXPECT_EQ(reread.ReadString("MAIL", "SENDER_NAME", ""), "\xEF\xBE\x83\xEF\xBD\xA8");
}

TEST_F(IniFileTest, InterruptedSaveLeavesTheOldFileAndNoTemporaryFile) {
    const std::string original = "[MAIL]\r\nPOP3_ID=old\r\n";
    for (auto step : {IniFile::SaveStep::TempCreated, IniFile::SaveStep::TempWritten,
                      IniFile::SaveStep::TempSynced, IniFile::SaveStep::BeforeRename}) {
        Put(original);
        IniFile::SetSaveFaultHookForTesting([step](IniFile::SaveStep at) { return at != step; });
        EXPECT_FALSE(profile::WriteString("MAIL", "POP3_ID", "new", Path()));
        IniFile::SetSaveFaultHookForTesting({});
        EXPECT_EQ(Bytes(), original) << static_cast<int>(step);
        EXPECT_EQ(FolderEntries(), std::vector<std::string>{"setup.ini"});
    }
    EXPECT_TRUE(profile::WriteString("MAIL", "POP3_ID", "new", Path()));
    EXPECT_EQ(Bytes(), "[MAIL]\r\nPOP3_ID=new\r\n");
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"setup.ini"});
}

TEST_F(IniFileTest, UnreadableFileIsNeverReplaced) {
    fs::create_directory(Path()); // exists, cannot be read as a file
    EXPECT_FALSE(profile::WriteString("MAIL", "POP3_ID", "new", Path()));
    EXPECT_TRUE(fs::is_directory(Path()));
}

// A link in the file's place is not followed (tests/settings/PrivateFilesTest.cpp).
TEST_F(IniFileTest, SaveKeepsPermissions) {
    TempDir::WriteFile(Path(), "[A]\r\nK=1\r\n");
    fs::permissions(Path(), fs::perms(0640));
    ASSERT_TRUE(profile::WriteString("A", "K", "2", Path()));
    EXPECT_EQ(TempDir::ReadFile(Path()), "[A]\r\nK=2\r\n");
    EXPECT_EQ(fs::status(Path()).permissions() & fs::perms::all, fs::perms(0640));
}

} // namespace
