#include "app/settings/SettingsTable.h"

#include "app/alerts/AlertHours.h"
#include "app/alerts/Schedule.h"
#include "capture/MotionMask.h"

#include "mail/net/MailSecurity.h"
#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

constexpr const char* kCamera = "CAMERA"; // CAMERA1 ... CAMERA8
constexpr const char* kApplication = "APPLICATION";
constexpr const char* kMail = "MAIL";
constexpr const char* kTimeText = "TIMETEXT";
constexpr const char* kAlert = "ALERT";
constexpr const char* kSchedule = "SCHEDULE";

// Both accessors of a member (plain lambdas: every compiler turns them into function pointers).
template <class T>
SettingField<T> Field(const T& (*read)(const Settings&, std::size_t),
                      T& (*change)(Settings&, std::size_t)) {
    return {read, change};
}
#define M(path)                                                                               \
    Field<std::remove_cvref_t<decltype(std::declval<Settings&>().path)>>(                     \
        [](const Settings& s, std::size_t) -> const auto& { return s.path; },                 \
        [](Settings& s, std::size_t) -> auto& { return s.path; })
// A member of one camera's record (the index is checked before the accessor is called).
#define C(member)                                                                             \
    Field<std::remove_cvref_t<decltype(std::declval<CameraSettings&>().member)>>(             \
        [](const Settings& s, std::size_t i) -> const auto& {                                 \
            return s.device.cameras[i].member;                                                \
        },                                                                                    \
        [](Settings& s, std::size_t i) -> auto& { return s.device.cameras[i].member; })

constexpr const char* kFlagWords[] = {"off", "on"};
constexpr const char* kSecurityWords[] = {"none", "starttls", "tls"};
constexpr const char* kProtocolWords[] = {"pop3", "imap"};         // ReceiveProtocol's order
constexpr const char* kSenderCheckWords[] = {"off", "dkim"};       // SenderCheck's order
constexpr const char* kAuthMethodWords[] = {"password", "oauth2"}; // oauth2 is true
constexpr const char* kStoreWords[] = {"file", "keyring"};         // SecretStore's order
constexpr const char* kCameraTypeWords[] = {"usb", "rtsp", "mjpeg", "snapshot"}; // CameraType's
constexpr const char* kSensitivityWords[] = {"low", "medium", "high"}; // MotionSensitivity's
constexpr const char* kLanguageWords[] = {"ja", "en"};                   // MailLanguage's

// The index of word among words in any letter case; size when it is none of them.
std::size_t KeywordIndex(std::span<const char* const> words, std::string_view word) {
    std::size_t i = 0;
    while (i < words.size() && !ascii::EqualNoCase(word, words[i]))
        ++i;
    return i;
}

std::vector<SettingRow> MakeRows() {
    using enum SettingType;
    using enum SettingDialog;
    constexpr int64_t kAnyLow = INT32_MIN; // the POP3 and SMTP port fields take any number
    constexpr int64_t kAnyHigh = INT32_MAX;
    // clang-format off
    return {
        {kCamera, "NAME", Text, C(name), Device, 0, 0, kPerCamera, nullptr, nullptr,
         "what requests and replies call the camera: at most 32 characters, no line break, "
         "\",\" or \";\", unique in any letter case and width; needed once there are two "
         "cameras; empty reads as camera<n>"},
        {kCamera, "TYPE", CameraType, C(type), Device, 0, 0, kPerCamera},
        {kCamera, "ADDRESS", Text, C(address), Device, 0, 0, kPerCamera, nullptr, nullptr,
         "usb: the device's name or /dev/video* path (empty: the one attached); rtsp: an "
         "rtsp:// or rtsps:// URL; mjpeg and snapshot: an http:// or https:// URL. A user name "
         "and password written into the URL are moved to USER and the camera's password"},
        {kCamera, "USER", Text, C(user), Device, 0, 0, kPerCamera, nullptr, nullptr,
         "the network camera's log-in"},
        {kCamera, "PASSWORD", Secret, C(password), Device, 0, 0, kPerCamera | kLater, nullptr,
         "camera:NAME", "in device.ini, or in the keyring as MAIL.SECRET_STORE says"},
        {kCamera, "WIDTH", Number, C(width), Device, 1, 16384, kPerCamera, nullptr, nullptr,
         "usb: the frame width asked of the device"},
        {kCamera, "HEIGHT", Number, C(height), Device, 1, 16384, kPerCamera, nullptr, nullptr,
         "usb: the frame height asked of the device"},
        {kCamera, "MOTION", Flag, C(motion), None, 0, 0, kPerCamera | kLater, nullptr, nullptr,
         "motion alerts from this camera (ALERT.ARMED switches all of them)"},
        {kCamera, "SENSITIVITY", Sensitivity, C(sensitivity), None, 0, 0, kPerCamera | kLater,
         nullptr, nullptr, "how much change counts as motion"},
        {kCamera, "MASK", Text, C(mask), None, 0, 0, kPerCamera | kLater, nullptr, nullptr,
         "regions where movement does not count: rectangles x,y,w,h in percent of the "
         "picture, separated by \";\" (\"0,0,100,20;70,60,30,40\"); empty: none",
         SettingCheck::Mask},

        {kApplication, "LOGFILE", Flag, M(app.logFile), Application},
        {kApplication, "CLOSECANCEL", Flag, M(app.closeCancel), Application},
        {kApplication, "JPEG_QUALITY", Number, M(app.jpegQuality), Application, 0, 100},
        {kApplication, "STARTUP_TIMER", Number, M(app.startupTimer), Application, 0, 180},
        {kApplication, "STARTUP_DIALOG", Flag, M(app.startupDialog), Application},

        {kMail, "POP3_SERVER", Text, M(mail.pop3Server), Mail},
        {kMail, "POP3_ID", Text, M(mail.pop3Id), Mail},
        {kMail, "POP3_PASS", Secret, M(mail.pop3Pass), Mail, 0, 0, 0, nullptr, "pop3"},
        {kMail, "SMTP_SERVER", Text, M(mail.smtpServer), Mail},
        {kMail, "SMTP_PORT", Number, M(mail.smtpPort), Mail, kAnyLow, kAnyHigh},
        {kMail, "SENDER_NAME", Text, M(mail.senderName), Mail},
        {kMail, "SENDER_ADDRESS", Text, M(mail.senderAddress), Mail},
        {kMail, "CHECK_STRING", Text, M(mail.checkString), Mail},
        {kMail, "APOP", Flag, M(mail.apop), Mail},
        {kMail, "IMAGE_ROTATION", Flag, M(mail.imageRotation), Mail},
        {kMail, "POP3_PORT", Number, M(mail.pop3Port), Mail, kAnyLow, kAnyHigh},
        {kMail, "SEND_ADDRESS", AddressList, M(mail.sendAddresses), Mail, 1,
         MailSettings::kMaxSendAddresses},
        {kMail, "POP3_SECURITY", Security, M(mail.pop3Security), Mail, 0, 0, kLater},
        {kMail, "SMTP_SECURITY", Security, M(mail.smtpSecurity), Mail, 0, 0, kLater},
        {kMail, "SMTP_ID", Text, M(mail.smtpId), Mail, 0, 0, kLater},
        {kMail, "SMTP_PASS", Secret, M(mail.smtpPass), Mail, 0, 0, kLater, nullptr, "smtp"},
        {kMail, "CA_FILE", Text, M(mail.caFile), Mail, 0, 0, kLater},
        {kMail, "RECEIVE_PROTOCOL", Protocol, M(mail.receiveProtocol), Mail, 0, 0, kLater},
        {kMail, "IMAP_SERVER", Text, M(mail.imapServer), Mail, 0, 0, kLater},
        {kMail, "IMAP_PORT", Number, M(mail.imapPort), Mail, 1, 65535, kLater},
        {kMail, "MAX_REPLIES_PER_HOUR", Number, M(mail.maxRepliesPerHour), None, 1, 10000,
         kLater | kClampWhenRead},
        {kMail, "IMAP_SECURITY", Security, M(mail.imapSecurity), Mail, 0, 0, kLater},
        // A set-up that answers today goes on answering; a new one checks senders.
        {kMail, "SENDER_CHECK", SenderCheck, M(mail.senderCheck), Mail, 0, 0, kLater, "dkim"},
        {kMail, "TRUSTED_AUTHSERV_ID", Text, M(mail.trustedAuthservId), Mail, 0, 0, kLater},
        {kMail, "AUTH_METHOD", AuthMethod, M(mail.oauth2), Mail, 0, 0, kLater},
        {kMail, "OAUTH_PROVIDER", Text, M(mail.oauthProvider), Mail, 0, 0, kLater},
        {kMail, "OAUTH_CLIENT_ID", Text, M(mail.oauthClientId), Mail, 0, 0, kLater},
        {kMail, "OAUTH_CLIENT_SECRET", Secret, M(mail.oauthClientSecret), Mail, 0, 0, kLater,
         nullptr, "oauth-client"},
        {kMail, "OAUTH_AUTH_URL", Text, M(mail.oauthAuthUrl), Mail, 0, 0, kLater},
        {kMail, "OAUTH_TOKEN_URL", Text, M(mail.oauthTokenUrl), Mail, 0, 0, kLater},
        {kMail, "OAUTH_DEVICE_URL", Text, M(mail.oauthDeviceUrl), Mail, 0, 0, kLater},
        {kMail, "OAUTH_SCOPE", Text, M(mail.oauthScope), Mail, 0, 0, kLater},
        {kMail, "DISCOVERY_ONLINE", Flag, M(mail.discoveryOnline), None, 0, 0, kLater},
        // An existing setup keeps its secrets in the files; a new one takes the keyring when
        // one answers (LoadSettings asks).
        {kMail, "SECRET_STORE", Store, M(mail.secretStore), Mail, 0, 0, kLater},
        // An existing setup keeps Japanese mails; a new one takes the locale's language
        // (LoadSettings decides).
        {kMail, "LANGUAGE", Language, M(mail.language), None, 0, 0, kLater, nullptr, nullptr,
         "the language of replies, alerts and scheduled mails: ja (Japanese, ISO-2022-JP) or "
         "en; a new setup takes the locale's"},

        {kTimeText, "SHOW_TEXT", Flag, M(timeText.showText), TimeText},
        {kTimeText, "TEXT_XPOS", Number, M(timeText.textXPos), TimeText, 0, 10000, kUnsigned},
        {kTimeText, "TEXT_YPOS", Number, M(timeText.textYPos), TimeText, 0, 10000, kUnsigned},
        {kTimeText, "TIME_FORMAT", Text, M(timeText.timeFormat), TimeText},
        {kTimeText, "FONT_NAME", Text, M(timeText.fontName), TimeText},
        {kTimeText, "FONT_SIZE", Number, M(timeText.fontSize), TimeText, 1, 1000, kUnsigned},
        {kTimeText, "FONT_BOLD", Flag, M(timeText.fontBold), TimeText},
        {kTimeText, "FONT_ITALIC", Flag, M(timeText.fontItalic), TimeText},
        {kTimeText, "SHOW_SHADOW", Flag, M(timeText.showShadow), TimeText},
        {kTimeText, "SHADOW_XPOS", Number, M(timeText.shadowXPos), TimeText, -1000, 1000},
        {kTimeText, "SHADOW_YPOS", Number, M(timeText.shadowYPos), TimeText, -1000, 1000},
        {kTimeText, "TEXT_COLOR", Color, M(timeText.textColor), TimeText, 0, 0xFFFFFF},
        {kTimeText, "SHADOW_COLOR", Color, M(timeText.shadowColor), TimeText, 0, 0xFFFFFF},

        {kAlert, "ARMED", Flag, M(alert.armed), None, 0, 0, kLater, nullptr, nullptr,
         "motion alerts are sent (also switched by mail: \"cap arm\", \"cap disarm\")"},
        {kAlert, "ADDRESS", AddressList, M(alert.addresses), None, 1,
         AlertSettings::kMaxAddresses, 0, nullptr, nullptr, "who receives the alerts"},
        {kAlert, "INTERVAL_MINUTES", Number, M(alert.intervalMinutes), None, 1, 1440,
         kLater | kClampWhenRead, nullptr, nullptr, "at most one alert per camera this often"},
        {kAlert, "MAX_PER_DAY", Number, M(alert.maxPerDay), None, 1, 1440,
         kLater | kClampWhenRead, nullptr, nullptr, "alerts per camera and day at most"},
        {kAlert, "HOURS", Text, M(alert.hours), None, 0, 0, kLater, nullptr, nullptr,
         "when alerts are sent: always, or weekdays and ranges separated by \";\" "
         "(\"mon-fri 22:00-06:00; sat,sun always\"); a range over midnight belongs to the day "
         "it starts",
         SettingCheck::AlertHours},

        {kSchedule, "TIMES", Text, M(schedule.times), None, 0, 0, kLater, nullptr, nullptr,
         "pictures at these times (\"07:00,12:00,18:00\"); empty: none", SettingCheck::Times},
        {kSchedule, "EVERY_MINUTES", Number, M(schedule.everyMinutes), None, 0, 1440,
         kLater | kUnsigned, nullptr, nullptr, "also a picture this often from FROM to TO; 0: none"},
        {kSchedule, "FROM", Text, M(schedule.from), None, 0, 0, kLater, nullptr, nullptr,
         "HH:MM: the first picture of EVERY_MINUTES", SettingCheck::TimeOfDay},
        {kSchedule, "TO", Text, M(schedule.to), None, 0, 0, kLater, nullptr, nullptr,
         "HH:MM up to 24:00: no picture of EVERY_MINUTES after it", SettingCheck::EndOfDay},
        {kSchedule, "DAYS", Text, M(schedule.days), None, 0, 0, kLater, nullptr, nullptr,
         "the weekdays of TIMES and EVERY_MINUTES: all, or mon,tue,... and ranges (mon-fri)",
         SettingCheck::Days},
        {kSchedule, "ADDRESS", AddressList, M(schedule.addresses), None, 1,
         ScheduleSettings::kMaxAddresses, 0, nullptr, nullptr,
         "who receives the scheduled pictures"},
        {kSchedule, "CAMERAS", Text, M(schedule.cameras), None, 0, 0, kLater, nullptr, nullptr,
         "all, or the names of the cameras whose pictures are sent, separated by \",\"",
         SettingCheck::Cameras},
    };
    // clang-format on
}
#undef M
#undef C

template <class Number> Number Decimal(std::string_view word) {
    Number value = 0;
    std::from_chars(word.data(), word.data() + word.size(), value);
    return value;
}

// The entry number of name's tail ("SEND_ADDRESS7" after "SEND_ADDRESS"): 1 to most, else 0.
int EntryNumber(std::string_view digits, int64_t most) {
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || digits.front() == '0' || error != std::errc() ||
        end != digits.data() + digits.size() || number < 1 || number > most)
        return 0;
    return number;
}

// The camera a per-camera row's number stands for, as an index (number 0 is camera 1).
std::size_t CameraIndex(const SettingRow& row, int number) {
    return row.Has(kPerCamera) && number > 1 ? static_cast<std::size_t>(number - 1) : 0;
}

} // namespace

const std::vector<SettingRow>& SettingRows() {
    static const std::vector<SettingRow> rows = MakeRows();
    return rows;
}

std::vector<const SettingRow*> CameraRows() {
    std::vector<const SettingRow*> rows;
    for (const SettingRow& row : SettingRows())
        if (row.Has(kPerCamera))
            rows.push_back(&row);
    return rows;
}

std::string SettingSection(const SettingRow& row, int number) {
    if (row.Has(kPerCamera))
        return row.section + std::to_string(std::max(number, 1));
    return row.section;
}

std::string SettingName(const SettingRow& row, int number) {
    std::string name = SettingSection(row, number) + "." + row.key;
    if (number > 0 && row.type == SettingType::AddressList)
        name += std::to_string(number);
    return name;
}

const SettingRow* FindSetting(std::string_view name, int* number) {
    for (const SettingRow& row : SettingRows()) {
        const std::string rowName = SettingName(row);
        if (row.Has(kPerCamera)) {
            // CAMERAn.KEY, n from 1 to the most cameras.
            const std::size_t dot = name.find('.');
            if (dot == std::string_view::npos || !ascii::StartsWithNoCase(name, row.section) ||
                !ascii::EqualNoCase(name.substr(dot + 1), row.key))
                continue;
            const int camera = EntryNumber(name.substr(std::strlen(row.section),
                                                       dot - std::strlen(row.section)),
                                           DeviceSettings::kMaxCameras);
            if (camera == 0)
                continue;
            if (number)
                *number = camera;
            return &row;
        }
        if (row.type == SettingType::AddressList) {
            if (!ascii::StartsWithNoCase(name, rowName))
                continue;
            const int entry = EntryNumber(name.substr(rowName.size()), row.high);
            if (entry == 0)
                continue;
            if (number)
                *number = entry;
            return &row;
        }
        if (ascii::EqualNoCase(name, rowName)) {
            if (number)
                *number = 0;
            return &row;
        }
    }
    return nullptr;
}

const SettingRow& SettingOf(std::string_view name) {
    if (const SettingRow* row = FindSetting(name))
        return *row;
    std::fprintf(stderr, "kestrovamail: no setting %.*s\n", int(name.size()), name.data());
    std::abort();
}

std::span<const char* const> SettingKeywords(SettingType type) {
    switch (type) {
    case SettingType::Flag:
        return kFlagWords;
    case SettingType::Security:
        return kSecurityWords;
    case SettingType::Protocol:
        return kProtocolWords;
    case SettingType::SenderCheck:
        return kSenderCheckWords;
    case SettingType::AuthMethod:
        return kAuthMethodWords;
    case SettingType::Store:
        return kStoreWords;
    case SettingType::CameraType:
        return kCameraTypeWords;
    case SettingType::Sensitivity:
        return kSensitivityWords;
    case SettingType::Language:
        return kLanguageWords;
    default:
        return {};
    }
}

// The member types of a word: text as it is, numbers in decimal, a choice as its keyword (a
// flag's and the log-in method's by false and true), a protection as setup.ini writes it.
std::string SettingWord(const SettingRow& row, const Settings& settings, int number) {
    const std::size_t camera = CameraIndex(row, number);
    if (row.Has(kPerCamera) && camera >= settings.device.cameras.size())
        return SettingWord(row, Settings{}); // a camera not there: the default
    return std::visit(
        [&](const auto& field) -> std::string {
            const auto& value = field.read(settings, camera);
            using T = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return value;
            } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                const std::size_t index = static_cast<std::size_t>(number - 1);
                return number >= 1 && index < value.size() ? value[index] : std::string();
            } else if constexpr (std::is_same_v<T, SecurityChoice>) {
                return SecurityKeyword(value);
            } else if constexpr (std::is_enum_v<T> || std::is_same_v<T, bool>) {
                return SettingKeywords(row.type)[static_cast<std::size_t>(value)];
            } else {
                return std::to_string(value);
            }
        },
        row.field);
}

std::size_t SettingEntryCount(const SettingRow& row, const Settings& settings) {
    return std::get<SettingField<std::vector<std::string>>>(row.field).read(settings, 0).size();
}

void SetSettingWord(const SettingRow& row, Settings& settings, std::string_view word, int number) {
    const std::size_t camera = CameraIndex(row, number);
    if (row.Has(kPerCamera)) {
        if (camera >= std::size_t(DeviceSettings::kMaxCameras))
            return;
        if (camera >= settings.device.cameras.size())
            settings.device.cameras.resize(camera + 1);
    }
    std::visit(
        [&](const auto& field) {
            auto& value = field.change(settings, camera);
            using T = std::remove_cvref_t<decltype(value)>;
            const std::span<const char* const> words = SettingKeywords(row.type);
            if constexpr (std::is_same_v<T, std::string>) {
                value = std::string(word);
            } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                const std::size_t index = static_cast<std::size_t>(number - 1);
                if (number < 1 || index > value.size())
                    return;
                if (word.empty() && index < value.size())
                    value.erase(value.begin() + static_cast<std::ptrdiff_t>(index));
                else if (!word.empty() && index == value.size())
                    value.emplace_back(word);
                else if (!word.empty())
                    value[index] = std::string(word);
            } else if constexpr (std::is_same_v<T, SecurityChoice>) {
                value = ParseSecurityKeyword(word).value_or(SecurityChoice::ByPort);
            } else if constexpr (std::is_same_v<T, bool>) {
                value = word == words[1]; // only the exact word: "ON" is off
            } else if constexpr (std::is_enum_v<T>) {
                const std::size_t known = KeywordIndex(words, word);
                value = known < words.size() ? T(known) : field.read(Settings{}, 0);
            } else {
                value = Decimal<T>(word);
            }
        },
        row.field);
}

std::string DefaultWord(const SettingRow& row) {
    return SettingWord(row, Settings{});
}

bool PassesCheck(const SettingRow& row, const std::string& word, std::string* part) {
    const auto fails = [&](std::string wrong) {
        if (part)
            *part = std::move(wrong);
        return false;
    };
    std::string why;
    switch (row.check) {
    case SettingCheck::None:
        return true;
    case SettingCheck::AlertHours:
        return AlertHours::Parse(word, &why) ? true : fails(why);
    case SettingCheck::Times: {
        ScheduleSettings times;
        times.times = word;
        if (Schedule::Parse(times, &why))
            return true;
        return fails(why.substr(why.find(": ") + 2)); // the part, without the key's name
    }
    case SettingCheck::TimeOfDay:
    case SettingCheck::EndOfDay:
        return ParseTimeOfDay(word, row.check == SettingCheck::EndOfDay) ? true : fails(word);
    case SettingCheck::Days:
        return ParseWeekdays(word) ? true : fails(word);
    case SettingCheck::Cameras:
        return ParseScheduleCameras(word) ? true : fails(word);
    case SettingCheck::Mask:
        if (ParseMotionMask(word, &why))
            return true;
        // why begins with the rectangle at fault in quotes.
        return fails(why.size() > 1 && why[0] == '"' ? why.substr(1, why.find('"', 1) - 1) : word);
    }
    return true;
}
