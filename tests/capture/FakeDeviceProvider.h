#pragma once
// A GStreamer device provider registered inside the test process, so the device monitor finds
// "cameras" that are really live test patterns with the properties a V4L2 provider gives.

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
