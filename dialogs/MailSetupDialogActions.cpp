// What the buttons of the mail settings dialog run: the connection tests, 自動設定 and
// サインイン… on the mail worker under a progress box that cancels, and the CA file chooser.

#include "app/ConnectionTest.h"
#include "app/ScreenText.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/MailSetupDialog.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/WorkerProgress.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

void CMailSetupDialog::TestConnection() {
    if (!TakeOver())
        return;
    // The log-out is part of the test: the outcome is shown once the server has been left.
    const MailSettings copy = m_settings;
    const bool imap = copy.receiveProtocol == ReceiveProtocol::Imap;
    const auto result = RunWithProgress<ConnectionTestResult>(
        this, m_worker,
        imap ? tr("IMAPサーバに接続しています…") : tr("POP3サーバに接続しています…"),
        [copy, imap](const CCancelSignal* cancel) {
            return imap ? TestImapConnection(copy, cancel) : TestPop3Connection(copy, cancel);
        });
    if (result) // nothing to say after the user cancelled
        ShowMessageBox(this, ScreenText(ToQt(result->message)));
}

void CMailSetupDialog::TestSmtp() {
    if (!TakeOver())
        return;
    // Up to AUTH and QUIT; no mail is sent.
    const MailSettings copy = m_settings;
    const auto result = RunWithProgress<ConnectionTestResult>(
        this, m_worker, tr("SMTPサーバに接続しています…"),
        [copy](const CCancelSignal* cancel) { return TestSmtpConnection(copy, cancel); });
    if (result)
        ShowMessageBox(this, ScreenText(ToQt(result->message)));
}

void CMailSetupDialog::AutoSetup() {
    // Wired once account discovery is in the core.
}

void CMailSetupDialog::SignIn() {
    // Wired once the browser sign-in is in the core.
}

void CMailSetupDialog::BrowseCaFile() {
    const QString current = m_caFile->text();
    QFileDialog chooser(this, tr("CA証明書ファイル"),
                        current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath(),
                        tr("証明書ファイル(*.pem *.crt *.cer);;全て(*.*)"));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    if (!current.isEmpty())
        chooser.selectFile(current);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    // Only the control changes; the field follows when the dialog takes the controls over.
    m_caFile->setText(chooser.selectedFiles().constFirst());
}
