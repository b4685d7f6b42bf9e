// KestrovaMail: a camera that answers e-mail.
//
//   kestrovamail [startup] [--test-pattern]
//
// "startup" (given by the autostart entry) waits out the configured start-up delay first;
// --test-pattern offers the GStreamer test pattern as a capture device.

#include "base/ProgramFolder.h"
#include "window/KestrovaMailApp.h"
#include "capture/CaptureDevices.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zentrivo"));
    QApplication::setApplicationName(QStringLiteral("KestrovaMail"));

    QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.removeAll(QStringLiteral("--test-pattern")) > 0)
        EnableTestPattern(true);

    CKestrovaMailApp kestrova(arguments, ProgramFolder());
    return kestrova.Run();
}
