// GIO first: Qt's keyword macros (signals) break its headers.
#include <gio/gio.h>

#include "capture/NetworkCamera.h"

#include "capture/CaptureUi.h"
#include "capture/GstHandles.h"
#include "mail/net/CancelSignal.h"
#include "mail/net/MailConnection.h"
#include "mail/net/MailError.h"
#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <condition_variable>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr const char* kNoAnswer = "カメラが応答しません";
constexpr const char* kLoginRefused = "カメラがユーザー名かパスワードを受け付けませんでした";
constexpr const char* kCertificate = "カメラのサーバー証明書を信頼できません";
constexpr const char* kNotFound = "カメラのアドレスが見つかりません";
constexpr const char* kCannotConnect = "カメラに接続できません";
constexpr const char* kEnded = "カメラの映像が途切れました";
constexpr const char* kCancelled = "カメラへの接続を中止しました";
constexpr auto kCancelPoll = std::chrono::milliseconds(20);
constexpr guint kHttpTimeoutSeconds = 5;          // souphttpsrc's blocking I/O
constexpr guint64 kRtspTcpTimeoutUs = 3'000'000;  // rtspsrc's connection and replies
constexpr guint kRtspLatencyMs = 100;
// The kept key-frame group is dropped past these (a camera with a very long key-frame
// interval): a grab then waits for the next key frame instead of memory growing.
constexpr std::size_t kMaxGroupUnits = 1200;
constexpr std::size_t kMaxGroupBytes = 64u << 20;
// The least time between the starts of two snapshot fetches while frames are wanted.
constexpr auto kSnapshotPace = std::chrono::milliseconds(100);

using TlsDatabasePtr = std::unique_ptr<GTlsDatabase, GObjectUnref>;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool ContainsNoCase(const std::string& text, const char* word) {
    return ascii::Lower(text).find(word) != std::string::npos;
}

// A short reason in the user's words for an element's error; GStreamer's own text follows in
// brackets where the reason alone would not tell what happened.
std::string ReasonFor(const GError* error) {
    const std::string message = error && error->message ? error->message : "";
    if (error && error->domain == GST_RESOURCE_ERROR &&
        error->code == GST_RESOURCE_ERROR_NOT_AUTHORIZED)
        return kLoginRefused;
    if (ContainsNoCase(message, "certificate") || ContainsNoCase(message, "tls") ||
        ContainsNoCase(message, "secure connection"))
        return std::string(kCertificate) + " (" + message + ")";
    if (error && error->domain == GST_RESOURCE_ERROR &&
        error->code == GST_RESOURCE_ERROR_NOT_FOUND)
        return std::string(kNotFound) + " (" + message + ")";
    if (error && error->domain == GST_RESOURCE_ERROR)
        return std::string(kCannotConnect) + " (" + message + ")";
    return std::string(kCannotConnect) + " (" + message + ")";
}

struct GstUriUnref {
    void operator()(GstUri* uri) const {
        if (uri)
            gst_uri_unref(uri);
    }
};

// souphttpsrc reports a certificate it does not trust as a bare stream error. The mail
// connection's own check (the system's authorities and the CA file, as for mail) then says
// what is wrong with it; empty when TLS is not the cause.
std::string CertificateProblem(const NetworkCameraSpec& spec, const CCancelSignal* cancel) {
    std::unique_ptr<GstUri, GstUriUnref> uri(gst_uri_from_string(spec.url.c_str()));
    const char* scheme = uri ? gst_uri_get_scheme(uri.get()) : nullptr;
    const char* host = uri ? gst_uri_get_host(uri.get()) : nullptr;
    if (!scheme || !host || (!ascii::EqualNoCase(scheme, "https") &&
                             !ascii::EqualNoCase(scheme, "rtsps")))
        return {};
    guint port = gst_uri_get_port(uri.get());
    if (port == GST_URI_NO_PORT)
        port = ascii::EqualNoCase(scheme, "https") ? 443 : 322;
    CMailConnection connection;
    connection.SetCancelSignal(cancel);
    constexpr auto kLimit = std::chrono::seconds(3);
    if (!connection.Connect(host, static_cast<int>(port), kLimit))
        return {};
    if (connection.StartTls(TlsOptions{true, spec.caFile}, kLimit) ||
        !IsTlsError(connection.Error().code))
        return {};
    return std::string(kCertificate) + " (" + DescribeMailError(connection.Error()) + ")";
}

std::string SchemeOf(const std::string& url) {
    const auto colon = url.find("://");
    return colon == std::string::npos ? std::string() : ascii::Lower(url.substr(0, colon));
}

bool HasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

GstElementPtr Make(const char* factory) {
    return AdoptFloating(gst_element_factory_make(factory, nullptr));
}

// souphttpsrc for the spec: the log-in as properties, the CA file's authorities when given.
GstElementPtr MakeHttpSource(const NetworkCameraSpec& spec, GTlsDatabase* tls, bool live) {
    GstElementPtr src = Make("souphttpsrc");
    if (!src)
        return src;
    g_object_set(src.get(), "location", spec.url.c_str(), "is-live", live ? TRUE : FALSE,
                 "timeout", kHttpTimeoutSeconds, "retries", 0, "ssl-strict", TRUE, nullptr);
    if (!spec.user.empty())
        g_object_set(src.get(), "user-id", spec.user.c_str(), "user-pw", spec.password.c_str(),
                     nullptr);
    // souphttpsrc with libsoup 3 ignores ssl-ca-file; the database made from the file works.
    if (tls)
        g_object_set(src.get(), "tls-database", tls, nullptr);
    return src;
}

GstCapsPtr BgrCaps() {
    return AdoptCaps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr));
}

// Adds the elements to the bin and links them in a row. False when a link fails.
bool AddChain(GstBin* bin, const std::vector<GstElement*>& chain) {
    for (std::size_t i = 0; i < chain.size(); ++i) {
        gst_bin_add(bin, GST_ELEMENT(gst_object_ref(chain[i])));
        if (i > 0 && !gst_element_link(chain[i - 1], chain[i]))
            return false;
    }
    return true;
}

} // namespace

// One open stream. The threads of its pipelines and its own threads touch only what is here
// and the camera's frame store, signal and UI; the kinds below stop them all in their
// destructors before any member goes.
struct NetworkCamera::Session {
    Session(NetworkCamera& camera, const CCancelSignal* cancel)
        : spec(camera.m_spec), ui(camera.m_ui), signal(camera.m_frameSignal),
          latest(camera.m_latest), decoded(camera.m_decoded), stallLimit(camera.m_stallLimit),
          cancel(cancel), motion(camera.m_motion.get()) {}
    virtual ~Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Builds and starts the stream; false with why when it cannot even start.
    virtual bool Start(std::string& why) = 0;

    bool Ready() const { return readyFlag.load(); } // without the lock: once per unit
    void MarkReady() {
        if (readyFlag.load())
            return;
        {
            std::lock_guard lock(mutex);
            ready = true;
            readyFlag = true;
        }
        changed.notify_all();
    }
    // Waits for the first picture (or key frame), a failure, or the end of wait.
    bool WaitReady(std::chrono::milliseconds wait, std::string& why) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        std::unique_lock lock(mutex);
        while (!ready && !failed && std::chrono::steady_clock::now() < deadline) {
            if (Cancelled()) {
                why = kCancelled;
                return false;
            }
            changed.wait_for(lock, kCancelPoll);
        }
        if (ready)
            return true;
        why = failed ? failure : kNoAnswer;
        return false;
    }
    // The open's cancel signal was raised. The opening thread's alone: the signal need not
    // outlive the open.
    bool Cancelled() const { return cancel && cancel->IsCancelled(); }
    // Before the stream is ready the failure ends the open; after, the stream is lost (said
    // once). Nothing is said while the session is being stopped.
    void Fail(const std::string& reason) {
        const std::string shown = Redact(reason, spec.password);
        {
            std::lock_guard lock(mutex);
            if (stopping)
                return;
            if (!ready) {
                if (!failed) {
                    failed = true;
                    failure = shown;
                }
                changed.notify_all();
                return;
            }
        }
        if (!lost.exchange(true)) {
            g_printerr("camera: %s\n", shown.c_str());
            ui.StreamLost(shown);
        }
    }
    void OnBusMessage(GstMessage* message) {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            const std::string reason = ReasonFor(error);
            g_clear_error(&error);
            Fail(reason);
        } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            Fail(kEnded);
        }
    }
    void WatchBus(GstElement* pipeline) {
        GstBusPtr bus(gst_element_get_bus(pipeline));
        gst_bus_set_sync_handler(
            bus.get(),
            [](GstBus*, GstMessage* message, gpointer self) {
                static_cast<Session*>(self)->OnBusMessage(message);
                return GST_BUS_DROP;
            },
            this, nullptr);
    }
    void Arrived() { lastArrival.store(NowNs()); }
    // A stream that goes silent without closing its connection is lost after stallLimit.
    // The stream's pipeline watched (its bus, the stall watchdog) and started.
    bool Play(GstElement* pipeline, std::string& why) {
        WatchBus(pipeline);
        StartWatchdog();
        if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            why = kCannotConnect;
            return false;
        }
        return true;
    }

    void StartWatchdog() {
        Arrived();
        watchdog = std::thread([this] {
            std::unique_lock lock(mutex);
            while (!stopping) {
                changed.wait_for(lock, std::chrono::milliseconds(250));
                if (stopping || !ready)
                    continue;
                const auto silent = std::chrono::nanoseconds(NowNs() - lastArrival.load());
                if (silent > stallLimit) {
                    lock.unlock();
                    Fail(kNoAnswer);
                    return;
                }
            }
        });
    }
    // Stops the watchdog and silences Fail; first thing in every kind's destructor.
    void BeginStop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        if (watchdog.joinable())
            watchdog.join();
    }
    // A decoded picture: stored, and counted as a fresh frame only when fresh.
    void Deliver(GstSample* sample, bool fresh) {
        if (!latest.Store(sample))
            return;
        ++decoded;
        if (fresh)
            signal->Notify();
        ui.FrameArrived();
    }
    bool MakeTls(TlsDatabasePtr& tls, std::string& why) {
        if (spec.caFile.empty())
            return true;
        GError* error = nullptr;
        tls.reset(g_tls_file_database_new(spec.caFile.c_str(), &error));
        if (!tls) {
            why = "CA証明書ファイルを読めません: " + spec.caFile +
                  (error ? std::string(" (") + error->message + ")" : std::string());
            g_clear_error(&error);
            return false;
        }
        return true;
    }

    const NetworkCameraSpec& spec;
    ICaptureUi& ui;
    std::shared_ptr<CFrameSignal> signal;
    LatestFrame& latest;
    std::atomic<uint64_t>& decoded;
    const std::chrono::milliseconds stallLimit;
    const CCancelSignal* cancel; // the open's (opening thread only); null once it is over
    MotionTap* motion;           // the camera's, or null; outlives the session

    // A JPEG part for motion detection, read (at 1/8, in grey) only a few times a second.
    void OfferToMotion(GstBuffer* buffer) {
        if (!motion || !buffer || !motion->Wants())
            return;
        GstBufferMapGuard map(buffer, GST_MAP_READ);
        if (map.mapped())
            motion->OfferJpeg(std::string_view(reinterpret_cast<const char*>(map.info().data),
                                               map.info().size));
    }

    std::mutex mutex; // guards the members below
    std::condition_variable changed;
    bool ready = false;
    bool failed = false;
    std::string failure;
    bool stopping = false;

    std::atomic<bool> readyFlag{false}; // ready, for the streaming threads
    std::atomic<bool> lost{false};
    std::atomic<int64_t> lastArrival{0};
    std::thread watchdog;
};

namespace {

using Session = NetworkCamera::Session;

// rtspsrc -> depayloader -> parser -> appsink of access units; a decoder pipeline only while
// frames are wanted.
struct RtspSession final : Session {
    using Session::Session;
    ~RtspSession() override {
        BeginStop();
        if (pipeline)
            gst_element_set_state(pipeline.get(), GST_STATE_NULL); // joins its threads
        StopDecoder();
    }

    bool Start(std::string& why) override {
        pipeline = AdoptFloating(gst_pipeline_new("rtsp-camera"));
        GstElementPtr src = Make("rtspsrc");
        if (!pipeline || !src) {
            why = "RTSP の部品 (rtspsrc) がありません";
            return false;
        }
        g_object_set(src.get(), "location", spec.url.c_str(), "latency", kRtspLatencyMs,
                     "tcp-timeout", kRtspTcpTimeoutUs, nullptr);
        gst_util_set_object_arg(G_OBJECT(src.get()), "protocols", "tcp");
        if (!spec.user.empty())
            g_object_set(src.get(), "user-id", spec.user.c_str(), "user-pw",
                         spec.password.c_str(), nullptr);
        g_signal_connect(src.get(), "pad-added",
                         G_CALLBACK(+[](GstElement*, GstPad* pad, gpointer self) {
                             static_cast<RtspSession*>(self)->OnPadAdded(pad);
                         }),
                         this);
        gst_bin_add(GST_BIN(pipeline.get()), GST_ELEMENT(gst_object_ref(src.get())));
        return Play(pipeline.get(), why);
    }

    void OnPadAdded(GstPad* pad) {
        GstCapsPtr caps = AdoptCaps(gst_pad_get_current_caps(pad));
        if (!caps)
            caps = AdoptCaps(gst_pad_query_caps(pad, nullptr));
        const GstStructure* s = caps ? gst_caps_get_structure(caps.get(), 0) : nullptr;
        const char* media = s ? gst_structure_get_string(s, "media") : nullptr;
        const char* encoding = s ? gst_structure_get_string(s, "encoding-name") : nullptr;
        const bool video = media && std::string(media) == "video";
        const std::string enc = encoding ? encoding : "";
        GstBin* bin = GST_BIN(pipeline.get());
        if (!video || linked) {
            // Sound and further streams are received and thrown away.
            GstElementPtr sink = Make("fakesink");
            g_object_set(sink.get(), "sync", FALSE, "async", FALSE, nullptr);
            gst_bin_add(bin, GST_ELEMENT(gst_object_ref(sink.get())));
            gst_element_sync_state_with_parent(sink.get());
            GstPadPtr sinkPad(gst_element_get_static_pad(sink.get(), "sink"));
            gst_pad_link(pad, sinkPad.get());
            return;
        }
        const bool h265 = enc == "H265";
        if (enc != "H264" && !h265) {
            Fail("対応していない映像形式です: " + enc);
            return;
        }
        linked = true;
        codec = h265 ? "h265" : "h264";
        GstElementPtr depay = Make(h265 ? "rtph265depay" : "rtph264depay");
        GstElementPtr parse = Make(h265 ? "h265parse" : "h264parse");
        GstElementPtr sink = Make("appsink");
        if (!depay || !parse || !sink) {
            Fail("映像の部品がありません: " + codec);
            return;
        }
        // Parameter sets in the caps (codec_data), which travel with every kept sample, so that
        // a kept group decodes on its own. (Units turned into byte-stream here decoded into
        // empty pictures from x264's streams.)
        GstCapsPtr units = AdoptCaps(gst_caps_new_simple(
            h265 ? "video/x-h265" : "video/x-h264", "stream-format", G_TYPE_STRING,
            h265 ? "hvc1" : "avc", "alignment", G_TYPE_STRING, "au", nullptr));
        g_object_set(sink.get(), "caps", units.get(), "sync", FALSE, "emit-signals", FALSE,
                     nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* appsink, gpointer self) {
            return static_cast<RtspSession*>(self)->OnUnit(appsink);
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
        if (!AddChain(bin, {depay.get(), parse.get(), sink.get()})) {
            Fail("映像の部品をつなげません: " + codec);
            return;
        }
        for (GstElement* e : {sink.get(), parse.get(), depay.get()})
            gst_element_sync_state_with_parent(e);
        GstPadPtr depaySink(gst_element_get_static_pad(depay.get(), "sink"));
        if (gst_pad_link(pad, depaySink.get()) != GST_PAD_LINK_OK)
            Fail("映像の部品をつなげません: " + codec);
    }

    // Streaming thread, once per access unit.
    GstFlowReturn OnUnit(GstAppSink* appsink) {
        GstSamplePtr sample(gst_app_sink_pull_sample(appsink));
        if (!sample)
            return GST_FLOW_EOS;
        Arrived();
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        if (!buffer)
            return GST_FLOW_OK;
        const bool key = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
        if (!Ready()) {
            if (!key)
                return GST_FLOW_OK;
            // The parser's caps tell the picture size before anything is decoded.
            GstCaps* caps = gst_sample_get_caps(sample.get());
            const GstStructure* s = caps ? gst_caps_get_structure(caps, 0) : nullptr;
            int width = 0, height = 0;
            if (s && gst_structure_get_int(s, "width", &width) &&
                gst_structure_get_int(s, "height", &height))
                latest.SetSizeIfUnknown(width, height);
            MarkReady();
        }
        if (key) {
            group.clear();
            groupBytes = 0;
        }
        const bool wanted = signal->Wanted();
        if (wanted && !decoder && (key || !group.empty()))
            StartDecoder(sample.get());
        if (key || !group.empty()) {
            groupBytes += gst_buffer_get_size(buffer);
            group.emplace_back(gst_sample_ref(sample.get()));
            if (group.size() > kMaxGroupUnits || groupBytes > kMaxGroupBytes) {
                group.clear();
                groupBytes = 0;
            }
        }
        if (decoder) {
            // A decoder that failed (a broken unit) is started afresh at the next unit, from
            // the kept group.
            if (!wanted ||
                gst_app_src_push_sample(GST_APP_SRC(decoderSrc), sample.get()) != GST_FLOW_OK)
                StopDecoder();
        }
        return GST_FLOW_OK;
    }

    // Streaming thread: a decoder fed the kept group (older than the want) and then `first`,
    // the unit that arrived once frames were wanted, and those after it.
    void StartDecoder(GstSample* first) {
        const std::string description =
            "appsrc name=src format=time is-live=true max-bytes=" +
            std::to_string(kMaxGroupBytes * 2) + " ! " + codec + "parse ! avdec_" + codec +
            " ! videoconvert ! appsink name=sink sync=false";
        GError* error = nullptr;
        GstElementPtr made = AdoptFloating(gst_parse_launch(description.c_str(), &error));
        if (error || !made) {
            g_printerr("camera: no decoder for %s: %s\n", codec.c_str(),
                       error ? error->message : "?");
            g_clear_error(&error);
            return;
        }
        GstElementPtr src(gst_bin_get_by_name(GST_BIN(made.get()), "src"));
        GstElementPtr sink(gst_bin_get_by_name(GST_BIN(made.get()), "sink"));
        GstCapsPtr bgr = BgrCaps();
        g_object_set(sink.get(), "caps", bgr.get(), nullptr);
        gst_app_src_set_caps(GST_APP_SRC(src.get()), gst_sample_get_caps(first));
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* appsink, gpointer self) {
            return static_cast<RtspSession*>(self)->OnDecoded(appsink);
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
        GstBusPtr bus(gst_element_get_bus(made.get()));
        gst_bus_set_sync_handler(
            bus.get(),
            [](GstBus*, GstMessage* message, gpointer self) {
                if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
                    GError* error = nullptr;
                    gst_message_parse_error(message, &error, nullptr);
                    auto* session = static_cast<RtspSession*>(self);
                    const std::string text = NetworkCamera::Redact(error ? error->message : "?",
                                                    session->spec.password);
                    g_printerr("camera: decoding: %s\n", text.c_str());
                    g_clear_error(&error);
                }
                return GST_BUS_DROP;
            },
            this, nullptr);

        GstBuffer* firstBuffer = gst_sample_get_buffer(first);
        freshFrom = GST_BUFFER_PTS(firstBuffer);
        keptFed = group.size();
        decodedOut = 0;
        decoderSrc = src.get();
        decoder = std::move(made);
        gst_element_set_state(decoder.get(), GST_STATE_PLAYING);
        for (const GstSamplePtr& kept : group)
            gst_app_src_push_sample(GST_APP_SRC(decoderSrc), kept.get());
    }

    void StopDecoder() {
        if (!decoder)
            return;
        gst_element_set_state(decoder.get(), GST_STATE_NULL);
        decoder.reset();
        decoderSrc = nullptr;
    }

    // The decoder's streaming thread.
    GstFlowReturn OnDecoded(GstAppSink* appsink) {
        GstSamplePtr sample(gst_app_sink_pull_sample(appsink));
        if (!sample)
            return GST_FLOW_EOS;
        const uint64_t n = ++decodedOut;
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        const GstClockTime pts = buffer ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
        const GstClockTime from = freshFrom.load();
        // Taken after the want: at or after the first live unit; without timestamps, past the
        // kept units (the decoder gives one picture per unit, in order).
        const bool fresh = GST_CLOCK_TIME_IS_VALID(pts) && GST_CLOCK_TIME_IS_VALID(from)
                               ? pts >= from
                               : n > keptFed.load();
        Deliver(sample.get(), fresh);
        return GST_FLOW_OK;
    }

    GstElementPtr pipeline;
    bool linked = false; // the video stream has its chain (rtspsrc's thread)
    std::string codec;   // "h264" or "h265"

    // The streaming thread's alone.
    std::vector<GstSamplePtr> group; // the units since the last key frame
    std::size_t groupBytes = 0;
    GstElementPtr decoder;
    GstElement* decoderSrc = nullptr; // owned by decoder

    std::atomic<GstClockTime> freshFrom{GST_CLOCK_TIME_NONE};
    std::atomic<uint64_t> keptFed{0};
    std::atomic<uint64_t> decodedOut{0};
};

// souphttpsrc -> multipartdemux -> [gate] jpegdec -> videoconvert -> BGR appsink. The gate drops
// every JPEG part unless frames are wanted or none has been decoded yet (which tells the size).
struct MjpegSession final : Session {
    using Session::Session;
    ~MjpegSession() override {
        BeginStop();
        if (pipeline)
            gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }

    bool Start(std::string& why) override {
        if (!MakeTls(tls, why))
            return false;
        pipeline = AdoptFloating(gst_pipeline_new("mjpeg-camera"));
        GstElementPtr src = MakeHttpSource(spec, tls.get(), true);
        GstElementPtr demux = Make("multipartdemux");
        GstElementPtr dec = Make("jpegdec");
        GstElementPtr convert = Make("videoconvert");
        GstElementPtr sink = Make("appsink");
        if (!pipeline || !src || !demux || !dec || !convert || !sink) {
            why = "MJPEG の部品がありません";
            return false;
        }
        g_object_set(demux.get(), "single-stream", TRUE, nullptr);
        GstCapsPtr bgr = BgrCaps();
        g_object_set(sink.get(), "caps", bgr.get(), "sync", FALSE, "max-buffers", 1u, "drop",
                     TRUE, "emit-signals", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* appsink, gpointer self) {
            auto* session = static_cast<MjpegSession*>(self);
            GstSamplePtr sample(gst_app_sink_pull_sample(appsink));
            if (!sample)
                return GST_FLOW_EOS;
            session->Deliver(sample.get(), true);
            session->MarkReady();
            return GST_FLOW_OK;
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
        GstBin* bin = GST_BIN(pipeline.get());
        if (!AddChain(bin, {src.get(), demux.get()}) ||
            !AddChain(bin, {dec.get(), convert.get(), sink.get()})) {
            why = "MJPEG の部品をつなげません";
            return false;
        }
        decoderSink.reset(gst_element_get_static_pad(dec.get(), "sink"));
        g_signal_connect(demux.get(), "pad-added",
                         G_CALLBACK(+[](GstElement*, GstPad* pad, gpointer self) {
                             auto* session = static_cast<MjpegSession*>(self);
                             if (!gst_pad_is_linked(session->decoderSink.get()))
                                 gst_pad_link(pad, session->decoderSink.get());
                         }),
                         this);
        gst_pad_add_probe(
            decoderSink.get(), GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo* info, gpointer self) {
                auto* session = static_cast<MjpegSession*>(self);
                session->Arrived();
                session->OfferToMotion(GST_PAD_PROBE_INFO_BUFFER(info));
                return session->signal->Wanted() || session->decoded.load() == 0 ||
                               !session->Ready()
                           ? GST_PAD_PROBE_OK
                           : GST_PAD_PROBE_DROP;
            },
            this, nullptr);
        return Play(pipeline.get(), why);
    }

    TlsDatabasePtr tls;
    GstElementPtr pipeline;
    GstPadPtr decoderSink;
};

// Nothing runs between pictures: each fetch is a pipeline souphttpsrc -> jpegdec ->
// videoconvert -> BGR appsink run to its end. While frames are wanted a thread fetches one
// picture after another.
struct SnapshotSession final : Session {
    SnapshotSession(NetworkCamera& camera, const CCancelSignal* cancel,
                    std::chrono::milliseconds fetchWait)
        : Session(camera, cancel), fetchWait(fetchWait) {}
    ~SnapshotSession() override {
        stop = true;
        signal->Wake();
        BeginStop();
        if (worker.joinable())
            worker.join();
    }

    bool Start(std::string& why) override {
        if (!MakeTls(tls, why))
            return false;
        GstSamplePtr sample;
        if (!Fetch(sample, why, cancel))
            return false;
        Deliver(sample.get(), false); // before any want: the size, not a fresh frame
        MarkReady();
        worker = std::thread([this] { Run(); });
        return true;
    }

    void Run() {
        auto lastStart = std::chrono::steady_clock::time_point{};
        while (!stop) {
            if (!signal->WaitForWant(std::chrono::seconds(1), [this] { return stop.load(); }))
                continue;
            const auto next = lastStart + kSnapshotPace;
            if (std::chrono::steady_clock::now() < next)
                std::this_thread::sleep_until(next);
            if (stop)
                break;
            lastStart = std::chrono::steady_clock::now();
            const uint64_t serial = signal->WantSerial();
            GstSamplePtr sample;
            std::string why;
            if (!Fetch(sample, why, nullptr)) {
                if (!stop)
                    Fail(why);
                return; // a lost camera is opened again by its owner
            }
            // A want that began during the fetch gets the next picture, not this one.
            Deliver(sample.get(), serial == signal->WantSerial());
        }
    }

    // One picture, within fetchWait; Close, or raising cancelSignal, cuts the wait short.
    bool Fetch(GstSamplePtr& sample, std::string& why, const CCancelSignal* cancelSignal) {
        GstElementPtr pipeline = AdoptFloating(gst_pipeline_new("snapshot-camera"));
        GstElementPtr src = MakeHttpSource(spec, tls.get(), false);
        GstElementPtr dec = Make("jpegdec");
        GstElementPtr convert = Make("videoconvert");
        GstElementPtr sink = Make("appsink");
        if (!pipeline || !src || !dec || !convert || !sink) {
            why = "JPEG の部品がありません";
            return false;
        }
        GstCapsPtr bgr = BgrCaps();
        g_object_set(sink.get(), "caps", bgr.get(), "sync", FALSE, nullptr);
        if (!AddChain(GST_BIN(pipeline.get()),
                      {src.get(), dec.get(), convert.get(), sink.get()})) {
            why = "JPEG の部品をつなげません";
            return false;
        }
        struct StopOnExit {
            GstElement* pipeline;
            ~StopOnExit() { gst_element_set_state(pipeline, GST_STATE_NULL); }
        } stopOnExit{pipeline.get()};
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        GstBusPtr bus(gst_element_get_bus(pipeline.get()));
        const auto deadline = std::chrono::steady_clock::now() + fetchWait;
        while (!stop) {
            if (cancelSignal && cancelSignal->IsCancelled()) {
                why = kCancelled;
                return false;
            }
            // The appsink holds back its end of stream until its picture is taken.
            sample.reset(gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 0));
            if (sample)
                return true;
            if (std::chrono::steady_clock::now() >= deadline) {
                why = kNoAnswer;
                return false;
            }
            GstMessagePtr message(gst_bus_timed_pop_filtered(
                bus.get(), std::chrono::nanoseconds(kCancelPoll).count(),
                static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
            if (!message)
                continue;
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
                GError* error = nullptr;
                gst_message_parse_error(message.get(), &error, nullptr);
                why = NetworkCamera::Redact(ReasonFor(error), spec.password);
                g_clear_error(&error);
                return false;
            }
            sample.reset(gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 0));
            if (!sample) {
                why = std::string(kCannotConnect) + " (JPEG の画像がありません)";
                return false;
            }
            return true;
        }
        why = kNoAnswer;
        return false;
    }

    const std::chrono::milliseconds fetchWait;
    TlsDatabasePtr tls;
    std::atomic<bool> stop{false};
    std::thread worker;
};

} // namespace

NetworkCamera::NetworkCamera(NetworkCameraSpec spec, ICaptureUi& ui)
    : m_spec(std::move(spec)), m_ui(ui) {
    EnsureGstInitialized();
}

NetworkCamera::~NetworkCamera() { Close(); }

std::string NetworkCamera::Redact(std::string text, const std::string& secret) {
    if (secret.empty())
        return text;
    for (std::size_t pos = 0; (pos = text.find(secret, pos)) != std::string::npos;) {
        text.replace(pos, secret.size(), "****");
        pos += 4;
    }
    return text;
}

std::string NetworkCamera::CheckSpec(const NetworkCameraSpec& spec) {
    const std::string scheme = SchemeOf(spec.url);
    switch (spec.type) {
    case CameraType::Rtsp:
        if (scheme != "rtsp" && scheme != "rtsps")
            return "RTSP カメラのアドレスは rtsp:// で始めてください";
        break;
    case CameraType::Mjpeg:
    case CameraType::Snapshot:
        if (scheme != "http" && scheme != "https")
            return "カメラのアドレスは http:// か https:// で始めてください";
        break;
    case CameraType::Usb:
        return "USB カメラはネットワークカメラとして開けません";
    }
    if (HasControl(spec.url) || spec.url.find(' ') != std::string::npos)
        return "カメラのアドレスに使えない文字があります";
    const std::size_t hostStart = spec.url.find("://") + 3;
    const std::size_t hostEnd = spec.url.find_first_of("/?#", hostStart);
    const std::string authority = spec.url.substr(hostStart, hostEnd - hostStart);
    // A log-in in the URL would reach logs and messages with it; it has fields of its own.
    if (authority.find('@') != std::string::npos)
        return "カメラのアドレスにユーザー名やパスワードを書かず、それぞれの欄に入れてください";
    if (authority.empty())
        return "カメラのアドレスにホスト名がありません";
    if (HasControl(spec.user) || spec.user.find(':') != std::string::npos)
        return "カメラのユーザー名に使えない文字があります";
    if (HasControl(spec.password))
        return "カメラのパスワードに使えない文字があります";
    return {};
}

bool NetworkCamera::Open(std::string& why, const CCancelSignal* cancel) {
    Close();
    why = CheckSpec(m_spec);
    if (!why.empty())
        return false;
    m_latest.Clear();
    m_decoded = 0;
    std::unique_ptr<Session> session;
    switch (m_spec.type) {
    case CameraType::Rtsp:
        session = std::make_unique<RtspSession>(*this, cancel);
        break;
    case CameraType::Mjpeg:
        session = std::make_unique<MjpegSession>(*this, cancel);
        break;
    case CameraType::Snapshot:
        session = std::make_unique<SnapshotSession>(*this, cancel, m_openWait);
        break;
    case CameraType::Usb:
        return false; // refused by CheckSpec
    }
    if (!session->Start(why) || !session->WaitReady(m_openWait, why)) {
        session.reset();
        // A server that answered, but not as a camera should: was it its certificate? (Not
        // after a silent one: the open stays bounded by m_openWait.)
        if (why != kLoginRefused && why != kNoAnswer && why != kCancelled)
            if (std::string tls = CertificateProblem(m_spec, cancel); !tls.empty())
                why = tls;
        why = Redact(why, m_spec.password);
        return false;
    }
    session->cancel = nullptr; // the caller's signal need not outlive the open
    m_session = std::move(session);
    return true;
}

void NetworkCamera::Close() {
    m_session.reset();
}

bool NetworkCamera::RunGraph() {
    return m_session && !m_session->lost.load();
}

bool NetworkCamera::Rebuild() {
    std::string why;
    if (Open(why))
        return true;
    g_printerr("camera: %s\n", why.c_str());
    return false;
}

bool NetworkCamera::ConnectedHeader(BitmapInfoHeader& header) const {
    return m_session && m_latest.ConnectedHeader(header);
}

int32_t NetworkCamera::CurrentBufferSize() const {
    return m_session ? m_latest.CurrentBufferSize() : 0;
}

int32_t NetworkCamera::CopyCurrentBuffer(uint8_t* dest, int32_t capacity) {
    return m_session ? m_latest.CopyCurrentBuffer(dest, capacity) : 0;
}

bool NetworkCamera::SetMotionTap(std::unique_ptr<MotionTap> tap) {
    if (m_session)
        return false;
    m_motion = std::move(tap);
    return true;
}

void NetworkCamera::SetPreviewShown(bool shown) {
    if (shown == m_previewShown)
        return;
    m_previewShown = shown;
    m_frameSignal->Want(shown);
}
