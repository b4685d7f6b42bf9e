#pragma once
// Helpers shared by the mail service tests: a log that records what the service writes, a
// picture source that writes a real JPEG of a plain frame, and a listening socket that tells
// whether anybody connected to it.

#include "app/ServiceInterfaces.h"
#include "capture/CaptureFrame.h"
#include "capture/JpegWriter.h"
#include "tests/support/LoopbackListener.h"

#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// Records every line the service logs, split into screen-and-file and file-only lines.
class RecordingLog final : public IServiceLog {
public:
    void AddLog(const std::string& message) override { screen.push_back(message); }
    void WriteLogFile(const std::string& message) override { fileOnly.push_back(message); }
    void Clear() {
        screen.clear();
        fileOnly.clear();
    }

    std::vector<std::string> screen;
    std::vector<std::string> fileOnly;
};

// Writes a JPEG of a black frame into folder, named as the grab names reply pictures.
class FakePictureSource final : public IReplyPictureSource {
public:
    explicit FakePictureSource(std::string folder) : m_folder(std::move(folder)) {}

    bool GrabReplyPicture(bool rotate, std::string& path) override {
        ++grabs;
        lastRotate = rotate;
        if (duringGrab)
            duringGrab();
        if (fail)
            return false;
        path = m_folder + "20261206154744" + (rotate ? "r" : "") + ".jpg";
        if (claimWithoutFile)
            return true;
        const CaptureFrame frame =
            rotate ? CaptureFrame::Blank(36, 44) : CaptureFrame::Blank(44, 36);
        return WriteJpegFile(path, frame, 50);
    }

    int grabs = 0;
    bool lastRotate = false;
    bool fail = false;
    bool claimWithoutFile = false;    // report success without writing the file
    std::function<void()> duringGrab; // runs inside the grab, as a nested message loop would

private:
    std::string m_folder;
};
