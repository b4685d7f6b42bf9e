#include "app/camera/CameraKeeper.h"

#include "capture/CaptureGraph.h"
#include "capture/DeviceWatch.h"

#include <QString>

namespace {

constexpr const char* kTakenUpLine = "映像入力デバイス「%1」で撮影を始めました。";

std::string Format(const char* pattern, const std::string& a, const std::string& b = {}) {
    return QString::fromUtf8(pattern)
        .arg(QString::fromStdString(a), QString::fromStdString(b))
        .toStdString();
}

} // namespace

CCameraKeeper::CCameraKeeper(CCaptureGraph& graph, IServiceLog& log, std::function<bool()> build,
                             QObject* parent)
    : QObject(parent), m_graph(graph), m_log(log), m_build(std::move(build)) {
    m_timer.setInterval(2000);
    connect(&m_timer, &QTimer::timeout, this, &CCameraKeeper::Tick);
}

CCameraKeeper::~CCameraKeeper() {
    m_watch.reset(); // no announcement arrives after this
}

void CCameraKeeper::SetRetryInterval(std::chrono::milliseconds interval) {
    m_timer.setInterval(static_cast<int>(interval.count()));
}

bool CCameraKeeper::Start() {
    m_watch = std::make_unique<CDeviceWatch>(
        [this](CDeviceWatch::Change change, const std::string& name, const std::string& path) {
            const bool added = change == CDeviceWatch::Change::Added;
            QMetaObject::invokeMethod(
                this, [this, added, name, path] { OnDeviceChange(added, name, path); },
                Qt::QueuedConnection);
        });
    if (m_graph.graphReady()) {
        // Built by the caller (the window's first run asks the user); its frames are awaited.
        m_state = State::Starting;
        m_timer.start();
        emit cameraAvailable(true);
        return true;
    }
    m_state = State::WaitingAny;
    TryTakeUp();
    if (!waiting())
        return true;
    Wait(State::WaitingAny);
    if (!m_noCameraAnnounced) {
        m_noCameraAnnounced = true;
        m_log.AddLog(kNoCameraLine);
    }
    emit cameraAvailable(false);
    return false;
}

bool CCameraKeeper::ChecksMayRun() const {
    return m_graph.graphReady() || waiting();
}

void CCameraKeeper::AfterUserBuild(bool built) {
    if (built && m_graph.graphReady()) {
        m_state = State::Starting;
        m_timer.start();
        emit cameraAvailable(true);
    } else {
        Wait(State::WaitingAny);
        emit cameraAvailable(false);
    }
}

void CCameraKeeper::NotifyStreamLost(const std::string& reason) {
    QMetaObject::invokeMethod(
        this, [this, reason] { OnStreamLost(reason); }, Qt::QueuedConnection);
}

void CCameraKeeper::OnStreamLost(const std::string& reason) {
    if (waiting())
        return; // the same outage, already handled
    ++m_losses;
    const std::string& pinned = m_graph.pinnedDevice();
    m_wanted = pinned.empty() ? m_graph.deviceName() : pinned;
    // A rebuild that has not shown a frame yet belongs to the outage already logged.
    if (!m_lossAnnounced) {
        m_lossAnnounced = true;
        m_log.AddLog(Format(kLostLine, m_graph.deviceName(), reason));
    }
    m_graph.TearDownGraph();
    Wait(State::WaitingSame);
    emit cameraAvailable(false);
}

void CCameraKeeper::OnDeviceChange(bool added, const std::string& name, const std::string& path) {
    if (added) {
        if (waiting())
            TryTakeUp();
        return;
    }
    if (!waiting() && name == m_graph.deviceName())
        OnStreamLost(path.empty() ? "removed" : path + " removed");
}

void CCameraKeeper::TryTakeUp() {
    const std::vector<CaptureDevice> devices = m_graph.ListDevices();
    const std::string& pinned = m_graph.pinnedDevice();
    int target;
    if (m_state == State::WaitingSame)
        target = CCaptureGraph::FindDevice(devices, m_wanted);
    else if (!pinned.empty())
        target = CCaptureGraph::FindDevice(devices, pinned);
    else
        target = devices.empty() ? -1 : 0;
    if (target < 0 || !m_build() || !m_graph.graphReady())
        return;
    m_state = State::Starting;
    if (!m_timer.isActive())
        m_timer.start();
    emit cameraAvailable(true);
}

void CCameraKeeper::Tick() {
    if (m_state != State::Starting) {
        TryTakeUp();
        return;
    }
    if (m_graph.BuffersArrived() == 0)
        return;
    // Frames flow (decoded or not): the camera is back (or there for the first time since the start).
    m_state = State::Running;
    m_timer.stop();
    if (m_lossAnnounced)
        m_log.AddLog(Format(kBackLine, m_graph.deviceName()));
    else if (m_noCameraAnnounced)
        m_log.AddLog(Format(kTakenUpLine, m_graph.deviceName()));
    m_lossAnnounced = false;
    m_noCameraAnnounced = false;
}

void CCameraKeeper::Wait(State state) {
    m_state = state;
    if (!m_timer.isActive())
        m_timer.start();
}
