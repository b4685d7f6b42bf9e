#include "app/camera/WorkerPictureSource.h"

#include "app/camera/UiThreadCall.h"
#include "mail/net/CancelSignal.h"

#include <vector>

CWorkerPictureSource::CWorkerPictureSource(UiSide ui, const CCancelSignal& cancel)
    : m_ui(std::move(ui)), m_cancel(cancel), m_proxy(*this),
      m_grabber(m_proxy, {}, [this](std::chrono::milliseconds pause) {
          // The pauses between looks at the stream end at once on cancel.
          if (!m_cancel.Pause(pause))
              m_aborted = true;
      }) {}

template <class Result>
Result CWorkerPictureSource::OnUi(std::function<Result()> fn, Result failed) {
    if (m_aborted)
        return failed;
    std::optional<Result> result = uithread::Call<Result>(m_ui.context, std::move(fn),
                                                          kCallLimit, &m_cancel);
    if (!result) {
        m_aborted = true;
        return failed;
    }
    return *result;
}

bool CWorkerPictureSource::GrabReplyPicture(bool rotate, JpegPicture& picture, GrabFailure& why) {
    m_aborted = false;
    const GrabRequest request = OnUi<GrabRequest>(m_ui.makeRequest, GrabRequest{});
    bool ok = m_grabber.GrabReplyPicture(rotate, request, picture, &why);
    if (m_aborted) {
        // An old frame must not answer a request: the cycle sends nothing this time.
        picture = {};
        ok = false;
        // Called off, or the graph did not answer in time or would have needed the user.
        why.kind =
            m_cancel.IsCancelled() ? GrabFailure::Kind::Cancelled : GrabFailure::Kind::NoPicture;
    }
    return ok;
}

bool CWorkerPictureSource::Proxy::RunGraph() {
    IFrameSource* graph = m_owner.m_ui.graph;
    return m_owner.OnUi<bool>([graph] { return graph->RunGraph(); }, false);
}

bool CWorkerPictureSource::Proxy::ConnectedHeader(BitmapInfoHeader& header) const {
    IFrameSource* graph = m_owner.m_ui.graph;
    const std::optional<BitmapInfoHeader> found = m_owner.OnUi<std::optional<BitmapInfoHeader>>(
        [graph]() -> std::optional<BitmapInfoHeader> {
            BitmapInfoHeader h;
            if (!graph->ConnectedHeader(h))
                return std::nullopt;
            return h;
        },
        std::nullopt);
    if (found)
        header = *found;
    return found.has_value();
}

int32_t CWorkerPictureSource::Proxy::CurrentBufferSize() const {
    IFrameSource* graph = m_owner.m_ui.graph;
    return m_owner.OnUi<int32_t>([graph] { return graph->CurrentBufferSize(); }, 0);
}

int32_t CWorkerPictureSource::Proxy::CopyCurrentBuffer(uint8_t* dest, int32_t capacity) {
    // The copy is made on the user-interface thread into a buffer of its own, so that a frame
    // copy never writes into the worker's memory after the worker gave up on it.
    IFrameSource* graph = m_owner.m_ui.graph;
    auto copy = m_owner.OnUi<std::vector<uint8_t>>(
        [graph, capacity] {
            std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max(capacity, 0)));
            bytes.resize(static_cast<std::size_t>(
                std::max(graph->CopyCurrentBuffer(bytes.data(), capacity), 0)));
            return bytes;
        },
        {});
    std::copy(copy.begin(), copy.end(), dest);
    return static_cast<int32_t>(copy.size());
}

bool CWorkerPictureSource::Proxy::Rebuild() {
    IFrameSource* graph = m_owner.m_ui.graph;
    auto needsUser = m_owner.m_ui.rebuildNeedsUser;
    const bool rebuilt = m_owner.OnUi<bool>(
        [graph, needsUser] { return !(needsUser && needsUser()) && graph->Rebuild(); }, false);
    if (!rebuilt)
        m_owner.m_aborted = true;
    return rebuilt;
}

std::optional<uint64_t> CWorkerPictureSource::Proxy::FramesDelivered() const {
    if (!m_owner.m_ui.frames)
        return std::nullopt;
    return m_owner.m_ui.frames->Count();
}

void CWorkerPictureSource::Proxy::WaitForFrameBeyond(uint64_t seen,
                                                     std::chrono::milliseconds limit) {
    // In short slices, so that a cancel is seen at once.
    constexpr std::chrono::milliseconds kSlice{20};
    const auto end = std::chrono::steady_clock::now() + limit;
    while (m_owner.m_ui.frames && !m_owner.m_cancel.IsCancelled()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_owner.m_ui.frames->WaitBeyond(seen, std::min(left, kSlice)) > seen)
            break;
    }
    if (m_owner.m_cancel.IsCancelled())
        m_owner.m_aborted = true;
}

void CWorkerPictureSource::Proxy::WantFrames(bool want) {
    // Straight to the graph's signal, not through the user-interface thread: the want must be
    // withdrawn even when the grab gave up on that thread.
    if (m_owner.m_ui.frames)
        m_owner.m_ui.frames->Want(want);
}

CWorkerCameras::CWorkerCameras(std::vector<Camera> cameras, const CCancelSignal& cancel) {
    for (Camera& camera : cameras) {
        m_names.push_back(std::move(camera.name));
        m_sources.push_back(std::make_unique<CWorkerPictureSource>(std::move(camera.ui), cancel));
    }
}

bool CWorkerCameras::GrabReplyPicture(std::size_t camera, bool rotate, JpegPicture& picture,
                                      GrabFailure& why) {
    if (camera >= m_sources.size()) {
        why = {GrabFailure::Kind::NoCamera};
        return false;
    }
    return m_sources[camera]->GrabReplyPicture(rotate, picture, why);
}
