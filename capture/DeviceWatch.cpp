#include "capture/DeviceWatch.h"

#include "capture/CaptureDevices.h"

namespace {

std::string DisplayName(GstDevice* device) {
    gchar* name = gst_device_get_display_name(device);
    std::string result = name ? name : "";
    g_free(name);
    return result;
}

} // namespace

CDeviceWatch::CDeviceWatch(Handler handler) : m_handler(std::move(handler)) {
    EnsureGstInitialized();
    m_monitor.reset(gst_device_monitor_new());
    gst_device_monitor_add_filter(m_monitor.get(), "Video/Source", nullptr);
    m_bus.reset(gst_device_monitor_get_bus(m_monitor.get()));
    // A sync handler: the announcements need no GLib main loop (Qt's loop runs here).
    gst_bus_set_sync_handler(m_bus.get(), &CDeviceWatch::OnMessage, this, nullptr);
    m_watching = gst_device_monitor_start(m_monitor.get());
}

CDeviceWatch::~CDeviceWatch() {
    if (m_watching)
        gst_device_monitor_stop(m_monitor.get());
    gst_bus_set_sync_handler(m_bus.get(), nullptr, nullptr, nullptr);
}

GstBusSyncReply CDeviceWatch::OnMessage(GstBus*, GstMessage* message, gpointer self) {
    auto* watch = static_cast<CDeviceWatch*>(self);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type == GST_MESSAGE_DEVICE_ADDED || type == GST_MESSAGE_DEVICE_REMOVED) {
        GstDevice* device = nullptr;
        if (type == GST_MESSAGE_DEVICE_ADDED)
            gst_message_parse_device_added(message, &device);
        else
            gst_message_parse_device_removed(message, &device);
        if (device) {
            GstDevicePtr owned = AdoptDevice(device);
            GstStructure* props = gst_device_get_properties(device);
            const std::string path = DevicePathOf(props);
            if (props)
                gst_structure_free(props);
            watch->m_handler(type == GST_MESSAGE_DEVICE_ADDED ? Change::Added : Change::Removed,
                             DisplayName(device), path);
        }
    }
    return GST_BUS_DROP;
}
