#include "app/settings/SettingsStore.h"

#include "app/report/FaultNotices.h"
#include "app/settings/IniFile.h"
#include "app/settings/Keyring.h"
#include "app/settings/PasswordCipher.h"
#include "app/settings/SettingsTable.h"
#include "base/PrivateFile.h"
#include "mail/net/MailError.h"
#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

// The stored form of a secret: enciphered, the empty text for an empty one.
std::string StoredSecret(const std::string& secret, IMessageSink& sink) {
    return secret.empty() ? std::string() : EncipherPassword(secret, sink);
}

// A stored secret that deciphers to the one in memory stays as it stands (also one whose
// stored text was cut when read: it is not rewritten from the cut text).
void WriteSecret(IniFile& file, const SettingRow& row, const std::string& secret,
                 IMessageSink& sink) {
    struct : IMessageSink {
        void ShowMessage(const std::string&) override {}
    } quiet;
    const std::string stored = file.ReadString(row.section, row.key, "");
    if (!stored.empty() && !secret.empty() && DecipherPassword(stored, quiet) == secret)
        return;
    if (row.Has(kLater) && secret.empty())
        file.Delete(row.section, row.key);
    else
        file.Write(row.section, row.key, StoredSecret(secret, sink));
}

// One row from the file into the record. fileExisted: false for a setup.ini not made yet.
void ReadRow(const IniFile& file, const SettingRow& row, bool fileExisted, Settings& settings,
             IMessageSink& sink) {
    const std::string defaultWord = DefaultWord(row);
    switch (row.type) {
    case SettingType::Number: {
        int64_t value = file.ReadInt(row.section, row.key, std::stoi(defaultWord));
        if (row.Has(kClampWhenRead))
            value = std::clamp(value, row.low, row.high);
        SetSettingWord(row, settings, std::to_string(value));
        return;
    }
    case SettingType::Color:
        SetSettingWord(row, settings,
                       std::to_string(file.ReadUInt32(
                           row.section, row.key, static_cast<uint32_t>(std::stoul(defaultWord)))));
        return;
    case SettingType::Secret: {
        const std::string stored = file.ReadString(row.section, row.key, "");
        SetSettingWord(row, settings,
                       stored.empty() ? std::string() : DecipherPassword(stored, sink));
        return;
    }
    case SettingType::AddressList:
        // Empty or missing keys are skipped, so gaps in the numbering close up.
        while (SettingEntryCount(row, settings) > 0)
            SetSettingWord(row, settings, "", 1);
        for (int i = 1, entries = 0; i <= row.high; ++i) {
            if (const std::string address =
                    file.ReadString(row.section, row.key + std::to_string(i), "");
                !address.empty())
                SetSettingWord(row, settings, address, ++entries);
        }
        return;
    default: {
        const std::optional<std::string> stored = file.Find(row.section, row.key);
        if (!stored && !fileExisted && row.newSetupWord)
            SetSettingWord(row, settings, row.newSetupWord);
        else
            SetSettingWord(row, settings, stored.value_or(defaultWord));
        return;
    }
    }
}

// One row from the record into the file.
void WriteRow(IniFile& file, const SettingRow& row, const Settings& settings, IMessageSink& sink) {
    switch (row.type) {
    case SettingType::Secret:
        WriteSecret(file, row, SettingWord(row, settings), sink);
        return;
    case SettingType::AddressList:
        // Keys beyond the list are deleted so that no stale address stays behind.
        for (int i = 1; i <= row.high; ++i) {
            const std::string key = row.key + std::to_string(i);
            if (static_cast<std::size_t>(i) <= SettingEntryCount(row, settings))
                file.Write(row.section, key, SettingWord(row, settings, i));
            else
                file.Delete(row.section, key);
        }
        return;
    default: {
        const std::string word = SettingWord(row, settings);
        if (row.Has(kLater) && word == DefaultWord(row))
            file.Delete(row.section, row.key);
        else
            file.Write(row.section, row.key, word);
        return;
    }
    }
}

// The keyring's name of a secret row (POP3_PASS, SMTP_PASS, OAUTH_CLIENT_SECRET).
SecretName SecretOf(const SettingRow& row) {
    for (SecretName name : {SecretName::Pop3Password, SecretName::SmtpPassword,
                            SecretName::OAuthClientSecret}) {
        if (std::string_view(SecretNameText(name)) == row.key)
            return name;
    }
    return SecretName::Pop3Password;
}

MailError KeyringFailure(KeyringStatus status) {
    return {status == KeyringStatus::Locked ? MailErrorCode::KeyringLocked
                                            : MailErrorCode::KeyringUnreachable,
            0, {}};
}

// A secret row into the keyring, when it differs from what the keyring holds. A keyring whose
// secrets could not be read is left as it is, unless a secret was given since.
bool SaveKeyringSecret(const SettingRow& row, const Settings& settings, const std::string& folder,
                       std::vector<std::string>* problems) {
    const std::string secret = SettingWord(row, settings);
    if (settings.mail.secretsUnread && secret.empty())
        return true;
    std::string stored;
    KeyringStatus status = keyring::Read(folder, SecretOf(row), stored);
    if ((status == KeyringStatus::Ok || status == KeyringStatus::Missing) && stored == secret)
        return true;
    if (status == KeyringStatus::Ok || status == KeyringStatus::Missing)
        status = keyring::Write(folder, SecretOf(row), secret);
    if (status == KeyringStatus::Ok)
        return true;
    if (problems)
        problems->push_back("ERROR : " + std::string(row.key) + " をキーリングに保存できません: " +
                            DescribeMailError(KeyringFailure(status)));
    return false;
}

bool InDeviceIni(const SettingRow& row) {
    return std::string_view(row.section) == "DEVICE";
}

// The text values of a file: one that cannot be read whole is reported.
void NoteValuesNotKeptWhole(const IniFile& file, const char* fileName, bool deviceIni,
                            std::vector<std::string>& notes) {
    for (const SettingRow& row : SettingRows()) {
        if (InDeviceIni(row) != deviceIni)
            continue;
        std::vector<std::string> keys;
        if (row.type == SettingType::AddressList) {
            for (int i = 1; i <= row.high; ++i)
                keys.push_back(row.key + std::to_string(i));
        } else if (row.type == SettingType::Text || row.type == SettingType::Secret) {
            keys.push_back(row.key);
        }
        for (const std::string& key : keys) {
            if (!file.KeptWhole(row.section, key))
                notes.push_back(std::string(fileName) + " の [" + row.section + "] " + key +
                                " は読み切れない値のため、ファイルの値をそのまま残します。");
        }
    }
}

// A file that exists but cannot be read (a folder in its place, no permission): its settings
// stay at their defaults, and saves leave it alone.
void NoteUnreadable(const IniFile& file, bool loaded, std::vector<std::string>& notes) {
    if (!loaded)
        notes.push_back("ERROR : 設定ファイル " + file.path() +
                        " を読み込めません: " + DescribeSystemError(file.lastError()) +
                        "（このファイルの設定は既定値で動きます）");
}

bool SaveFile(const IniFile& file, std::vector<std::string>* problems) {
    if (file.Save())
        return true;
    if (problems)
        problems->push_back("ERROR : 設定ファイル " + file.path() +
                            " に書き込めません: " + DescribeSystemError(file.lastError()));
    return false;
}

} // namespace

std::vector<std::string> LoadSettings(Settings& settings, const std::string& folder,
                                      IMessageSink& sink) {
    std::vector<std::string> notes;
    IniFile device(folder + kDeviceIniName);
    NoteUnreadable(device, device.Load(), notes);
    for (const SettingRow& row : SettingRows()) {
        if (InDeviceIni(row))
            ReadRow(device, row, true, settings, sink);
    }
    NoteValuesNotKeptWhole(device, kDeviceIniName, true, notes);

    IniFile setup(folder + kSetupIniName);
    std::error_code ignored;
    const bool setupExisted = std::filesystem::exists(folder + kSetupIniName, ignored);
    // The passwords are in it: a file that others may read is closed to them before it is read.
    if (RevokeOthersAccess(setup.path()))
        notes.push_back("設定ファイル " + setup.path() +
                        " は他のユーザーも読める状態でした。"
                        "パスワードを含むため、本人だけが読めるようにしました");
    NoteUnreadable(setup, setup.Load(), notes);

    for (const SettingRow& row : SettingRows()) {
        if (!InDeviceIni(row))
            ReadRow(setup, row, setupExisted, settings, sink);
    }
    NoteValuesNotKeptWhole(setup, kSetupIniName, false, notes);
    // A new setup keeps its secrets in the keyring when one answers.
    if (!setupExisted && keyring::Reachable())
        settings.mail.secretStore = SecretStore::Keyring;
    if (settings.mail.secretStore == SecretStore::Keyring) {
        if (const MailError error = ReadKeyringSecrets(settings.mail, folder))
            notes.push_back("ERROR : メールのパスワードを読めません: " + DescribeMailError(error));
    }
    return notes;
}

MailError ReadKeyringSecrets(MailSettings& mail, const std::string& folder) {
    Settings settings;
    settings.mail = mail;
    for (const SettingRow& row : SettingRows()) {
        if (row.type != SettingType::Secret)
            continue;
        std::string secret;
        const KeyringStatus status = keyring::Read(folder, SecretOf(row), secret);
        if (status == KeyringStatus::Locked || status == KeyringStatus::Unreachable) {
            mail.pop3Pass.clear();
            mail.smtpPass.clear();
            mail.oauthClientSecret.clear();
            mail.secretsUnread = true;
            return KeyringFailure(status);
        }
        SetSettingWord(row, settings, secret);
    }
    mail = settings.mail;
    mail.secretsUnread = false;
    return {};
}

bool SaveSettings(const Settings& settings, const std::string& folder, IMessageSink& sink,
                  std::vector<std::string>* problems) {
    // Each file is loaded once, every key set in the fixed order, and written once: the same
    // bytes the key-by-key profile writes would leave, without rewriting the file 45 times.
    IniFile device(folder + kDeviceIniName);
    device.Load();
    IniFile setup(folder + kSetupIniName);
    setup.SetOwnerOnly();
    setup.Load();
    bool keyringSaved = true;
    for (const SettingRow& row : SettingRows()) {
        if (row.type == SettingType::Secret && settings.mail.secretStore == SecretStore::Keyring) {
            setup.Delete(row.section, row.key); // setup.ini then holds no secret
            keyringSaved = SaveKeyringSecret(row, settings, folder, problems) && keyringSaved;
        } else {
            WriteRow(InDeviceIni(row) ? device : setup, row, settings, sink);
        }
    }
    const bool saved = SaveFile(device, problems) && keyringSaved;
    return SaveFile(setup, problems) && saved;
}

bool SaveSettingsAndSay(const Settings& settings, const std::string& folder, IMessageSink& sink,
                        CFaultNotices& notices) {
    std::vector<std::string> problems;
    if (SaveSettings(settings, folder, sink, &problems)) {
        notices.Clear(CFaultNotices::Area::Settings);
        return true;
    }
    std::string key;
    for (const std::string& line : problems)
        key += line + "\n";
    notices.Fail(CFaultNotices::Area::Settings, key, problems);
    return false;
}

StartupOptions ReadStartupOptions(const std::string& folder) {
    IniFile setup(folder + kSetupIniName);
    setup.Load();
    Settings settings;
    struct : IMessageSink {
        void ShowMessage(const std::string&) override {}
    } quiet;
    for (const char* name : {"APPLICATION.STARTUP_TIMER", "APPLICATION.STARTUP_DIALOG"})
        ReadRow(setup, SettingOf(name), true, settings, quiet);
    return {settings.app.startupTimer, settings.app.startupDialog};
}
