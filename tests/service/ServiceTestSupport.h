#pragma once
// Helpers shared by the mail service tests: a log that records what the service writes, a
// picture source that writes a real JPEG of a plain frame, and a listening socket that tells
// whether anybody connected to it.

#include "app/camera/ServiceInterfaces.h"
#include "capture/CaptureFrame.h"
#include "capture/JpegWriter.h"
#include "tests/support/LoopbackListener.h"

#include <functional>
#include <initializer_list>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// Records every line the service logs, split into screen-and-file and file-only lines.

// Building blocks of scripted POP3 dialogues (see tests/support/ScriptedServer.h).
using Script = std::vector<std::string>;

inline const Script kLogIn = {"S: +OK ready","C: CAPA", "S: -ERR", "C: USER camera", "S: +OK", "C: PASS secret",
                              "S: +OK"};

inline Script Join(std::initializer_list<Script> parts) {
    Script all;
    for (const Script& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// CAPA refused: the cycle then uses the commands of RFC 1939 only, one per round trip.
inline const Script kNoCapabilities = {"C: CAPA", "S: -ERR unknown command"};

// LIST answered for messages of these sizes.
inline Script Listing(const std::vector<int>& sizes) {
    Script script = {"C: LIST", "S: +OK"};
    for (size_t i = 0; i < sizes.size(); ++i)
        script.push_back("S: " + std::to_string(i + 1) + " " + std::to_string(sizes[i]));
    script.push_back("S: .");
    return script;
}

// RETR n answered with a message of just these header lines.
inline Script Retrieve(int n, const std::vector<std::string>& headers) {
    Script script = {"C: RETR " + std::to_string(n), "S: +OK"};
    for (const std::string& header : headers)
        script.push_back("S: " + header);
    script.insert(script.end(), {"S: ", "S: ."});
    return script;
}

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

// A JPEG of a black frame, named as the grab names reply pictures.
class FakePictureSource final : public IReplyPictureSource {
public:
    bool GrabReplyPicture(bool rotate, JpegPicture& picture, GrabFailure& why) override {
        ++grabs;
        lastRotate = rotate;
        if (duringGrab)
            duringGrab();
        if (fail) {
            why = {GrabFailure::Kind::NoCamera};
            return false;
        }
        picture.fileName = std::string("20261206154744") + (rotate ? "r" : "") + ".jpg";
        if (claimWithoutBytes)
            return true;
        const CaptureFrame frame =
            rotate ? CaptureFrame::Blank(36, 44) : CaptureFrame::Blank(44, 36);
        picture.jpeg = std::make_shared<const std::string>(EncodeJpeg(frame, 50).value());
        return true;
    }

    int grabs = 0;
    bool lastRotate = false;
    bool fail = false;
    bool claimWithoutBytes = false;   // report success without a picture
    std::function<void()> duringGrab; // runs inside the grab, as a nested message loop would
};
