#pragma once
// The mail settings dialog, in pages chosen from a list on the left:
// - アカウント: the sender's name and address (with 自動設定, which finds the servers from the
//   address), how to log in (password, or OAuth 2.0 with its provider, client and サインイン…),
//   and the connection tests for receiving (over the protocol chosen) and sending;
// - サーバ: how requests are received, with only the chosen protocol's server shown (POP3 or
//   IMAP), and the SMTP server with its own log-in;
// - 返信の条件: the subject check string, the addresses allowed to request pictures and the
//   sender check;
// - 画像: picture rotation;
// - 詳細: an extra CA certificate, the trusted authserv-id, where the secrets are kept (with
//   the button that moves them to the other store) and a provider's own OAuth endpoints.
// The main window keeps one object for its whole life; it edits the live MailSettings record
// it is given (the record must outlive the dialog), which the mail check and the reply sender
// read.
//
// Open it with exec(); the caller saves the settings when it returns QDialog::Accepted.
// "追加", "削除", both connection tests, 自動設定 and サインイン… take the controls over (or change
// the address list) while the dialog is open, so what they took stays in the record even when
// the dialog ends with Cancel. Moving the secrets to the other store is done at once, in the
// program folder's files and the keyring, and the record follows: Cancel does not take it back.
// OK also wants an IMAP server when IMAP is chosen, and a client id (with https endpoints for
// another provider) when OAuth 2.0 is. A field refused on a page not shown brings its page up.
//
// A server whose protection was never chosen (SecurityChoice::ByPort) shows the mode its port
// gives ("STARTTLS（提供時）" where the port leaves it to the server's offer) and follows port
// edits; it stays ByPort until the user picks another entry.

#include "base/Settings.h"

#include <QDialog>
#include <memory>
#include <string>
#include <string_view>

class CMailWorker;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTableWidget;

class CMailSetupDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdAddressList = 1008; // list of allowed reply addresses
    static constexpr int kIdPop3Server = 1009;
    static constexpr int kIdSmtpServer = 1010;
    static constexpr int kIdSenderName = 1011;
    static constexpr int kIdAdd = 1012;        // "追加"
    static constexpr int kIdDelete = 1013;     // "削除"
    static constexpr int kIdNewAddress = 1014; // address to add
    static constexpr int kIdCheckString = 1015;
    static constexpr int kIdConnectTest = 1016; // "受信の接続テスト"
    static constexpr int kIdPop3Id = 1017;
    static constexpr int kIdPop3Pass = 1018;
    static constexpr int kIdPop3Port = 1019;
    static constexpr int kIdApop = 1020;
    static constexpr int kIdSmtpPort = 1021;
    static constexpr int kIdSenderAddress = 1022;
    static constexpr int kIdImageRotation = 1024;
    static constexpr int kIdSmtpSecurity =
        1030; // "なし" / "STARTTLS（提供時）" / "STARTTLS" / "SSL/TLS"
    static constexpr int kIdSmtpId = 1031;
    static constexpr int kIdSmtpPass = 1032;
    static constexpr int kIdSmtpTest = 1033; // "SMTP接続テスト"
    static constexpr int kIdPop3Security = 1034;
    static constexpr int kIdCaFile = 1035;
    static constexpr int kIdCaFileBrowse = 1036;    // "参照..."
    static constexpr int kIdReceiveProtocol = 1037; // 受信方式: "POP3" / "IMAP"
    static constexpr int kIdImapServer = 1038;
    static constexpr int kIdImapPort = 1039;
    static constexpr int kIdImapSecurity = 1040;
    static constexpr int kIdSenderCheck = 1041;       // 差出人をDKIM署名で確認する
    static constexpr int kIdTrustedAuthservId = 1042; // 信頼する認証サーバーID (詳細)
    static constexpr int kIdAuthMethod = 1043;        // 認証方式: パスワード / OAuth 2.0
    static constexpr int kIdOAuthProvider = 1044;     // Google / Microsoft / その他
    static constexpr int kIdOAuthClientId = 1045;
    static constexpr int kIdOAuthClientSecret = 1046;
    static constexpr int kIdSignIn = 1047;      // "サインイン…"
    static constexpr int kIdAutoSetup = 1048;   // "自動設定"
    static constexpr int kIdSetupSource = 1049; // where 自動設定 found the servers
    static constexpr int kIdOAuthAuthUrl = 1050;
    static constexpr int kIdOAuthTokenUrl = 1051;
    static constexpr int kIdOAuthDeviceUrl = 1052;
    static constexpr int kIdOAuthScope = 1053;
    static constexpr int kIdPageList = 1054;    // the pages, one row each
    static constexpr int kIdSecretStore = 1055; // where the secrets are kept now (詳細)
    static constexpr int kIdMoveSecrets = 1056; // "キーリングへ移す" / "ファイルへ移す"
    static constexpr int kAddressColumnWidth = 230;

    // The pages in the order of the list.
    enum Page { kAccountPage, kServerPage, kReplyPage, kImagePage, kAdvancedPage };

    explicit CMailSetupDialog(MailSettings& settings, QWidget* parent = nullptr);

    MailSettings& Settings() { return m_settings; }

    // The control that edits a setting ("MAIL.POP3_SERVER" as app/settings/SettingsTable.h
    // names it; the address list for "MAIL.SEND_ADDRESS"); nullptr for one without a control.
    QWidget* FieldOf(std::string_view name) const;

    void accept() override;

    ~CMailSetupDialog() override;

    // The connection tests, 自動設定 and サインイン… run on the program's mail worker with a
    // progress box that can cancel them. Without one (the default, and the first run's settings
    // before the program has one) the connection tests run at once under the busy cursor, and
    // 自動設定 and サインイン…, which may wait for minutes, on a worker of the dialog's own.
    void SetMailWorker(CMailWorker* worker) { m_worker = worker; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildAccountPage();
    QWidget* BuildServerPage();
    QWidget* BuildReplyPage();
    QWidget* BuildImagePage();
    QWidget* BuildAdvancedPage();
    // Copies every control into its field. False (after the message, with the field's page up
    // and the focus on the field) when a port is not an integer, or with IMAP chosen the IMAP
    // port is not one of 1..65535; then nothing has changed.
    bool TakeOver();
    // False (after the message, on the field) when OK must not close: see the class comment.
    bool CheckBeforeOk();
    // The entries picked in 受信方式 and 認証方式.
    ReceiveProtocol ChosenProtocol() const;
    bool OAuthChosen() const;
    // Copies every field into its control.
    void ShowFields();
    // Shows the group of the chosen protocol only, and the rows of the chosen log-in only.
    void ShowChosenProtocol();
    void ShowChosenAuthMethod();
    // Says under the address where 自動設定 found the servers, or why it found none; empty
    // hides the line.
    void ShowSetupSource(const QString& text);
    // Brings up the page that holds widget and gives widget the focus.
    void Reveal(QWidget* widget);
    void FillAddressList();
    void AddAddress();
    void DeleteAddresses();
    void TestConnection(); // POP3 or IMAP, as chosen
    void TestSmtp();
    CMailWorker* LongWorker(); // the worker of 自動設定 and サインイン…
    void AutoSetup();
    void SignIn();
    void BrowseCaFile();
    // Shows the store the record names, and offers the other one.
    void ShowSecretStore();
    // Moves every secret of the program folder to the other store, and the record follows;
    // secrets unread when the settings were read are taken from the new store (a password
    // typed since stays typed).
    void MoveSecretsToOtherStore();
    // Shows choice in combo; ByPort shows the mode the port in portEdit gives.
    static void ShowSecurity(QComboBox* combo, SecurityChoice choice, const QLineEdit* portEdit);

    MailSettings& m_settings;
    CMailWorker* m_worker = nullptr;
    std::unique_ptr<CMailWorker> m_ownWorker; // made when first needed without m_worker
    std::string m_newAddress;                 // the working text of the address edit
    // The protection choices while the dialog is open: ByPort until the user picks an entry.
    SecurityChoice m_smtpSecurity = SecurityChoice::ByPort;
    SecurityChoice m_pop3Security = SecurityChoice::ByPort;
    SecurityChoice m_imapSecurity = SecurityChoice::ByPort;

    QListWidget* m_pageList = nullptr;
    QStackedWidget* m_pages = nullptr;

    // アカウント
    QLineEdit* m_senderName = nullptr;
    QLineEdit* m_senderAddress = nullptr;
    QPushButton* m_autoSetup = nullptr;
    QLabel* m_setupSource = nullptr;
    QComboBox* m_authMethodBox = nullptr;
    QFormLayout* m_loginLayout = nullptr;
    QLineEdit* m_pop3Id = nullptr;
    QLineEdit* m_pop3Pass = nullptr;
    QLabel* m_passwordHint = nullptr;
    QComboBox* m_oauthProviderBox = nullptr;
    QLineEdit* m_oauthClientId = nullptr;
    QLineEdit* m_oauthClientSecret = nullptr;
    QPushButton* m_signIn = nullptr;
    QLabel* m_oauthHint = nullptr;

    // サーバ
    QComboBox* m_protocolBox = nullptr;
    QGroupBox* m_pop3Group = nullptr;
    QLineEdit* m_pop3Server = nullptr;
    QLineEdit* m_pop3Port = nullptr;
    QComboBox* m_pop3SecurityBox = nullptr;
    QCheckBox* m_apop = nullptr;
    QGroupBox* m_imapGroup = nullptr;
    QLineEdit* m_imapServer = nullptr;
    QLineEdit* m_imapPort = nullptr;
    QComboBox* m_imapSecurityBox = nullptr;
    QFormLayout* m_smtpLayout = nullptr;
    QLineEdit* m_smtpServer = nullptr;
    QLineEdit* m_smtpPort = nullptr;
    QComboBox* m_smtpSecurityBox = nullptr;
    QLineEdit* m_smtpId = nullptr;
    QLineEdit* m_smtpPass = nullptr;
    QLabel* m_smtpHint = nullptr;

    // 返信の条件
    QLineEdit* m_checkString = nullptr;
    QTableWidget* m_addressList = nullptr;
    QLineEdit* m_newAddressEdit = nullptr;
    QCheckBox* m_senderCheck = nullptr;

    // 画像
    QCheckBox* m_imageRotation = nullptr;

    // 詳細
    QLineEdit* m_caFile = nullptr;
    QLineEdit* m_trustedAuthservId = nullptr;
    QLabel* m_secretStore = nullptr;
    QPushButton* m_moveSecrets = nullptr;
    QGroupBox* m_oauthEndpointsGroup = nullptr;
    QLineEdit* m_oauthAuthUrl = nullptr;
    QLineEdit* m_oauthTokenUrl = nullptr;
    QLineEdit* m_oauthDeviceUrl = nullptr;
    QLineEdit* m_oauthScope = nullptr;
};
