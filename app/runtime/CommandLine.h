#pragma once
// The command line of kestrovamail: which way the program runs, and its options.

#include <string>
#include <vector>

struct CommandLine {
    enum class Mode {
        Window,       // the main window (default)
        Headless,     // --headless: the service without any display
        CheckOnce,    // --check-once: one check cycle without a display, then exit
        ShowSettings, // --show-settings
        SetSettings,  // --set SECTION.KEY=VALUE (repeatable)
        SetPassword,  // --set-password pop3|smtp|oauth-client|camera:NAME
        SignIn,       // --sign-in [--device-code]: OAuth 2.0 sign-in from the terminal
        SetUp,        // --set-up ADDRESS [--dry-run] [--accept-other-domain]
        MoveSecrets,  // --move-secrets keyring|file
        RemoveCamera, // --remove-camera NAME
        Help,         // --help
        Version,      // --version
    };

    Mode mode = Mode::Window;
    int startupArguments = 0;             // how often "startup" was given (the autostart entry)
    bool testPattern = false;             // --test-pattern
    bool trace = false;                   // --trace: the mail dialogue on standard error
    bool deviceCode = false;              // --device-code: --sign-in on another device
    std::string device;                   // --device NAME|/dev/videoN
    std::vector<std::string> assignments; // --set
    std::string passwordAccount;          // --set-password
    std::string secretStore;              // --move-secrets: keyring or file
    std::string camera;                   // --remove-camera
    std::string setUpAddress;             // --set-up
    bool dryRun = false;                  // --dry-run (with --set-up)
    bool acceptOtherDomain = false;       // --accept-other-domain (with --set-up)
    std::string error;                    // not empty: the command line is wrong (why)
};

// Reads the arguments (without the program name) by the option table (CommandLineOptions.h).
// Options take their value as the next argument or after "=" (--device=/dev/video0).
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help prints.
std::string HelpText();

// What --version prints.
std::string VersionText();

// Exit status for a wrong command line.
inline constexpr int kUsageExitStatus = 2;
