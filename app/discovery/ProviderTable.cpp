#include "app/discovery/ProviderTable.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

using enum ServerKind;
constexpr SecurityChoice kTls = SecurityChoice::Tls;
constexpr SecurityChoice kStartTls = SecurityChoice::StartTls;

// Checked in December 2026 against the shared provider database (ISPDB, the file named in
// each row's source). A provider goes in only with servers a published source confirms; a
// wrong entry sends passwords to the wrong place, no entry only leaves the search to the
// database and the other sources.
const std::vector<ProviderEntry>& Table() {
    static const std::vector<ProviderEntry> table = {
        {"Gmail",
         {"gmail.com", "googlemail.com"},
         {"google.com", "googlemail.com"}, // Google Workspace: aspmx.l.google.com, smtp.google.com
         {Imap, "imap.gmail.com", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.gmail.com", 465, kTls, "%EMAILADDRESS%"},
         "google",
         nullptr,
         "ISPDB googlemail.com"},
        {"Outlook.com",
         {"hotmail.com",    "live.com",       "msn.com",        "outlook.com",    "windowslive.com",
          "outlook.at",     "outlook.be",     "outlook.cl",     "outlook.cz",     "outlook.de",
          "outlook.dk",     "outlook.es",     "outlook.fr",     "outlook.hu",     "outlook.ie",
          "outlook.in",     "outlook.it",     "outlook.jp",     "outlook.kr",     "outlook.lv",
          "outlook.my",     "outlook.ph",     "outlook.pt",     "outlook.sa",     "outlook.sg",
          "outlook.sk",     "outlook.co.id",  "outlook.co.il",  "outlook.co.th",  "outlook.com.ar",
          "outlook.com.au", "outlook.com.br", "outlook.com.gr", "outlook.com.tr", "outlook.com.vn",
          "hotmail.be",     "hotmail.ca",     "hotmail.cl",     "hotmail.cz",     "hotmail.de",
          "hotmail.dk",     "hotmail.es",     "hotmail.fi",     "hotmail.fr",     "hotmail.gr",
          "hotmail.hu",     "hotmail.it",     "hotmail.lt",     "hotmail.lv",     "hotmail.my",
          "hotmail.nl",     "hotmail.no",     "hotmail.ph",     "hotmail.rs",     "hotmail.se",
          "hotmail.sg",     "hotmail.sk",     "hotmail.co.id",  "hotmail.co.il",  "hotmail.co.in",
          "hotmail.co.jp",  "hotmail.co.kr",  "hotmail.co.th",  "hotmail.co.uk",  "hotmail.co.za",
          "hotmail.com.ar", "hotmail.com.au", "hotmail.com.br", "hotmail.com.hk", "hotmail.com.tr",
          "hotmail.com.tw", "hotmail.com.vn", "live.at",        "live.be",        "live.ca",
          "live.cl",        "live.cn",        "live.de",        "live.dk",        "live.fi",
          "live.fr",        "live.hk",        "live.ie",        "live.in",        "live.it",
          "live.jp",        "live.nl",        "live.no",        "live.ru",        "live.se",
          "live.co.jp",     "live.co.kr",     "live.co.uk",     "live.co.za",     "live.com.ar",
          "live.com.au",    "live.com.mx",    "live.com.my",    "live.com.ph",    "live.com.pt",
          "live.com.sg",    "livemail.tw"},
         {"olc.protection.outlook.com"}, // eur.olc.protection.outlook.com
         {Imap, "outlook.office365.com", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp-mail.outlook.com", 587, kStartTls, "%EMAILADDRESS%"},
         "microsoft",
         nullptr,
         "ISPDB hotmail.com"},
        {"Microsoft 365",
         {},
         {"mail.protection.outlook.com"},
         {Imap, "outlook.office365.com", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.office365.com", 587, kStartTls, "%EMAILADDRESS%"},
         "microsoft",
         nullptr,
         "ISPDB office365.com"},
        {"iCloud",
         {"icloud.com", "me.com", "mac.com"},
         {},
         {Imap, "imap.mail.me.com", 993, kTls, "%EMAILLOCALPART%"},
         {Smtp, "smtp.mail.me.com", 587, kStartTls, "%EMAILADDRESS%"},
         "",
         QT_TRANSLATE_NOOP("AccountDiscovery",
                           "パスワードには Apple アカウントで作る App 用パスワードを使います"),
         "ISPDB me.com"},
        {"Yahoo! JAPAN",
         {"yahoo.co.jp"},
         {},
         {Pop3, "pop.mail.yahoo.co.jp", 995, kTls, "%EMAILLOCALPART%"},
         {Smtp, "smtp.mail.yahoo.co.jp", 465, kTls, "%EMAILLOCALPART%"},
         "",
         QT_TRANSLATE_NOOP(
             "AccountDiscovery",
             "ログイン名は Yahoo! JAPAN ID です。メールアドレスの @ より前と違うときは"
             "ユーザー名を直してください。Yahoo!メールの設定で IMAP/POP/SMTP "
             "アクセスを有効にします"),
         "ISPDB yahoo.co.jp"},
        {"Yahoo! Mail",
         {"yahoo.com", "yahoo.de", "yahoo.it", "yahoo.fr", "yahoo.es", "yahoo.se", "yahoo.co.in",
          "yahoo.co.uk", "yahoo.co.nz", "yahoo.com.au", "yahoo.com.ar", "yahoo.com.br",
          "yahoo.com.mx", "ymail.com", "myyahoo.com", "rocketmail.com", "cox.net"},
         {}, // its MX hosts (yahoodns.net) serve AOL too: not a mark of Yahoo! Mail
         {Imap, "imap.mail.yahoo.com", 993, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.mail.yahoo.com", 465, kTls, "%EMAILADDRESS%"},
         "",
         QT_TRANSLATE_NOOP(
             "AccountDiscovery",
             "パスワードにはアカウントのセキュリティ設定で作るアプリパスワードを使います"),
         "ISPDB yahoo.com"},
        {"SoftBank",
         {"i.softbank.jp"},
         {},
         {Imap, "imap.softbank.jp", 993, kTls, "%EMAILLOCALPART%"},
         {Smtp, "smtp.softbank.jp", 465, kTls, "%EMAILLOCALPART%"},
         "",
         nullptr,
         "ISPDB i.softbank.jp"},
        {"OCN",
         {"ocn.ne.jp", "ocn.ad.jp"},
         {},
         {Pop3, "pop.ocn.ne.jp", 995, kTls, "%EMAILADDRESS%"},
         {Smtp, "smtp.ocn.ne.jp", 465, kTls, "%EMAILADDRESS%"},
         "",
         nullptr,
         "ISPDB ocn.ne.jp"},
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

const std::vector<ProviderEntry>& ProviderRows() {
    return Table();
}

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
