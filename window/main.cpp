// KestrovaMail: a camera that answers e-mail. `kestrovamail --help` lists the options: the
// window (default), the headless service, one check, the settings commands and the sign-in.

#include "app/runtime/CommandLine.h"
#include "app/runtime/HeadlessService.h"
#include "app/runtime/MoveSecrets.h"
#include "app/runtime/ProgramFolderCheck.h"
#include "app/discovery/SetUpCommand.h"
#include "app/settings/SettingsCommands.h"
#include "app/signin/SignInCommand.h"
#include "app/report/UiLanguage.h"
#include "base/ProgramFolder.h"
#include "capture/CaptureDevices.h"
#include "dialogs/MessageBoxes.h"
#include "mail/net/ProtocolTrace.h"
#include "window/KestrovaMailApp.h"

#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace {

void NameTheApplication() {
    QCoreApplication::setOrganizationName(QStringLiteral("Zentrivo"));
    QCoreApplication::setApplicationName(QStringLiteral("KestrovaMail"));
}

// The program folder once the user's language is in place, or nothing when it may not be
// trusted: then why is said on standard error (and in a message box for the window), and the
// program ends.
std::optional<std::string> CheckedProgramFolder(bool window = false) {
    std::string folder = ProgramFolder();
    const std::string refusal = ProgramFolderRefusal(folder);
    if (refusal.empty())
        return folder;
    std::fprintf(stderr, "kestrovamail: %s\n", refusal.c_str());
    if (window)
        ShowMessageBox(nullptr, QString::fromStdString(refusal), MessageKind::Exclamation);
    return std::nullopt;
}

int RunWithoutDisplay(int argc, char* argv[], const CommandLine& line) {
    // The stamp needs fonts and QImage, not a screen: the offscreen platform needs no X server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    NameTheApplication();
    InstallUiTranslation(LocaleEnvironment::FromProcess());
    std::optional<std::string> folder = CheckedProgramFolder();
    if (!folder)
        return kStartFailedExitStatus;
    CHeadlessService::Options options;
    options.folder = std::move(*folder);
    options.device = line.device;
    return RunHeadless(std::move(options), line.mode == CommandLine::Mode::CheckOnce);
}

int RunWindow(int argc, char* argv[], const CommandLine& line) {
    QApplication app(argc, argv);
    NameTheApplication();
    InstallUiTranslation(LocaleEnvironment::FromProcess());
    QStringList startup;
    for (int i = 0; i < line.startupArguments; ++i)
        startup << QStringLiteral("startup");
    std::optional<std::string> folder = CheckedProgramFolder(true);
    if (!folder)
        return kStartFailedExitStatus;
    CKestrovaMailApp kestrova(startup, std::move(*folder), line.device);
    return kestrova.Run();
}

// --show-settings, --set, --set-password, --set-up, --move-secrets and --remove-camera, their messages in the user's language.
int RunSettingsCommand(int argc, char* argv[], const CommandLine& line) {
    const QCoreApplication app(argc, argv);
    InstallUiTranslation(LocaleEnvironment::FromProcess());
    const std::optional<std::string> folder = CheckedProgramFolder();
    if (!folder)
        return kStartFailedExitStatus;
    switch (line.mode) {
    case CommandLine::Mode::ShowSettings:
        return settingscli::ShowSettings(*folder, std::cout, std::cerr);
    case CommandLine::Mode::SetSettings:
        return settingscli::SetSettings(*folder, line.assignments, std::cerr);
    case CommandLine::Mode::SetUp:
        return setupcli::SetUp(*folder, line.setUpAddress, line.dryRun, line.acceptOtherDomain,
                               std::cout, std::cerr);
    case CommandLine::Mode::MoveSecrets:
        return secretscli::MoveSecrets(*folder, line.secretStore, std::cout, std::cerr);
    case CommandLine::Mode::RemoveCamera:
        return settingscli::RemoveCamera(*folder, line.camera, std::cout, std::cerr);
    default:
        return settingscli::SetPassword(*folder, line.passwordAccount, std::cin, std::cerr,
                                        ::isatty(STDIN_FILENO) != 0);
    }
}

// --sign-in, its messages in the user's language.
int RunSignIn(int argc, char* argv[], const CommandLine& line) {
    const QCoreApplication app(argc, argv);
    InstallUiTranslation(LocaleEnvironment::FromProcess());
    const std::optional<std::string> folder = CheckedProgramFolder();
    if (!folder)
        return kStartFailedExitStatus;
    return signincli::SignIn(*folder, line.deviceCode, STDIN_FILENO, std::cout, std::cerr);
}

} // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CommandLine line = ParseCommandLine(arguments);
    if (!line.error.empty()) {
        // The message is made in the user's language once the translation is installed.
        const QCoreApplication app(argc, argv);
        InstallUiTranslation(LocaleEnvironment::FromProcess());
        std::fprintf(stderr, "kestrovamail: %s\n", ParseCommandLine(arguments).error.c_str());
        return kUsageExitStatus;
    }
    if (line.testPattern)
        EnableTestPattern(true);
    protocoltrace::Enable(line.trace);

    switch (line.mode) {
    case CommandLine::Mode::Help: {
        const QCoreApplication app(argc, argv);
        InstallUiTranslation(LocaleEnvironment::FromProcess());
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    case CommandLine::Mode::Version:
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    case CommandLine::Mode::ShowSettings:
    case CommandLine::Mode::SetSettings:
    case CommandLine::Mode::SetPassword:
    case CommandLine::Mode::SetUp:
    case CommandLine::Mode::MoveSecrets:
    case CommandLine::Mode::RemoveCamera:
        return RunSettingsCommand(argc, argv, line);
    case CommandLine::Mode::SignIn:
        return RunSignIn(argc, argv, line);
    case CommandLine::Mode::Headless:
    case CommandLine::Mode::CheckOnce:
        return RunWithoutDisplay(argc, argv, line);
    case CommandLine::Mode::Window:
        break;
    }
    return RunWindow(argc, argv, line);
}
