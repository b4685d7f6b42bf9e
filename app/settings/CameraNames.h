#pragma once
// The names of the cameras (CAMERAn.NAME): what is a name, and when two names are the same. A
// request "cap 玄関" and --set-password camera:NAME find their camera by the folded name, so
// that full-width and half-width forms and letter case alike match.

#include "base/Settings.h"

#include <string>

inline constexpr int kMaxCameraNameCharacters = 32;

// The form names are compared in: Unicode NFKC, then case folding, blanks around removed.
std::string FoldCameraName(const std::string& utf8);

enum class CameraNameProblem {
    None,
    Control,   // a CR, LF or another control character (it would end a mail header or a line)
    Separator, // "," or ";" (they separate names in lists and requests)
    TooLong,   // more than kMaxCameraNameCharacters characters
    Reserved,  // a word of the mail commands ("cap arm", "cap video"): a request could not tell
};

// The words after the check string that are commands rather than cameras' names, folded.
inline constexpr const char* kReservedCameraNames[] = {"arm",  "disarm", "警戒", "解除",
                                                       "video", "clip",  "動画"};
CameraNameProblem CheckCameraName(const std::string& utf8);

// The index of the camera whose name folds to the same as name; -1 when none does.
int FindCamera(const DeviceSettings& device, const std::string& name);

// "camera<n>": the name of camera n (from 1) when its NAME is empty.
std::string DefaultCameraName(int number);

// The cameras' names, "玄関, garden" (for messages that list them).
std::string CameraNameList(const DeviceSettings& device);
