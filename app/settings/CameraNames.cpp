#include "app/settings/CameraNames.h"

#include <QString>

std::string FoldCameraName(const std::string& utf8) {
    return QString::fromStdString(utf8)
        .normalized(QString::NormalizationForm_KC)
        .toCaseFolded()
        .trimmed()
        .toStdString();
}

CameraNameProblem CheckCameraName(const std::string& utf8) {
    const QString name = QString::fromStdString(utf8);
    int characters = 0;
    for (const char32_t c : name.toStdU32String()) {
        ++characters;
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029)
            return CameraNameProblem::Control;
        if (c == ',' || c == ';' || c == 0xFF0C || c == 0xFF1B) // full-width ones fold to these
            return CameraNameProblem::Separator;
    }
    if (characters > kMaxCameraNameCharacters)
        return CameraNameProblem::TooLong;
    const std::string folded = FoldCameraName(utf8);
    for (const char* reserved : kReservedCameraNames)
        if (folded == reserved)
            return CameraNameProblem::Reserved;
    return CameraNameProblem::None;
}

int FindCamera(const DeviceSettings& device, const std::string& name) {
    const std::string folded = FoldCameraName(name);
    for (std::size_t i = 0; i < device.cameras.size(); ++i)
        if (FoldCameraName(device.cameras[i].name) == folded)
            return static_cast<int>(i);
    return -1;
}

std::string DefaultCameraName(int number) {
    return "camera" + std::to_string(number);
}

std::string CameraNameList(const DeviceSettings& device) {
    std::string list;
    for (const CameraSettings& camera : device.cameras)
        (list += list.empty() ? "" : ", ") += camera.name;
    return list;
}
