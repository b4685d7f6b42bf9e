#include "tests/capture/FakeDeviceProvider.h"

#include "capture/GstHandles.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

namespace {

std::mutex g_mutex; // guards everything below
std::vector<FakeCamera> g_cameras;
std::set<std::string> g_unplugged;
// Providers started by a monitor, with the devices they announced (a reference each).
std::map<GstDeviceProvider*, std::map<std::string, GstDevice*>> g_started;
// Streams made from each camera, to fail when it is unplugged.
std::multimap<std::string, GWeakRef*> g_elements;

GstDevice* MakeDevice(const FakeCamera& camera);

std::vector<FakeCamera> PluggedCameras() {
    std::vector<FakeCamera> plugged;
    for (const FakeCamera& camera : g_cameras)
        if (!g_unplugged.count(camera.name))
            plugged.push_back(camera);
    return plugged;
}

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

static GstElement* km_fake_camera_make_element(GstDevice* device, const gchar* name) {
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

static GstElement* km_fake_camera_create_element(GstDevice* device, const gchar* name) {
    GstElement* element = km_fake_camera_make_element(device, name);
    if (element) {
        gchar* displayName = gst_device_get_display_name(device);
        auto* weak = new GWeakRef;
        g_weak_ref_init(weak, element);
        std::lock_guard lock(g_mutex);
        g_elements.emplace(displayName ? displayName : "", weak);
        g_free(displayName);
    }
    return element;
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
    std::vector<FakeCamera> cameras;
    {
        std::lock_guard lock(g_mutex);
        cameras = PluggedCameras();
    }
    GList* devices = nullptr;
    for (const FakeCamera& camera : cameras)
        devices = g_list_append(devices, gst_object_ref_sink(MakeDevice(camera)));
    return devices;
}

// Started by a monitor: announces the cameras plugged in now, and later ones as they come.
static gboolean km_fake_provider_start(GstDeviceProvider* provider) {
    std::vector<FakeCamera> cameras;
    {
        std::lock_guard lock(g_mutex);
        cameras = PluggedCameras();
        g_started[provider];
    }
    for (const FakeCamera& camera : cameras) {
        GstDevice* device = GST_DEVICE(gst_object_ref_sink(MakeDevice(camera)));
        {
            std::lock_guard lock(g_mutex);
            g_started[provider][camera.name] = GST_DEVICE(gst_object_ref(device));
        }
        gst_device_provider_device_add(provider, device);
        gst_object_unref(device);
    }
    return TRUE;
}

static void km_fake_provider_stop(GstDeviceProvider* provider) {
    std::lock_guard lock(g_mutex);
    for (auto& [name, device] : g_started[provider])
        gst_object_unref(device);
    g_started.erase(provider);
}

static void km_fake_provider_class_init(KmFakeProviderClass* klass) {
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = km_fake_provider_probe;
    provider->start = km_fake_provider_start;
    provider->stop = km_fake_provider_stop;
    gst_device_provider_class_set_static_metadata(provider, "Fake cameras", "Video/Source",
                                                  "Test cameras", "KestrovaMail");
}

static void km_fake_provider_init(KmFakeProvider*) {}

static gboolean km_fake_plugin_init(GstPlugin* plugin) {
    return gst_device_provider_register(plugin, "kmfakecameras", GST_RANK_PRIMARY,
                                        km_fake_provider_get_type());
}

} // extern "C"

namespace {

GstDevice* MakeDevice(const FakeCamera& camera) {
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
    return GST_DEVICE(device);
}

} // namespace

void VanishFakeCamera(const std::string& name) {
    std::vector<std::pair<GstDeviceProvider*, GstDevice*>> removed;
    std::vector<GstElement*> streams;
    {
        std::lock_guard lock(g_mutex);
        g_unplugged.insert(name);
        for (auto& [provider, devices] : g_started) {
            if (auto it = devices.find(name); it != devices.end()) {
                removed.emplace_back(provider, it->second);
                devices.erase(it);
            }
        }
        auto [first, last] = g_elements.equal_range(name);
        for (auto it = first; it != last; ++it) {
            if (auto* element = static_cast<GstElement*>(g_weak_ref_get(it->second)))
                streams.push_back(element);
            g_weak_ref_clear(it->second);
            delete it->second;
        }
        g_elements.erase(first, last);
    }
    for (auto& [provider, device] : removed) {
        gst_device_provider_device_remove(provider, device);
        gst_object_unref(device);
    }
    for (GstElement* element : streams) {
        // What v4l2src reports when its camera is pulled out.
        GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                            "Could not read from resource.");
        gst_element_post_message(
            element, gst_message_new_error(GST_OBJECT(element), error, "the camera was unplugged"));
        g_error_free(error);
        gst_object_unref(element);
    }
}

void ReturnFakeCamera(const std::string& name) {
    std::vector<std::pair<GstDeviceProvider*, GstDevice*>> added;
    {
        std::lock_guard lock(g_mutex);
        g_unplugged.erase(name);
        const auto camera = std::find_if(g_cameras.begin(), g_cameras.end(),
                                         [&](const FakeCamera& c) { return c.name == name; });
        if (camera == g_cameras.end())
            return;
        for (auto& [provider, devices] : g_started) {
            GstDevice* device = GST_DEVICE(gst_object_ref_sink(MakeDevice(*camera)));
            devices[name] = GST_DEVICE(gst_object_ref(device));
            added.emplace_back(provider, device);
        }
    }
    for (auto& [provider, device] : added) {
        gst_device_provider_device_add(provider, device);
        gst_object_unref(device);
    }
}

void InstallFakeCameras(std::vector<FakeCamera> cameras) {
    EnsureGstInitialized();
    static const bool registered = gst_plugin_register_static(
        GST_VERSION_MAJOR, GST_VERSION_MINOR, "kmfakecameras", "Fake cameras for tests",
        km_fake_plugin_init, "1.0", "LGPL", "kestrovamail", "kestrovamail", "kestrovamail");
    (void)registered;
    std::lock_guard lock(g_mutex);
    g_cameras = std::move(cameras);
    g_unplugged.clear();
}
