#include "app/settings/CameraNames.h"

#include <QString>

std::string FoldCameraName(const std::string& utf8) {
    return QString::fromUtf8(utf8).normalized(QString::NormalizationForm_KC).toCaseFolded()
        .trimmed().toStdString();
}
