#pragma once
// The application object: the start-up delay of an automatic start, then the main window for
// the whole life of the program.

#include <QStringList>
#include <string>

class CKestrovaMailApp {
public:
    // arguments without the program name; folder is ProgramFolder(); device the camera named
    // on the command line (empty: the saved one).
    CKestrovaMailApp(QStringList arguments, std::string folder, std::string device = {});

    // Waits out the start-up delay once for every argument that is exactly "startup": silently,
    // or with the countdown dialog when STARTUP_DIALOG is on. False when the countdown was
    // cancelled: the program ends before any window exists.
    bool WaitForStartup();

    // Start-up delay, main window, event loop. Returns the process exit code.
    int Run();

private:
    QStringList m_arguments;
    std::string m_folder;
    std::string m_device;
};
