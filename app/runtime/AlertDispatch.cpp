#include "app/runtime/AlertDispatch.h"

#include "app/alerts/MailTexts.h"
#include "app/service/MailCheckHost.h"
#include "app/settings/CameraNames.h"
#include "mail/net/CancelSignal.h"

#include <QPointer>
#include <algorithm>

AlertDispatch::AlertDispatch(const Settings& settings, IServiceLog& log, std::string folder,
                             QObject* parent)
    : QObject(parent), m_settings(settings), m_log(log), m_folder(folder),
      m_record(folder + kScheduleRecordName) {
    connect(&m_scheduleTimer, &QTimer::timeout, this, &AlertDispatch::LookAtSchedule);
    m_scheduleTimer.start(kScheduleLook);
}

void AlertDispatch::SetMailHost(CMailCheckHost* host, std::vector<std::string> cameraNames) {
    m_host = host;
    m_names = std::move(cameraNames);
    SettingsChanged();
}

void AlertDispatch::SettingsChanged() {
    const AlertSettings& alert = m_settings.alert;
    // What was sent and held back stands across a reload unless the limits themselves change:
    // a SIGHUP must not let a burst of alerts through.
    if (alert.intervalMinutes != m_limits.first || alert.maxPerDay != m_limits.second) {
        m_limits = {alert.intervalMinutes, alert.maxPerDay};
        m_limiter = AlertLimiter(std::chrono::minutes(alert.intervalMinutes), alert.maxPerDay);
    }
    std::string why;
    std::string said;
    if (std::optional<AlertHours> hours = AlertHours::Parse(alert.hours, &why))
        m_hours = *hours;
    else
        said += "ALERT.HOURS: " + why + " ";
    m_schedule = {};
    m_scheduleCameras.clear();
    if (std::optional<Schedule> schedule = Schedule::Parse(m_settings.schedule, &why))
        m_schedule = *schedule;
    else
        said += why + " ";
    if (const auto chosen = ParseScheduleCameras(m_settings.schedule.cameras)) {
        for (std::size_t i = 0; i < m_names.size(); ++i) {
            const bool named = std::ranges::any_of(chosen->names, [&](const std::string& name) {
                return FoldCameraName(name) == FoldCameraName(m_names[i]);
            });
            if (chosen->all || named)
                m_scheduleCameras.push_back(i);
        }
    }
    // Said once, where the user reads at start: armed alerts that go nowhere.
    if (alert.armed && alert.addresses.empty())
        said += "警戒中ですが、知らせる宛先（ALERT.ADDRESS1 ...）がありません。";
    if (!m_schedule.Empty() && m_settings.schedule.addresses.empty())
        said += "定時の写真の宛先（SCHEDULE.ADDRESS1 ...）がありません。";
    if (!said.empty() && said != m_said)
        m_log.AddLog(said);
    m_said = said;
}

void AlertDispatch::MotionSeen(std::size_t camera) {
    const AlertSettings& alert = m_settings.alert;
    if (camera >= m_names.size() || !alert.armed || alert.addresses.empty() || !m_host)
        return;
    const TimePoint now = std::chrono::system_clock::now();
    const LocalTime local = ToLocalTime(now);
    if (!m_hours.Allows(local))
        return;
    const std::string& name = m_names[camera];
    const AlertDecision decision = m_limiter.Offer(name, now);
    if (!decision.send) {
        m_log.WriteLogFile("動き検知: " + name + "（間隔か1日の上限のため知らせません）");
        return;
    }
    const MailLanguage language = m_settings.mail.language;
    const LocalTime since = decision.heldSince ? ToLocalTime(*decision.heldSince) : local;
    m_log.AddLog("動き検知: " + name + " — 警戒メールを送ります");
    Send({camera}, kAlertPictures, alert.addresses, AlertSubject(language, name, local),
         AlertBody(language, name, local, decision.heldBack, since), [](bool) {});
}

void AlertDispatch::LookAtSchedule() {
    if (!m_host || m_schedule.Empty() || m_settings.schedule.addresses.empty() ||
        m_scheduleCameras.empty())
        return;
    const std::optional<TimePoint> due = m_record.Due(m_schedule, std::chrono::system_clock::now());
    if (!due)
        return;
    const LocalTime moment = ToLocalTime(*due);
    const MailLanguage language = m_settings.mail.language;
    m_log.AddLog("定時の写真を送ります（" + FormatTimeOfDay(moment.hour * 60 + moment.minute) + "）");
    // Marked as sent at once: a moment is sent once, even when its mail fails (said in the log).
    std::string why;
    if (!m_record.MarkSent(*due, &why))
        m_log.WriteLogFile("ERROR : " + std::string(kScheduleRecordName) + ": " + why);
    Send(m_scheduleCameras, 1, m_settings.schedule.addresses, ScheduledSubject(language, moment),
         ScheduledBody(language, moment, {}), [](bool) {});
}

void AlertDispatch::Send(std::vector<std::size_t> cameras, int shots,
                         const std::vector<std::string>& to, std::string subject,
                         std::vector<std::string> lines, std::function<void(bool)> after) {
    CMailService* service = &m_host->service();
    const MailSettings copy = m_settings.mail;
    QPointer<AlertDispatch> self(this);
    m_host->worker().Post([=, cameras = std::move(cameras), subject = std::move(subject),
                           lines = std::move(lines)](const CCancelSignal&) {
        const bool sent =
            service->SendOwnMail(copy, to, cameras, shots, kAlertPicturesApart, subject, lines);
        QMetaObject::invokeMethod(
            self, [after, sent] { after(sent); }, Qt::QueuedConnection);
    });
}
