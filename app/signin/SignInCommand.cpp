#include "app/signin/SignInCommand.h"

#include "app/report/MessageSink.h"
#include "app/signin/OAuthSignIn.h"
#include "app/report/ScreenText.h"
#include "app/settings/SettingsStore.h"
#include "mail/net/CancelSignal.h"

#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <ostream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace signincli {
namespace {

// The longest line taken as a pasted address; a redirect with its code is far shorter.
constexpr std::size_t kMaxPastedBytes = 64 * 1024;

// A message in the user's language (an address's percent escapes stay as they are).
template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("SignInCommand", text, {std::string_view(arguments)...});
}

// SIGINT and SIGTERM raise the cancel signal (all a handler may do: an atomic flag and a
// write) for as long as the object lives.
CCancelSignal* g_interrupt = nullptr;

extern "C" void OnInterrupt(int) {
    if (g_interrupt)
        g_interrupt->Cancel();
}

class InterruptCancels {
public:
    explicit InterruptCancels(CCancelSignal& signal) {
        g_interrupt = &signal;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_oldInt);
        ::sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~InterruptCancels() {
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        g_interrupt = nullptr;
    }
    InterruptCancels(const InterruptCancels&) = delete;
    InterruptCancels& operator=(const InterruptCancels&) = delete;

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

// Hands the address to the desktop's browser when there is a desktop; the address is printed
// either way, so a failure here costs nothing. Returns the child to reap, or -1.
pid_t OpenInBrowser(const std::string& address) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland))
        return -1;
    std::string program = "xdg-open";
    std::string argument = address;
    char* argv[] = {program.data(), argument.data(), nullptr};
    struct FileActions {
        posix_spawn_file_actions_t actions;
        FileActions() { posix_spawn_file_actions_init(&actions); }
        ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    } quiet;
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&quiet.actions, fd, "/dev/null", O_RDWR, 0);
    pid_t child = -1;
    if (posix_spawnp(&child, "xdg-open", &quiet.actions, nullptr, argv, environ) != 0)
        child = -1;
    return child;
}

// What to tell the user to set, on err.
void SaySettingToFix(const std::string& setting, const MailSettings& mail, std::ostream& err) {
    err << "kestrovamail: ";
    if (setting == "MAIL.AUTH_METHOD")
        err << Tr(QT_TRANSLATE_NOOP("SignInCommand",
                                    "メールのログイン方式が OAuth 2.0 ではありません"
                                    "（kestrovamail --set MAIL.AUTH_METHOD=oauth2）"));
    else if (setting == "MAIL.OAUTH_PROVIDER")
        err << Tr(QT_TRANSLATE_NOOP("SignInCommand",
                                    "サインインするプロバイダーを設定してください（kestrovamail "
                                    "--set MAIL.OAUTH_PROVIDER=google、microsoft か custom）"));
    else if (setting == "MAIL.OAUTH_DEVICE_URL" && mail.oauthProvider != "custom")
        err << Tr(QT_TRANSLATE_NOOP(
            "SignInCommand", "このプロバイダーはメールのためのデバイスコードでのサインインを"
                             "認めていません。--device-code を付けずにサインインしてください"));
    else if (setting.ends_with("_URL"))
        err << Tr(QT_TRANSLATE_NOOP("SignInCommand",
                                    "%1 が設定されていないか、https のアドレスではありません"
                                    "（kestrovamail --set %1=https://…）"),
                  setting);
    else
        err << Tr(QT_TRANSLATE_NOOP("SignInCommand",
                                    "%1 が設定されていないか、使えない値です（kestrovamail --set "
                                    "%1=値）"),
                  setting);
    err << "\n";
}

// The browser's redirect on the loopback listener (waited for on a thread of its own) or a line
// on input, whichever comes first; the other is then given up.
MailError AwaitBrowser(COAuthBrowserSignIn& signIn, int input, const CCancelSignal& interrupt,
                       std::ostream& err) {
    CCancelSignal stopWaiting, finished;
    MailError waited;
    std::thread waiter([&] {
        waited = signIn.Wait(&stopWaiting);
        finished.Cancel();
    });
    const auto stopWaiter = [&] {
        stopWaiting.Cancel();
        waiter.join();
    };
    std::string pending;
    for (;;) {
        pollfd fds[3] = {{finished.fd(), POLLIN, 0},
                         {interrupt.fd(), POLLIN, 0},
                         {input, POLLIN, 0}}; // a negative descriptor is left out
        if (::poll(fds, 3, -1) < 0 && errno != EINTR) {
            stopWaiter();
            return {MailErrorCode::ReceiveFailed, errno, {}};
        }
        if (finished.IsCancelled()) {
            waiter.join();
            return waited;
        }
        if (interrupt.IsCancelled()) {
            stopWaiter();
            return {MailErrorCode::Cancelled, 0, {}};
        }
        if (input < 0 || fds[2].revents == 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(input, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            input = -1; // input has ended: only the browser is left
            continue;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;
             pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            if (line.find_first_not_of(" \t\r") == std::string::npos)
                continue;
            if (!signIn.IsRedirectAddress(line)) {
                err << Tr(QT_TRANSLATE_NOOP("SignInCommand",
                                            "これはサインインの戻り先のアドレスではありません"
                                            "（%1 で始まります）。もう一度貼り付けてください。"),
                          signIn.RedirectUri())
                    << std::endl;
                continue;
            }
            stopWaiter();
            if (!waited)
                return waited; // the browser came back just before
            return signIn.Complete(line, &interrupt);
        }
        if (pending.size() > kMaxPastedBytes)
            pending.clear();
    }
}

MailError SignInWithBrowser(const MailSettings& mail, const std::string& folder, int input,
                            const CCancelSignal& interrupt, std::ostream& out, std::ostream& err) {
    COAuthBrowserSignIn signIn(mail, folder);
    MailError error;
    const std::string address = signIn.Start(error);
    if (address.empty())
        return error;
    out << Tr(QT_TRANSLATE_NOOP("SignInCommand",
                                "このアドレスをブラウザーで開き、メールのアカウントでサインインして"
                                "ください:"))
        << "\n\n  " << address << "\n\n"
        << Tr(QT_TRANSLATE_NOOP("SignInCommand",
                                "終わるとブラウザーはこのプログラムに戻ります。ブラウザーが別の"
                                "機器にあるときは、最後に開いたページ（%1 で始まり、表示されない"
                                "ページ）のアドレスをここに貼り付けて Enter を押してください。"),
              signIn.RedirectUri())
        << "\n"
        << Tr(QT_TRANSLATE_NOOP("SignInCommand", "待っています（%1 分まで。Ctrl+C で中止）…"),
              std::to_string(oauthsignin::kBrowserLimit.count()))
        << std::endl;
    const pid_t browser = OpenInBrowser(address);
    error = AwaitBrowser(signIn, input, interrupt, err);
    if (browser > 0)
        ::waitpid(browser, nullptr, WNOHANG);
    return error;
}

MailError SignInWithDeviceCode(const MailSettings& mail, const std::string& folder,
                               const CCancelSignal& interrupt, std::ostream& out) {
    COAuthDeviceSignIn signIn(mail, folder);
    MailError error;
    const std::optional<DeviceCodePrompt> prompt = signIn.Start(&interrupt, error);
    if (!prompt)
        return error;
    out << Tr(QT_TRANSLATE_NOOP("SignInCommand",
                                "ブラウザーで %1 を開き、コード %2 を入力してサインインして"
                                "ください。"),
              prompt->verificationUri, prompt->userCode)
        << "\n";
    if (!prompt->verificationUriComplete.empty())
        out << Tr(QT_TRANSLATE_NOOP("SignInCommand", "（%1 を開くとコードは入力済みです）"),
                  prompt->verificationUriComplete)
            << "\n";
    out << Tr(QT_TRANSLATE_NOOP("SignInCommand", "待っています（%1 分まで。Ctrl+C で中止）…"),
              std::to_string((prompt->expiresIn.count() + 59) / 60))
        << std::endl;
    return signIn.Wait(&interrupt);
}

} // namespace

int SignIn(const std::string& folder, bool deviceCode, int input, std::ostream& out,
           std::ostream& err) {
    Settings settings;
    CStreamSink sink(err);
    for (const std::string& note : LoadSettings(settings, folder, sink))
        err << ScreenText(note) << "\n";
    const oauthsignin::Grant grant =
        deviceCode ? oauthsignin::Grant::DeviceCode : oauthsignin::Grant::Browser;
    if (const std::string setting = oauthsignin::SettingToFix(settings.mail, grant);
        !setting.empty()) {
        SaySettingToFix(setting, settings.mail, err);
        return kSettingMissing;
    }
    CCancelSignal interrupt;
    const InterruptCancels cancelling(interrupt);
    const MailError error =
        deviceCode ? SignInWithDeviceCode(settings.mail, folder, interrupt, out)
                   : SignInWithBrowser(settings.mail, folder, input, interrupt, out, err);
    if (error) {
        err << "kestrovamail: "
            << Tr(QT_TRANSLATE_NOOP("SignInCommand", "サインインできませんでした: %1"),
                  ScreenText(DescribeMailError(error)))
            << std::endl;
        return kFailed;
    }
    out << Tr(QT_TRANSLATE_NOOP(
               "SignInCommand",
               "サインインしました。メールの確認と返信はこのサインインで行います。"))
        << std::endl;
    return kSignedIn;
}

} // namespace signincli
