#pragma once
// A GStreamer device provider registered inside the test process, so the device monitor finds
// "cameras" that are really live test patterns with the properties a V4L2 provider gives. The
// cameras can be unplugged and plugged in again while monitors run.

#include <string>
#include <vector>

struct FakeCamera {
    std::string name;
    std::string path;    // device.path
    std::string busPath; // device.bus_path: the physical device
    std::string pattern; // videotestsrc pattern of its frames
    std::string caps;    // what it can deliver
};

// Registers the provider (once) and sets the cameras it reports from the next probe on.
void InstallFakeCameras(std::vector<FakeCamera> cameras);

// Unplugs the camera of this name: running device monitors hear it go, and every stream made
// from it fails with a read error, as an unplugged V4L2 camera's does. Probes leave it out.
void VanishFakeCamera(const std::string& name);
// Plugs it in again: running monitors hear it come back.
void ReturnFakeCamera(const std::string& name);
