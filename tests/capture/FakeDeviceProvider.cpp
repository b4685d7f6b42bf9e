#include "tests/capture/FakeDeviceProvider.h"

#include "capture/GstHandles.h"

#include <mutex>

namespace {

std::mutex g_mutex;
std::vector<FakeCamera> g_cameras;

} // namespace

extern "C" {

struct KmFakeCamera {
    GstDevice parent;
    char* pattern;
};
struct KmFakeCameraClass {
    GstDeviceClass parent_class;
};
G_DEFINE_TYPE(KmFakeCamera, km_fake_camera, GST_TYPE_DEVICE)

static GstElement* km_fake_camera_create_element(GstDevice* device, const gchar* name) {
    const char* pattern = reinterpret_cast<KmFakeCamera*>(device)->pattern;
    GstCaps* caps = gst_device_get_caps(device);
    const bool jpeg = caps && !gst_caps_is_empty(caps) &&
                      gst_structure_has_name(gst_caps_get_structure(caps, 0), "image/jpeg");
    if (caps)
        gst_caps_unref(caps);
    if (jpeg) {
        // A camera that only sends JPEG pictures.
        gchar* description =
            g_strdup_printf("videotestsrc is-live=true pattern=%s ! jpegenc", pattern);
        GstElement* bin = gst_parse_bin_from_description(description, TRUE, nullptr);
        g_free(description);
        return bin;
    }
    GstElement* source = gst_element_factory_make("videotestsrc", name);
    if (source) {
        gst_util_set_object_arg(G_OBJECT(source), "is-live", "true");
        gst_util_set_object_arg(G_OBJECT(source), "pattern", pattern);
    }
    return source;
}

static void km_fake_camera_finalize(GObject* object) {
    g_free(reinterpret_cast<KmFakeCamera*>(object)->pattern);
    G_OBJECT_CLASS(km_fake_camera_parent_class)->finalize(object);
}

static void km_fake_camera_class_init(KmFakeCameraClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = km_fake_camera_create_element;
    G_OBJECT_CLASS(klass)->finalize = km_fake_camera_finalize;
}

static void km_fake_camera_init(KmFakeCamera* camera) {
    camera->pattern = nullptr;
}

struct KmFakeProvider {
    GstDeviceProvider parent;
};
struct KmFakeProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(KmFakeProvider, km_fake_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* km_fake_provider_probe(GstDeviceProvider*) {
    std::lock_guard lock(g_mutex);
    GList* devices = nullptr;
    for (const FakeCamera& camera : g_cameras) {
        GstCaps* caps = gst_caps_from_string(camera.caps.c_str());
        GstStructure* props =
            gst_structure_new("fake-camera", "device.path", G_TYPE_STRING, camera.path.c_str(),
                              "device.bus_path", G_TYPE_STRING, camera.busPath.c_str(), nullptr);
        auto* device = static_cast<KmFakeCamera*>(g_object_new(
            km_fake_camera_get_type(), "display-name", camera.name.c_str(), "device-class",
            "Video/Source", "caps", caps, "properties", props, nullptr));
        device->pattern = g_strdup(camera.pattern.c_str());
        gst_caps_unref(caps);
        gst_structure_free(props);
        devices = g_list_append(devices, gst_object_ref_sink(device));
    }
    return devices;
}

static void km_fake_provider_class_init(KmFakeProviderClass* klass) {
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = km_fake_provider_probe;
    gst_device_provider_class_set_static_metadata(provider, "Fake cameras", "Video/Source",
                                                  "Test cameras", "KestrovaMail");
}

static void km_fake_provider_init(KmFakeProvider*) {}

static gboolean km_fake_plugin_init(GstPlugin* plugin) {
    return gst_device_provider_register(plugin, "kmfakecameras", GST_RANK_PRIMARY,
                                        km_fake_provider_get_type());
}

} // extern "C"

void InstallFakeCameras(std::vector<FakeCamera> cameras) {
    EnsureGstInitialized();
    static const bool registered = gst_plugin_register_static(
        GST_VERSION_MAJOR, GST_VERSION_MINOR, "kmfakecameras", "Fake cameras for tests",
        km_fake_plugin_init, "1.0", "LGPL", "kestrovamail", "kestrovamail", "kestrovamail");
    (void)registered;
    std::lock_guard lock(g_mutex);
    g_cameras = std::move(cameras);
}
