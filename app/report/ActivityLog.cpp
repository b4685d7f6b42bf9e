#include "app/report/ActivityLog.h"

#include "app/report/ScreenText.h"
#include "base/PrivateFile.h"
#include "mail/text/TextCodec.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Appends bytes to the file in one write (looping only over short writes), creating it private
// when missing; opened and closed here so that other programs may read or delete it between
// lines.
bool AppendToFile(const std::string& path, std::string_view bytes) {
    FileDescriptor fd = OpenPrivateFile(path, O_APPEND);
    if (!fd)
        return false;
    while (!bytes.empty()) {
        ssize_t n = ::write(fd.get(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return fd.Close();
}

} // namespace

ActivityLog::ActivityLog(const AppSettings& appSettings, std::string folder, const IClock& clock)
    : m_appSettings(appSettings), m_folder(std::move(folder)), m_clock(clock) {}

std::string_view ActivityLog::TrimTrailingSpace(std::string_view message) {
    // UTF-8 continuation bytes are never ASCII, so byte steps cannot cut a character.
    while (!message.empty()) {
        char c = message.back();
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f')
            break;
        message.remove_suffix(1);
    }
    return message;
}

std::string ActivityLog::ScreenLine(const LocalTime& time, std::string_view message) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%d/%d %02d:%02d:%02d", time.month, time.day, time.hour,
                  time.minute, time.second);
    return std::string(stamp) + " - " + std::string(message);
}

std::string ActivityLog::FileLine(const LocalTime& time, std::string_view message) {
    const std::string weekday(JapaneseWeekday(time.weekday));
    char stamp[128];
    std::snprintf(stamp, sizeof stamp, "%04d年%02d月%02d日(%s) %02d時%02d分%02d秒", time.year,
                  time.month, time.day, weekday.c_str(), time.hour, time.minute, time.second);
    return std::string(stamp) + " - " + std::string(message);
}

void ActivityLog::AddLog(std::string_view message) {
    message = TrimTrailingSpace(message);
    m_text += ScreenLine(m_clock.LocalNow(), message);
    m_text += "\r\n";
    Echo(message);
    WriteFileLine(message);

    std::string_view added = std::string_view(m_text).substr(m_shownLength);
    m_shownLength = m_text.size();
    if (m_observer)
        m_observer(added, m_text);
}

void ActivityLog::WriteLogFile(std::string_view message) {
    // Trimmed here too, so that a direct call with a trailing CR LF cannot leave an empty line.
    WriteFileLine(TrimTrailingSpace(message));
}

void ActivityLog::Echo(std::string_view message) const {
    if (!m_echo)
        return;
    // In the user's language, as on screen; one write per line, so that lines of other writers
    // never cut into it.
    const std::string line = ScreenLine(m_clock.LocalNow(), ScreenText(message)) + "\n";
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

void ActivityLog::WriteFileLine(std::string_view message) {
    if (!m_appSettings.logFile)
        return;
    std::string line = text::Utf8ToSjis(FileLine(m_clock.LocalNow(), message));
    line += "\r\n";
    const bool written = AppendToFile(LogFilePath(), line);
    // Said when the file stops taking lines, not at every line while it stays so.
    if (!written && m_fileWritable) {
        m_text += kLogFileErrorLine;
        m_text += "\r\n";
        Echo(kLogFileErrorLine);
    }
    m_fileWritable = written;
}
