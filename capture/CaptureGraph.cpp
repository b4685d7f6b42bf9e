#include "capture/CaptureGraph.h"

#include "capture/CaptureUi.h"
#include "capture/DeviceControls.h"
#include "capture/LatestFrame.h"
#include "mail/text/TextCodec.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <thread>

namespace {

constexpr const char* kNoDeviceMessage = "映像入力デバイスが見つかりませんでした";
constexpr const char* kPinnedMissingMessage = "指定の映像入力デバイスが見つかりませんでした: ";
constexpr std::size_t kTitleNameBytes = 12; // code page 932 bytes of the name in the title
constexpr int kRunAttempts = 3;
constexpr auto kFailedRunPause = std::chrono::milliseconds(100);

GstCapsPtr OutputCaps(const CaptureDevice& device, int width, int height) {
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr);
    if (OffersFrameSize(device.caps.get(), width, height))
        gst_caps_set_simple(caps, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height,
                            nullptr);
    return AdoptCaps(caps);
}

// Length in bytes of the UTF-8 character that starts with byte b.
std::size_t Utf8Length(unsigned char b) {
    if (b >= 0xF0)
        return 4;
    if (b >= 0xE0)
        return 3;
    if (b >= 0xC0)
        return 2;
    return 1;
}

} // namespace

// Everything the streaming thread touches lives here; it outlives the pipeline's threads
// because the destructor stops the pipeline first.
struct CCaptureGraph::Stream {
    Stream(ICaptureUi& ui, std::shared_ptr<CFrameSignal> signal)
        : ui(ui), frameSignal(std::move(signal)) {}
    ~Stream() {
        if (pipeline)
            gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        pipeline.reset();
    }

    GstFlowReturn OnSample(GstAppSink* appsink);
    // Every buffer from the device passes here before it is decoded or converted.
    bool LetThrough(GstPad* pad, GstBuffer* buffer);
    void OnBusMessage(GstMessage* message);

    ICaptureUi& ui;
    std::shared_ptr<CFrameSignal> frameSignal;
    GstElementPtr pipeline;
    GstElement* source = nullptr; // owned by the pipeline
    GstElement* filter = nullptr;
    GstElement* sink = nullptr;

    LatestFrame latest;
    std::atomic<uint64_t> frames{0};
    std::atomic<uint64_t> buffers{0};
    std::atomic<bool> lost{false}; // the stream has failed; reported once
    std::unique_ptr<MotionTap> motion; // MOTION on: reads a few buffers a second at the gate
};

GstFlowReturn CCaptureGraph::Stream::OnSample(GstAppSink* appsink) {
    GstSamplePtr sample(gst_app_sink_pull_sample(appsink));
    if (!sample)
        return GST_FLOW_EOS;
    if (!latest.Store(sample.get()))
        return GST_FLOW_OK;
    ++frames;
    frameSignal->Notify();
    ui.FrameArrived();
    return GST_FLOW_OK;
}

bool CCaptureGraph::Stream::LetThrough(GstPad* pad, GstBuffer* buffer) {
    ++buffers;
    if (motion && buffer && motion->Wants()) {
        GstCapsPtr caps = AdoptCaps(gst_pad_get_current_caps(pad));
        motion->Offer(caps.get(), buffer);
    }
    // Until the first frame is out, the format (the grab's header) is not known.
    return frameSignal->Wanted() || frames.load() == 0;
}

void CCaptureGraph::Stream::OnBusMessage(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        const std::string reason = error ? error->message : "error";
        g_printerr("capture: %s: %s\n", GST_OBJECT_NAME(GST_MESSAGE_SRC(message)), reason.c_str());
        g_clear_error(&error);
        g_free(debug);
        // An error stops the pipeline (an unplugged camera, a device taken by another
        // program): its frames are over, whatever the later messages say.
        if (!lost.exchange(true))
            ui.StreamLost(reason);
        break;
    }
    case GST_MESSAGE_EOS:
        g_printerr("capture: end of stream\n");
        if (!lost.exchange(true))
            ui.StreamLost("end of stream");
        break;
    default:
        break;
    }
}

CCaptureGraph::CCaptureGraph(CameraSettings& settings, ICaptureUi& ui)
    : m_settings(settings), m_ui(ui), m_lister(&ListCaptureDevices) {
    EnsureGstInitialized();
}

CCaptureGraph::~CCaptureGraph() {
    m_graphReady = false;
    m_stream.reset();
}

int CCaptureGraph::FindDevice(const std::vector<CaptureDevice>& devices,
                              const std::string& nameOrPath) {
    int found = -1;
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (!nameOrPath.empty() &&
            (devices[i].name == nameOrPath || devices[i].devicePath == nameOrPath))
            found = static_cast<int>(i); // a later device of the same name wins, as in a build
    return found;
}

void CCaptureGraph::SetDeviceLister(std::function<std::vector<CaptureDevice>()> lister) {
    m_lister = lister ? std::move(lister) : std::function(&ListCaptureDevices);
}

bool CCaptureGraph::BuildGraph(bool useFirstDevice, bool configureDevice) {
    TearDownGraph();

    std::vector<CaptureDevice> devices = m_lister();
    m_deviceNames.clear();
    if (devices.empty()) {
        m_ui.ShowMessage(kNoDeviceMessage);
        return false;
    }
    int remembered = -1;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        m_deviceNames.push_back(devices[i].name);
        if (devices[i].name == m_settings.address)
            remembered = static_cast<int>(i); // a later device of the same name wins
    }

    int index;
    if (!m_pinned.empty()) {
        // The device named on the command line, and no other: nobody is asked.
        index = FindDevice(devices, m_pinned);
        if (index < 0) {
            m_ui.ShowMessage(kPinnedMissingMessage + m_pinned);
            return false;
        }
    } else {
        bool cancelled = false;
        index = ChooseIndex(useFirstDevice, configureDevice, remembered, cancelled);
        if (cancelled)
            return false;
    }
    m_device = devices[static_cast<std::size_t>(index)];
    m_settings.address = m_deviceNames[static_cast<std::size_t>(index)];

    BuildPipeline(m_device);
    if (configureDevice && m_stream) {
        std::unique_ptr<IDeviceControls> controls = ControlsFor(m_device);
        DeviceSetup setup{m_device.name, FrameSizesOf(m_device.caps.get()), controls.get()};
        FrameSize size{m_settings.width, m_settings.height};
        if (m_ui.ConfigureDevice(setup, size) && size.width > 0 && size.height > 0) {
            m_settings.width = size.width;
            m_settings.height = size.height;
            GstCapsPtr caps = OutputCaps(m_device, size.width, size.height);
            g_object_set(m_stream->filter, "caps", caps.get(), nullptr);
        }
    }

    RunGraph();
    m_graphReady = true;

    BitmapInfoHeader header;
    if (configureDevice && ConnectedHeader(header)) {
        // What the device really delivers becomes the requested size.
        m_settings.width = header.width;
        m_settings.height = header.height;
    }
    m_ui.SetTitle(WindowTitle(m_settings.address, m_settings.width, m_settings.height));
    return true;
}

int CCaptureGraph::ChooseIndex(bool useFirstDevice, bool configureDevice, int remembered,
                               bool& cancelled) {
    cancelled = false;
    if (useFirstDevice && remembered < 0)
        return 0;
    if (remembered >= 0 && (useFirstDevice || configureDevice))
        return remembered;
    if (m_deviceNames.size() == 1)
        return 0;
    for (;;) {
        std::optional<int> chosen = m_ui.ChooseDevice(m_deviceNames, std::max(remembered, 0));
        if (!chosen) {
            cancelled = true;
            return -1;
        }
        if (*chosen >= 0 && *chosen < static_cast<int>(m_deviceNames.size()))
            return *chosen;
        // OK with nothing selected: ask again.
    }
}

void CCaptureGraph::BuildPipeline(const CaptureDevice& device) {
    auto stream = std::make_unique<Stream>(m_ui, m_frameSignal);
    GstElementPtr source = AdoptFloating(CreateSourceElement(device));
    GstElementPtr sourceChain = AdoptFloating(CreateSourceChain(device));
    GstElementPtr convert = AdoptFloating(gst_element_factory_make("videoconvert", nullptr));
    GstElementPtr scale = AdoptFloating(gst_element_factory_make("videoscale", nullptr));
    GstElementPtr filter = AdoptFloating(gst_element_factory_make("capsfilter", nullptr));
    GstElementPtr sink = AdoptFloating(gst_element_factory_make("appsink", nullptr));
    stream->pipeline = AdoptFloating(gst_pipeline_new("capture"));
    if (!source || !convert || !scale || !filter || !sink || !stream->pipeline ||
        (!device.sourceChain.empty() && !sourceChain)) {
        g_printerr("capture: cannot create the pipeline elements\n");
        return;
    }

    GstCapsPtr caps = OutputCaps(device, m_settings.width, m_settings.height);
    g_object_set(filter.get(), "caps", caps.get(), nullptr);
    g_object_set(sink.get(), "sync", FALSE, "drop", TRUE, "max-buffers", 1u, "emit-signals", FALSE,
                 nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* appsink, gpointer self) {
        return static_cast<Stream*>(self)->OnSample(appsink);
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, stream.get(), nullptr);

    // A device that only sends JPEG pictures gets a decoder in front of the converter.
    GstElementPtr decoder;
    if (std::strcmp(DeliveredMediaType(device.caps.get()), "image/jpeg") == 0) {
        decoder = AdoptFloating(gst_element_factory_make("jpegdec", nullptr));
        if (!decoder) {
            g_printerr("capture: no JPEG decoder for the device\n");
            return;
        }
    }

    GstBin* bin = GST_BIN(stream->pipeline.get());
    std::vector<GstElement*> chain{source.get()};
    if (sourceChain)
        chain.push_back(sourceChain.get());
    // Where the device's buffers end and the work on them begins.
    GstElement* firstWork = decoder ? decoder.get() : convert.get();
    if (decoder)
        chain.push_back(decoder.get());
    for (GstElement* element : {convert.get(), scale.get(), filter.get(), sink.get()})
        chain.push_back(element);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        gst_bin_add(bin, chain[i]);
        if (i > 0 && !gst_element_link(chain[i - 1], chain[i])) {
            g_printerr("capture: cannot link the pipeline\n");
            return;
        }
    }
    GstPadPtr gate(gst_element_get_static_pad(firstWork, "sink"));
    gst_pad_add_probe(
        gate.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad* pad, GstPadProbeInfo* info, gpointer self) {
            return static_cast<Stream*>(self)->LetThrough(pad, GST_PAD_PROBE_INFO_BUFFER(info))
                       ? GST_PAD_PROBE_OK
                       : GST_PAD_PROBE_DROP;
        },
        stream.get(), nullptr);
    GstBusPtr bus(gst_element_get_bus(stream->pipeline.get()));
    gst_bus_set_sync_handler(
        bus.get(),
        [](GstBus*, GstMessage* message, gpointer self) {
            static_cast<Stream*>(self)->OnBusMessage(message);
            return GST_BUS_DROP;
        },
        stream.get(), nullptr);

    stream->motion = MakeMotionTap(m_settings, m_motionHandler);
    stream->source = source.get();
    stream->filter = filter.get();
    stream->sink = sink.get();
    m_stream = std::move(stream);
}

void CCaptureGraph::TearDownGraph() {
    m_graphReady = false;
    if (!m_stream)
        return;
    // Stopping joins the streaming threads, so no callback runs once this returns.
    m_stream.reset();
    if (m_teardownPause.count() > 0)
        std::this_thread::sleep_for(m_teardownPause);
}

bool CCaptureGraph::RunGraph() {
    if (!m_stream)
        return false;
    GstElement* pipeline = m_stream->pipeline.get();
    for (int attempt = 0; attempt < kRunAttempts; ++attempt) {
        if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(pipeline, GST_STATE_NULL); // start the next attempt afresh
            std::this_thread::sleep_for(kFailedRunPause);
            continue;
        }
        GstState state = GST_STATE_VOID_PENDING;
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(m_stateWait);
        GstStateChangeReturn result = gst_element_get_state(
            pipeline, &state, nullptr, static_cast<GstClockTime>(wait.count()));
        if (result != GST_STATE_CHANGE_FAILURE && state == GST_STATE_PLAYING) {
            ReadNegotiatedHeader();
            return true;
        }
        if (result == GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(pipeline, GST_STATE_NULL);
            std::this_thread::sleep_for(kFailedRunPause);
        }
    }
    return false;
}

void CCaptureGraph::SetPreviewShown(bool shown) {
    if (shown == m_previewShown)
        return;
    m_previewShown = shown;
    m_frameSignal->Want(shown);
}

void CCaptureGraph::ReadNegotiatedHeader() {
    GstPadPtr pad(gst_element_get_static_pad(m_stream->sink, "sink"));
    GstCapsPtr caps = pad ? AdoptCaps(gst_pad_get_current_caps(pad.get())) : nullptr;
    GstVideoInfo info;
    if (!caps || !gst_video_info_from_caps(&info, caps.get()) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR)
        return;
    m_stream->latest.SetSizeIfUnknown(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
}

void CCaptureGraph::ShowFilterProperties() {
    if (!m_stream)
        return;
    std::unique_ptr<IDeviceControls> controls = ControlsFor(m_device);
    m_ui.ShowProperties(DeviceSetup{m_device.name, {}, controls.get()});
}

std::unique_ptr<IDeviceControls> CCaptureGraph::ControlsFor(const CaptureDevice& device) const {
    if (device.testPattern && m_stream && m_stream->source)
        return MakeElementControls(m_stream->source, {{"pattern", "パターン"}});
    if (!device.devicePath.empty())
        return MakeV4l2Controls(device.devicePath);
    return nullptr;
}

bool CCaptureGraph::ConnectedHeader(BitmapInfoHeader& header) const {
    return m_stream && m_stream->latest.ConnectedHeader(header);
}

int32_t CCaptureGraph::CurrentBufferSize() const {
    return m_stream ? m_stream->latest.CurrentBufferSize() : 0;
}

int32_t CCaptureGraph::CopyCurrentBuffer(uint8_t* dest, int32_t capacity) {
    return m_stream ? m_stream->latest.CopyCurrentBuffer(dest, capacity) : 0;
}

uint64_t CCaptureGraph::FrameCount() const {
    return m_stream ? m_stream->frames.load() : 0;
}

uint64_t CCaptureGraph::BuffersArrived() const {
    return m_stream ? m_stream->buffers.load() : 0;
}

uint64_t CCaptureGraph::MotionFramesAnalysed() const {
    return m_stream && m_stream->motion ? m_stream->motion->Analysed() : 0;
}

QImage CCaptureGraph::PreviewImage(int width, int height) const {
    return m_stream ? m_stream->latest.PreviewImage(width, height) : QImage();
}

std::string CCaptureGraph::WindowTitle(const std::string& deviceName, int width, int height) {
    // Count the name in code page 932 bytes but keep its UTF-8 characters, so a character that
    // code page 932 cannot hold still shows as itself.
    std::string shown;
    std::size_t sjisBytes = 0;
    bool cut = false;
    for (std::size_t pos = 0; pos < deviceName.size();) {
        const std::size_t length = std::min(Utf8Length(static_cast<unsigned char>(deviceName[pos])),
                                            deviceName.size() - pos);
        const std::string character = deviceName.substr(pos, length);
        const std::size_t characterBytes = text::Utf8ToSjis(character).size();
        if (sjisBytes + characterBytes > kTitleNameBytes) {
            cut = true;
            break;
        }
        sjisBytes += characterBytes;
        shown += character;
        pos += length;
    }
    if (cut)
        shown += "...";
    return "Kestrova Mail - " + shown + " (" + std::to_string(width) + "x" +
           std::to_string(height) + ")";
}
