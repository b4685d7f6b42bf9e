// The settings table, row by row: every row's value survives the files and --set/--show-settings,
// its default is the record's, its limits are what --set accepts, and the keys added later stay
// out of a file while they hold their default.

#include "app/settings/SettingsTable.h"

#include "app/report/UiLanguage.h"
#include "app/settings/IniFile.h"
#include "app/settings/SettingsCommands.h"
#include "app/settings/SettingsStore.h"
#include "tests/settings/MessageCapture.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace {

// A value of the row that is not its default, as a word.
std::string OtherWord(const SettingRow& row) {
    const std::string standard = DefaultWord(row);
    switch (row.type) {
    case SettingType::Text:
        switch (row.check) { // a checked text takes only its form
        case SettingCheck::AlertHours:
            return "sat,sun always";
        case SettingCheck::Times:
            return "07:00,12:00";
        case SettingCheck::TimeOfDay:
            return "08:30";
        case SettingCheck::EndOfDay:
            return "23:00";
        case SettingCheck::Days:
            return "mon-fri";
        case SettingCheck::Cameras:
            return "ALL"; // all, in another letter case: no camera needs to be named
        case SettingCheck::Mask:
            return "0,0,50,50";
        case SettingCheck::None:
            break;
        }
        if (row.Has(kPerCamera) && row.key == std::string("ADDRESS"))
            return "rtsp://192.0.2.7/監視カメラ"; // fits every TYPE it may meet here
        return "監視カメラ " + std::string(row.key);
    case SettingType::Secret:
        return "p@ss " + std::string(row.key);
    case SettingType::Number:
    case SettingType::Color:
        return std::to_string(std::to_string(row.high) != standard ? row.high : row.low);
    case SettingType::AddressList:
        return "someone@example.jp";
    default:
        for (const char* word : SettingKeywords(row.type)) {
            if (word != standard)
                return word;
        }
        return {};
    }
}

// The names of a row: an AddressList's every entry; a camera's key of camera 1.
std::vector<std::pair<std::string, int>> Names(const SettingRow& row) {
    if (row.Has(kPerCamera))
        return {{SettingName(row, 1), 1}};
    if (row.type != SettingType::AddressList)
        return {{SettingName(row), 0}};
    std::vector<std::pair<std::string, int>> names;
    for (int i = 1; i <= row.high; ++i)
        names.emplace_back(SettingName(row, i), i);
    return names;
}

class SettingsTableTest : public ::testing::Test {
protected:
    Settings Loaded() {
        Settings settings;
        LoadSettings(settings, m_dir.folder(), m_sink);
        return settings;
    }
    std::string Shown() {
        std::ostringstream out;
        EXPECT_EQ(settingscli::ShowSettings(m_dir.folder(), out, m_err), settingscli::kOk);
        return out.str();
    }
    int Set(const std::vector<std::string>& assignments) {
        m_err.str({});
        return settingscli::SetSettings(m_dir.folder(), assignments, m_err);
    }

    TempDir m_dir;
    MessageCapture m_sink;
    std::ostringstream m_err;
};

TEST_F(SettingsTableTest, NamesAreUniqueAndFoundInAnyLetterCase) {
    std::set<std::string> seen;
    for (const SettingRow& row : SettingRows()) {
        for (const auto& [name, number] : Names(row)) {
            EXPECT_TRUE(seen.insert(name).second) << name;
            std::string lower = name;
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            int found = -1;
            EXPECT_EQ(FindSetting(lower, &found), &row) << name;
            EXPECT_EQ(found, number) << name;
        }
    }
    EXPECT_EQ(seen.size(), settingscli::SettingNames().size());
    for (const char* none : {"MAIL.SEND_ADDRESS", "MAIL.SEND_ADDRESS0", "MAIL.SEND_ADDRESS11",
                             "MAIL.SEND_ADDRESS01", "MAIL.POP3_SERVERX", "POP3_SERVER"})
        EXPECT_EQ(FindSetting(none), nullptr) << none;
}

TEST_F(SettingsTableTest, EveryRowRoundTripsThroughTheFiles) {
    for (const SettingRow& row : SettingRows()) {
        SCOPED_TRACE(SettingName(row));
        if (row.type == SettingType::Store)
            continue; // it moves with the secrets: tests/secrets

        Settings settings;
        const std::string word = OtherWord(row);
        for (const auto& [name, number] : Names(row))
            SetSettingWord(row, settings, word, number);
        ASSERT_TRUE(SaveSettings(settings, m_dir.folder(), m_sink));
        // Loaded twice into one record: the second load replaces values (the list too), never adds.
        Settings loaded = Loaded();
        LoadSettings(loaded, m_dir.folder(), m_sink);
        for (const auto& [name, number] : Names(row))
            EXPECT_EQ(SettingWord(row, loaded, number), word) << name;

        IniFile file(m_dir.folder() + (row.Has(kPerCamera) ? "device.ini" : "setup.ini"));
        ASSERT_TRUE(file.Load());
        const std::string section = SettingSection(row, 1);
        const std::string key = Names(row).front().first.substr(section.size() + 1);
        const std::optional<std::string> stored = file.Find(section, key);
        ASSERT_TRUE(stored);
        // A secret is never stored as it is.
        EXPECT_EQ(*stored == word, row.type != SettingType::Secret);

        // Back at the default: a key added later leaves the file, the others stay.
        ASSERT_TRUE(SaveSettings(Settings{}, m_dir.folder(), m_sink));
        ASSERT_TRUE(file.Load());
        EXPECT_EQ(file.Find(section, key).has_value(),
                  !row.Has(kLater) && row.type != SettingType::AddressList);
    }
    EXPECT_TRUE(m_sink.messages.empty());
}

TEST_F(SettingsTableTest, EveryRowRoundTripsThroughSetAndShow) {
    for (const SettingRow& row : SettingRows()) {
        const std::string word = OtherWord(row);
        for (const auto& [name, number] : Names(row)) {
            SCOPED_TRACE(name);
            if (row.type == SettingType::Secret) {
                // Only from standard input.
                EXPECT_EQ(Set({name + "=" + word}), settingscli::kRefused);
                std::istringstream in(word + "\n");
                // A camera's by its name.
                const std::string account = row.Has(kPerCamera)
                                                ? "camera:" + Loaded().device.cameras[0].name
                                                : std::string(row.account);
                ASSERT_EQ(settingscli::SetPassword(m_dir.folder(), account, in, m_err, false),
                          settingscli::kOk);
                EXPECT_NE(Shown().find(name + "=********\n"), std::string::npos);
                EXPECT_EQ(SettingWord(row, Loaded()), word);
                continue;
            }
            if (row.type == SettingType::Store) { // only with the secrets: --move-secrets
                EXPECT_EQ(Set({name + "=" + word}), settingscli::kRefused);
                EXPECT_NE(Shown().find(name + "=file\n"), std::string::npos);
                continue;
            }
            // IMAP is chosen only with its server.
            ASSERT_EQ(Set({"MAIL.IMAP_SERVER=imap.example.jp", name + "=" + word}),
                      settingscli::kOk)
                << m_err.str();
            EXPECT_NE(Shown().find(name + "=" + word + "\n"), std::string::npos);
            EXPECT_EQ(SettingWord(row, Loaded(), number), word);
        }
    }
}

TEST_F(SettingsTableTest, DefaultsComeFromTheRecord) {
    // No setup.ini yet: a new setup. An empty one: an existing setup that lacks every key.
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "existing setup.ini" : "new setup");
        if (existing)
            TempDir::WriteFile(m_dir.path() / "setup.ini", "");
        const Settings loaded = Loaded();
        const std::string shown = Shown();
        for (const SettingRow& row : SettingRows()) {
            std::string expected =
                !existing && row.newSetupWord ? row.newSetupWord : DefaultWord(row);
            if (row.Has(kPerCamera) && row.key == std::string("NAME"))
                expected = "camera1"; // a camera without a name is called by its number
            if (!existing && &row == &SettingOf("MAIL.LANGUAGE")) // the locale's
                expected = PickUiLanguage(LocaleEnvironment::FromProcess(), {}) == "ja" ? "ja"
                                                                                          : "en";
            EXPECT_EQ(SettingWord(row, loaded, 1), expected) << SettingName(row);
            if (row.type == SettingType::Security && expected.empty())
                expected = "auto";
            if (row.type != SettingType::AddressList) {
                EXPECT_NE(shown.find(SettingName(row) + "=" + expected + "\n"), std::string::npos)
                    << SettingName(row);
            }
        }
    }
}

TEST_F(SettingsTableTest, LimitsComeFromTheRow) {
    for (const SettingRow& row : SettingRows()) {
        if (row.type != SettingType::Number && row.type != SettingType::Color)
            continue;
        SCOPED_TRACE(SettingName(row));
        const std::string name = SettingName(row) + "=";
        EXPECT_EQ(Set({name + std::to_string(row.low)}), settingscli::kOk) << m_err.str();
        EXPECT_EQ(Set({name + std::to_string(row.high)}), settingscli::kOk) << m_err.str();
        EXPECT_EQ(Set({name + std::to_string(row.low - 1)}), settingscli::kRefused);
        EXPECT_EQ(Set({name + std::to_string(row.high + 1)}), settingscli::kRefused);
    }
    // A stored value beyond a clamped row's limits reads as the nearer limit.
    for (const SettingRow& row : SettingRows()) {
        if (!row.Has(kClampWhenRead))
            continue;
        for (const int64_t beyond : {row.low - 1, row.high + 1}) {
            TempDir::WriteFile(m_dir.path() / "setup.ini", "[" + std::string(row.section) +
                                                               "]\r\n" + row.key + "=" +
                                                               std::to_string(beyond) + "\r\n");
            EXPECT_EQ(SettingWord(row, Loaded()),
                      std::to_string(std::clamp(beyond, row.low, row.high)));
        }
    }
}

} // namespace
