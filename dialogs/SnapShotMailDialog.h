#pragma once
// Mails the snapshot just taken to addresses the user lists by hand. "送信" logs in to the POP3
// server first (the mailbox's owner proves the account), then composes one mail per listed
// address, addressed to it alone, with the picture attached, and delivers them with the HELO
// connection; every outcome is told in a message box and the dialog stays open until
// キャンセル.
//
//   CSnapMailDialog dialog(snapshot, mailSettings); // the pictures travel from memory
//   dialog.exec(); // result not used

#include "base/Settings.h"
#include "capture/FrameGrabber.h"

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCodePageService;
class CMailWorker;
class QComboBox;
class QTableWidget;

class CSnapMailDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdSend = 1;      // "送信" (default button)
    static constexpr int kIdCancel = 2;    // "キャンセル"
    static constexpr int kIdAdd = 1000;    // "追加"
    static constexpr int kIdDelete = 1001; // "削除"
    static constexpr int kIdAddressList = 1008;
    static constexpr int kIdAddressEntry = 1028;
    static constexpr int kAddressColumnWidth = 300;

    // The outcomes of SendSnapshotMail (app/service/SnapshotMail.h), in its order.
    enum class SendResult {
        Pop3Failed,        // "POP3サーバの接続に失敗しました。"
        SmtpConnectFailed, // "SMTPサーバへの接続に失敗しました。"
        SendFailed,        // "メールの送信に失敗しました" (any address got no mail)
        Sent,              // "メールの送信を完了しました" (every address got its mail)
    };
    // The sending runs on the program's mail worker behind a progress box that can cancel
    // it; without one (the default) it runs at once under the busy cursor.
    void SetMailWorker(CMailWorker* worker) { m_worker = worker; }

    // snapshot: its two pictures are kept (the plain one is mailed, or the turned one when
    // IMAGE_ROTATION is on); the settings are read when sending.
    CSnapMailDialog(const Snapshot& snapshot, const MailSettings& mailSettings,
                    QWidget* parent = nullptr);
    // The settings are held by reference: a temporary record would not outlive the dialog.
    CSnapMailDialog(const Snapshot& snapshot, MailSettings&& mailSettings,
                    QWidget* parent = nullptr) = delete;
    ~CSnapMailDialog() override;

    // The program always delivers to port 25; tests point the connection elsewhere.
    void SetSmtpPort(uint16_t port) { m_smtpPort = port; }

    // "送信": logs in, sends, tells the outcome (nothing when the user cancelled: then
    // SendFailed). The dialog stays open.
    SendResult Send();

    void accept() override { Send(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void AddAddress();
    void DeleteAddresses();

    JpegPicture m_plain;
    JpegPicture m_turned;
    const MailSettings& m_mailSettings;
    std::shared_ptr<CCodePageService> m_codePageService;
    bool m_initReported = false;
    std::vector<std::string> m_unsent; // addresses the last send did not reach
    std::size_t m_sentCount = 0;
    uint16_t m_smtpPort = 25;
    CMailWorker* m_worker = nullptr;
    QTableWidget* m_addressList = nullptr;
    QComboBox* m_addressEntry = nullptr;
};

// The name under which the snapshot dialog knows it.
using CSnapShotMailDialog = CSnapMailDialog;
