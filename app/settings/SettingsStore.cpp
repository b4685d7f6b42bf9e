#include "app/settings/SettingsStore.h"

#include "app/report/FaultNotices.h"
#include "app/settings/IniFile.h"
#include "app/settings/PasswordCipher.h"
#include "app/settings/SettingLimits.h"
#include "base/PrivateFile.h"
#include "mail/net/MailError.h"
#include "mail/net/MailSecurity.h"
#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

constexpr const char* kDevice = "DEVICE";
constexpr const char* kApplication = "APPLICATION";
constexpr const char* kMail = "MAIL";
constexpr const char* kTimeText = "TIMETEXT";

// Flags are the text "on" or "off"; anything but exactly "on" (capitals too) reads as off.
bool ReadFlag(const IniFile& file, const char* section, const char* key) {
    return file.ReadString(section, key, "off") == "on";
}
const char* FlagText(bool on) {
    return on ? "on" : "off";
}

std::string SendAddressKey(int number) {
    return "SEND_ADDRESS" + std::to_string(number);
}

// The keys added after the first versions are left out of the file while they hold their
// default, so that a setup.ini nobody changed these settings in keeps its bytes.
void WriteUnlessDefault(IniFile& file, const char* section, const char* key,
                        const std::string& value) {
    if (value.empty())
        file.Delete(section, key);
    else
        file.Write(section, key, value);
}

void WriteUnlessDefault(IniFile& file, const char* section, const char* key, int32_t value,
                        int32_t defaultValue) {
    WriteUnlessDefault(file, section, key,
                       value == defaultValue ? std::string() : std::to_string(value));
}

// A missing key or a word not understood leaves the choice to the port.
SecurityChoice ReadSecurity(const IniFile& file, const char* section, const char* key) {
    return ParseSecurityKeyword(file.ReadString(section, key, "")).value_or(SecurityChoice::ByPort);
}

// POP3_PASS and SMTP_PASS: enciphered, the empty text for an empty password.
std::string StoredPassword(const std::string& password, IMessageSink& sink) {
    return password.empty() ? std::string() : EncipherPassword(password, sink);
}

// A stored password that deciphers to the password in memory stays as it stands (also one
// whose stored text was cut when read: it is not rewritten from the cut text).
void WritePassword(IniFile& file, const char* key, const std::string& password,
                   IMessageSink& sink, bool omitWhenEmpty) {
    struct : IMessageSink {
        void ShowMessage(const std::string&) override {}
    } quiet;
    const std::string stored = file.ReadString(kMail, key, "");
    if (!stored.empty() && !password.empty() && DecipherPassword(stored, quiet) == password)
        return;
    if (omitWhenEmpty && password.empty())
        file.Delete(kMail, key);
    else
        file.Write(kMail, key, StoredPassword(password, sink));
}

// The text keys of a section: a value that cannot be read whole is reported.
void NoteValuesNotKeptWhole(const IniFile& file, const char* fileName, const char* section,
                            std::initializer_list<std::string> keys,
                            std::vector<std::string>& notes) {
    for (const std::string& key : keys) {
        if (!file.KeptWhole(section, key))
            notes.push_back(std::string(fileName) + " の [" + section + "] " + key +
                            " は読み切れない値のため、ファイルの値をそのまま残します。");
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
    DeviceSettings& dev = settings.device;
    dev.deviceName = device.ReadString(kDevice, "SELECT", "");
    dev.width = device.ReadInt(kDevice, "WIDTH", 352);
    dev.height = device.ReadInt(kDevice, "HEIGHT", 288);
    NoteValuesNotKeptWhole(device, kDeviceIniName, kDevice, {"SELECT"}, notes);

    IniFile setup(folder + kSetupIniName);
    std::error_code ignored;
    const bool setupExisted = std::filesystem::exists(folder + kSetupIniName, ignored);
    // The passwords are in it: a file that others may read is closed to them before it is read.
    if (RevokeOthersAccess(setup.path()))
        notes.push_back("設定ファイル " + setup.path() +
                        " は他のユーザーも読める状態でした。"
                        "パスワードを含むため、本人だけが読めるようにしました");
    NoteUnreadable(setup, setup.Load(), notes);
    AppSettings& app = settings.app;
    app.logFile = ReadFlag(setup, kApplication, "LOGFILE");
    app.closeCancel = ReadFlag(setup, kApplication, "CLOSECANCEL");
    app.jpegQuality = setup.ReadInt(kApplication, "JPEG_QUALITY", 50);
    app.startupTimer = setup.ReadInt(kApplication, "STARTUP_TIMER", 0);
    app.startupDialog = ReadFlag(setup, kApplication, "STARTUP_DIALOG");

    MailSettings& mail = settings.mail;
    mail.pop3Server = setup.ReadString(kMail, "POP3_SERVER", "");
    mail.pop3Id = setup.ReadString(kMail, "POP3_ID", "");
    if (std::string stored = setup.ReadString(kMail, "POP3_PASS", ""); !stored.empty())
        mail.pop3Pass = DecipherPassword(stored, sink);
    mail.smtpServer = setup.ReadString(kMail, "SMTP_SERVER", "");
    mail.smtpPort = setup.ReadInt(kMail, "SMTP_PORT", 25);
    mail.senderName = setup.ReadString(kMail, "SENDER_NAME", "");
    mail.senderAddress = setup.ReadString(kMail, "SENDER_ADDRESS", "");
    mail.checkString = setup.ReadString(kMail, "CHECK_STRING", "cap");
    mail.apop = ReadFlag(setup, kMail, "APOP");
    mail.imageRotation = ReadFlag(setup, kMail, "IMAGE_ROTATION");
    mail.pop3Port = setup.ReadInt(kMail, "POP3_PORT", 110);
    // Empty or missing keys are skipped, so gaps in the numbering close up.
    mail.sendAddresses.clear();
    for (int i = 1; i <= MailSettings::kMaxSendAddresses; ++i) {
        if (std::string address = setup.ReadString(kMail, SendAddressKey(i), ""); !address.empty())
            mail.sendAddresses.push_back(std::move(address));
    }
    mail.pop3Security = ReadSecurity(setup, kMail, "POP3_SECURITY");
    mail.smtpSecurity = ReadSecurity(setup, kMail, "SMTP_SECURITY");
    mail.smtpId = setup.ReadString(kMail, "SMTP_ID", "");
    if (std::string stored = setup.ReadString(kMail, "SMTP_PASS", ""); !stored.empty())
        mail.smtpPass = DecipherPassword(stored, sink);
    mail.caFile = setup.ReadString(kMail, "CA_FILE", "");
    // A missing key or a word not understood reads the mailbox over POP3, as before IMAP.
    mail.receiveProtocol = ParseReceiveProtocol(setup.ReadString(kMail, "RECEIVE_PROTOCOL", ""))
                               .value_or(ReceiveProtocol::Pop3);
    mail.imapServer = setup.ReadString(kMail, "IMAP_SERVER", "");
    mail.imapPort = setup.ReadInt(kMail, "IMAP_PORT", 143);
    mail.maxRepliesPerHour =
        std::clamp(setup.ReadInt(kMail, "MAX_REPLIES_PER_HOUR", 20), 1, limits::kMaxRepliesPerHour);
    mail.imapSecurity = ReadSecurity(setup, kMail, "IMAP_SECURITY");
    // A set-up that answers today goes on answering; a new one checks senders.
    mail.senderCheck = ParseSenderCheck(setup.ReadString(kMail, "SENDER_CHECK", ""))
                           .value_or(setupExisted ? SenderCheck::Off : SenderCheck::Dkim);
    mail.trustedAuthservId = setup.ReadString(kMail, "TRUSTED_AUTHSERV_ID", "");
    mail.oauth2 = setup.ReadString(kMail, "AUTH_METHOD", "") == "oauth2";
    mail.oauthProvider = setup.ReadString(kMail, "OAUTH_PROVIDER", "");
    mail.oauthClientId = setup.ReadString(kMail, "OAUTH_CLIENT_ID", "");
    if (std::string stored = setup.ReadString(kMail, "OAUTH_CLIENT_SECRET", ""); !stored.empty())
        mail.oauthClientSecret = DecipherPassword(stored, sink);
    mail.oauthAuthUrl = setup.ReadString(kMail, "OAUTH_AUTH_URL", "");
    mail.oauthTokenUrl = setup.ReadString(kMail, "OAUTH_TOKEN_URL", "");
    mail.oauthDeviceUrl = setup.ReadString(kMail, "OAUTH_DEVICE_URL", "");
    mail.oauthScope = setup.ReadString(kMail, "OAUTH_SCOPE", "");

    TimeTextSettings& stamp = settings.timeText;
    stamp.showText = ReadFlag(setup, kTimeText, "SHOW_TEXT");
    stamp.textXPos = setup.ReadInt(kTimeText, "TEXT_XPOS", 0);
    stamp.textYPos = setup.ReadInt(kTimeText, "TEXT_YPOS", 0);
    stamp.timeFormat = setup.ReadString(kTimeText, "TIME_FORMAT", "%Y/%M/%D(%W) %h:%m:%s");
    stamp.fontName = setup.ReadString(kTimeText, "FONT_NAME", "ＭＳ ゴシック");
    stamp.fontSize = setup.ReadInt(kTimeText, "FONT_SIZE", 14);
    stamp.fontBold = ReadFlag(setup, kTimeText, "FONT_BOLD");
    stamp.fontItalic = ReadFlag(setup, kTimeText, "FONT_ITALIC");
    stamp.showShadow = ReadFlag(setup, kTimeText, "SHOW_SHADOW");
    stamp.shadowXPos = setup.ReadInt(kTimeText, "SHADOW_XPOS", 2);
    stamp.shadowYPos = setup.ReadInt(kTimeText, "SHADOW_YPOS", 2);
    stamp.textColor = setup.ReadUInt32(kTimeText, "TEXT_COLOR", 0xFFFFFF);
    stamp.shadowColor = setup.ReadUInt32(kTimeText, "SHADOW_COLOR", 0);

    std::initializer_list<std::string> mailTexts = {
        "POP3_SERVER",    "POP3_ID",       "POP3_PASS",     "SMTP_SERVER",   "SENDER_NAME",
        "SENDER_ADDRESS", "CHECK_STRING",  "SMTP_ID",       "SMTP_PASS",     "CA_FILE",
        "IMAP_SERVER",    "SEND_ADDRESS1", "SEND_ADDRESS2", "SEND_ADDRESS3", "SEND_ADDRESS4",
        "SEND_ADDRESS5",  "SEND_ADDRESS6", "SEND_ADDRESS7", "SEND_ADDRESS8", "SEND_ADDRESS9",
        "SEND_ADDRESS10", "TRUSTED_AUTHSERV_ID"};
    NoteValuesNotKeptWhole(setup, kSetupIniName, kMail, mailTexts, notes);
    NoteValuesNotKeptWhole(setup, kSetupIniName, kTimeText, {"TIME_FORMAT", "FONT_NAME"}, notes);
    return notes;
}

bool SaveSettings(const Settings& settings, const std::string& folder, IMessageSink& sink,
                  std::vector<std::string>* problems) {
    // Each file is loaded once, every key set in the fixed order, and written once: the same
    // bytes the key-by-key profile writes would leave, without rewriting the file 45 times.
    IniFile device(folder + kDeviceIniName);
    device.Load();
    const DeviceSettings& dev = settings.device;
    device.Write(kDevice, "SELECT", dev.deviceName);
    device.Write(kDevice, "WIDTH", std::to_string(dev.width));
    device.Write(kDevice, "HEIGHT", std::to_string(dev.height));
    const bool saved = SaveFile(device, problems);

    IniFile setup(folder + kSetupIniName);
    setup.SetOwnerOnly();
    setup.Load();
    const AppSettings& app = settings.app;
    setup.Write(kApplication, "LOGFILE", FlagText(app.logFile));
    setup.Write(kApplication, "CLOSECANCEL", FlagText(app.closeCancel));
    setup.Write(kApplication, "JPEG_QUALITY", std::to_string(app.jpegQuality));
    setup.Write(kApplication, "STARTUP_TIMER", std::to_string(app.startupTimer));
    setup.Write(kApplication, "STARTUP_DIALOG", FlagText(app.startupDialog));

    const MailSettings& mail = settings.mail;
    setup.Write(kMail, "POP3_SERVER", mail.pop3Server);
    setup.Write(kMail, "POP3_ID", mail.pop3Id);
    WritePassword(setup, "POP3_PASS", mail.pop3Pass, sink, false);
    setup.Write(kMail, "SMTP_SERVER", mail.smtpServer);
    setup.Write(kMail, "SMTP_PORT", std::to_string(mail.smtpPort));
    setup.Write(kMail, "SENDER_NAME", mail.senderName);
    setup.Write(kMail, "SENDER_ADDRESS", mail.senderAddress);
    setup.Write(kMail, "CHECK_STRING", mail.checkString);
    setup.Write(kMail, "APOP", FlagText(mail.apop));
    setup.Write(kMail, "IMAGE_ROTATION", FlagText(mail.imageRotation));
    setup.Write(kMail, "POP3_PORT", std::to_string(mail.pop3Port));
    // Keys beyond the list are deleted so that no stale address stays behind.
    for (int i = 1; i <= MailSettings::kMaxSendAddresses; ++i) {
        if (static_cast<std::size_t>(i) <= mail.sendAddresses.size())
            setup.Write(kMail, SendAddressKey(i), mail.sendAddresses[i - 1]);
        else
            setup.Delete(kMail, SendAddressKey(i));
    }
    WriteUnlessDefault(setup, kMail, "POP3_SECURITY", SecurityKeyword(mail.pop3Security));
    WriteUnlessDefault(setup, kMail, "SMTP_SECURITY", SecurityKeyword(mail.smtpSecurity));
    WriteUnlessDefault(setup, kMail, "SMTP_ID", mail.smtpId);
    WritePassword(setup, "SMTP_PASS", mail.smtpPass, sink, true);
    WriteUnlessDefault(setup, kMail, "CA_FILE", mail.caFile);
    WriteUnlessDefault(setup, kMail, "RECEIVE_PROTOCOL",
                       mail.receiveProtocol == ReceiveProtocol::Pop3
                           ? std::string()
                           : ReceiveProtocolKeyword(mail.receiveProtocol));
    WriteUnlessDefault(setup, kMail, "IMAP_SERVER", mail.imapServer);
    WriteUnlessDefault(setup, kMail, "IMAP_PORT", mail.imapPort, 143);
    WriteUnlessDefault(setup, kMail, "MAX_REPLIES_PER_HOUR", mail.maxRepliesPerHour, 20);
    WriteUnlessDefault(setup, kMail, "IMAP_SECURITY", SecurityKeyword(mail.imapSecurity));
    WriteUnlessDefault(setup, kMail, "SENDER_CHECK",
                       mail.senderCheck == SenderCheck::Off ? std::string()
                                                            : SenderCheckKeyword(mail.senderCheck));
    WriteUnlessDefault(setup, kMail, "TRUSTED_AUTHSERV_ID", mail.trustedAuthservId);
    WriteUnlessDefault(setup, kMail, "AUTH_METHOD", std::string(mail.oauth2 ? "oauth2" : ""));
    WriteUnlessDefault(setup, kMail, "OAUTH_PROVIDER", mail.oauthProvider);
    WriteUnlessDefault(setup, kMail, "OAUTH_CLIENT_ID", mail.oauthClientId);
    WritePassword(setup, "OAUTH_CLIENT_SECRET", mail.oauthClientSecret, sink, true);
    WriteUnlessDefault(setup, kMail, "OAUTH_AUTH_URL", mail.oauthAuthUrl);
    WriteUnlessDefault(setup, kMail, "OAUTH_TOKEN_URL", mail.oauthTokenUrl);
    WriteUnlessDefault(setup, kMail, "OAUTH_DEVICE_URL", mail.oauthDeviceUrl);
    WriteUnlessDefault(setup, kMail, "OAUTH_SCOPE", mail.oauthScope);

    const TimeTextSettings& stamp = settings.timeText;
    setup.Write(kTimeText, "SHOW_TEXT", FlagText(stamp.showText));
    setup.Write(kTimeText, "TEXT_XPOS", std::to_string(stamp.textXPos));
    setup.Write(kTimeText, "TEXT_YPOS", std::to_string(stamp.textYPos));
    setup.Write(kTimeText, "TIME_FORMAT", stamp.timeFormat);
    setup.Write(kTimeText, "FONT_NAME", stamp.fontName);
    setup.Write(kTimeText, "FONT_SIZE", std::to_string(stamp.fontSize));
    setup.Write(kTimeText, "FONT_BOLD", FlagText(stamp.fontBold));
    setup.Write(kTimeText, "FONT_ITALIC", FlagText(stamp.fontItalic));
    setup.Write(kTimeText, "SHOW_SHADOW", FlagText(stamp.showShadow));
    setup.Write(kTimeText, "SHADOW_XPOS", std::to_string(stamp.shadowXPos));
    setup.Write(kTimeText, "SHADOW_YPOS", std::to_string(stamp.shadowYPos));
    setup.Write(kTimeText, "TEXT_COLOR", std::to_string(stamp.textColor));
    setup.Write(kTimeText, "SHADOW_COLOR", std::to_string(stamp.shadowColor));
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
    StartupOptions options;
    options.startupTimer = setup.ReadInt(kApplication, "STARTUP_TIMER", 0);
    options.startupDialog = ReadFlag(setup, kApplication, "STARTUP_DIALOG");
    return options;
}

const char* ReceiveProtocolKeyword(ReceiveProtocol protocol) {
    return protocol == ReceiveProtocol::Imap ? "imap" : "pop3";
}

std::optional<ReceiveProtocol> ParseReceiveProtocol(std::string_view word) {
    const std::string lower = ascii::Lower(word);
    for (ReceiveProtocol protocol : {ReceiveProtocol::Pop3, ReceiveProtocol::Imap})
        if (lower == ReceiveProtocolKeyword(protocol))
            return protocol;
    return std::nullopt;
}

const char* SenderCheckKeyword(SenderCheck check) {
    return check == SenderCheck::Dkim ? "dkim" : "off";
}

std::optional<SenderCheck> ParseSenderCheck(std::string_view word) {
    if (ascii::EqualNoCase(word, "off"))
        return SenderCheck::Off;
    if (ascii::EqualNoCase(word, "dkim"))
        return SenderCheck::Dkim;
    return std::nullopt;
}
