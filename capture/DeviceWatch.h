#pragma once
// Watches the video input devices coming and going: GStreamer's device monitor, filtered to
// "Video/Source", announces every device added or removed while the watch lives.

#include "capture/GstHandles.h"

#include <functional>
#include <string>

class CDeviceWatch {
public:
    // display name (UTF-8), device node path (empty when the provider gives none), added
    enum class Change { Added, Removed };
    using Handler = std::function<void(Change change, const std::string& name,
                                       const std::string& path)>;

    // The handler runs on whatever thread the device provider announces from: queue the work.
    explicit CDeviceWatch(Handler handler);
    ~CDeviceWatch(); // stops the monitor; no handler runs after it returns
    CDeviceWatch(const CDeviceWatch&) = delete;
    CDeviceWatch& operator=(const CDeviceWatch&) = delete;

    // False when no device provider could be started (no announcements will come).
    bool watching() const { return m_watching; }

private:
    static GstBusSyncReply OnMessage(GstBus* bus, GstMessage* message, gpointer self);

    Handler m_handler;
    GstDeviceMonitorPtr m_monitor;
    GstBusPtr m_bus;
    bool m_watching = false;
};
