#include "app/settings/SettingsTable.h"

#include "mail/net/MailSecurity.h"
#include "mail/text/AsciiCase.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

namespace {

constexpr const char* kDevice = "DEVICE";
constexpr const char* kApplication = "APPLICATION";
constexpr const char* kMail = "MAIL";
constexpr const char* kTimeText = "TIMETEXT";

// One generic lambda gives both accessors of a member.
template <class Access> SettingField<std::remove_cvref_t<decltype(std::declval<Access>()(
    std::declval<Settings&>()))>>
Field(Access access) {
    return {access, access};
}
#define KM_MEMBER(path) Field([](auto& s) -> auto& { return s.path; })

// A row with what it needs beyond its key, type and member, said step by step.
struct Row : SettingRow {
    Row(const char* section_, const char* key_, SettingType type_, AnySettingField field_,
        SettingDialog dialog_) {
        section = section_;
        key = key_;
        type = type_;
        field = field_;
        dialog = dialog_;
    }
    Row& Range(int64_t lowest, int64_t highest, bool sign = true) {
        low = lowest;
        high = highest;
        signAllowed = sign;
        return *this;
    }
    Row& ClampWhenRead() {
        clampWhenRead = true;
        return *this;
    }
    Row& Later() {
        omitAtDefault = true;
        return *this;
    }
    Row& NewSetup(const char* word) {
        newSetupWord = word;
        return *this;
    }
    Row& Account(const char* name) {
        account = name;
        return *this;
    }
};

constexpr const char* kFlagWords[] = {"off", "on"};
constexpr const char* kSecurityWords[] = {"none", "starttls", "tls"};
constexpr const char* kProtocolWords[] = {"pop3", "imap"};        // ReceiveProtocol's order
constexpr const char* kSenderCheckWords[] = {"off", "dkim"};      // SenderCheck's order
constexpr const char* kAuthMethodWords[] = {"password", "oauth2"}; // oauth2 is true

// The index of word among words in any letter case; size when it is none of them.
std::size_t KeywordIndex(std::span<const char* const> words, std::string_view word) {
    std::size_t i = 0;
    while (i < words.size() && !ascii::EqualNoCase(word, words[i]))
        ++i;
    return i;
}

std::vector<SettingRow> MakeRows() {
    using enum SettingType;
    using D = SettingDialog;
    constexpr int64_t kPortMin = INT32_MIN; // the POP3 and SMTP fields take any number
    constexpr int64_t kPortMax = INT32_MAX;
    std::vector<SettingRow> rows = {
        Row(kDevice, "SELECT", Text, KM_MEMBER(device.deviceName), D::Device),
        Row(kDevice, "WIDTH", Number, KM_MEMBER(device.width), D::Device).Range(1, 16384),
        Row(kDevice, "HEIGHT", Number, KM_MEMBER(device.height), D::Device).Range(1, 16384),

        Row(kApplication, "LOGFILE", Flag, KM_MEMBER(app.logFile), D::Application),
        Row(kApplication, "CLOSECANCEL", Flag, KM_MEMBER(app.closeCancel), D::Application),
        Row(kApplication, "JPEG_QUALITY", Number, KM_MEMBER(app.jpegQuality), D::Application)
            .Range(0, 100),
        Row(kApplication, "STARTUP_TIMER", Number, KM_MEMBER(app.startupTimer), D::Application)
            .Range(0, 180),
        Row(kApplication, "STARTUP_DIALOG", Flag, KM_MEMBER(app.startupDialog), D::Application),

        Row(kMail, "POP3_SERVER", Text, KM_MEMBER(mail.pop3Server), D::Mail),
        Row(kMail, "POP3_ID", Text, KM_MEMBER(mail.pop3Id), D::Mail),
        Row(kMail, "POP3_PASS", Secret, KM_MEMBER(mail.pop3Pass), D::Mail).Account("pop3"),
        Row(kMail, "SMTP_SERVER", Text, KM_MEMBER(mail.smtpServer), D::Mail),
        Row(kMail, "SMTP_PORT", Number, KM_MEMBER(mail.smtpPort), D::Mail)
            .Range(kPortMin, kPortMax),
        Row(kMail, "SENDER_NAME", Text, KM_MEMBER(mail.senderName), D::Mail),
        Row(kMail, "SENDER_ADDRESS", Text, KM_MEMBER(mail.senderAddress), D::Mail),
        Row(kMail, "CHECK_STRING", Text, KM_MEMBER(mail.checkString), D::Mail),
        Row(kMail, "APOP", Flag, KM_MEMBER(mail.apop), D::Mail),
        Row(kMail, "IMAGE_ROTATION", Flag, KM_MEMBER(mail.imageRotation), D::Mail),
        Row(kMail, "POP3_PORT", Number, KM_MEMBER(mail.pop3Port), D::Mail)
            .Range(kPortMin, kPortMax),
        Row(kMail, "SEND_ADDRESS", AddressList, KM_MEMBER(mail.sendAddresses), D::Mail)
            .Range(1, MailSettings::kMaxSendAddresses),
        Row(kMail, "POP3_SECURITY", Security, KM_MEMBER(mail.pop3Security), D::Mail).Later(),
        Row(kMail, "SMTP_SECURITY", Security, KM_MEMBER(mail.smtpSecurity), D::Mail).Later(),
        Row(kMail, "SMTP_ID", Text, KM_MEMBER(mail.smtpId), D::Mail).Later(),
        Row(kMail, "SMTP_PASS", Secret, KM_MEMBER(mail.smtpPass), D::Mail)
            .Account("smtp")
            .Later(),
        Row(kMail, "CA_FILE", Text, KM_MEMBER(mail.caFile), D::Mail).Later(),
        Row(kMail, "RECEIVE_PROTOCOL", Protocol, KM_MEMBER(mail.receiveProtocol), D::Mail)
            .Later(),
        Row(kMail, "IMAP_SERVER", Text, KM_MEMBER(mail.imapServer), D::Mail).Later(),
        Row(kMail, "IMAP_PORT", Number, KM_MEMBER(mail.imapPort), D::Mail)
            .Range(1, 65535)
            .Later(),
        Row(kMail, "MAX_REPLIES_PER_HOUR", Number, KM_MEMBER(mail.maxRepliesPerHour), D::None)
            .Range(1, 10000)
            .ClampWhenRead()
            .Later(),
        Row(kMail, "IMAP_SECURITY", Security, KM_MEMBER(mail.imapSecurity), D::Mail).Later(),
        // A set-up that answers today goes on answering; a new one checks senders.
        Row(kMail, "SENDER_CHECK", SenderCheck, KM_MEMBER(mail.senderCheck), D::Mail)
            .NewSetup("dkim")
            .Later(),
        Row(kMail, "TRUSTED_AUTHSERV_ID", Text, KM_MEMBER(mail.trustedAuthservId), D::Mail)
            .Later(),
        Row(kMail, "AUTH_METHOD", AuthMethod, KM_MEMBER(mail.oauth2), D::Mail).Later(),
        Row(kMail, "OAUTH_PROVIDER", Text, KM_MEMBER(mail.oauthProvider), D::Mail).Later(),
        Row(kMail, "OAUTH_CLIENT_ID", Text, KM_MEMBER(mail.oauthClientId), D::Mail).Later(),
        Row(kMail, "OAUTH_CLIENT_SECRET", Secret, KM_MEMBER(mail.oauthClientSecret), D::Mail)
            .Account("oauth-client")
            .Later(),
        Row(kMail, "OAUTH_AUTH_URL", Text, KM_MEMBER(mail.oauthAuthUrl), D::Mail).Later(),
        Row(kMail, "OAUTH_TOKEN_URL", Text, KM_MEMBER(mail.oauthTokenUrl), D::Mail).Later(),
        Row(kMail, "OAUTH_DEVICE_URL", Text, KM_MEMBER(mail.oauthDeviceUrl), D::Mail).Later(),
        Row(kMail, "OAUTH_SCOPE", Text, KM_MEMBER(mail.oauthScope), D::Mail).Later(),

        Row(kTimeText, "SHOW_TEXT", Flag, KM_MEMBER(timeText.showText), D::TimeText),
        Row(kTimeText, "TEXT_XPOS", Number, KM_MEMBER(timeText.textXPos), D::TimeText)
            .Range(0, 10000, false),
        Row(kTimeText, "TEXT_YPOS", Number, KM_MEMBER(timeText.textYPos), D::TimeText)
            .Range(0, 10000, false),
        Row(kTimeText, "TIME_FORMAT", Text, KM_MEMBER(timeText.timeFormat), D::TimeText),
        Row(kTimeText, "FONT_NAME", Text, KM_MEMBER(timeText.fontName), D::TimeText),
        Row(kTimeText, "FONT_SIZE", Number, KM_MEMBER(timeText.fontSize), D::TimeText)
            .Range(1, 1000, false),
        Row(kTimeText, "FONT_BOLD", Flag, KM_MEMBER(timeText.fontBold), D::TimeText),
        Row(kTimeText, "FONT_ITALIC", Flag, KM_MEMBER(timeText.fontItalic), D::TimeText),
        Row(kTimeText, "SHOW_SHADOW", Flag, KM_MEMBER(timeText.showShadow), D::TimeText),
        Row(kTimeText, "SHADOW_XPOS", Number, KM_MEMBER(timeText.shadowXPos), D::TimeText)
            .Range(-1000, 1000),
        Row(kTimeText, "SHADOW_YPOS", Number, KM_MEMBER(timeText.shadowYPos), D::TimeText)
            .Range(-1000, 1000),
        Row(kTimeText, "TEXT_COLOR", Color, KM_MEMBER(timeText.textColor), D::TimeText)
            .Range(0, 0xFFFFFF),
        Row(kTimeText, "SHADOW_COLOR", Color, KM_MEMBER(timeText.shadowColor), D::TimeText)
            .Range(0, 0xFFFFFF),
    };
    return rows;
}
#undef KM_MEMBER

// The member of a row, of the type the row's type keeps it in.
template <class T> const T& Read(const SettingRow& row, const Settings& settings) {
    return std::get<SettingField<T>>(row.field).read(settings);
}
template <class T> T& Change(const SettingRow& row, Settings& settings) {
    return std::get<SettingField<T>>(row.field).change(settings);
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

} // namespace

const std::vector<SettingRow>& SettingRows() {
    static const std::vector<SettingRow> rows = MakeRows();
    return rows;
}

std::string SettingName(const SettingRow& row, int number) {
    std::string name = std::string(row.section) + "." + row.key;
    if (number > 0)
        name += std::to_string(number);
    return name;
}

const SettingRow* FindSetting(std::string_view name, int* number) {
    for (const SettingRow& row : SettingRows()) {
        const std::string rowName = SettingName(row);
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
    default:
        return {};
    }
}

std::string SettingWord(const SettingRow& row, const Settings& settings, int number) {
    switch (row.type) {
    case SettingType::Text:
    case SettingType::Secret:
        return Read<std::string>(row, settings);
    case SettingType::Flag:
    case SettingType::AuthMethod:
        return SettingKeywords(row.type)[Read<bool>(row, settings) ? 1 : 0];
    case SettingType::Number:
        return std::to_string(Read<int32_t>(row, settings));
    case SettingType::Color:
        return std::to_string(Read<uint32_t>(row, settings));
    case SettingType::Security:
        return SecurityKeyword(Read<SecurityChoice>(row, settings));
    case SettingType::Protocol:
        return kProtocolWords[static_cast<int>(Read<ReceiveProtocol>(row, settings))];
    case SettingType::SenderCheck:
        return kSenderCheckWords[static_cast<int>(Read<SenderCheck>(row, settings))];
    case SettingType::AddressList: {
        const std::vector<std::string>& list = Read<std::vector<std::string>>(row, settings);
        const std::size_t index = static_cast<std::size_t>(number - 1);
        return number >= 1 && index < list.size() ? list[index] : std::string();
    }
    }
    return {};
}

std::size_t SettingEntryCount(const SettingRow& row, const Settings& settings) {
    return Read<std::vector<std::string>>(row, settings).size();
}

void SetSettingWord(const SettingRow& row, Settings& settings, std::string_view word,
                    int number) {
    const std::span<const char* const> words = SettingKeywords(row.type);
    const std::size_t known = KeywordIndex(words, word);
    switch (row.type) {
    case SettingType::Text:
    case SettingType::Secret:
        Change<std::string>(row, settings) = std::string(word);
        break;
    case SettingType::Flag: // only the exact words: "ON" is off
    case SettingType::AuthMethod:
        Change<bool>(row, settings) = word == words[1];
        break;
    case SettingType::Number: {
        int32_t value = 0;
        std::from_chars(word.data(), word.data() + word.size(), value);
        Change<int32_t>(row, settings) = value;
        break;
    }
    case SettingType::Color: {
        uint32_t value = 0;
        std::from_chars(word.data(), word.data() + word.size(), value);
        Change<uint32_t>(row, settings) = value;
        break;
    }
    case SettingType::Security:
        Change<SecurityChoice>(row, settings) =
            ParseSecurityKeyword(word).value_or(SecurityChoice::ByPort);
        break;
    case SettingType::Protocol:
        Change<ReceiveProtocol>(row, settings) =
            known < words.size() ? ReceiveProtocol(known) : Read<ReceiveProtocol>(row, Settings{});
        break;
    case SettingType::SenderCheck:
        Change<SenderCheck>(row, settings) =
            known < words.size() ? SenderCheck(known) : Read<SenderCheck>(row, Settings{});
        break;
    case SettingType::AddressList: {
        std::vector<std::string>& list = Change<std::vector<std::string>>(row, settings);
        const std::size_t index = static_cast<std::size_t>(number - 1);
        if (number < 1 || index > list.size())
            break;
        if (word.empty()) {
            if (index < list.size())
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
        } else if (index == list.size()) {
            list.emplace_back(word);
        } else {
            list[index] = std::string(word);
        }
        break;
    }
    }
}

std::string DefaultWord(const SettingRow& row) {
    return SettingWord(row, Settings{});
}
