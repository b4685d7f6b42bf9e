#include "app/settings/SettingsCommands.h"

#include "app/alerts/Schedule.h"
#include "app/report/MessageSink.h"
#include "app/report/ScreenText.h"
#include "app/settings/CameraNames.h"
#include "app/settings/IniFile.h"
#include "app/settings/PasswordCipher.h"
#include "app/settings/SettingsStore.h"
#include "app/settings/SettingsTable.h"
#include "base/CameraAddress.h"
#include "base/Settings.h"
#include "mail/text/AsciiCase.h"
#include "mail/text/TextCodec.h"

#include <QCoreApplication>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <istream>
#include <optional>
#include <ostream>
#include <termios.h>
#include <unistd.h>

namespace settingscli {
namespace {

constexpr const char* kHiddenPassword = "********";
constexpr const char* kCameraAccount = "camera:"; // --set-password camera:NAME

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

// Why a choice refuses a word it does not know, and whether it knows its words in any letter
// case (flags and the log-in method want them exactly).
struct ChoiceRule {
    SettingType type;
    bool anyCase;
    const char* problem;
};
constexpr ChoiceRule kChoiceRules[] = {
    {SettingType::Flag, false, QT_TRANSLATE_NOOP("SettingsCommands", "は on か off です")},
    {SettingType::Security, true,
     QT_TRANSLATE_NOOP("SettingsCommands",
                       "は none、starttls、tls、auto（ポートで決める）のどれかです")},
    {SettingType::Protocol, true, QT_TRANSLATE_NOOP("SettingsCommands", "は pop3 か imap です")},
    {SettingType::SenderCheck, true, QT_TRANSLATE_NOOP("SettingsCommands", "は off か dkim です")},
    {SettingType::AuthMethod, false,
     QT_TRANSLATE_NOOP("SettingsCommands", "は password か oauth2 です")},
    {SettingType::CameraType, true,
     QT_TRANSLATE_NOOP("SettingsCommands", "は usb、rtsp、mjpeg、snapshot のどれかです")},
    {SettingType::Sensitivity, true,
     QT_TRANSLATE_NOOP("SettingsCommands", "は low、medium、high のどれかです")},
    {SettingType::Language, true, QT_TRANSLATE_NOOP("SettingsCommands", "は ja か en です")},
};

// What a checked text must look like, said after the setting's name and the part at fault.
struct CheckRule {
    SettingCheck check;
    const char* problem;
};
constexpr CheckRule kCheckRules[] = {
    {SettingCheck::AlertHours,
     QT_TRANSLATE_NOOP("SettingsCommands",
                       "の「%1」が読めません（always か、曜日と時間の範囲を「;」で区切ります: "
                       "mon-fri 22:00-06:00; sat,sun always）")},
    {SettingCheck::Times,
     QT_TRANSLATE_NOOP("SettingsCommands",
                       "の「%1」が読めません（HH:MM を「,」で区切ります: 07:00,12:00）")},
    {SettingCheck::TimeOfDay,
     QT_TRANSLATE_NOOP("SettingsCommands", "の「%1」は 00:00 から 23:59 までの HH:MM ではありません")},
    {SettingCheck::EndOfDay,
     QT_TRANSLATE_NOOP("SettingsCommands", "の「%1」は 00:00 から 24:00 までの HH:MM ではありません")},
    {SettingCheck::Days,
     QT_TRANSLATE_NOOP("SettingsCommands",
                       "の「%1」が読めません（all か、mon、tue、wed、thu、fri、sat、sun を「,」で"
                       "区切ります。mon-fri のような範囲も使えます）")},
    {SettingCheck::Cameras,
     QT_TRANSLATE_NOOP("SettingsCommands",
                       "の「%1」が読めません（all か、カメラの名前を「,」で区切ります）")},
    {SettingCheck::Mask,
     QT_TRANSLATE_NOOP("SettingsCommands",
                       "の「%1」が読めません（x,y,w,h を画面の百分率で書き、「;」で区切ります。"
                       "0 から 100 まで、画面の中で、幅と高さは 1 以上）")},
};

// The names of device.ini's settings before there were cameras, which scripts may still give.
struct OldName {
    const char* name;
    const char* now;
};
constexpr OldName kOldNames[] = {{"DEVICE.SELECT", "CAMERA1.ADDRESS"},
                                 {"DEVICE.WIDTH", "CAMERA1.WIDTH"},
                                 {"DEVICE.HEIGHT", "CAMERA1.HEIGHT"}};

const SettingRow* FindSettingOrOldName(std::string_view name, int& number) {
    for (const OldName& old : kOldNames)
        if (ascii::EqualNoCase(name, old.name))
            name = old.now;
    return FindSetting(name, &number);
}

// Why a camera's name cannot be taken; empty when it can.
std::string CameraNameText(const std::string& name) {
    switch (CheckCameraName(name)) {
    case CameraNameProblem::Control:
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は改行や制御文字を含みます"));
    case CameraNameProblem::Separator:
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は「,」か「;」を含みます"));
    case CameraNameProblem::TooLong:
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は%1文字までです"),
                  std::to_string(kMaxCameraNameCharacters));
    case CameraNameProblem::Reserved:
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "はメールの命令の言葉です（arm、disarm、警戒、解除、video、"
                                    "clip、動画 はカメラの名前にできません）"));
    case CameraNameProblem::None:
        break;
    }
    return TextProblem(name);
}

// Why a password cannot be stored; empty when it can.
std::string PasswordProblem(const std::string& password) {
    if (std::string problem = TextProblem(password); !problem.empty())
        return problem;
    if (text::Utf8ToSjis(password).size() > kMaxPasswordBytes)
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands", "が%1バイトを超えています"),
                  std::to_string(kMaxPasswordBytes));
    return {};
}

// What --set stores for value in row: the word, or the reason the value is refused in
// problem. number: the entry of a list.
std::optional<std::string> SetWord(const SettingRow& row, const Settings& settings,
                                   const std::string& value, int number, std::string& problem) {
    const auto refuse = [&](std::string reason) -> std::optional<std::string> {
        problem = std::move(reason);
        return std::nullopt;
    };
    if (row.Has(kPerCamera)) {
        // A camera is added by setting a key of the one after the last; no number is skipped.
        const std::size_t cameras = settings.device.cameras.size();
        if (static_cast<std::size_t>(number) > cameras + 1)
            return refuse(Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                               "は番号が飛んでいます（今はカメラが%2台。"
                                               "次に足せるのは CAMERA%1 です）"),
                             std::to_string(cameras + 1), std::to_string(cameras)));
        if (row.key == std::string_view("NAME") && !value.empty())
            if (std::string reason = CameraNameText(value); !reason.empty())
                return refuse(reason);
    }
    for (const ChoiceRule& rule : kChoiceRules) {
        if (rule.type != row.type)
            continue;
        if (row.type == SettingType::Security && ascii::EqualNoCase(value, "auto"))
            return std::string(); // the port decides
        for (const char* word : SettingKeywords(row.type)) {
            if (rule.anyCase ? ascii::EqualNoCase(value, word) : value == word)
                return std::string(word);
        }
        return refuse(Tr(rule.problem));
    }
    switch (row.type) {
    case SettingType::Store: // a store chosen without its secrets would leave them behind
        return refuse(Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                           "は --move-secrets keyring か --move-secrets file で"
                                           "変えます（秘密も一緒に移します）")));
    case SettingType::Secret:
        return refuse(
            Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                 "は --set-password %1 で設定します（コマンドラインからではなく"
                                 "標準入力から読みます）"),
               std::string(row.account)));
    case SettingType::Number: {
        const std::optional<int64_t> number = ParseNumber(value, !row.Has(kUnsigned));
        if (!number || *number < row.low || *number > row.high)
            return refuse(Tr(QT_TRANSLATE_NOOP("SettingsCommands", "は%1から%2までの整数です"),
                             std::to_string(row.low), std::to_string(row.high)));
        return std::to_string(*number);
    }
    case SettingType::Color: {
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
        if (!color || *color > row.high)
            return refuse(Tr(QT_TRANSLATE_NOOP(
                "SettingsCommands", "は #RRGGBB か0から16777215までの数（0x00BBGGRR）です")));
        return std::to_string(*color);
    }
    case SettingType::AddressList: {
        // An entry is set, appended just past the list, or removed by an empty value.
        const std::size_t entries = SettingEntryCount(row, settings);
        if (static_cast<std::size_t>(number) > entries + 1)
            return refuse(Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                               "は %1 の後です（今は%2件）"),
                             SettingName(row, int(entries) + 1), std::to_string(entries)));
        if (value.empty())
            return value;
        [[fallthrough]];
    }
    default: // text
        if (std::string reason = TextProblem(value); !reason.empty())
            return refuse(reason);
        if (std::string part; !PassesCheck(row, value, &part))
            for (const CheckRule& rule : kCheckRules)
                if (rule.check == row.check)
                    return refuse(Tr(rule.problem, part));
        return value;
    }
}

// How --show-settings shows a row's word: secrets hidden, a protection left to the port "auto".
std::string ShownWord(const SettingRow& row, const std::string& word) {
    if (row.type == SettingType::Secret)
        return word.empty() ? std::string() : std::string(kHiddenPassword);
    if (row.type == SettingType::Security && word.empty())
        return "auto";
    return word;
}

// What the cameras cannot be: an address whose scheme does not fit the type, two cameras of one
// name, a camera without a name beside another. Empty when nothing is wrong.
std::string CameraInconsistency(const DeviceSettings& device) {
    for (std::size_t k = 0; k < device.cameras.size(); ++k) {
        const CameraSettings& camera = device.cameras[k];
        const std::string number = std::to_string(k + 1);
        if (!CameraAddressFitsType(camera.type, camera.address))
            return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                        "CAMERA%1.ADDRESS は TYPE %2 に合いません（rtsp は "
                                        "rtsp:// か rtsps://、mjpeg と snapshot は http:// か "
                                        "https:// で始まります）"),
                      number, std::string(SettingKeywords(SettingType::CameraType)[std::size_t(
                                  camera.type)]));
        if (FoldCameraName(camera.name).empty() && device.cameras.size() > 1)
            return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                        "カメラが2台以上のときは CAMERA%1.NAME が必要です"),
                      number);
        for (std::size_t j = 0; j < k; ++j)
            if (FoldCameraName(device.cameras[j].name) == FoldCameraName(camera.name))
                return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                            "CAMERA%1.NAME は CAMERA%2 と同じ名前です"),
                          number, std::to_string(j + 1));
    }
    return {};
}

// What the scheduled pictures cannot be: steps from FROM to a TO not after it, a camera no one
// has (asked only when CAMERAS is being set: a camera removed later leaves the others' pictures
// going, and the sender says which is missing). Empty when nothing is wrong.
std::string ScheduleInconsistency(const Settings& settings, bool camerasSet) {
    const ScheduleSettings& schedule = settings.schedule;
    if (schedule.everyMinutes > 0 && ParseTimeOfDay(schedule.from) &&
        ParseTimeOfDay(schedule.to, true) &&
        *ParseTimeOfDay(schedule.from) >= *ParseTimeOfDay(schedule.to, true))
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "SCHEDULE.EVERY_MINUTES には SCHEDULE.FROM（%1）より後の "
                                    "SCHEDULE.TO が必要です（今は %2）"),
                  schedule.from, schedule.to);
    if (const std::optional<ScheduleCameras> choice = ParseScheduleCameras(schedule.cameras);
        choice && camerasSet)
        for (const std::string& name : choice->names)
            if (FindCamera(settings.device, name) < 0)
                return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                            "SCHEDULE.CAMERAS の「%1」という名前のカメラは"
                                            "ありません（カメラ: %2）"),
                          name, CameraNameList(settings.device));
    return {};
}

// What the mail settings dialog refuses on OK beyond single fields; empty when nothing is.
std::string Inconsistency(const Settings& settings, bool scheduleCamerasSet) {
    if (settings.mail.receiveProtocol == ReceiveProtocol::Imap && settings.mail.imapServer.empty())
        return Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "MAIL.RECEIVE_PROTOCOL imap には MAIL.IMAP_SERVER が必要です"));
    if (std::string problem = ScheduleInconsistency(settings, scheduleCamerasSet); !problem.empty())
        return problem;
    return CameraInconsistency(settings.device);
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
    for (const SettingRow& row : SettingRows()) {
        if (row.type != SettingType::AddressList)
            names.push_back(SettingName(row));
        for (int i = 1; row.type == SettingType::AddressList && i <= row.high; ++i)
            names.push_back(SettingName(row, i));
    }
    return names;
}

int ShowSettings(const std::string& folder, std::ostream& out, std::ostream& err) {
    Settings settings;
    Load(settings, folder, err);
    for (const SettingRow& row : SettingRows()) {
        if (row.Has(kPerCamera)) {
            // Each camera's keys together, at the first of its rows.
            if (&row != CameraRows().front())
                continue;
            for (std::size_t n = 1; n <= settings.device.cameras.size(); ++n)
                for (const SettingRow* key : CameraRows()) {
                    std::string word = ShownWord(*key, SettingWord(*key, settings, int(n)));
                    if (key->key == std::string_view("ADDRESS"))
                        word = ShownCameraAddress(word);
                    out << SettingName(*key, int(n)) << "=" << word << "\n";
                }
            continue;
        }
        if (row.type != SettingType::AddressList)
            out << SettingName(row) << "=" << ShownWord(row, SettingWord(row, settings)) << "\n";
        // The allowed senders as far as the list goes.
        for (int i = 1; row.type == SettingType::AddressList && i <= row.high; ++i) {
            if (const std::string address = SettingWord(row, settings, i); !address.empty())
                out << SettingName(row, i) << "=" << address << "\n";
        }
    }
    return kOk;
}

int SetSettings(const std::string& folder, const std::vector<std::string>& assignments,
                std::ostream& err) {
    Settings settings;
    Load(settings, folder, err);
    const auto refused = [&](const std::string& name, const std::string& problem) {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands", "kestrovamail: %1 %2。何も変えていません"),
                  name, problem)
            << "\n";
        return kRefused;
    };
    std::vector<bool> named(DeviceSettings::kMaxCameras); // NAME given (an empty one too)
    bool scheduleCamerasSet = false;
    for (const std::string& assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        int number = 0;
        const SettingRow* row = equals == std::string::npos
                                    ? nullptr
                                    : FindSettingOrOldName(assignment.substr(0, equals), number);
        if (!row) {
            // Only the name: the value may hold a password written into an address.
            err << Tr(QT_TRANSLATE_NOOP(
                          "SettingsCommands",
                          "kestrovamail: --set %1: 知っている設定の SECTION.KEY=VALUE "
                          "ではありません（一覧は kestrovamail --show-settings）"),
                      assignment.substr(0, equals))
                << "\n";
            return kRefused;
        }
        std::string problem;
        std::string value = assignment.substr(equals + 1);
        const bool address = row->Has(kPerCamera) && row->key == std::string_view("ADDRESS");
        CameraAddressParts parts;
        if (address) {
            // A log-in written into the address goes to USER and the password.
            parts = SplitCameraAddress(value);
            value = parts.address;
            if (std::string reason = PasswordProblem(parts.password); !reason.empty())
                return refused(SettingName(*row, number),
                               Tr(QT_TRANSLATE_NOOP("SettingsCommands", "のパスワード%1"),
                                  reason));
            if (std::string reason = TextProblem(parts.user); !reason.empty())
                return refused(SettingName(*row, number),
                               Tr(QT_TRANSLATE_NOOP("SettingsCommands", "のユーザー名%1"),
                                  reason));
        }
        const std::optional<std::string> word = SetWord(*row, settings, value, number, problem);
        if (!word)
            return refused(SettingName(*row, number), problem);
        SetSettingWord(*row, settings, *word, number);
        if (row == &SettingOf("SCHEDULE.CAMERAS"))
            scheduleCamerasSet = true;
        if (row->Has(kPerCamera) && row->key == std::string_view("NAME"))
            named[static_cast<std::size_t>(std::max(number, 1) - 1)] = true;
        if (address && parts.hadUser) {
            CameraSettings& camera =
                settings.device.cameras[static_cast<std::size_t>(std::max(number, 1) - 1)];
            camera.user = parts.user;
            if (!parts.password.empty())
                camera.password = parts.password;
        }
    }
    // A camera added without a name is named as loading names it; an emptied name is refused.
    for (std::size_t k = 0; k < settings.device.cameras.size(); ++k)
        if (!named[k] && FoldCameraName(settings.device.cameras[k].name).empty())
            settings.device.cameras[k].name = DefaultCameraName(int(k) + 1);
    if (const std::string problem = Inconsistency(settings, scheduleCamerasSet);
        !problem.empty()) {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands", "kestrovamail: %1。何も変えていません"),
                  problem)
            << "\n";
        return kRefused;
    }
    return Save(settings, folder, err);
}

int SetPassword(const std::string& folder, const std::string& account, std::istream& in,
                std::ostream& err, bool prompt) {
    const SettingRow* secret = nullptr;
    for (const SettingRow& row : SettingRows()) {
        if (row.type == SettingType::Secret && !row.Has(kPerCamera) &&
            ascii::EqualNoCase(account, row.account))
            secret = &row;
    }
    // camera:NAME, the name matched as requests match it.
    Settings settings;
    int camera = -1;
    const bool forCamera = ascii::StartsWithNoCase(account, kCameraAccount);
    if (forCamera) {
        Load(settings, folder, err);
        camera = FindCamera(settings.device, account.substr(std::strlen(kCameraAccount)));
        if (camera < 0) {
            err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                        "kestrovamail: --set-password: \"%1\" という名前のカメラは"
                                        "ありません（カメラ: %2）"),
                      account.substr(std::strlen(kCameraAccount)),
                      CameraNameList(settings.device))
                << "\n";
            return kNoSuchCamera;
        }
        secret = &SettingOf("CAMERA1.PASSWORD");
    }
    if (!secret) {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "kestrovamail: --set-password は pop3、smtp、oauth-client、"
                                    "camera:NAME のどれかです（\"%1\" は違います）"),
                  account)
            << "\n";
        return kRefused;
    }
    std::string password;
    {
        std::optional<NoEcho> quiet;
        if (prompt) {
            err << (secret->key == std::string_view("OAUTH_CLIENT_SECRET")
                        ? Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                               "OAuthクライアントシークレット: "))
                    : forCamera
                        ? Tr(QT_TRANSLATE_NOOP("SettingsCommands", "カメラ %1 のパスワード: "),
                             settings.device.cameras[static_cast<std::size_t>(camera)].name)
                        : Tr(QT_TRANSLATE_NOOP("SettingsCommands", "%1のパスワード: "),
                             ascii::Upper(secret->account)))
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
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "kestrovamail: パスワード%1。何も変えていません"),
                  problem)
            << "\n";
        return kRefused;
    }
    if (text::Utf8ToSjis(password).size() > kMaxPasswordBytes) {
        err << Tr(QT_TRANSLATE_NOOP(
                      "SettingsCommands",
                      "kestrovamail: パスワードが%1バイトを超えています。何も変えていません"),
                  std::to_string(kMaxPasswordBytes))
            << "\n";
        return kRefused;
    }
    if (!forCamera)
        Load(settings, folder, err);
    SetSettingWord(*secret, settings, password, camera + 1);
    return Save(settings, folder, err);
}

int RemoveCamera(const std::string& folder, const std::string& name, std::ostream& out,
                 std::ostream& err) {
    Settings settings;
    Load(settings, folder, err);
    std::vector<CameraSettings>& cameras = settings.device.cameras;
    const int index = FindCamera(settings.device, name);
    if (index < 0) {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "kestrovamail: --remove-camera: \"%1\" という名前のカメラは"
                                    "ありません（カメラ: %2）"),
                  name, CameraNameList(settings.device))
            << "\n";
        return kNoSuchCamera;
    }
    if (cameras.size() == 1) {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "kestrovamail: --remove-camera: 最後のカメラは外せません"
                                    "（--set CAMERA1.KEY=VALUE で変えます）"))
            << "\n";
        return kRefused;
    }
    // The passwords are kept by camera number: with keyring secrets unread, those of the
    // cameras after it could not move down with them.
    if (settings.mail.secretStore == SecretStore::Keyring && settings.mail.secretsUnread) {
        err << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                    "kestrovamail: --remove-camera: キーリングを読めないため、"
                                    "カメラを外せません。何も変えていません"))
            << "\n";
        return kSaveFailed;
    }
    const std::string removed = cameras[static_cast<std::size_t>(index)].name;
    cameras.erase(cameras.begin() + index);
    if (const int status = Save(settings, folder, err); status != kOk)
        return status;
    out << Tr(QT_TRANSLATE_NOOP("SettingsCommands",
                                "カメラ %1 を外しました（残りのカメラ: %2）"),
              removed, CameraNameList(settings.device))
        << "\n";
    return kOk;
}

} // namespace settingscli
