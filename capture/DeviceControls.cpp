#include "capture/DeviceControls.h"

#include "base/FileDescriptor.h"
#include "capture/GstHandles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int Ioctl(int fd, unsigned long request, void* arg) {
    int result;
    do
        result = ::ioctl(fd, request, arg);
    while (result < 0 && errno == EINTR);
    return result;
}

std::string NameOf(const __u8* name, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(name),
                       strnlen(reinterpret_cast<const char*>(name), size));
}

class CV4l2Controls final : public IDeviceControls {
public:
    explicit CV4l2Controls(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}

    std::vector<DeviceControl> Controls() override {
        std::vector<DeviceControl> controls;
        if (!m_fd)
            return controls;
        v4l2_queryctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (Ioctl(m_fd.get(), VIDIOC_QUERYCTRL, &query) == 0) {
            AddControl(query, controls);
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        }
        return controls;
    }

    bool SetValue(uint32_t id, int32_t value) override {
        if (!m_fd)
            return false;
        v4l2_control control{};
        control.id = id;
        control.value = value;
        return Ioctl(m_fd.get(), VIDIOC_S_CTRL, &control) == 0;
    }

private:
    void AddControl(const v4l2_queryctrl& query, std::vector<DeviceControl>& controls) {
        if (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY))
            return;
        DeviceControl control;
        switch (query.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            control.kind = DeviceControl::Kind::Integer;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            control.kind = DeviceControl::Kind::Boolean;
            break;
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            control.kind = DeviceControl::Kind::Menu;
            break;
        default:
            return; // buttons, classes, strings and compound controls are not offered
        }
        control.id = query.id;
        control.label = NameOf(query.name, sizeof query.name);
        control.minimum = query.minimum;
        control.maximum = query.maximum;
        control.step = query.step > 0 ? query.step : 1;
        control.defaultValue = query.default_value;
        v4l2_control current{};
        current.id = query.id;
        control.value =
            Ioctl(m_fd.get(), VIDIOC_G_CTRL, &current) == 0 ? current.value : query.default_value;
        if (control.kind == DeviceControl::Kind::Menu) {
            for (int32_t index = query.minimum; index <= query.maximum; ++index) {
                v4l2_querymenu item{};
                item.id = query.id;
                item.index = static_cast<__u32>(index);
                if (Ioctl(m_fd.get(), VIDIOC_QUERYMENU, &item) != 0)
                    continue;
                std::string label = query.type == V4L2_CTRL_TYPE_MENU
                                        ? NameOf(item.name, sizeof item.name)
                                        : std::to_string(item.value);
                control.menuItems.emplace_back(index, std::move(label));
            }
            if (control.menuItems.empty())
                return;
        }
        controls.push_back(std::move(control));
    }

    FileDescriptor m_fd;
};

class CElementControls final : public IDeviceControls {
public:
    CElementControls(GstElement* element, std::vector<ElementProperty> properties)
        : m_element(GST_ELEMENT(gst_object_ref(element))), m_properties(std::move(properties)) {}

    std::vector<DeviceControl> Controls() override {
        std::vector<DeviceControl> controls;
        for (std::size_t i = 0; i < m_properties.size(); ++i) {
            GParamSpec* spec = Find(i);
            if (!spec)
                continue;
            DeviceControl control;
            control.id = static_cast<uint32_t>(i);
            const ElementProperty& property = m_properties[i];
            control.label = property.label.empty() ? property.name : property.label;
            if (!Describe(spec, control))
                continue;
            controls.push_back(std::move(control));
        }
        return controls;
    }

    bool SetValue(uint32_t id, int32_t value) override {
        GParamSpec* spec = id < m_properties.size() ? Find(id) : nullptr;
        if (!spec)
            return false;
        GObject* object = G_OBJECT(m_element.get());
        if (G_IS_PARAM_SPEC_ENUM(spec))
            g_object_set(object, spec->name, static_cast<gint>(value), nullptr);
        else if (G_IS_PARAM_SPEC_BOOLEAN(spec))
            g_object_set(object, spec->name, static_cast<gboolean>(value != 0), nullptr);
        else if (G_IS_PARAM_SPEC_INT(spec))
            g_object_set(object, spec->name, static_cast<gint>(value), nullptr);
        else
            return false;
        return true;
    }

private:
    GParamSpec* Find(std::size_t index) const {
        GParamSpec* spec = g_object_class_find_property(G_OBJECT_GET_CLASS(m_element.get()),
                                                        m_properties[index].name.c_str());
        return spec && (spec->flags & G_PARAM_WRITABLE) && (spec->flags & G_PARAM_READABLE)
                   ? spec
                   : nullptr;
    }

    bool Describe(GParamSpec* spec, DeviceControl& control) const {
        GObject* object = G_OBJECT(m_element.get());
        if (G_IS_PARAM_SPEC_ENUM(spec)) {
            GEnumClass* enumClass = G_PARAM_SPEC_ENUM(spec)->enum_class;
            control.kind = DeviceControl::Kind::Menu;
            for (guint i = 0; i < enumClass->n_values; ++i)
                control.menuItems.emplace_back(enumClass->values[i].value,
                                               enumClass->values[i].value_nick);
            control.defaultValue = G_PARAM_SPEC_ENUM(spec)->default_value;
            gint value = 0;
            g_object_get(object, spec->name, &value, nullptr);
            control.value = value;
            return !control.menuItems.empty();
        }
        if (G_IS_PARAM_SPEC_BOOLEAN(spec)) {
            control.kind = DeviceControl::Kind::Boolean;
            control.maximum = 1;
            control.defaultValue = G_PARAM_SPEC_BOOLEAN(spec)->default_value ? 1 : 0;
            gboolean value = FALSE;
            g_object_get(object, spec->name, &value, nullptr);
            control.value = value ? 1 : 0;
            return true;
        }
        if (G_IS_PARAM_SPEC_INT(spec)) {
            control.kind = DeviceControl::Kind::Integer;
            control.minimum = G_PARAM_SPEC_INT(spec)->minimum;
            control.maximum = G_PARAM_SPEC_INT(spec)->maximum;
            control.defaultValue = G_PARAM_SPEC_INT(spec)->default_value;
            gint value = 0;
            g_object_get(object, spec->name, &value, nullptr);
            control.value = value;
            return true;
        }
        return false;
    }

    GstElementPtr m_element;
    std::vector<ElementProperty> m_properties;
};

} // namespace

std::unique_ptr<IDeviceControls> MakeV4l2Controls(const std::string& devicePath) {
    return std::make_unique<CV4l2Controls>(devicePath);
}

std::unique_ptr<IDeviceControls> MakeElementControls(GstElement* element,
                                                     std::vector<ElementProperty> properties) {
    if (!element)
        return nullptr;
    return std::make_unique<CElementControls>(element, std::move(properties));
}
