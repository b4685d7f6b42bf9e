#include "app/settings/SettingsStore.h"

#include "app/alerts/Schedule.h"
#include "app/report/FaultNotices.h"
#include "app/report/UiLanguage.h"
#include "app/settings/CameraNames.h"
#include "app/settings/IniFile.h"
#include "app/settings/Keyring.h"
#include "app/settings/PasswordCipher.h"
#include "app/settings/SettingsTable.h"
#include "base/CameraAddress.h"
#include "base/PrivateFile.h"
#include "mail/net/MailError.h"
#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

namespace {

// The stored form of a secret: enciphered, the empty text for an empty one.
std::string StoredSecret(const std::string& secret, IMessageSink& sink) {
    return secret.empty() ? std::string() : EncipherPassword(secret, sink);
}

// A stored secret that deciphers to the one in memory stays as it stands (also one whose
// stored text was cut when read: it is not rewritten from the cut text).
void WriteSecret(IniFile& file, const SettingRow& row, const std::string& section,
                 const std::string& secret, IMessageSink& sink) {
    struct : IMessageSink {
        void ShowMessage(const std::string&) override {}
    } quiet;
    const std::string stored = file.ReadString(section, row.key, "");
    if (!stored.empty() && !secret.empty() && DecipherPassword(stored, quiet) == secret)
        return;
    if (row.Has(kLater) && secret.empty())
        file.Delete(section, row.key);
    else
        file.Write(section, row.key, StoredSecret(secret, sink));
}

// One row from the file into the record. fileExisted: false for a setup.ini not made yet.
// number: the camera of a per-camera row.
void ReadRow(const IniFile& file, const SettingRow& row, bool fileExisted, Settings& settings,
             IMessageSink& sink, int number = 0) {
    const std::string defaultWord = DefaultWord(row);
    const std::string section = SettingSection(row, number);
    switch (row.type) {
    case SettingType::Number: {
        int64_t value = file.ReadInt(section, row.key, std::stoi(defaultWord));
        if (row.Has(kClampWhenRead))
            value = std::clamp(value, row.low, row.high);
        SetSettingWord(row, settings, std::to_string(value), number);
        return;
    }
    case SettingType::Color:
        SetSettingWord(row, settings,
                       std::to_string(file.ReadUInt32(
                           section, row.key, static_cast<uint32_t>(std::stoul(defaultWord)))),
                       number);
        return;
    case SettingType::Secret: {
        const std::string stored = file.ReadString(section, row.key, "");
        SetSettingWord(row, settings,
                       stored.empty() ? std::string() : DecipherPassword(stored, sink), number);
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
        const std::optional<std::string> stored = file.Find(section, row.key);
        if (!stored && !fileExisted && row.newSetupWord)
            SetSettingWord(row, settings, row.newSetupWord, number);
        else
            SetSettingWord(row, settings, stored.value_or(defaultWord), number);
        return;
    }
    }
}

// One row from the record into the file.
void WriteRow(IniFile& file, const SettingRow& row, const Settings& settings, IMessageSink& sink,
              int number = 0) {
    const std::string section = SettingSection(row, number);
    switch (row.type) {
    case SettingType::Secret:
        WriteSecret(file, row, section, SettingWord(row, settings, number), sink);
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
        const std::string word = SettingWord(row, settings, number);
        if (row.Has(kLater) && word == DefaultWord(row))
            file.Delete(section, row.key);
        else
            file.Write(section, row.key, word);
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

// A secret into the keyring under name, when it differs from what the keyring holds. A keyring
// whose secrets could not be read is left as it is, unless a secret was given since.
bool SaveKeyringSecret(const std::string& name, const std::string& secret, bool secretsUnread,
                       const std::string& folder, std::vector<std::string>* problems) {
    if (secretsUnread && secret.empty())
        return true;
    std::string stored;
    KeyringStatus status = keyring::Read(folder, name, stored);
    if ((status == KeyringStatus::Ok || status == KeyringStatus::Missing) && stored == secret)
        return true;
    if (status == KeyringStatus::Ok || status == KeyringStatus::Missing)
        status = keyring::Write(folder, name, secret);
    if (status == KeyringStatus::Ok)
        return true;
    if (problems)
        problems->push_back("ERROR : " + name + " をキーリングに保存できません: " +
                            DescribeMailError(KeyringFailure(status)));
    return false;
}

bool InDeviceIni(const SettingRow& row) {
    return row.Has(kPerCamera);
}

constexpr const char* kOldDeviceSection = "DEVICE"; // device.ini before there were cameras

// Whether device.ini holds a camera's password: a PASSWORD key, or one written into an address.
bool HoldsPassword(const IniFile& file) {
    for (int n = 1; n <= DeviceSettings::kMaxCameras; ++n) {
        const std::string section = "CAMERA" + std::to_string(n);
        if (!file.ReadString(section, "PASSWORD", "").empty() ||
            !SplitCameraAddress(file.ReadString(section, "ADDRESS", "")).password.empty())
            return true;
    }
    return false;
}

// The numbers of the CAMERAn sections device.ini has, in order.
std::vector<int> CameraSections(const IniFile& file) {
    std::vector<int> numbers;
    for (int n = 1; n <= DeviceSettings::kMaxCameras; ++n)
        if (file.HasSection("CAMERA" + std::to_string(n)))
            numbers.push_back(n);
    return numbers;
}

// The cameras of device.ini into the record, in place (cameras[0] is never removed): the
// CAMERAn sections in order (a missing number closes up), or else an older file's [DEVICE] as
// camera 1, or else one USB camera.
void ReadCameras(const IniFile& file, Settings& settings, IMessageSink& sink) {
    std::vector<CameraSettings>& cameras = settings.device.cameras;
    const std::vector<int> sections = CameraSections(file);
    cameras.resize(std::max<std::size_t>(sections.size(), 1));
    for (CameraSettings& camera : cameras)
        camera = CameraSettings{};
    if (sections.empty() && file.HasSection(kOldDeviceSection)) {
        cameras[0].address = file.ReadString(kOldDeviceSection, "SELECT", "");
        cameras[0].width = file.ReadInt(kOldDeviceSection, "WIDTH", cameras[0].width);
        cameras[0].height = file.ReadInt(kOldDeviceSection, "HEIGHT", cameras[0].height);
    }
    for (std::size_t k = 0; k < sections.size(); ++k) {
        // Read from its own section, stored as camera k + 1.
        Settings one;
        for (const SettingRow* row : CameraRows())
            ReadRow(file, *row, true, one, sink, sections[k]);
        cameras[k] = one.device.cameras[static_cast<std::size_t>(sections[k] - 1)];
    }
}

// What loading makes of the cameras' values, said in notes: a user name and password in an
// address move to USER and the password; a TYPE, an ADDRESS or a NAME that cannot be taken
// reads as the default; an empty name becomes "camera<n>". Returns the keys refused, by the
// camera's index.
std::set<std::pair<std::size_t, std::string>> CheckCameras(const IniFile& file,
                                                           DeviceSettings& device,
                                                           std::vector<std::string>& notes) {
    const std::vector<int> sections = CameraSections(file);
    std::set<std::pair<std::size_t, std::string>> refused;
    const auto note = [&](std::size_t k, const char* key, const std::string& why,
                          bool refusal = true) {
        const std::string section =
            k < sections.size() ? "CAMERA" + std::to_string(sections[k]) : kOldDeviceSection;
        notes.push_back(std::string(kDeviceIniName) + " の [" + section + "] " + key + " " + why);
        if (refusal)
            refused.emplace(k, key);
    };
    for (std::size_t k = 0; k < device.cameras.size(); ++k) {
        CameraSettings& camera = device.cameras[k];
        if (k < sections.size()) {
            const std::string section = "CAMERA" + std::to_string(sections[k]);
            const std::optional<std::string> type = file.Find(section, "TYPE");
            if (type && !type->empty() &&
                std::ranges::none_of(
                    SettingKeywords(SettingType::CameraType),
                    [&](const char* word) { return ascii::EqualNoCase(*type, word); }))
                note(k, "TYPE", "は usb、rtsp、mjpeg、snapshot のどれでもないため usb とします");
        }
        if (const CameraAddressParts parts = SplitCameraAddress(camera.address); parts.hadUser) {
            camera.address = parts.address;
            camera.user = parts.user;
            if (!parts.password.empty())
                camera.password = parts.password;
            note(k, "ADDRESS",
                 "のユーザー名とパスワードは、次の保存で USER とパスワードの保存先に移します",
                 false);
        }
        if (!CameraAddressFitsType(camera.type, camera.address)) {
            note(k, "ADDRESS",
                 "は TYPE に合わないアドレス（rtsp は rtsp:// か rtsps://、mjpeg と snapshot は "
                 "http:// か https://）のため使いません: " +
                     ShownCameraAddress(camera.address));
            camera.address.clear();
        }
        if (CheckCameraName(camera.name) != CameraNameProblem::None) {
            note(k, "NAME",
                 "は名前に使えない文字（改行、制御文字、「,」「;」）を含むか、32 文字を超えるか、"
                 "メールの命令の言葉（arm、disarm、警戒、解除、video、clip、動画）のため使いません");
            camera.name.clear();
        }
        if (std::string part; !PassesCheck(SettingOf("CAMERA1.MASK"), camera.mask, &part)) {
            note(k, "MASK", "の「" + part + "」が読めないため、マスクなしとします");
            camera.mask.clear();
        }
        for (std::size_t j = 0; j < k && !camera.name.empty(); ++j) {
            if (FoldCameraName(device.cameras[j].name) == FoldCameraName(camera.name)) {
                note(k, "NAME", "は前のカメラと同じ名前のため使いません: " + camera.name);
                camera.name.clear();
            }
        }
        if (FoldCameraName(camera.name).empty()) {
            // camera<n>, or camera<n>_2 ... should a named camera already be called that.
            std::string name = DefaultCameraName(int(k) + 1);
            for (int extra = 2; FindCamera(device, name) >= 0; ++extra)
                name = DefaultCameraName(int(k) + 1) + "_" + std::to_string(extra);
            camera.name = name;
        }
    }
    return refused;
}

// A checked value of setup.ini that is not of its form reads as the default, and the log says
// so; the file keeps it (SaveSettings) until a value is set in its place.
void CheckSetupValues(const IniFile& file, Settings& settings, std::vector<std::string>& notes) {
    for (const SettingRow& row : SettingRows()) {
        if (row.check == SettingCheck::None || row.Has(kPerCamera))
            continue;
        const std::optional<std::string> stored = file.Find(row.section, row.key);
        if (std::string part; stored && !PassesCheck(row, *stored, &part)) {
            notes.push_back(std::string(kSetupIniName) + " の [" + row.section + "] " + row.key +
                            " の「" + part + "」が読めないため、既定値 " + DefaultWord(row) +
                            " とします");
            SetSettingWord(row, settings, DefaultWord(row));
        }
    }
}

// Whether the file's value of a checked row stays as it stands: it was refused when read, and
// the record still holds what it read as.
bool KeepRefusedValue(const IniFile& file, const SettingRow& row, const Settings& settings) {
    if (row.check == SettingCheck::None)
        return false;
    const std::optional<std::string> stored = file.Find(row.section, row.key);
    return stored && !PassesCheck(row, *stored) && SettingWord(row, settings) == DefaultWord(row);
}

// The language of a new setup's mails: Japanese under a Japanese locale, else English.
MailLanguage LocaleMailLanguage() {
    return PickUiLanguage(LocaleEnvironment::FromProcess(), {}) == kSourceLanguage
               ? MailLanguage::Japanese
               : MailLanguage::English;
}

// The text values of a file: one that cannot be read whole is reported.
void NoteValuesNotKeptWhole(const IniFile& file, const char* fileName, bool deviceIni,
                            std::vector<std::string>& notes) {
    const std::vector<int> cameras = CameraSections(file);
    for (const SettingRow& row : SettingRows()) {
        if (InDeviceIni(row) != deviceIni)
            continue;
        std::vector<std::pair<std::string, std::string>> keys; // section, key
        if (row.type == SettingType::AddressList) {
            for (int i = 1; i <= row.high; ++i)
                keys.emplace_back(row.section, row.key + std::to_string(i));
        } else if (row.type == SettingType::Text || row.type == SettingType::Secret) {
            for (const int n : row.Has(kPerCamera) ? cameras : std::vector<int>{0})
                keys.emplace_back(SettingSection(row, n), row.key);
        }
        for (const auto& [section, key] : keys) {
            if (!file.KeptWhole(section, key))
                notes.push_back(std::string(fileName) + " の [" + section + "] " + key +
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
    ReadCameras(device, settings, sink);
    // Once it holds a camera's password it is closed to others, as setup.ini is.
    if (HoldsPassword(device) && RevokeOthersAccess(device.path()))
        notes.push_back("設定ファイル " + device.path() +
                        " は他のユーザーも読める状態でした。"
                        "パスワードを含むため、本人だけが読めるようにしました");
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
    CheckSetupValues(setup, settings, notes);
    if (!setupExisted)
        settings.mail.language = LocaleMailLanguage();
    // A new setup keeps its secrets in the keyring when one answers.
    if (!setupExisted && keyring::Reachable())
        settings.mail.secretStore = SecretStore::Keyring;
    if (settings.mail.secretStore == SecretStore::Keyring) {
        if (const MailError error = ReadKeyringSecrets(settings.mail, folder))
            notes.push_back("ERROR : メールのパスワードを読めません: " + DescribeMailError(error));
        else if (const MailError error = ReadCameraSecrets(settings.device, folder)) {
            // As for the mail's: a save then leaves the keyring's passwords as they are.
            settings.mail.secretsUnread = true;
            notes.push_back("ERROR : カメラのパスワードを読めません: " + DescribeMailError(error));
        }
    }
    // After the secrets: a password written into an address wins over the stored one.
    CheckCameras(device, settings.device, notes);
    // A camera removed or renamed since: the others' pictures still go; the log says which not.
    if (const std::optional<ScheduleCameras> choice = ParseScheduleCameras(settings.schedule.cameras))
        for (const std::string& name : choice->names)
            if (FindCamera(settings.device, name) < 0)
                notes.push_back(std::string(kSetupIniName) + " の [SCHEDULE] CAMERAS の「" + name +
                                "」という名前のカメラはありません（カメラ: " +
                                CameraNameList(settings.device) + "）");
    return notes;
}

std::string CameraSecretName(int number) {
    return "CAMERA" + std::to_string(number) + ".PASSWORD";
}

MailError ReadCameraSecrets(DeviceSettings& device, const std::string& folder) {
    for (std::size_t k = 0; k < device.cameras.size(); ++k) {
        std::string secret;
        const KeyringStatus status = keyring::Read(folder, CameraSecretName(int(k) + 1), secret);
        if (status == KeyringStatus::Locked || status == KeyringStatus::Unreachable) {
            for (CameraSettings& camera : device.cameras)
                camera.password.clear();
            return KeyringFailure(status);
        }
        device.cameras[k].password = secret;
    }
    return {};
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
    const bool inKeyring = settings.mail.secretStore == SecretStore::Keyring;
    const bool unread = settings.mail.secretsUnread;
    // The cameras: CAMERA1 ... in order, the log-in of an address taken out of it; an older
    // file's [DEVICE] and the sections of cameras no longer there go.
    Settings cameras;
    cameras.device = settings.device;
    for (CameraSettings& camera : cameras.device.cameras) {
        if (const CameraAddressParts parts = SplitCameraAddress(camera.address); parts.hadUser) {
            camera.address = parts.address;
            camera.user = parts.user;
            if (!parts.password.empty())
                camera.password = parts.password;
        }
    }
    if (!inKeyring && std::ranges::any_of(cameras.device.cameras, [](const CameraSettings& c) {
            return !c.password.empty();
        }))
        device.SetOwnerOnly(); // it holds a camera's password
    // A value loading refused stays in the file while the camera holds what it read as, so that a
    // typing error is not replaced by the default unseen; not once cameras moved up a number.
    Settings asRead;
    struct : IMessageSink {
        void ShowMessage(const std::string&) override {}
    } quiet;
    ReadCameras(device, asRead, quiet);
    std::vector<std::string> ignored;
    const auto refused = CheckCameras(device, asRead.device, ignored);
    const std::vector<int> sections = CameraSections(device);
    const bool sameNumbers = sections.size() <= cameras.device.cameras.size() &&
                             (sections.empty() || sections.back() == int(sections.size()));
    const auto keepStored = [&](const SettingRow& row, int n) {
        return sameNumbers && refused.contains({std::size_t(n - 1), row.key}) &&
               SettingWord(row, cameras, n) == SettingWord(row, asRead, n);
    };
    device.DeleteSection(kOldDeviceSection);
    for (int n = 1; n <= DeviceSettings::kMaxCameras; ++n) {
        const bool there = std::size_t(n) <= cameras.device.cameras.size();
        if (!there)
            device.DeleteSection("CAMERA" + std::to_string(n));
        for (const SettingRow* row : CameraRows()) {
            if (row->type == SettingType::Secret && inKeyring) {
                device.Delete(SettingSection(*row, n), row->key);
                const std::string secret = there ? SettingWord(*row, cameras, n) : std::string();
                // A camera's slot is cleared only when the keyring's secrets were read.
                if (there || !unread)
                    keyringSaved = SaveKeyringSecret(CameraSecretName(n), secret, unread, folder,
                                                     problems) &&
                                   keyringSaved;
            } else if (there && !keepStored(*row, n)) {
                WriteRow(device, *row, cameras, sink, n);
            }
        }
    }
    for (const SettingRow& row : SettingRows()) {
        if (InDeviceIni(row))
            continue;
        if (row.type == SettingType::Secret && inKeyring) {
            setup.Delete(row.section, row.key); // setup.ini then holds no secret
            keyringSaved = SaveKeyringSecret(SecretNameText(SecretOf(row)),
                                             SettingWord(row, settings), unread, folder,
                                             problems) &&
                           keyringSaved;
        } else if (!KeepRefusedValue(setup, row, settings)) {
            WriteRow(setup, row, settings, sink);
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
