#include "app/camera/NetworkCameraKeeper.h"

#include <QString>
#include <algorithm>

namespace {

std::string Format(const char* pattern, const std::string& a, const std::string& b = {}) {
    QString text = QString::fromUtf8(pattern).arg(QString::fromStdString(a));
    if (!b.empty())
        text = text.arg(QString::fromStdString(b));
    return text.toStdString();
}

} // namespace

NetworkCameraKeeper::NetworkCameraKeeper(std::string name, NetworkCameraSpec spec,
                                         IServiceLog& log, std::function<void()> frameArrived,
                                         QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_log(log),
      m_frameArrived(std::move(frameArrived)), m_camera(std::move(spec), *this) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &NetworkCameraKeeper::Open);
}

NetworkCameraKeeper::~NetworkCameraKeeper() {
    m_closing = true;
    m_retry.stop();
    JoinOpener();
    m_camera.Close();
}

void NetworkCameraKeeper::JoinOpener() {
    if (m_opener.joinable())
        m_opener.join();
}

void NetworkCameraKeeper::Start() {
    Open();
}

void NetworkCameraKeeper::Open() {
    if (m_closing || m_state == State::Opening)
        return;
    JoinOpener(); // the last attempt has said its result already
    m_state = State::Opening;
    m_opener = std::thread([this] {
        std::string why;
        const bool ok = m_camera.Open(why);
        QMetaObject::invokeMethod(
            this, [this, ok, why] { Opened(ok, why); }, Qt::QueuedConnection);
    });
}

void NetworkCameraKeeper::Opened(bool ok, const std::string& why) {
    if (m_closing)
        return;
    m_tried = true;
    if (!ok) {
        m_camera.Close();
        Lost(why);
        return;
    }
    m_state = State::Running;
    m_pause = m_firstPause;
    if (m_lossSaid) {
        m_lossSaid = false;
        m_log.AddLog(Format(kBackLine, m_name));
    }
    emit cameraAvailable(true);
}

void NetworkCameraKeeper::Lost(const std::string& why) {
    m_state = State::Waiting;
    if (!m_lossSaid) {
        m_lossSaid = true;
        m_log.AddLog(Format(kLostLine, m_name, why));
        emit cameraAvailable(false);
    }
    m_retry.start(m_pause);
    m_pause = std::min(m_pause * 2, kLongestPause);
}

void NetworkCameraKeeper::FrameArrived() {
    if (m_frameArrived)
        m_frameArrived();
}

void NetworkCameraKeeper::StreamLost(const std::string& reason) {
    // A GStreamer thread: the stream is closed on this object's thread.
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            if (m_closing || m_state != State::Running)
                return;
            m_camera.Close();
            Lost(reason);
        },
        Qt::QueuedConnection);
}

CWorkerPictureSource::UiSide NetworkCameraKeeper::WorkerSide(QObject* context,
                                                             std::function<GrabRequest()> makeRequest) {
    // makeRequest says whether this camera is ready (CKestrovaRuntime::MakeGrabRequest).
    return {context, &m_camera, [this] { return waiting(); }, std::move(makeRequest),
            m_camera.frameSignal()};
}

std::optional<QImage> TryNetworkCamera(const NetworkCameraSpec& spec, std::string& why,
                                       std::chrono::milliseconds limit) {
    QuietCaptureUi quiet; // the reason comes back from Open or the wait
    NetworkCamera camera(spec, quiet);
    if (!camera.Open(why))
        return std::nullopt;
    const uint64_t seen = camera.frameSignal()->Count();
    camera.WantFrames(true);
    camera.WaitForFrameBeyond(seen, limit);
    camera.WantFrames(false);
    QImage picture = camera.PreviewImage(640, 480);
    camera.Close();
    if (picture.isNull()) {
        why = "no picture came from the camera";
        return std::nullopt;
    }
    return picture;
}
