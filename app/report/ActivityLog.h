#pragma once
// The activity log: the text the main window shows (every line since the window opened, each
// ending in CR LF, never shortened) and, when logFile is on, log.txt in the program folder
// (code page 932, appended line by line, opened and closed for every line).
//
//   screen:  "12/6 15:47:44 - message"
//   log.txt: "2026年12月06日(日) 15時47分44秒 - message"

#include "base/Clock.h"
#include "base/Settings.h"

#include <functional>
#include <string>
#include <string_view>

inline constexpr const char* kLogFileName = "log.txt";
inline constexpr const char* kLogFileErrorLine = "ERROR : ログファイルエラー";

class ActivityLog {
public:
    // Called after every AddLog with the text added since the last call (the new screen line,
    // after any error lines waiting from WriteLogFile) and the whole log text.
    using Observer = std::function<void(std::string_view added, const std::string& wholeText)>;

    // appSettings is read at every line (logFile is live); folder is ProgramFolder(). Both the
    // settings and the clock must outlive the log.
    ActivityLog(const AppSettings& appSettings, std::string folder, const IClock& clock);

    // The screen line, and the file line when logFile is on. Trailing white space of message
    // is dropped first.
    void AddLog(std::string_view message);
    // The file line only, when logFile is on (trailing white space dropped as in AddLog). A
    // file that stops taking lines adds kLogFileErrorLine to the text (shown with the next
    // AddLog, and echoed), once: again only after a line has been written in between.
    void WriteLogFile(std::string_view message);

    const std::string& text() const { return m_text; }
    void SetObserver(Observer observer) { m_observer = std::move(observer); }
    // Every line of AddLog also goes to standard error as UTF-8 (the headless service's
    // journal), in the user's language (ScreenText), whatever logFile says. The file-only lines of WriteLogFile do not: they repeat
    // at every check, while the cause behind them is said once through AddLog.
    void SetStandardErrorEcho(bool on) { m_echo = on; }

    std::string LogFilePath() const { return m_folder + kLogFileName; }

    // The lines without their CR LF, for a given time (UTF-8).
    static std::string ScreenLine(const LocalTime& time, std::string_view message);
    static std::string FileLine(const LocalTime& time, std::string_view message);
    // message without trailing spaces, tabs, CR, LF, vertical tabs and form feeds.
    static std::string_view TrimTrailingSpace(std::string_view message);

private:
    void WriteFileLine(std::string_view message);
    void Echo(std::string_view message) const;

    const AppSettings& m_appSettings;
    std::string m_folder;
    const IClock& m_clock;
    std::string m_text;
    std::size_t m_shownLength = 0;
    Observer m_observer;
    bool m_echo = false;
    bool m_fileWritable = true; // the last file line was written (or none was tried)
};
