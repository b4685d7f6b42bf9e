#pragma once
// Keeps a network camera (RTSP, MJPEG, JPEG snapshots) open while it comes and goes, on the
// user-interface thread, for the window and the headless service alike.
//
// - Opening waits on the network (bounded), so it runs on a thread of its own; until it has
//   succeeded the camera counts as away: its grabs fail at once and its requests stay on the
//   server (or, asked for with other cameras, it is named in the reply).
// - A camera that cannot be reached, or whose stream fails, is tried again after 1 s, then 2, 4,
//   ... at most a minute apart. Its loss is said once, and its return once.

#include "app/camera/ServiceInterfaces.h"
#include "app/camera/WorkerPictureSource.h"
#include "capture/CaptureUi.h"
#include "capture/NetworkCamera.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class NetworkCameraKeeper final : public QObject, private QuietCaptureUi {
    Q_OBJECT
public:
    static constexpr const char* kLostLine = "カメラ「%1」につながりません（%2）。"
                                             "戻るまでこのカメラの写真の依頼には答えず、依頼はサーバーに残します。";
    static constexpr const char* kBackLine = "カメラ「%1」で撮影を再開しました。";
    static constexpr std::chrono::milliseconds kFirstPause{1000};
    static constexpr std::chrono::milliseconds kLongestPause{60000};

    // name: the camera's name for the log; frameArrived: a new frame is there (any thread; may
    // be empty).
    NetworkCameraKeeper(std::string name, NetworkCameraSpec spec, IServiceLog& log,
                        std::function<void()> frameArrived = {}, QObject* parent = nullptr);
    ~NetworkCameraKeeper() override;

    // Motion detection for the camera's streams (null: none); before Start.
    void SetMotionTap(std::unique_ptr<MotionTap> tap) { m_camera.SetMotionTap(std::move(tap)); }
    // Opens the camera (in the background); the first failure is said once.
    void Start();
    // No stream runs now: the camera is being opened or waited for.
    bool waiting() const { return m_state != State::Running; }
    // The first attempt to open has ended, either way.
    bool tried() const { return m_tried; }
    ICamera& camera() { return m_camera; }
    const ICamera& camera() const { return m_camera; }
    const std::string& name() const { return m_name; }
    CWorkerPictureSource::UiSide WorkerSide(QObject* context,
                                            std::function<GrabRequest()> makeRequest);
    // The pause before the next attempt (for tests and the benchmark).
    std::chrono::milliseconds nextPause() const { return m_pause; }
    void SetFirstPause(std::chrono::milliseconds pause) { m_firstPause = m_pause = pause; }

signals:
    // The camera came (true) or went (false).
    void cameraAvailable(bool available);

private:
    enum class State { Opening, Running, Waiting };

    // The camera's user interface: nobody is asked anything; a failed stream comes here.
    void ShowMessage(const std::string& text) override { m_log.AddLog(text); }
    void FrameArrived() override;
    void StreamLost(const std::string& reason) override;

    void Open();
    void Opened(bool ok, const std::string& why);
    void Lost(const std::string& why);
    void JoinOpener();

    std::string m_name;
    IServiceLog& m_log;
    std::function<void()> m_frameArrived;
    NetworkCamera m_camera;
    QTimer m_retry;
    std::thread m_opener;
    std::atomic<bool> m_closing{false};
    State m_state = State::Waiting;
    std::chrono::milliseconds m_firstPause = kFirstPause;
    std::chrono::milliseconds m_pause = kFirstPause;
    bool m_lossSaid = false;
    bool m_tried = false;
};

// One picture from a network camera that is not running (the device settings' "show a frame"):
// opened, one frame awaited, closed; at most about NetworkCamera::kOpenWait plus limit. nullopt
// with why (no password in it) when there is none. Blocks: not on the user-interface thread.
std::optional<QImage> TryNetworkCamera(const NetworkCameraSpec& spec, std::string& why,
                                       std::chrono::milliseconds limit = std::chrono::seconds(5));
