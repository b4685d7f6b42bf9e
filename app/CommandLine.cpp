#include "app/CommandLine.h"

#include <optional>

namespace {

using Mode = CommandLine::Mode;

// Sets the mode once; a second, different mode is an error.
void SetMode(CommandLine& line, Mode mode, const std::string& option) {
    if (line.mode != Mode::Window && line.mode != mode && line.error.empty())
        line.error = option + " cannot be combined with the other command given";
    line.mode = mode;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> attached;
        if (option.starts_with("--")) {
            if (const std::size_t equals = option.find('='); equals != std::string::npos) {
                attached = option.substr(equals + 1);
                option.resize(equals);
            }
        }
        // The value of an option that takes one: after "=" or as the next argument.
        auto value = [&]() -> std::optional<std::string> {
            if (attached)
                return attached;
            if (i + 1 < arguments.size())
                return arguments[++i];
            line.error = option + " needs a value";
            return std::nullopt;
        };
        auto noValue = [&] {
            if (attached)
                line.error = option + " takes no value";
        };

        if (option == "startup") {
            ++line.startupArguments; // exact, letter case included
        } else if (option == "--help" || option == "-h") {
            noValue();
            SetMode(line, Mode::Help, option);
        } else if (option == "--headless") {
            noValue();
            SetMode(line, Mode::Headless, option);
        } else if (option == "--check-once") {
            noValue();
            SetMode(line, Mode::CheckOnce, option);
        } else if (option == "--show-settings") {
            noValue();
            SetMode(line, Mode::ShowSettings, option);
        } else if (option == "--test-pattern") {
            noValue();
            line.testPattern = true;
        } else if (option == "--trace") {
            noValue();
            line.trace = true;
        } else if (option == "--device") {
            if (auto v = value()) {
                line.device = *v;
                if (line.device.empty())
                    line.error = "--device needs a device name or a /dev/video* path";
            }
        } else if (option == "--set") {
            if (auto v = value()) {
                line.assignments.push_back(*v);
                SetMode(line, Mode::SetSettings, option);
            }
        } else if (option == "--set-password") {
            if (auto v = value()) {
                line.passwordAccount = *v;
                SetMode(line, Mode::SetPassword, option);
                if (*v != "pop3" && *v != "smtp")
                    line.error = "--set-password takes pop3 or smtp";
            }
        } else {
            line.error = "unknown option \"" + arguments[i] + "\" (kestrovamail --help lists them)";
        }
    }
    const bool runs = line.mode == Mode::Window || line.mode == Mode::Headless ||
                      line.mode == Mode::CheckOnce;
    if (line.error.empty() && !line.device.empty() && !runs)
        line.error = "--device picks the camera of the window, --headless or --check-once";
    if (line.error.empty() && line.trace && !runs)
        line.error = "--trace shows the mail dialogue of the window, --headless or --check-once";
    return line;
}

std::string HelpText() {
    return R"(Usage: kestrovamail [OPTION]...
A camera that answers e-mail: mails whose subject is the check string ("cap") get a fresh
picture from the camera as the reply. Without options the main window opens.

  --headless             run without any display (no X server needed) as a service: the
                         camera and the mail check run as in the window, checking at start
                         and once a minute. Log lines go to standard error (UTF-8) and, when
                         enabled, to log.txt. SIGTERM/SIGINT end it, SIGHUP reloads setup.ini
                         and device.ini.
  --check-once           one mail check without a display, then exit. Status 0: the check
                         completed; 1: it did not (the reason on standard error); 2: the
                         settings are incomplete; 3: it completed but requests stayed on the
                         server unanswered because no camera was there.
  --device NAME|PATH     use this camera (its display name, or a /dev/video* path) without
                         asking; with the window, --headless and --check-once. Without any
                         camera the program still checks mail and leaves requests on the server.
  --trace                write every line sent to and received from the mail servers to
                         standard error, each with the time, the protocol and the server;
                         passwords and log-in data are masked, messages shortened to their
                         first line and size. With the window, --headless and --check-once.
  --test-pattern         offer the GStreamer test pattern ("テストパターン") as a camera, for
                         trying the program without one.
  --show-settings        print every setting as SECTION.KEY=VALUE (passwords hidden).
  --set SECTION.KEY=VALUE
                         change one setting with the checks of the settings dialogs, e.g.
                         --set MAIL.POP3_SERVER=pop.example.com; may be given more than once.
  --set-password pop3|smtp
                         read the POP3 or SMTP password from standard input and store it
                         enciphered, as the mail settings dialog does.
  -h, --help             show this help.
  startup                (from the autostart entry) wait out the configured start-up delay.

Settings live in setup.ini and device.ini in $KESTROVAMAIL_HOME, else beside the program,
else (installed) in ~/.local/share/KestrovaMail/.
With MAIL.SENDER_CHECK=dkim, DKIM keys are asked of the system's resolver, or of the DNS
server named by KESTROVAMAIL_DNS_SERVER=address:port.
)";
}
