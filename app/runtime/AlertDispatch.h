#pragma once
// The mails the cameras send first: a motion alert when a camera with MOTION=on sees movement
// while the alerts are armed, within the alert hours and the limits (AlertLimiter); and the
// scheduled pictures at their moments (Schedule), a moment missed while the program was off or
// the machine slept sent once. The mails are made and sent on the mail worker
// (CMailService::SendOwnMail): the picture at detection and two more a second apart for an
// alert, one picture of each chosen camera for the schedule. User-interface thread.

#include "app/alerts/AlertHours.h"
#include "app/alerts/AlertLimiter.h"
#include "app/alerts/Schedule.h"
#include "app/report/ServiceLog.h"
#include "base/Clock.h"
#include "base/Settings.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CMailCheckHost;

class AlertDispatch final : public QObject {
    Q_OBJECT
public:
    static constexpr int kAlertPictures = 3;
    static constexpr std::chrono::milliseconds kAlertPicturesApart{1000};
    static constexpr std::chrono::seconds kScheduleLook{20};

    // settings: the live records; folder: the program folder (the schedule's record).
    AlertDispatch(const Settings& settings, IServiceLog& log, std::string folder,
                  QObject* parent = nullptr);

    // The host whose worker sends, and the names of the cameras it grabs from (its order);
    // again whenever either changes. Null: nothing is sent.
    void SetMailHost(CMailCheckHost* host, std::vector<std::string> cameraNames);
    // After loading and reloading the settings: the rules read again, what is wrong said once.
    void SettingsChanged();
    // Camera (index into the names) has seen movement start; UI thread.
    void MotionSeen(std::size_t camera);
    // The scheduled moment due now is sent (the timer calls it; tests may).
    void LookAtSchedule();

private:
    void Send(std::vector<std::size_t> cameras, int shots, const std::vector<std::string>& to,
              std::string subject, std::vector<std::string> lines, std::function<void(bool)> after);

    const Settings& m_settings;
    IServiceLog& m_log;
    std::string m_folder;
    CMailCheckHost* m_host = nullptr;
    std::vector<std::string> m_names;
    AlertLimiter m_limiter{std::chrono::minutes(10), 48};
    std::pair<int, int> m_limits{10, 48}; // the interval and daily cap m_limiter counts with
    AlertHours m_hours;
    Schedule m_schedule;
    std::vector<std::size_t> m_scheduleCameras;
    ScheduleRecord m_record;
    QTimer m_scheduleTimer;
    std::string m_said; // the last settings problem said, so it is said once
};
