#pragma once
// Keeps the capture graph on its camera while cameras come and go, for the window and the
// headless service alike (user-interface thread).
//
// - At start, a camera that is attached is taken up; with none (or not the one named on the
//   command line) the program runs on without one and says so once in the log.
// - When the stream fails (unplugged, taken by another program, ended), the graph is torn down
//   at once, the loss is logged once, and the camera is waited for: only the same device is
//   taken up again, never another in its place.
// - A camera is taken up when the device monitor announces it, and, for failures no monitor
//   announces, on a retry timer while one is waited for. The return is logged once its first
//   frame has arrived.
//
// While a camera is waited for, mail checks still run (ChecksMayRun) but every grab fails at
// once: requests stay on the server and nothing is answered with an old frame.

#include "app/camera/ServiceInterfaces.h"
#include "app/camera/WorkerPictureSource.h"
#include "capture/CaptureGraph.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class CCaptureGraph;
class CDeviceWatch;

class CCameraKeeper final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kNoCameraLine =
        "映像入力デバイスがありません。メールの確認は続けますが、写真の依頼には答えず、"
        "依頼はサーバーに残します。カメラがつながると使い始めます。";
    static constexpr const char* kLostLine = "映像入力デバイス「%1」が使えなくなりました（%2）。"
                                             "戻るまで写真の依頼には答えず、依頼はサーバーに残します。";
    static constexpr const char* kBackLine = "映像入力デバイス「%1」で撮影を再開しました。";

    // build: builds the graph on the device the keeper found attached (the window and the
    // service build without asking anybody). log: the activity log on this thread.
    CCameraKeeper(CCaptureGraph& graph, IServiceLog& log, std::function<bool()> build,
                  QObject* parent = nullptr);
    ~CCameraKeeper() override;

    // How often a waited-for camera is looked for besides the monitor's announcements.
    void SetRetryInterval(std::chrono::milliseconds interval);

    // Starts watching. A graph the caller has built already is kept; else a camera that is
    // attached is taken up. True when a camera is there; else one is waited for.
    bool Start();
    // After a build the user started (device change, device settings): a failed build leaves
    // the program waiting for a camera.
    void AfterUserBuild(bool built);
    // From any thread (ICaptureUi::StreamLost): the graph's stream has failed.
    void NotifyStreamLost(const std::string& reason);

    // No camera runs now; one is waited for.
    bool waiting() const { return m_state != State::Running && m_state != State::Starting; }
    // The graph as the mail worker's reply picture reaches it (context: an object on this
    // thread): a rebuild is refused while it would need the user or the camera is away.
    CWorkerPictureSource::UiSide WorkerSide(QObject* context,
                                            std::function<GrabRequest()> makeRequest) {
        return {context, &m_graph,
                [this] { return m_graph.RebuildNeedsUser() || waiting(); },
                std::move(makeRequest), m_graph.frameSignal()};
    }
    // Mail checks may run: a graph is there, or the program runs on without a camera.
    bool ChecksMayRun() const;
    // Times a stream was lost so far.
    int losses() const { return m_losses; }

signals:
    // A camera was taken up (true) or is gone (false).
    void cameraAvailable(bool available);

private:
    enum class State { Running, Starting, WaitingAny, WaitingSame };

    void OnStreamLost(const std::string& reason);
    void OnDeviceChange(bool added, const std::string& name, const std::string& path);
    void TryTakeUp();
    void Tick();
    void Wait(State state);

    CCaptureGraph& m_graph;
    IServiceLog& m_log;
    std::function<bool()> m_build;
    std::unique_ptr<CDeviceWatch> m_watch;
    QTimer m_timer;
    State m_state = State::WaitingAny;
    std::string m_wanted;      // the device waited for (name, or the pinned name or path)
    bool m_lossAnnounced = false;
    bool m_noCameraAnnounced = false;
    int m_losses = 0;
};
