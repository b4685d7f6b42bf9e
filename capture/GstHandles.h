#pragma once
// Owning handles for GStreamer objects, and gst_init done once per process.

#include <gst/gst.h>
#include <memory>

struct GstObjectUnref {
    void operator()(gpointer object) const {
        if (object)
            gst_object_unref(object);
    }
};
struct GstCapsUnref {
    void operator()(GstCaps* caps) const {
        if (caps)
            gst_caps_unref(caps);
    }
};
struct GstSampleUnref {
    void operator()(GstSample* sample) const {
        if (sample)
            gst_sample_unref(sample);
    }
};
struct GstMessageUnref {
    void operator()(GstMessage* message) const {
        if (message)
            gst_message_unref(message);
    }
};

// Any other GObject (a TLS database, ...).
struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object)
            g_object_unref(object);
    }
};

using GstElementPtr = std::unique_ptr<GstElement, GstObjectUnref>;
using GstBusPtr = std::unique_ptr<GstBus, GstObjectUnref>;
using GstPadPtr = std::unique_ptr<GstPad, GstObjectUnref>;
using GstDeviceMonitorPtr = std::unique_ptr<GstDeviceMonitor, GstObjectUnref>;
using GstSamplePtr = std::unique_ptr<GstSample, GstSampleUnref>;
using GstMessagePtr = std::unique_ptr<GstMessage, GstMessageUnref>;
// Devices and caps are shared between the device list and the graph built from it.
using GstDevicePtr = std::shared_ptr<GstDevice>;
using GstCapsPtr = std::shared_ptr<GstCaps>;

inline GstDevicePtr AdoptDevice(GstDevice* device) {
    return GstDevicePtr(device, GstObjectUnref());
}
inline GstCapsPtr AdoptCaps(GstCaps* caps) {
    return GstCapsPtr(caps, GstCapsUnref());
}

// Takes ownership of a new element as factories return it (a floating reference).
inline GstElementPtr AdoptFloating(GstElement* element) {
    if (element)
        gst_object_ref_sink(element);
    return GstElementPtr(element);
}

// Unmaps a mapped buffer at the end of the scope.
class GstBufferMapGuard {
public:
    GstBufferMapGuard(GstBuffer* buffer, GstMapFlags flags)
        : m_buffer(buffer), m_mapped(buffer && gst_buffer_map(buffer, &m_info, flags)) {}
    ~GstBufferMapGuard() {
        if (m_mapped)
            gst_buffer_unmap(m_buffer, &m_info);
    }
    GstBufferMapGuard(const GstBufferMapGuard&) = delete;
    GstBufferMapGuard& operator=(const GstBufferMapGuard&) = delete;

    bool mapped() const { return m_mapped; }
    const GstMapInfo& info() const { return m_info; }

private:
    GstBuffer* m_buffer;
    GstMapInfo m_info{};
    bool m_mapped;
};

// gst_init, once per process; safe to call from anywhere.
void EnsureGstInitialized();
