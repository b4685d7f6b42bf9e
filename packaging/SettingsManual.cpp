// Prints the manual page's list of settings (a help2man include section) from the settings
// table, so that the manual names every key with its type, default and limits.
// Usage: km_settings_manual OUTPUT

#include "app/settings/SettingsTable.h"

#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// Text as roff shows it: backslashes and minus signs escaped, no line starting a request.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\''))
        out.insert(0, "\\&");
    return out;
}

// The keywords of a choice: "none, starttls, tls" and then last, or "pop3 or imap".
std::string Words(SettingType type, const char* last) {
    const std::span<const char* const> keywords = SettingKeywords(type);
    std::string words;
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        if (i > 0)
            words += *last || i + 1 < keywords.size() ? ", " : " or ";
        words += keywords[i];
    }
    return words + last;
}

std::string Described(const SettingRow& row) {
    switch (row.type) {
    case SettingType::Text:
        return "text";
    case SettingType::Secret:
        return std::string("secret, stored enciphered; set with --set-password ") + row.account +
               ", shown as ********";
    case SettingType::Number:
        if (row.low == INT32_MIN && row.high == INT32_MAX)
            return "integer";
        return "integer from " + std::to_string(row.low) + " to " + std::to_string(row.high);
    case SettingType::Color:
        return "colour 0x00BBGGRR as a decimal number up to " + std::to_string(row.high) +
               ", or #RRGGBB";
    case SettingType::Security:
        return Words(row.type, " or auto (the port decides)");
    case SettingType::AddressList:
        return "list of up to " + std::to_string(row.high) + " entries, " + row.key + "1 to " +
               row.key + std::to_string(row.high) + "; an empty value removes an entry";
    case SettingType::Flag:
        return "on or off";
    default:
        return Words(row.type, "");
    }
}

std::string Default(const SettingRow& row) {
    std::string word = DefaultWord(row);
    if (row.type == SettingType::Security && word.empty())
        word = "auto";
    if (row.newSetupWord)
        return std::string(row.newSetupWord) + " in a new setup.ini, " + word +
               " where an existing one lacks the key";
    return word.empty() ? "empty" : word;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: km_settings_manual OUTPUT\n";
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out << "[SETTINGS]\n"
           "The settings are kept in setup.ini and device.ini in the program folder, in code "
           "page 932.\n"
           ".B kestrovamail \\-\\-show\\-settings\n"
           "lists them;\n"
           ".BI \"kestrovamail \\-\\-set \" SECTION.KEY = VALUE\n"
           "changes one with the checks of the settings dialogs (the name in any letter case).\n"
           ".PP\n"
           "Each camera is a section CAMERA1 to CAMERA" << DeviceSettings::kMaxCameras
        << " of device.ini, its keys named CAMERAn.KEY. Setting a key of the camera after the "
           "last adds one (no number may be skipped);\n"
           ".BI \"kestrovamail \\-\\-remove\\-camera \" NAME\n"
           "removes one, the cameras after it moving up. The [DEVICE] section of an older "
           "device.ini reads as camera 1 (SELECT as its ADDRESS) and is written back as "
           "CAMERA1.\n";
    for (const SettingRow& row : SettingRows()) {
        const std::string name =
            row.type == SettingType::AddressList
                ? SettingName(row, 1) + " ... " + SettingName(row, int(row.high))
            : row.Has(kPerCamera) ? std::string(row.section) + "n." + row.key
                                  : SettingName(row);
        out << ".TP\n.B " << Roff(name) << "\n"
            << Roff(Described(row)) << (row.manual ? "; " + Roff(row.manual) : std::string())
            << "; default: " << Roff(Default(row)) << ".\n";
    }
    out.close();
    if (!out) {
        std::cerr << "km_settings_manual: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
