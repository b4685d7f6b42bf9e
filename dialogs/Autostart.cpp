#include "dialogs/Autostart.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

fs::path AutostartFolder() {
    fs::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".config";
    else
        return {};
    const fs::path folder = base / "autostart";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec))
        return {};
    return folder;
}

std::string CurrentExecutablePath() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::string QuoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%'; // a lone % would start a field code
        quoted += c;
    }
    quoted += '"';

    // The general string escapes are applied to the whole value after the quoting.
    std::string escaped;
    for (char c : quoted) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string AutostartEntryText(const std::string& exePath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=KestrovaMail\n"
           "Exec=" +
           QuoteExecArgument(exePath) + " " + kStartupArgument +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool CreateAutostartEntry(const fs::path& folder, const std::string& exePath) {
    if (folder.empty() || exePath.empty())
        return false;
    const fs::path target = folder / kAutostartFileName;
    const fs::path temporary = folder / (std::string(kAutostartFileName) + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << AutostartEntryText(exePath);
        out.close();
        if (!out) {
            std::error_code ec;
            fs::remove(temporary, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec); // replaces an existing entry in one step
    if (ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

bool AutostartEntryExists(const fs::path& folder) {
    std::error_code ec;
    return !folder.empty() && fs::is_regular_file(folder / kAutostartFileName, ec);
}

bool DeleteAutostartEntry(const fs::path& folder) {
    std::error_code ec;
    return !folder.empty() && fs::remove(folder / kAutostartFileName, ec);
}
