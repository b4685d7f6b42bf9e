#pragma once
// Every setting of device.ini and setup.ini, one row each, in the order the files hold them: its
// section and key, its type, its limits, whether it is a secret, and how the file keeps it.
// Loading and saving, --set and --show-settings, the settings dialogs (their limits and the field
// of a key) and the manual page read the rows; nothing else lists the settings.
//
// The defaults are written once, as the member initialisers of the records in base/Settings.h;
// a row reads its default from a default-constructed record.
//
// A value travels between the record, the file and the terminal as its word: the text itself,
// "on"/"off", a decimal number, or the keyword of a choice ("" for a protection the port decides).

#include "base/Settings.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

enum class SettingType {
    Text,        // one line of up to 1023 bytes of code page 932
    Secret,      // a password or client secret: enciphered in the file, set with --set-password
                 // (from standard input, never the command line), shown as ********
    Flag,        // on or off; only the exact text "on" reads as on
    Number,      // a decimal integer within the row's limits
    Color,       // 0x00BBGGRR as a decimal number up to the row's limit; --set also takes #RRGGBB
    Security,    // none, starttls or tls (any letter case); missing: the port decides ("auto")
    Protocol,    // pop3 or imap (any letter case); any other word reads as pop3
    SenderCheck, // off or dkim (any letter case)
    Store,       // file or keyring: where the secrets are kept; changed only by --move-secrets,
                 // which moves them there
    AuthMethod,  // password or oauth2; anything but oauth2 reads as password
    AddressList, // KEY1 to KEYn (n the row's upper limit): a list whose gaps close up on loading
    CameraType,  // usb, rtsp, mjpeg or snapshot (any letter case)
    Sensitivity, // low, medium or high (any letter case)
    Language,    // ja or en (any letter case)
};

// What a Text row's value must look like beyond one line of code page 932; a value that does not
// is refused by --set and, in a file, reads as the default with a note in the log.
enum class SettingCheck {
    None,
    AlertHours, // "always", or "mon-fri 22:00-06:00; sat,sun always"
    Times,      // "07:00,12:00"; empty: none
    TimeOfDay,  // HH:MM, 00:00 to 23:59
    EndOfDay,   // HH:MM, 00:00 to 24:00
    Days,       // "all" or weekdays "mon,tue" / "mon-fri"
    Cameras,    // "all" or camera names separated by ","
    Mask,       // rectangles "x,y,w,h;..." in percent (capture/MotionMask.h)
};

// The dialog with a field for the setting.
enum class SettingDialog { None, Device, Application, Mail, TimeText };

// How a row reaches its member of the records, for reading and for changing. camera: the index
// of the camera a per-camera row reaches (within DeviceSettings::cameras); other rows ignore it.
template <class T> struct SettingField {
    const T& (*read)(const Settings&, std::size_t camera);
    T& (*change)(Settings&, std::size_t camera);
};
using AnySettingField =
    std::variant<SettingField<std::string>, SettingField<bool>, SettingField<int32_t>,
                 SettingField<uint32_t>, SettingField<SecurityChoice>,
                 SettingField<ReceiveProtocol>, SettingField<SenderCheck>, SettingField<SecretStore>,
                 SettingField<std::vector<std::string>>, SettingField<CameraType>,
                 SettingField<MotionSensitivity>, SettingField<MailLanguage>>;

// What a row asks beyond its type.
enum SettingOption : unsigned {
    kUnsigned = 1,      // Number: the field takes no minus sign at all
    kClampWhenRead = 2, // Number: a stored value beyond the limits reads as the nearer limit
    // A key added after the first versions: left out of the file while it holds the value a
    // missing key reads as, so that a setup.ini nobody changed it in keeps its bytes.
    kLater = 4,
    // One of a camera's keys: the row stands for sections CAMERA1 to CAMERA8 of device.ini,
    // and the number given with it (SettingName, SettingWord ...) is the camera's, from 1.
    kPerCamera = 8,
};

struct SettingRow {
    const char* section;
    const char* key;
    SettingType type;
    AnySettingField field;
    SettingDialog dialog = SettingDialog::None;
    // Number: the range the dialogs and --set accept. Color: up to high. AddressList: 1 to the
    // most entries.
    int64_t low = 0;
    int64_t high = 0;
    unsigned options = 0; // SettingOption
    // What a setup.ini that does not exist yet gives, where it is not the default (the default
    // being what a missing key of an existing file reads as); nullptr: the default.
    const char* newSetupWord = nullptr;
    const char* account = nullptr; // Secret: the account of --set-password
    const char* manual = nullptr;  // what the manual page says of the row beyond its type (English)
    SettingCheck check = SettingCheck::None;

    bool Has(SettingOption option) const { return (options & option) != 0; }
};

// Every row in file order: the cameras' keys (device.ini), then APPLICATION, MAIL, TIMETEXT,
// ALERT and SCHEDULE (setup.ini).
const std::vector<SettingRow>& SettingRows();
// The per-camera rows, in the order a camera's section holds them.
std::vector<const SettingRow*> CameraRows();

// "SECTION.KEY"; an AddressList row with an entry's number names "SECTION.KEYn"; a per-camera
// row "CAMERAn.KEY" (n the number, 1 when none is given).
std::string SettingName(const SettingRow& row, int number = 0);
// The row's section in its file: "CAMERAn" for a per-camera row.
std::string SettingSection(const SettingRow& row, int number = 0);
// The row a name ("SECTION.KEY" in any letter case, "SECTION.KEYn" for an entry of a list,
// "CAMERAn.KEY" for camera n) names, and the entry's or camera's number in number; nullptr when
// no row has that name.
const SettingRow* FindSetting(std::string_view name, int* number = nullptr);
// The row of a name the program itself writes ("APPLICATION.JPEG_QUALITY"); a name no row has
// stops the program, as a misspelt constant should.
const SettingRow& SettingOf(std::string_view name);

// The words a choice takes (Flag, Security, Protocol, SenderCheck, AuthMethod, Store, CameraType,
// Sensitivity, Language); empty for the other types.
std::span<const char* const> SettingKeywords(SettingType type);

// The value as its word; for an AddressList the entry number (from 1), "" past the list's end;
// for a per-camera row camera number (from 1; 0 is camera 1), the default past the last camera.
std::string SettingWord(const SettingRow& row, const Settings& settings, int number = 0);
// The entries of an AddressList row's list.
std::size_t SettingEntryCount(const SettingRow& row, const Settings& settings);
// Stores a word. A choice takes its keywords (in any letter case where the type says so); any
// other word stores the default. An AddressList sets entry number, appends one past the end,
// and removes the entry for "". A per-camera row sets camera number's key, adding cameras up to
// that number (at most DeviceSettings::kMaxCameras).
void SetSettingWord(const SettingRow& row, Settings& settings, std::string_view word,
                    int number = 0);
// The word of a default-constructed record ("" for an AddressList).
std::string DefaultWord(const SettingRow& row);

// Whether word passes the row's check; when it does not, *part (when given) holds the part of it
// that is wrong. Cameras checks the form only: which names exist is the caller's to say.
bool PassesCheck(const SettingRow& row, const std::string& word, std::string* part = nullptr);
