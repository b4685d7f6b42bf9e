// setup.ini and device.ini as a user or another program may have left them: the INI reader
// (IniFile::Parse and every key LoadSettings reads), a write into the parsed file, and a
// whole load, save and load again through the settings store. The input is setup.ini,
// optionally followed by a NUL byte and device.ini.
//
// Checks: parsing keeps the file's bytes (a code page 932 file's; a UTF-8 file goes back in
// code page 932 or stays marked UTF-8); no value read holds a line break; a file written and
// parsed again reads the same; settings saved and loaded again are the settings loaded.

#include "app/settings/IniFile.h"
#include "app/report/MessageSink.h"
#include "app/settings/PasswordCipher.h"
#include "base/Settings.h"
#include "app/settings/SettingsStore.h"
#include "fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

struct Key {
    const char* section;
    const char* key;
};

// Every key of setup.ini and device.ini, in the order LoadSettings reads them.
const std::vector<Key>& AllKeys() {
    static const std::vector<Key> keys = [] {
        std::vector<Key> k = {
            {"DEVICE", "SELECT"},
            {"DEVICE", "WIDTH"},
            {"DEVICE", "HEIGHT"},
            {"APPLICATION", "LOGFILE"},
            {"APPLICATION", "CLOSECANCEL"},
            {"APPLICATION", "JPEG_QUALITY"},
            {"APPLICATION", "STARTUP_TIMER"},
            {"APPLICATION", "STARTUP_DIALOG"},
            {"MAIL", "POP3_SERVER"},
            {"MAIL", "POP3_ID"},
            {"MAIL", "POP3_PASS"},
            {"MAIL", "SMTP_SERVER"},
            {"MAIL", "SMTP_PORT"},
            {"MAIL", "SENDER_NAME"},
            {"MAIL", "SENDER_ADDRESS"},
            {"MAIL", "CHECK_STRING"},
            {"MAIL", "APOP"},
            {"MAIL", "IMAGE_ROTATION"},
            {"MAIL", "POP3_PORT"},
            {"MAIL", "RECEIVE_PROTOCOL"},
            {"MAIL", "IMAP_SERVER"},
            {"MAIL", "IMAP_PORT"},
            {"MAIL", "IMAP_SECURITY"},
            {"TIMETEXT", "SHOW_TEXT"},
            {"TIMETEXT", "TEXT_XPOS"},
            {"TIMETEXT", "TEXT_YPOS"},
            {"TIMETEXT", "TIME_FORMAT"},
            {"TIMETEXT", "FONT_NAME"},
            {"TIMETEXT", "FONT_SIZE"},
            {"TIMETEXT", "FONT_BOLD"},
            {"TIMETEXT", "FONT_ITALIC"},
            {"TIMETEXT", "SHOW_SHADOW"},
            {"TIMETEXT", "SHADOW_XPOS"},
            {"TIMETEXT", "SHADOW_YPOS"},
            {"TIMETEXT", "TEXT_COLOR"},
            {"TIMETEXT", "SHADOW_COLOR"},
        };
        static const char* const addresses[] = {
            "SEND_ADDRESS1", "SEND_ADDRESS2", "SEND_ADDRESS3", "SEND_ADDRESS4", "SEND_ADDRESS5",
            "SEND_ADDRESS6", "SEND_ADDRESS7", "SEND_ADDRESS8", "SEND_ADDRESS9", "SEND_ADDRESS10"};
        for (const char* key : addresses)
            k.push_back({"MAIL", key});
        return k;
    }();
    return keys;
}

class QuietSink final : public IMessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

// A folder on tmpfs when there is one: every save is fsynced.
const std::string& Folder() {
    static const std::string folder = [] {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? "/dev/shm"
                                         : std::filesystem::temp_directory_path();
        std::filesystem::path dir = base / ("km_fuzz_ini_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        // libFuzzer ends a run through exit(): the folder goes with it. (The name is kept apart
        // from this static, which exit() may destroy first.)
        static const std::string* const doomed = new std::string(dir.string());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(*doomed, ignored);
        });
        return dir.string() + "/";
    }();
    return folder;
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

// Bytes that are not code page 932 read as U+FFFD, which cannot be written back as they were;
// such a text is not expected to survive a save unchanged.
bool Replaced(const std::string& text) {
    return text.find("\xEF\xBF\xBD") != std::string::npos;
}
bool Replaced(const std::vector<std::string>& texts) {
    for (const std::string& text : texts)
        if (Replaced(text))
            return true;
    return false;
}
template <typename T> bool Replaced(const T&) {
    return false;
}

// The first field that differs between a and b, or nullptr when they are the same.
const char* DifferentField(const Settings& a, const Settings& b) {
#define FIELD(f)                                                                                   \
    if (!Replaced(a.f) && a.f != b.f)                                                              \
        return #f;
    FIELD(device.cameras[0].address)
    FIELD(device.cameras[0].width) FIELD(device.cameras[0].height) FIELD(app.logFile) FIELD(app.closeCancel)
        FIELD(app.jpegQuality) FIELD(app.startupDialog) FIELD(app.startupTimer)
            FIELD(mail.smtpServer) FIELD(mail.pop3Server) FIELD(mail.pop3Port) FIELD(mail.pop3Id)
                FIELD(mail.senderName) FIELD(mail.senderAddress) FIELD(mail.sendAddresses)
                    FIELD(mail.checkString) FIELD(mail.apop) FIELD(mail.imageRotation)
                        FIELD(mail.smtpPort) FIELD(mail.receiveProtocol) FIELD(mail.imapServer)
                            FIELD(mail.imapPort) FIELD(mail.imapSecurity) FIELD(timeText.showText) FIELD(timeText.textXPos)
                            FIELD(timeText.textYPos) FIELD(timeText.fontSize)
                                FIELD(timeText.showShadow) FIELD(timeText.shadowXPos)
                                    FIELD(timeText.shadowYPos) FIELD(timeText.timeFormat)
                                        FIELD(timeText.textColor) FIELD(timeText.shadowColor)
                                            FIELD(timeText.fontName) FIELD(timeText.fontBold)
                                                FIELD(timeText.fontItalic)
        // A password beyond the longest one that can be stored is not saved at all.
        if (a.mail.pop3Pass.size() <= kMaxPasswordBytes) {
        FIELD(mail.pop3Pass)
    }
#undef FIELD
    return nullptr;
}

void ReadEveryKey(const IniFile& ini, std::vector<std::string>& values) {
    values.clear();
    for (const Key& k : AllKeys()) {
        std::string value = ini.ReadString(k.section, k.key, "");
        FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos);
        ini.ReadInt(k.section, k.key, 7);
        ini.ReadUInt32(k.section, k.key, 7);
        values.push_back(std::move(value));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string_view setupBytes = input.substr(0, nul);
    const std::string_view deviceBytes =
        nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    // The reader alone.
    IniFile ini("unused.ini");
    ini.Parse(setupBytes);
    if (!ini.readAsUtf8())
        FUZZ_CHECK(ini.Serialize() == setupBytes);
    std::vector<std::string> before;
    ReadEveryKey(ini, before);

    // A write keeps every other key as it was and reads back; so does the file written.
    const std::string written = std::string(setupBytes.substr(0, 40));
    ini.Write("MAIL", "CHECK_STRING", written);
    ini.Delete("MAIL", "SEND_ADDRESS3");
    IniFile again("unused.ini");
    again.Parse(ini.Serialize());
    std::vector<std::string> afterWrite, reparsed;
    ReadEveryKey(ini, afterWrite);
    ReadEveryKey(again, reparsed);
    // A code page 932 file whose bytes all happen to form UTF-8 after the write is taken for
    // UTF-8, as such a file would be by hand; that is the one case that may read otherwise.
    if (again.readAsUtf8() == ini.readAsUtf8() || ini.readAsUtf8())
        FUZZ_CHECK(afterWrite == reparsed);

    // The settings store over real files.
    QuietSink sink;
    WriteFile(Folder() + kSetupIniName, setupBytes);
    WriteFile(Folder() + kDeviceIniName, deviceBytes);
    Settings loaded;
    LoadSettings(loaded, Folder(), sink);
    FUZZ_CHECK(loaded.mail.sendAddresses.size() <= MailSettings::kMaxSendAddresses);
    if (SaveSettings(loaded, Folder(), sink)) {
        Settings reloaded;
        LoadSettings(reloaded, Folder(), sink);
        const char* differs = DifferentField(loaded, reloaded);
        if (differs)
            std::fprintf(stderr, "%s changed by a save and a load\n", differs);
        FUZZ_CHECK(differs == nullptr);
    }
    ReadStartupOptions(Folder());
    return 0;
}
