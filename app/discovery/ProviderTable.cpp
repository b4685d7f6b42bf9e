#include "app/discovery/ProviderTable.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

using enum ServerKind;
constexpr SecurityChoice kTls = SecurityChoice::Tls;
constexpr SecurityChoice kStartTls = SecurityChoice::StartTls;

// Checked against each provider's help pages in December 2026. A provider goes in only with
// the servers it documents; a wrong entry sends passwords to the wrong place, no entry only
// asks the user to type the servers.
const std::vector<ProviderEntry>& Table() {
    static const std::vector<ProviderEntry> table = {
        {"Gmail",
         {"gmail.com", "googlemail.com"},
         {"google.com", "googlemail.com"}, // Google Workspace: aspmx.l.google.com, smtp.google.com
         {Imap, "imap.gmail.com", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.gmail.com", 465, kTls, "%EMAILADDRESS%"},
         "google",
         nullptr},
        {"Outlook.com",
         {"outlook.com", "hotmail.com", "live.com", "msn.com", "outlook.jp", "hotmail.co.jp",
          "live.jp"},
         {},
         {Imap, "outlook.office365.com", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp-mail.outlook.com", 587, kStartTls, "%EMAILADDRESS%"},
         "microsoft",
         nullptr},
        {"Microsoft 365",
         {},
         {"mail.protection.outlook.com"},
         {Imap, "outlook.office365.com", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.office365.com", 587, kStartTls, "%EMAILADDRESS%"},
         "microsoft",
         nullptr},
        {"iCloud",
         {"icloud.com", "me.com", "mac.com"},
         {},
         {Imap, "imap.mail.me.com", 993, kTls, "%EMAILLOCALPART%"},
         {Smtp, "smtp.mail.me.com", 587, kStartTls, "%EMAILADDRESS%"},
         "",
         QT_TRANSLATE_NOOP("AccountDiscovery",
                           "パスワードには Apple アカウントで作る App 用パスワードを使います")},
        {"Yahoo! JAPAN",
         {"yahoo.co.jp"},
         {},
         {Imap, "imap.mail.yahoo.co.jp", 993, kTls, "%EMAILLOCALPART%"},
         {Smtp, "smtp.mail.yahoo.co.jp", 465, kTls, "%EMAILLOCALPART%"},
         "",
         QT_TRANSLATE_NOOP(
             "AccountDiscovery",
             "ログイン名は Yahoo! JAPAN ID です。メールアドレスの @ より前と違うときは"
             "ユーザー名を直してください。Yahoo!メールの設定で IMAP/POP/SMTP "
             "アクセスを有効にします")},
        {"Yahoo! Mail",
         {"yahoo.com"},
         {},
         {Imap, "imap.mail.yahoo.com", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.mail.yahoo.com", 465, kTls, "%EMAILADDRESS%"},
         "",
         QT_TRANSLATE_NOOP(
             "AccountDiscovery",
             "パスワードにはアカウントのセキュリティ設定で作るアプリパスワードを使います")},
        {"docomo",
         {"docomo.ne.jp"},
         {},
         {Imap, "imap2.spmode.ne.jp", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.spmode.ne.jp", 465, kTls, "%EMAILADDRESS%"},
         "",
         QT_TRANSLATE_NOOP("AccountDiscovery",
                           "ログイン名は dアカウントの ID です。メールアドレスと違うときは"
                           "ユーザー名を直してください")},
        {"au",
         {"au.com", "ezweb.ne.jp"},
         {},
         {Imap, "imap.au.com", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.au.com", 465, kTls, "%EMAILADDRESS%"},
         "",
         nullptr},
        {"SoftBank",
         {"i.softbank.jp"},
         {},
         {Imap, "imap.softbank.jp", 993, kTls, "%EMAILLOCALPART%"},
         {Smtp, "smtp.softbank.jp", 465, kTls, "%EMAILLOCALPART%"},
         "",
         nullptr},
        {"OCN",
         {"ocn.ne.jp"},
         {},
         {Imap, "imap.ocn.ne.jp", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.ocn.ne.jp", 465, kTls, "%EMAILADDRESS%"},
         "",
         nullptr},
    };
    return table;
}

// The mail servers of the providers that take OAuth 2.0 sign-in: a host equal to one of these
// or below it.
struct OAuthHosts {
    const char* suffix;
    const char* provider;
};
constexpr OAuthHosts kOAuthHosts[] = {
    {"gmail.com", "google"},        {"googlemail.com", "google"}, {"google.com", "google"},
    {"office365.com", "microsoft"}, {"outlook.com", "microsoft"},
};

// host is suffix, or ends in "." + suffix.
bool IsAtOrBelow(std::string_view host, std::string_view suffix) {
    return host == suffix || (host.size() > suffix.size() && host.ends_with(suffix) &&
                              host[host.size() - suffix.size() - 1] == '.');
}

} // namespace

namespace providers {

const char* const kTableDate = "2026-12";

const ProviderEntry* ForDomain(std::string_view domain) {
    for (const ProviderEntry& entry : Table())
        if (std::any_of(entry.domains.begin(), entry.domains.end(),
                        [&](const char* own) { return domain == own; }))
            return &entry;
    return nullptr;
}

const ProviderEntry* ForMxHost(std::string_view host) {
    for (const ProviderEntry& entry : Table())
        if (std::any_of(entry.mxSuffixes.begin(), entry.mxSuffixes.end(),
                        [&](const char* suffix) { return IsAtOrBelow(host, suffix); }))
            return &entry;
    return nullptr;
}

std::string OAuthProviderForHost(std::string_view host) {
    for (const OAuthHosts& known : kOAuthHosts)
        if (IsAtOrBelow(host, known.suffix))
            return known.provider;
    return {};
}

std::string ExpandPlaceholders(std::string_view pattern, const std::string& address) {
    const std::size_t at = address.rfind('@');
    const std::string local = address.substr(0, at);
    const std::string domain = at == std::string::npos ? std::string() : address.substr(at + 1);
    const std::pair<std::string_view, const std::string*> placeholders[] = {
        {"%EMAILADDRESS%", &address}, {"%EMAILLOCALPART%", &local}, {"%EMAILDOMAIN%", &domain}};
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        bool replaced = false;
        for (const auto& [name, value] : placeholders) {
            if (pattern.substr(i).starts_with(name)) {
                out += *value;
                i += name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += pattern[i++];
    }
    return out;
}

} // namespace providers
