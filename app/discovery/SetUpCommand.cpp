#include "app/discovery/SetUpCommand.h"

#include "app/discovery/AccountDiscovery.h"
#include "app/report/MessageSink.h"
#include "app/report/ScreenText.h"
#include "app/settings/SettingsStore.h"

#include <QCoreApplication>
#include <ostream>

namespace setupcli {
namespace {

template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("SetUpCommand", text, {std::string_view(arguments)...});
}

} // namespace

int SetUp(const std::string& folder, const std::string& address, bool dryRun,
          bool acceptOtherDomain, std::ostream& out, std::ostream& err) {
    CStreamSink sink(err);
    Settings settings;
    for (const std::string& note : LoadSettings(settings, folder, sink))
        err << ScreenText(note) << "\n";

    DiscoveryOptions options;
    options.caFile = settings.mail.caFile;
    options.online = settings.mail.discoveryOnline;
    // The sources passed over are said as the search passes them, on standard error.
    options.progress = [&err](const std::string& line) { err << line << std::endl; };
    const DiscoveryResult result = DiscoverAccount(address, options, nullptr);
    const std::vector<std::string> lines = DescribeDiscovery(result);
    if (!result.addressProblem.empty()) {
        err << "kestrovamail: " << result.addressProblem << "\n";
        return kBadAddress;
    }
    const bool otherDomain = result.account && !result.account->otherDomainHosts.empty();
    std::ostream& said = result.account && !otherDomain ? out : err;
    for (std::size_t i = result.skipped.size(); i < lines.size(); ++i)
        said << lines[i] << "\n";
    if (!result.account || (otherDomain && !acceptOtherDomain)) {
        if (otherDomain)
            err << Tr(QT_TRANSLATE_NOOP("SetUpCommand",
                                        "使うときは --accept-other-domain を付けてもう一度"
                                        "実行してください"))
                << "\n";
        err << Tr(QT_TRANSLATE_NOOP("SetUpCommand", "kestrovamail: 何も書き込んでいません"))
            << "\n";
        return kNothingFound;
    }
    if (dryRun) {
        out << Tr(QT_TRANSLATE_NOOP("SetUpCommand", "--dry-run のため何も書き込んでいません"))
            << "\n";
        return kDone;
    }
    ApplyDiscovered(*result.account, settings.mail);
    std::vector<std::string> problems;
    if (!SaveSettings(settings, folder, sink, &problems)) {
        for (const std::string& problem : problems)
            err << "kestrovamail: " << ScreenText(problem) << "\n";
        return kNothingFound;
    }
    out << Tr(QT_TRANSLATE_NOOP("SetUpCommand", "設定を書き込みました。")) << "\n";
    if (settings.mail.oauth2)
        out << Tr(QT_TRANSLATE_NOOP("SetUpCommand", "次にサインインします: kestrovamail --sign-in"))
            << "\n";
    else
        out << Tr(QT_TRANSLATE_NOOP("SetUpCommand",
                                    "次にパスワードを設定します: kestrovamail --set-password pop3"))
            << "\n";
    return kDone;
}

} // namespace setupcli
