#include "app/runtime/MoveSecrets.h"

#include "app/report/ScreenText.h"
#include "app/settings/Keyring.h"
#include "app/settings/SettingsStore.h"
#include "app/signin/OAuthTokens.h"

#include <QCoreApplication>
#include <ostream>

namespace {

struct Secret {
    SecretName name;
    std::string MailSettings::*field;
};
constexpr Secret kSecrets[] = {{SecretName::Pop3Password, &MailSettings::pop3Pass},
                               {SecretName::SmtpPassword, &MailSettings::smtpPass},
                               {SecretName::OAuthClientSecret, &MailSettings::oauthClientSecret}};

const char* StoreWord(SecretStore store) {
    return store == SecretStore::Keyring ? "keyring" : "file";
}

template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("MoveSecrets", text, {arguments...});
}

struct Quiet : IMessageSink {
    void ShowMessage(const std::string&) override {}
};

// Every secret of the records by its keyring name: the mail's, then the cameras' passwords.
std::vector<std::pair<std::string, std::string>> SecretsOf(const Settings& settings) {
    std::vector<std::pair<std::string, std::string>> secrets;
    for (const Secret& secret : kSecrets)
        secrets.emplace_back(SecretNameText(secret.name), settings.mail.*secret.field);
    for (std::size_t k = 0; k < settings.device.cameras.size(); ++k)
        secrets.emplace_back(CameraSecretName(int(k) + 1), settings.device.cameras[k].password);
    return secrets;
}

// The keyring forgets every secret of the folder it may hold (the cameras' of every number).
void ClearKeyring(const std::string& folder) {
    for (const Secret& secret : kSecrets)
        keyring::Write(folder, secret.name, "");
    for (int n = 1; n <= DeviceSettings::kMaxCameras; ++n)
        keyring::Write(folder, CameraSecretName(n), "");
}

// Writes what the keyring is to hold; on a failure, takes back what it wrote.
MailError FillKeyring(const std::string& folder, const Settings& settings) {
    std::vector<std::string> written;
    for (const auto& [name, value] : SecretsOf(settings)) {
        if (value.empty())
            continue;
        const KeyringStatus status = keyring::Write(folder, name, value);
        if (status != KeyringStatus::Ok) {
            for (const std::string& done : written)
                keyring::Write(folder, done, "");
            return {status == KeyringStatus::Locked ? MailErrorCode::KeyringLocked
                                                    : MailErrorCode::KeyringUnreachable,
                    0, {}};
        }
        written.push_back(name);
    }
    return {};
}

} // namespace

SecretsMove MoveSecrets(const std::string& folder, SecretStore to) {
    SecretsMove result;
    Quiet quiet;
    Settings settings;
    LoadSettings(settings, folder, quiet);
    MailSettings from = settings.mail;
    if (from.secretsUnread) {
        result.problem = "今の保存先のキーリングを読めません: " +
                         DescribeMailError(ReadKeyringSecrets(from, folder));
        return result;
    }
    if (from.secretStore == to) { // nothing to move: they stand there already
        result.done = true;
        return result;
    }
    MailError error;
    const oauthstore::SignIn signIn = oauthstore::Load(from, folder, error);
    if (error) {
        result.problem = DescribeMailError(error);
        return result;
    }
    for (const auto& [name, value] : SecretsOf(settings)) {
        if (!value.empty())
            result.moved.push_back(name);
    }
    if (!signIn.refreshToken.empty())
        result.moved.push_back(SecretNameText(SecretName::RefreshToken));
    settings.mail.secretStore = to;
    if (to == SecretStore::Keyring) {
        if (!keyring::Reachable())
            error = {MailErrorCode::KeyringUnreachable, 0, {}};
        else
            error = FillKeyring(folder, settings);
    }
    if (!error && !signIn.refreshToken.empty())
        error = oauthstore::SaveSignIn(settings.mail, folder, signIn);
    std::vector<std::string> problems;
    if (!error && !SaveSettings(settings, folder, quiet, &problems))
        error = {MailErrorCode::FileNotWritten, 0, folder + kSetupIniName};
    if (error) {
        if (to == SecretStore::Keyring) { // the files keep them; the keyring forgets its copy
            ClearKeyring(folder);
            keyring::Write(folder, SecretName::RefreshToken, "");
        }
        result.problem = DescribeMailError(error);
        return result;
    }
    // Everything stands in the new store: the old one forgets its copies.
    if (from.secretStore == SecretStore::Keyring)
        ClearKeyring(folder);
    oauthstore::SaveSignIn(from, folder, {});
    result.done = true;
    return result;
}

namespace secretscli {

int MoveSecrets(const std::string& folder, const std::string& store, std::ostream& out,
                std::ostream& err) {
    const SecretStore to = store == "keyring" ? SecretStore::Keyring : SecretStore::File;
    const SecretsMove move = ::MoveSecrets(folder, to);
    if (!move.done) {
        err << Tr(QT_TRANSLATE_NOOP("MoveSecrets", "kestrovamail: %1 に移せません: %2。"
                                                   "何も移していません"),
                  std::string(StoreWord(to)), ScreenText(move.problem))
            << "\n";
        return 1;
    }
    std::string names;
    for (const std::string& name : move.moved)
        names += (names.empty() ? "" : ", ") + name;
    if (names.empty())
        out << Tr(QT_TRANSLATE_NOOP("MoveSecrets",
                                    "移した秘密はありません（MAIL.SECRET_STORE=%1）"),
                  std::string(StoreWord(to)))
            << "\n";
    else
        out << Tr(QT_TRANSLATE_NOOP("MoveSecrets", "%1 を %2 に移しました（MAIL.SECRET_STORE=%2）"),
                  names, std::string(StoreWord(to)))
            << "\n";
    return 0;
}

} // namespace secretscli
