#pragma once
// The mail settings dialog: the SMTP server with its protection and log-in, how requests are
// received (POP3 or IMAP, each server with its protection, one mailbox log-in for both), an
// extra CA certificate, the sender, picture rotation, the addresses allowed to request pictures
// and the subject check string, with a connection test for sending and one for receiving (over
// the protocol chosen).
// The main window keeps one object for its whole life; it edits the live MailSettings record
// it is given (the record must outlive the dialog), which the mail check and the reply sender
// read.
//
// Open it with exec(); the caller saves the settings when it returns QDialog::Accepted.
// "追加", "削除" and both connection tests take the controls over (or change the address list)
// while the dialog is open, so what they took stays in the record even when the dialog ends
// with Cancel. OK also wants an IMAP server when IMAP is chosen.
//
// A server whose protection was never chosen (SecurityChoice::ByPort) shows the mode its port
// gives and follows port edits; it stays ByPort until the user picks an entry.

#include "base/Settings.h"

#include <QDialog>
#include <string>

class CMailWorker;
class QCheckBox;
class QComboBox;
class QLineEdit;
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
    static constexpr int kIdConnectTest = 1016; // "接続テスト"
    static constexpr int kIdPop3Id = 1017;
    static constexpr int kIdPop3Pass = 1018;
    static constexpr int kIdPop3Port = 1019;
    static constexpr int kIdApop = 1020;
    static constexpr int kIdSmtpPort = 1021;
    static constexpr int kIdSenderAddress = 1022;
    static constexpr int kIdImageRotation = 1024;
    static constexpr int kIdSmtpSecurity = 1030; // "なし" / "STARTTLS" / "SSL/TLS"
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
    static constexpr int kIdTrustedAuthservId = 1042; // 信頼する認証サーバーID (advanced)
    static constexpr int kAddressColumnWidth = 230;

    explicit CMailSetupDialog(MailSettings& settings, QWidget* parent = nullptr);

    MailSettings& Settings() { return m_settings; }

    void accept() override;

    // The connection tests run on the program's mail worker with a progress box that can
    // cancel them; without one (the default) they run at once under the busy cursor.
    void SetMailWorker(CMailWorker* worker) { m_worker = worker; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Copies every control into its field. False (after the message, with the focus on the
    // field) when a port is not an integer, or with IMAP chosen the IMAP port is not one of
    // 1..65535; then nothing has changed.
    bool TakeOver();
    // The entry picked in 受信方式 (taken over into receiveProtocol by TakeOver).
    ReceiveProtocol ChosenProtocol() const;
    // Copies every field into its control.
    void ShowFields();
    void FillAddressList();
    void AddAddress();
    void DeleteAddresses();
    void TestConnection(); // POP3 or IMAP, as chosen
    void TestSmtp();
    void BrowseCaFile();
    // Shows choice in combo; ByPort shows the mode the port in portEdit gives.
    static void ShowSecurity(QComboBox* combo, SecurityChoice choice, const QLineEdit* portEdit);

    MailSettings& m_settings;
    CMailWorker* m_worker = nullptr;
    std::string m_newAddress; // the working text of the address edit
    // The protection choices while the dialog is open: ByPort until the user picks an entry.
    SecurityChoice m_smtpSecurity = SecurityChoice::ByPort;
    SecurityChoice m_pop3Security = SecurityChoice::ByPort;
    SecurityChoice m_imapSecurity = SecurityChoice::ByPort;

    QLineEdit* m_smtpServer = nullptr;
    QLineEdit* m_smtpPort = nullptr;
    QComboBox* m_smtpSecurityBox = nullptr;
    QLineEdit* m_smtpId = nullptr;
    QLineEdit* m_smtpPass = nullptr;
    QLineEdit* m_pop3Server = nullptr;
    QLineEdit* m_pop3Port = nullptr;
    QComboBox* m_pop3SecurityBox = nullptr;
    QCheckBox* m_apop = nullptr;
    QComboBox* m_protocolBox = nullptr;
    QLineEdit* m_imapServer = nullptr;
    QLineEdit* m_imapPort = nullptr;
    QComboBox* m_imapSecurityBox = nullptr;
    QLineEdit* m_pop3Id = nullptr;
    QLineEdit* m_pop3Pass = nullptr;
    QLineEdit* m_caFile = nullptr;
    QCheckBox* m_senderCheck = nullptr;
    QLineEdit* m_trustedAuthservId = nullptr;
    QLineEdit* m_senderName = nullptr;
    QLineEdit* m_senderAddress = nullptr;
    QCheckBox* m_imageRotation = nullptr;
    QTableWidget* m_addressList = nullptr;
    QLineEdit* m_newAddressEdit = nullptr;
    QLineEdit* m_checkString = nullptr;
};
