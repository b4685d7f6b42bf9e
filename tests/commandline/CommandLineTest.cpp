// The command line as scripts and the autostart entry give it: what each option sets, and what
// is refused and why (no translation installed here, so the messages are the Japanese ones).

#include "app/runtime/CommandLine.h"

#include "app/runtime/CommandLineOptions.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char* ModeName(CommandLine::Mode mode) {
    switch (mode) {
    case CommandLine::Mode::Window:
        return "window";
    case CommandLine::Mode::Headless:
        return "headless";
    case CommandLine::Mode::CheckOnce:
        return "check-once";
    case CommandLine::Mode::ShowSettings:
        return "show-settings";
    case CommandLine::Mode::SetSettings:
        return "set";
    case CommandLine::Mode::SetPassword:
        return "set-password";
    case CommandLine::Mode::SignIn:
        return "sign-in";
    case CommandLine::Mode::SetUp:
        return "set-up";
    case CommandLine::Mode::MoveSecrets:
        return "move-secrets";
    case CommandLine::Mode::RemoveCamera:
        return "remove-camera";
    case CommandLine::Mode::Help:
        return "help";
    case CommandLine::Mode::Version:
        return "version";
    }
    return "?";
}

// The parse result in one line: the mode, then every field that differs from its default.
std::string Describe(const CommandLine& line) {
    if (!line.error.empty())
        return "error: " + line.error;
    std::string out = ModeName(line.mode);
    if (line.startupArguments != 0)
        out += " startup=" + std::to_string(line.startupArguments);
    if (!line.device.empty())
        out += " device=" + line.device;
    for (const std::string& assignment : line.assignments)
        out += " assign=" + assignment;
    if (!line.passwordAccount.empty())
        out += " account=" + line.passwordAccount;
    if (!line.setUpAddress.empty())
        out += " address=" + line.setUpAddress;
    if (!line.secretStore.empty())
        out += " store=" + line.secretStore;
    if (!line.camera.empty())
        out += " camera=" + line.camera;
    for (const auto& [flag, name] : {std::pair{line.testPattern, " test-pattern"},
                                     {line.trace, " trace"},
                                     {line.deviceCode, " device-code"},
                                     {line.dryRun, " dry-run"}})
        if (flag)
            out += name;
    return out;
}

TEST(CommandLine, EachOptionSetsWhatScriptsRelyOn) {
    const struct {
        std::vector<std::string> arguments;
        const char* parsed;
    } cases[] = {
        {{}, "window"},
        {{"startup", "startup"}, "window startup=2"},
        {{"--help"}, "help"},
        {{"-h"}, "help"},
        {{"--version"}, "version"},
        {{"--headless", "--headless"}, "headless"},
        {{"--check-once", "--device", "/dev/video0", "--trace", "--test-pattern"},
         "check-once device=/dev/video0 test-pattern trace"},
        {{"--device=Cam One"}, "window device=Cam One"},
        {{"--device", "--headless"}, "window device=--headless"}, // the next argument, whatever
        {{"--show-settings", "--test-pattern"}, "show-settings test-pattern"},
        {{"--set", "MAIL.POP3_ID=me", "--set=APPLICATION.JPEG_QUALITY=80"},
         "set assign=MAIL.POP3_ID=me assign=APPLICATION.JPEG_QUALITY=80"},
        {{"--set-password", "oauth-client"}, "set-password account=oauth-client"},
        {{"--set-password=smtp"}, "set-password account=smtp"},
        {{"--set-password", "camera:玄関"}, "set-password account=camera:玄関"},
        {{"--remove-camera", "garden"}, "remove-camera camera=garden"},
        {{"--move-secrets", "keyring"}, "move-secrets store=keyring"},
        {{"--move-secrets=file"}, "move-secrets store=file"},
        {{"--sign-in", "--device-code"}, "sign-in device-code"},
        {{"--dry-run", "--set-up", "you@example.com"}, "set-up address=you@example.com dry-run"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        EXPECT_EQ(Describe(ParseCommandLine(c.arguments)), c.parsed);
    }
}

TEST(CommandLine, AWrongCommandLineSaysWhy) {
    const struct {
        std::vector<std::string> arguments;
        const char* error;
    } cases[] = {
        {{"--nonsense=1"}, "不明なオプション \"--nonsense=1\"（一覧は kestrovamail --help）"},
        {{"Startup"}, "不明なオプション \"Startup\"（一覧は kestrovamail --help）"},
        {{"-h=1"}, "不明なオプション \"-h=1\"（一覧は kestrovamail --help）"},
        {{"--device"}, "--device には値が必要です"},
        {{"--set-up"}, "--set-up には値が必要です"},
        {{"--device="}, "--device にはデバイス名か /dev/video* のパスが必要です"},
        {{"--headless=yes"}, "--headless は値を取りません"},
        {{"--headless", "--show-settings"},
         "--show-settings はほかに指定したコマンドと一緒には使えません"},
        {{"--set", "A.B=1", "--set-up", "you@example.com"},
         "--set-up はほかに指定したコマンドと一緒には使えません"},
        {{"--set-password", "imap"},
         "--set-password には pop3、smtp、oauth-client か camera:NAME を指定します"},
        {{"--set-password", "camera:"},
         "--set-password には pop3、smtp、oauth-client か camera:NAME を指定します"},
        {{"--move-secrets", "cloud"}, "--move-secrets には keyring か file を指定します"},
        {{"--device", "x", "--sign-in"},
         "--device はウィンドウ、--headless、--check-once のカメラを選ぶオプションです"},
        {{"--trace", "--show-settings"},
         "--trace はウィンドウ、--headless、--check-once "
         "のメールのやりとりを表示するオプションです"},
        {{"--dry-run"}, "--dry-run は --set-up と使うオプションです"},
        {{"--device-code", "--version"}, "--device-code は --sign-in と使います"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        EXPECT_EQ(Describe(ParseCommandLine(c.arguments)), std::string("error: ") + c.error);
    }
}

// A row the parser or --help would mishandle: a name given twice, a value or a command that
// could be wrong without a message saying why, an option --help would leave out.
TEST(CommandLine, EveryRowCarriesWhatItsKindNeeds) {
    constexpr int kModes = static_cast<int>(CommandLine::Mode::Version) + 1;
    std::set<std::string_view> names;
    for (const OptionRow& row : CommandLineOptions()) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(names.insert(row.name).second);
        const bool checksValue =
            row.argument == OptionArgument::Word || row.argument == OptionArgument::Device;
        EXPECT_EQ(row.badValue != nullptr, checksValue);
        EXPECT_EQ(row.argument == OptionArgument::Word, !row.words.empty());
        int modes = 0;
        for (int m = 0; m < kModes; ++m)
            modes += row.goesWith.Has(static_cast<CommandLine::Mode>(m)) ? 1 : 0;
        EXPECT_EQ(row.misplaced != nullptr, modes < kModes);
        EXPECT_TRUE(row.help != nullptr || modes == 1)
            << "no line in --help and no command to show it with";
    }
}

TEST(CommandLine, HelpShowsEveryOptionWithItsTextAtOneColumn) {
    const std::string help = HelpText();
    for (const OptionRow& row : CommandLineOptions()) {
        SCOPED_TRACE(row.name);
        if (row.help == nullptr) { // in the line of its command: "--set-up ADDRESS [--dry-run]"
            EXPECT_NE(help.find(" [" + std::string(row.name) + "]"), std::string::npos);
            continue;
        }
        const std::string usage = "\n  " + OptionUsage(row);
        const std::size_t at = help.find(usage);
        ASSERT_NE(at, std::string::npos) << help;
        const std::size_t text = help.find_first_not_of(" \n", at + usage.size());
        EXPECT_EQ(text - (help.rfind('\n', text) + 1), 25u) << "beside or below " << usage;
    }
}

} // namespace
