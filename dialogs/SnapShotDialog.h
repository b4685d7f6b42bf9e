#pragma once
// The manual snapshot dialog: shows the snapshot's frame at its real pixel size below the
// buttons and lets the user save the picture under a chosen name, mail it, or discard it. It
// writes no file itself: after it closes, the caller writes the plain JPEG to SavePath() or,
// when that is empty, discards the pictures. The mail goes from memory.
//
//   CSnapShotDialog dialog(snapshot, mailSettings);
//   dialog.exec();                       // Accepted after a confirmed save
//   std::string path = dialog.SavePath(); // empty after Cancel

#include "base/Settings.h"
#include "capture/FrameGrabber.h"

#include <QDialog>
#include <cstdint>
#include <string>

class CMailWorker;
class QLabel;
class QPushButton;

class CSnapShotDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdSave = 1;       // "保存" (default button)
    static constexpr int kIdCancel = 2;     // "キャンセル"
    static constexpr int kIdMail = 1000;    // "メール送信"
    static constexpr int kIdPicture = 1023; // the picture box
    static constexpr int kExtraWidth = 30;  // dialog = picture + these
    static constexpr int kExtraHeight = 90;

    // The frame is shown and the pictures kept; snapshot itself may go after the constructor.
    CSnapShotDialog(const Snapshot& snapshot, const MailSettings& mailSettings,
                    QWidget* parent = nullptr);
    // The settings are held by reference: a temporary record would not outlive the dialog.
    CSnapShotDialog(const Snapshot& snapshot, MailSettings&& mailSettings,
                    QWidget* parent = nullptr) = delete;

    // The full path chosen in the save dialog; empty unless the user saved.
    const std::string& SavePath() const { return m_savePath; }
    bool HasPicture() const { return m_hasPicture; }

    // Tests let the snapshot mail dialog deliver to another port than 25.
    void SetSmtpPort(uint16_t port) { m_smtpPort = port; }

    void reject() override;

    // The snapshot mail runs on the program's mail worker (null: at once, as in tests).
    void SetMailWorker(CMailWorker* worker) { m_worker = worker; }

private:
    void ShowFrame(const CaptureFrame& frame);
    void Save();
    void Mail();

    Snapshot m_pictures; // stem and the two JPEG pictures; no frame
    const MailSettings& m_mailSettings;
    CMailWorker* m_worker = nullptr;
    std::string m_savePath;
    bool m_hasPicture = false;
    uint16_t m_smtpPort = 25;
    QLabel* m_picture = nullptr;
};
