#include "app/settings/SettingsCommands.h"

#include "app/report/MessageSink.h"
#include "app/report/ScreenText.h"
#include "app/settings/IniFile.h"
#include "app/settings/PasswordCipher.h"
#include "app/settings/SettingLimits.h"
#include "app/settings/SettingsStore.h"
#include "base/Settings.h"
#include "mail/net/MailSecurity.h"
#include "mail/text/AsciiCase.h"
#include "mail/text/TextCodec.h"

#include <QCoreApplication>
#include <algorithm>
#include <charconv>
#include <climits>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <termios.h>
#include <unistd.h>

namespace settingscli {
namespace {

constexpr const char* kHiddenPassword = "********";

// The messages are written in Japanese and shown in the user's language, as --help is. A
// problem of a value ("は on か off です") follows the setting's name or "the password".
template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("SettingsCommands", text, {std::string_view(arguments)...});
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A decimal number as the dialogs' fields take it: blanks around, a minus sign when signed.
std::optional<int64_t> ParseNumber(std::string_view text, bool allowSign) {
    text = TrimBlanks(text);
    if (!allowSign && !text.empty() && text.front() == '-')
        return std::nullopt;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Why a text cannot be a setting's value; empty when it can.
std::string TextProblem(const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos || value.find('\0') != std::string::npos)
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は改行を含みます"));
    if (!text::IsUtf8(value))
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "はUTF-8のテキストではありません"));
    if (!text::FitsSjis(value))
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                     "は設定ファイルのコードページ932にない文字を含みます"));
    const std::string sjis = text::Utf8ToSjis(value);
    if (sjis.size() > IniFile::kMaxValueBytes)
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "はコードページ932で%1バイトを超えます"),
                  std::to_string(IniFile::kMaxValueBytes));
    return {};
}

// One setting: how it shows, and how a value for it is checked and stored. set returns the
// reason a value is refused, or an empty text.
struct Entry {
    std::string name; // SECTION.KEY
    std::function<std::string(const Settings&)> show;
    std::function<std::string(Settings&, const std::string&)> set;
};

template <class Record, class Field>
Entry Text(const char* name, Record Settings::*record, Field Record::*field) {
    return {name, [=](const Settings& s) { return (s.*record).*field; },
            [=](Settings& s, const std::string& value) {
                std::string problem = TextProblem(value);
                if (problem.empty())
                    (s.*record).*field = value;
                return problem;
            }};
}

template <class Record>
Entry Flag(const char* name, Record Settings::*record, bool Record::*field) {
    return {name, [=](const Settings& s) { return std::string((s.*record).*field ? "on" : "off"); },
            [=](Settings& s, const std::string& value) -> std::string {
                if (value != "on" && value != "off")
                    return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は on か off です"));
                (s.*record).*field = value == "on";
                return {};
            }};
}

template <class Record, class Field>
Entry Number(const char* name, Record Settings::*record, Field Record::*field, int64_t low,
             int64_t high, bool allowSign = true) {
    return {name, [=](const Settings& s) { return std::to_string((s.*record).*field); },
            [=](Settings& s, const std::string& value) -> std::string {
                const std::optional<int64_t> number = ParseNumber(value, allowSign);
                if (!number || *number < low || *number > high)
                    return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は%1から%2までの整数です"),
                              std::to_string(low), std::to_string(high));
                (s.*record).*field = static_cast<Field>(*number);
                return {};
            }};
}

Entry Color(const char* name, uint32_t TimeTextSettings::*field) {
    return {name, [=](const Settings& s) { return std::to_string(s.timeText.*field); },
            [=](Settings& s, const std::string& value) -> std::string {
                std::optional<int64_t> color;
                const std::string_view v = TrimBlanks(value);
                if (v.size() == 7 && v.front() == '#') {
                    uint32_t rgb = 0;
                    const auto [end, error] = std::from_chars(v.data() + 1, v.data() + 7, rgb, 16);
                    if (error == std::errc() && end == v.data() + 7)
                        color = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
                } else {
                    color = ParseNumber(v, false);
                }
                if (!color || *color > limits::kColorMax)
                    return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "は #RRGGBB か0から16777215までの数（0x00BBGGRR）です"));
                s.timeText.*field = static_cast<uint32_t>(*color);
                return {};
            }};
}

Entry Security(const char* name, SecurityChoice MailSettings::*field) {
    return {name,
            [=](const Settings& s) {
                const SecurityChoice choice = s.mail.*field;
                return std::string(choice == SecurityChoice::ByPort ? "auto"
                                                                     : SecurityKeyword(choice));
            },
            [=](Settings& s, const std::string& value) -> std::string {
                if (ascii::EqualNoCase(value, "auto")) {
                    s.mail.*field = SecurityChoice::ByPort;
                    return {};
                }
                const std::optional<SecurityChoice> choice = ParseSecurityKeyword(value);
                if (!choice)
                    return Tr(QT_TRANSLATE_NOOP(
                        "SettingsCommands",
                        "は none、starttls、tls、auto（ポートで決める）のどれかです"));
                s.mail.*field = *choice;
                return {};
            }};
}

Entry Protocol(const char* name) {
    return {name,
            [](const Settings& s) {
                return std::string(ReceiveProtocolKeyword(s.mail.receiveProtocol));
            },
            [](Settings& s, const std::string& value) -> std::string {
                const std::optional<ReceiveProtocol> protocol = ParseReceiveProtocol(value);
                if (!protocol)
                    return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は pop3 か imap です"));
                s.mail.receiveProtocol = *protocol;
                return {};
            }};
}

Entry SenderCheckEntry(const char* name) {
    return {name,
            [](const Settings& s) { return std::string(SenderCheckKeyword(s.mail.senderCheck)); },
            [](Settings& s, const std::string& value) -> std::string {
                const std::optional<SenderCheck> check = ParseSenderCheck(value);
                if (!check)
                    return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は off か dkim です"));
                s.mail.senderCheck = *check;
                return {};
            }};
}

// What the mail settings dialog refuses on OK beyond single fields; empty when nothing is.
std::string Inconsistency(const Settings& settings) {
    if (settings.mail.receiveProtocol == ReceiveProtocol::Imap && settings.mail.imapServer.empty())
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                     "MAIL.RECEIVE_PROTOCOL imap には MAIL.IMAP_SERVER が必要です"));
    return {};
}

Entry Password(const char* name, std::string MailSettings::*field, const char* account) {
    return {name,
            [=](const Settings& s) {
                return std::string((s.mail.*field).empty() ? "" : kHiddenPassword);
            },
            [=](Settings&, const std::string&) {
                return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                            "は --set-password %1 で設定します（コマンドラインからではなく"
                                            "標準入力から読みます）"),
                          std::string(account));
            }};
}

Entry AuthMethod() {
    return {"MAIL.AUTH_METHOD",
            [](const Settings& s) { return std::string(s.mail.oauth2 ? "oauth2" : "password"); },
            [](Settings& s, const std::string& value) {
                if (value != "password" && value != "oauth2")
                    return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は password か oauth2 です"));
                s.mail.oauth2 = value == "oauth2";
                return std::string();
            }};
}

Entry Address(int number) {
    const std::size_t index = static_cast<std::size_t>(number - 1);
    return {"MAIL.SEND_ADDRESS" + std::to_string(number),
            [=](const Settings& s) {
                return index < s.mail.sendAddresses.size() ? s.mail.sendAddresses[index]
                                                           : std::string();
            },
            [=](Settings& s, const std::string& value) -> std::string {
                std::vector<std::string>& list = s.mail.sendAddresses;
                if (index > list.size())
                    return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                                "は MAIL.SEND_ADDRESS%1 の後です（今は%2件）"),
                              std::to_string(list.size() + 1), std::to_string(list.size()));
                if (value.empty()) {
                    if (index < list.size())
                        list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
                    return {};
                }
                if (std::string problem = TextProblem(value); !problem.empty())
                    return problem;
                if (index == list.size())
                    list.push_back(value);
                else
                    list[index] = value;
                return {};
            }};
}

const std::vector<Entry>& Entries() {
    using S = Settings;
    static const std::vector<Entry> entries = [] {
        std::vector<Entry> e = {
            Text("DEVICE.SELECT", &S::device, &DeviceSettings::deviceName),
            Number("DEVICE.WIDTH", &S::device, &DeviceSettings::width, 1, limits::kFrameSideMax),
            Number("DEVICE.HEIGHT", &S::device, &DeviceSettings::height, 1,
                   limits::kFrameSideMax),
            Flag("APPLICATION.LOGFILE", &S::app, &AppSettings::logFile),
            Flag("APPLICATION.CLOSECANCEL", &S::app, &AppSettings::closeCancel),
            Number("APPLICATION.JPEG_QUALITY", &S::app, &AppSettings::jpegQuality, 0,
                   limits::kJpegQualityMax),
            Number("APPLICATION.STARTUP_TIMER", &S::app, &AppSettings::startupTimer, 0,
                   limits::kStartupTimerMax),
            Flag("APPLICATION.STARTUP_DIALOG", &S::app, &AppSettings::startupDialog),
            Text("MAIL.POP3_SERVER", &S::mail, &MailSettings::pop3Server),
            Text("MAIL.POP3_ID", &S::mail, &MailSettings::pop3Id),
            Password("MAIL.POP3_PASS", &MailSettings::pop3Pass, "pop3"),
            Text("MAIL.SMTP_SERVER", &S::mail, &MailSettings::smtpServer),
            Number("MAIL.SMTP_PORT", &S::mail, &MailSettings::smtpPort, INT32_MIN, INT32_MAX),
            Text("MAIL.SENDER_NAME", &S::mail, &MailSettings::senderName),
            Text("MAIL.SENDER_ADDRESS", &S::mail, &MailSettings::senderAddress),
            Text("MAIL.CHECK_STRING", &S::mail, &MailSettings::checkString),
            Flag("MAIL.APOP", &S::mail, &MailSettings::apop),
            Flag("MAIL.IMAGE_ROTATION", &S::mail, &MailSettings::imageRotation),
            Number("MAIL.POP3_PORT", &S::mail, &MailSettings::pop3Port, INT32_MIN, INT32_MAX),
        };
        for (int i = 1; i <= MailSettings::kMaxSendAddresses; ++i)
            e.push_back(Address(i));
        const std::vector<Entry> rest = {
            Security("MAIL.POP3_SECURITY", &MailSettings::pop3Security),
            Security("MAIL.SMTP_SECURITY", &MailSettings::smtpSecurity),
            Text("MAIL.SMTP_ID", &S::mail, &MailSettings::smtpId),
            Password("MAIL.SMTP_PASS", &MailSettings::smtpPass, "smtp"),
            Text("MAIL.CA_FILE", &S::mail, &MailSettings::caFile),
            Protocol("MAIL.RECEIVE_PROTOCOL"),
            Text("MAIL.IMAP_SERVER", &S::mail, &MailSettings::imapServer),
            Number("MAIL.IMAP_PORT", &S::mail, &MailSettings::imapPort, 1, 65535),
            Number("MAIL.MAX_REPLIES_PER_HOUR", &S::mail, &MailSettings::maxRepliesPerHour, 1,
                   limits::kMaxRepliesPerHour),
            Security("MAIL.IMAP_SECURITY", &MailSettings::imapSecurity),
            SenderCheckEntry("MAIL.SENDER_CHECK"),
            Text("MAIL.TRUSTED_AUTHSERV_ID", &S::mail, &MailSettings::trustedAuthservId),
            AuthMethod(),
            Text("MAIL.OAUTH_PROVIDER", &S::mail, &MailSettings::oauthProvider),
            Text("MAIL.OAUTH_CLIENT_ID", &S::mail, &MailSettings::oauthClientId),
            Password("MAIL.OAUTH_CLIENT_SECRET", &MailSettings::oauthClientSecret,
                     "oauth-client"),
            Text("MAIL.OAUTH_AUTH_URL", &S::mail, &MailSettings::oauthAuthUrl),
            Text("MAIL.OAUTH_TOKEN_URL", &S::mail, &MailSettings::oauthTokenUrl),
            Text("MAIL.OAUTH_DEVICE_URL", &S::mail, &MailSettings::oauthDeviceUrl),
            Text("MAIL.OAUTH_SCOPE", &S::mail, &MailSettings::oauthScope),
            Flag("TIMETEXT.SHOW_TEXT", &S::timeText, &TimeTextSettings::showText),
            Number("TIMETEXT.TEXT_XPOS", &S::timeText, &TimeTextSettings::textXPos, 0,
                   limits::kPositionMax, false),
            Number("TIMETEXT.TEXT_YPOS", &S::timeText, &TimeTextSettings::textYPos, 0,
                   limits::kPositionMax, false),
            Text("TIMETEXT.TIME_FORMAT", &S::timeText, &TimeTextSettings::timeFormat),
            Text("TIMETEXT.FONT_NAME", &S::timeText, &TimeTextSettings::fontName),
            Number("TIMETEXT.FONT_SIZE", &S::timeText, &TimeTextSettings::fontSize, 1,
                   limits::kFontSizeMax, false),
            Flag("TIMETEXT.FONT_BOLD", &S::timeText, &TimeTextSettings::fontBold),
            Flag("TIMETEXT.FONT_ITALIC", &S::timeText, &TimeTextSettings::fontItalic),
            Flag("TIMETEXT.SHOW_SHADOW", &S::timeText, &TimeTextSettings::showShadow),
            Number("TIMETEXT.SHADOW_XPOS", &S::timeText, &TimeTextSettings::shadowXPos,
                   -limits::kShadowLimit, limits::kShadowLimit),
            Number("TIMETEXT.SHADOW_YPOS", &S::timeText, &TimeTextSettings::shadowYPos,
                   -limits::kShadowLimit, limits::kShadowLimit),
            Color("TIMETEXT.TEXT_COLOR", &TimeTextSettings::textColor),
            Color("TIMETEXT.SHADOW_COLOR", &TimeTextSettings::shadowColor),
        };
        e.insert(e.end(), rest.begin(), rest.end());
        return e;
    }();
    return entries;
}

const Entry* FindEntry(const std::string& name) {
    for (const Entry& entry : Entries())
        if (ascii::EqualNoCase(entry.name, name))
            return &entry;
    return nullptr;
}

void Load(Settings& settings, const std::string& folder, std::ostream& err) {
    CStreamSink sink(err);
    for (const std::string& note : LoadSettings(settings, folder, sink))
        err << ScreenText(note) << "\n";
}

int Save(const Settings& settings, const std::string& folder, std::ostream& err) {
    CStreamSink sink(err);
    std::vector<std::string> problems;
    if (SaveSettings(settings, folder, sink, &problems))
        return kOk;
    for (const std::string& problem : problems)
        err << "kestrovamail: " << ScreenText(problem) << "\n";
    err << Tr(QT_TRANSLATE_NOOP("SettingsCommands", "kestrovamail: %1 に設定を書き込めません"),
              folder.empty() ? std::string(".") : folder)
        << "\n";
    return kSaveFailed;
}

// Turns the terminal's echo off for the life of the object.
class NoEcho {
public:
    NoEcho() {
        if (::tcgetattr(STDIN_FILENO, &m_saved) != 0)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        m_active = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~NoEcho() {
        if (m_active)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

private:
    termios m_saved{};
    bool m_active = false;
};

} // namespace

std::vector<std::string> SettingNames() {
    std::vector<std::string> names;
    for (const Entry& entry : Entries())
        names.push_back(entry.name);
    return names;
}

int ShowSettings(const std::string& folder, std::ostream& out, std::ostream& err) {
    Settings settings;
    Load(settings, folder, err);
    for (const Entry& entry : Entries()) {
        const std::string value = entry.show(settings);
        if (entry.name.starts_with("MAIL.SEND_ADDRESS") && value.empty())
            continue;
        out << entry.name << "=" << value << "\n";
    }
    return kOk;
}

int SetSettings(const std::string& folder, const std::vector<std::string>& assignments,
                std::ostream& err) {
    Settings settings;
    Load(settings, folder, err);
    for (const std::string& assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        const std::string name = assignment.substr(0, equals);
        const Entry* entry = equals == std::string::npos ? nullptr : FindEntry(name);
        if (!entry) {
            err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                        "kestrovamail: --set %1: 知っている設定の SECTION.KEY=VALUE "
                                        "ではありません（一覧は kestrovamail --show-settings）"),
                      assignment)
                << "\n";
            return kRefused;
        }
        const std::string problem = entry->set(settings, assignment.substr(equals + 1));
        if (!problem.empty()) {
            err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                        "kestrovamail: %1 %2。何も変えていません"),
                      entry->name, problem)
                << "\n";
            return kRefused;
        }
    }
    if (const std::string problem = Inconsistency(settings); !problem.empty()) {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands", "kestrovamail: %1。何も変えていません"),
                  problem)
            << "\n";
        return kRefused;
    }
    return Save(settings, folder, err);
}

int SetPassword(const std::string& folder, const std::string& account, std::istream& in,
                std::ostream& err, bool prompt) {
    const std::string which = ascii::Upper(account);
    if (which != "POP3" && which != "SMTP" && which != "OAUTH-CLIENT") {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "kestrovamail: --set-password は pop3、smtp、oauth-client の"
                                    "どれかです（\"%1\" は違います）"),
                  account)
            << "\n";
        return kRefused;
    }
    std::string password;
    {
        std::optional<NoEcho> quiet;
        if (prompt) {
            err << (which == "OAUTH-CLIENT"
                        ? Tr(QT_TRANSLATE_NOOP("SettingsCommands", "OAuthクライアントシークレット: "))
                        : Tr(QT_TRANSLATE_NOOP("SettingsCommands", "%1のパスワード: "), which))
                << std::flush;
            quiet.emplace();
        }
        std::getline(in, password);
        if (prompt)
            err << "\n";
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (std::string problem = TextProblem(password); !problem.empty()) {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands", "kestrovamail: パスワード%1。何も変えていません"),
                  problem)
            << "\n";
        return kRefused;
    }
    if (text::Utf8ToSjis(password).size() > kMaxPasswordBytes) {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "kestrovamail: パスワードが%1バイトを超えています。何も変えていません"),
                  std::to_string(kMaxPasswordBytes))
            << "\n";
        return kRefused;
    }
    Settings settings;
    Load(settings, folder, err);
    (which == "POP3"   ? settings.mail.pop3Pass
     : which == "SMTP" ? settings.mail.smtpPass
                       : settings.mail.oauthClientSecret) = password;
    return Save(settings, folder, err);
}

} // namespace settingscli
