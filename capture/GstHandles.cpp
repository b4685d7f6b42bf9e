#include "capture/GstHandles.h"

void EnsureGstInitialized() {
    static const bool initialized = [] {
        gst_init(nullptr, nullptr);
        return true;
    }();
    (void)initialized;
}
