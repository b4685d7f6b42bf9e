#include "window/KestrovaMailApp.h"

#include "app/runtime/ProcessSignals.h"
#include "app/settings/SettingsStore.h"
#include "window/MainWindow.h"
#include "dialogs/TimerDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <chrono>
#include <thread>

CKestrovaMailApp::CKestrovaMailApp(QStringList arguments, std::string folder, std::string device)
    : m_arguments(std::move(arguments)), m_folder(std::move(folder)), m_device(std::move(device)) {}

bool CKestrovaMailApp::WaitForStartup() {
    for (const QString& argument : m_arguments) {
        if (argument != QLatin1String("startup")) // exact, letter case included
            continue;
        const StartupOptions options = ReadStartupOptions(m_folder);
        if (options.startupTimer <= 0)
            continue;
        if (options.startupDialog) {
            CTimerDialog countdown(options.startupTimer);
            if (countdown.exec() != QDialog::Accepted)
                return false;
        } else {
            std::this_thread::sleep_for(std::chrono::seconds(options.startupTimer));
        }
    }
    return true;
}

int CKestrovaMailApp::Run() {
    // The tray keeps the program alive while the window is hidden, and the countdown and the
    // first run's dialogs close before the window is shown: only the window's own close ends
    // the program.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!WaitForStartup())
        return 0;

    MainWindow::Options options;
    options.folder = m_folder;
    options.device = m_device;
    MainWindow window(options);
    // As with a dialog, the window appears once it is initialised (the first run's device,
    // mail and application dialogs come before it).
    if (!window.Initialise())
        return 0;
    window.show();
    const CProcessSignals quitSignals([&window] { window.Exit(); });
    return QApplication::exec();
}
