#include "dialogs/MailSetupDialog.h"

#include "mail/TextCodec.h"

#include "app/ConnectionTest.h"
#include "app/ScreenText.h"
#include "dialogs/BusyCursor.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/FieldValidation.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/WorkerProgress.h"
#include "mail/MailSecurity.h"
#include "mail/TextCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

namespace {

QLineEdit* MakeEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    SetControlId(edit, id);
    return edit;
}

// The protection a server is reached with; each entry carries its SecurityChoice.
QComboBox* MakeSecurityBox(QWidget* parent, int id) {
    auto* box = new QComboBox(parent);
    SetControlId(box, id);
    box->addItem(CMailSetupDialog::tr("なし"), int(SecurityChoice::None));
    box->addItem(QStringLiteral("STARTTLS"), int(SecurityChoice::StartTls));
    box->addItem(QStringLiteral("SSL/TLS"), int(SecurityChoice::Tls));
    return box;
}

QLabel* MakeHint(QWidget* parent, const QString& text) {
    auto* hint = new QLabel(text, parent);
    hint->setWordWrap(true);
    return hint;
}

} // namespace

CMailSetupDialog::CMailSetupDialog(MailSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(tr("Kestrova - メール設定"));
    ApplyDialogFont(this);

    // SMTP設定
    auto* smtpGroup = new QGroupBox(tr("SMTP設定"), this);
    m_smtpServer = MakeEdit(smtpGroup, kIdSmtpServer);
    m_smtpPort = MakeEdit(smtpGroup, kIdSmtpPort);
    m_smtpPort->setFixedWidth(60);
    m_smtpSecurityBox = MakeSecurityBox(smtpGroup, kIdSmtpSecurity);
    m_smtpId = MakeEdit(smtpGroup, kIdSmtpId);
    m_smtpPass = MakeEdit(smtpGroup, kIdSmtpPass);
    m_smtpPass->setEchoMode(QLineEdit::Password);
    auto* smtpTest = MakeButton(smtpGroup, kIdSmtpTest, tr("SMTP接続テスト"));
    auto* smtpPortRow = new QHBoxLayout;
    smtpPortRow->addWidget(m_smtpPort);
    smtpPortRow->addSpacing(12);
    smtpPortRow->addWidget(new QLabel(tr("接続の保護"), smtpGroup));
    smtpPortRow->addWidget(m_smtpSecurityBox, 1);
    auto* smtpLayout = new QFormLayout(smtpGroup);
    smtpLayout->addRow(tr("SMTPサーバ"), m_smtpServer);
    smtpLayout->addRow(tr("ポート"), smtpPortRow);
    smtpLayout->addRow(tr("SMTPユーザーID"), m_smtpId);
    smtpLayout->addRow(tr("SMTPパスワード"), m_smtpPass);
    auto* smtpHint =
        MakeHint(smtpGroup, tr("空欄のときは受信設定のユーザ名とパスワードを使います。"));
    smtpLayout->addRow(QString(), smtpHint);
    smtpLayout->addRow(QString(), smtpTest);

    // 受信設定: how requests are fetched, and the mailbox log-in both protocols use
    auto* receiveGroup = new QGroupBox(tr("受信設定"), this);
    m_protocolBox = new QComboBox(receiveGroup);
    SetControlId(m_protocolBox, kIdReceiveProtocol);
    m_protocolBox->addItem(QStringLiteral("POP3"), int(ReceiveProtocol::Pop3));
    m_protocolBox->addItem(QStringLiteral("IMAP"), int(ReceiveProtocol::Imap));
    m_pop3Id = MakeEdit(receiveGroup, kIdPop3Id);
    m_pop3Pass = MakeEdit(receiveGroup, kIdPop3Pass);
    m_pop3Pass->setEchoMode(QLineEdit::Password);
    auto* connectTest = MakeButton(receiveGroup, kIdConnectTest, tr("接続テスト"));
    auto* receiveLayout = new QFormLayout(receiveGroup);
    receiveLayout->addRow(tr("受信方式"), m_protocolBox);
    receiveLayout->addRow(tr("ユーザ名"), m_pop3Id);
    receiveLayout->addRow(tr("パスワード"), m_pop3Pass);
    auto* loginHint =
        MakeHint(receiveGroup, tr("POP3でもIMAPでもこのユーザ名とパスワードでログインします。"));
    receiveLayout->addRow(QString(), loginHint);
    receiveLayout->addRow(QString(), connectTest);
    m_senderCheck = new QCheckBox(tr("差出人をDKIM署名で確認する"), receiveGroup);
    SetControlId(m_senderCheck, kIdSenderCheck);
    receiveLayout->addRow(QString(), m_senderCheck);
    receiveLayout->addRow(QString(), MakeHint(receiveGroup, tr(
        "差出人のドメインの署名が確かめられた依頼にだけ答えます（なりすまし対策）。")));
    m_trustedAuthservId = MakeEdit(receiveGroup, kIdTrustedAuthservId);
    receiveLayout->addRow(tr("信頼する認証サーバーID（詳細）"), m_trustedAuthservId);

    // POP3設定
    auto* pop3Group = new QGroupBox(tr("POP3設定"), this);
    m_pop3Server = MakeEdit(pop3Group, kIdPop3Server);
    m_pop3Port = MakeEdit(pop3Group, kIdPop3Port);
    m_pop3Port->setFixedWidth(60);
    m_apop = new QCheckBox(tr("APOP認証を使用する"), pop3Group);
    SetControlId(m_apop, kIdApop);
    m_pop3SecurityBox = MakeSecurityBox(pop3Group, kIdPop3Security);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(m_pop3Port);
    portRow->addSpacing(12);
    portRow->addWidget(m_apop);
    portRow->addStretch();
    auto* pop3Layout = new QFormLayout(pop3Group);
    pop3Layout->addRow(tr("POP3サーバ"), m_pop3Server);
    pop3Layout->addRow(tr("ポート"), portRow);
    pop3Layout->addRow(tr("接続の保護"), m_pop3SecurityBox);

    // IMAP設定
    auto* imapGroup = new QGroupBox(tr("IMAP設定"), this);
    m_imapServer = MakeEdit(imapGroup, kIdImapServer);
    m_imapPort = MakeEdit(imapGroup, kIdImapPort);
    m_imapPort->setFixedWidth(60);
    m_imapSecurityBox = MakeSecurityBox(imapGroup, kIdImapSecurity);
    auto* imapPortRow = new QHBoxLayout;
    imapPortRow->addWidget(m_imapPort);
    imapPortRow->addSpacing(12);
    imapPortRow->addWidget(new QLabel(tr("接続の保護"), imapGroup));
    imapPortRow->addWidget(m_imapSecurityBox, 1);
    auto* imapLayout = new QFormLayout(imapGroup);
    imapLayout->addRow(tr("IMAPサーバ"), m_imapServer);
    imapLayout->addRow(tr("ポート"), imapPortRow);

    // 証明書: an authority of its own (a home server's) beside the system's trusted ones
    auto* caGroup = new QGroupBox(tr("証明書"), this);
    m_caFile = MakeEdit(caGroup, kIdCaFile);
    auto* browse = MakeButton(caGroup, kIdCaFileBrowse, tr("参照..."));
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile);
    caRow->addWidget(browse);
    auto* caLayout = new QVBoxLayout(caGroup);
    caLayout->addWidget(new QLabel(tr("CA証明書ファイル"), caGroup));
    caLayout->addLayout(caRow);
    caLayout->addWidget(MakeHint(caGroup, tr("空欄のときはシステムの証明書だけを使います。")));

    // 送信者設定
    auto* senderGroup = new QGroupBox(tr("送信者設定"), this);
    m_senderName = MakeEdit(senderGroup, kIdSenderName);
    m_senderAddress = MakeEdit(senderGroup, kIdSenderAddress);
    auto* senderLayout = new QFormLayout(senderGroup);
    senderLayout->addRow(tr("名前"), m_senderName);
    senderLayout->addRow(tr("アドレス"), m_senderAddress);

    // 画像回転
    auto* rotationGroup = new QGroupBox(tr("画像回転"), this);
    m_imageRotation = new QCheckBox(tr("返信する際に画像を９０度回転する"), rotationGroup);
    SetControlId(m_imageRotation, kIdImageRotation);
    auto* rotationLayout = new QVBoxLayout(rotationGroup);
    rotationLayout->addWidget(m_imageRotation);

    // 返信先の制限
    auto* limitGroup = new QGroupBox(tr("返信先の制限"), this);
    auto* limitText = new QLabel(tr("ここにアドレスが登録されている場合は\n"
                                    "登録されたアドレスにのみ画像を返信します。\n"
                                    "最大10件まで登録できます。"),
                                 limitGroup);
    m_addressList = MakeAddressList(limitGroup, kIdAddressList, tr("返信先メールアドレス"),
                                    kAddressColumnWidth);
    m_addressList->setMinimumHeight(150);
    m_newAddressEdit = MakeEdit(limitGroup, kIdNewAddress);
    auto* add = MakeButton(limitGroup, kIdAdd, tr("追加"));
    auto* remove = MakeButton(limitGroup, kIdDelete, tr("削除"));
    auto* addRow = new QHBoxLayout;
    addRow->addWidget(m_newAddressEdit);
    addRow->addWidget(add);
    addRow->addWidget(remove);
    auto* limitLayout = new QVBoxLayout(limitGroup);
    limitLayout->addWidget(limitText);
    limitLayout->addWidget(m_addressList);
    limitLayout->addLayout(addRow);

    // 件名判定文字列
    auto* checkGroup = new QGroupBox(tr("件名判定文字列（半角英数字）"), this);
    m_checkString = MakeEdit(checkGroup, kIdCheckString);
    auto* note = new QLabel(tr("※件名が一致するメールは自動的に削除されますのでご注意ください。"),
                            checkGroup);
    note->setWordWrap(true);
    auto* checkLayout = new QVBoxLayout(checkGroup);
    checkLayout->addWidget(new QLabel(tr("件名が一致するときのみ画像を返信します。"), checkGroup));
    checkLayout->addWidget(m_checkString);
    checkLayout->addWidget(note);

    auto* buttons = MakeOkCancelRow(this);

    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(smtpGroup);
    leftColumn->addWidget(receiveGroup);
    leftColumn->addWidget(pop3Group);
    leftColumn->addWidget(imapGroup);
    leftColumn->addStretch();
    auto* rightColumn = new QVBoxLayout;
    rightColumn->addWidget(senderGroup);
    rightColumn->addWidget(rotationGroup);
    rightColumn->addWidget(limitGroup);
    rightColumn->addWidget(checkGroup);
    rightColumn->addWidget(caGroup);
    rightColumn->addStretch();
    rightColumn->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(MakeBanner(this, 440), 0, Qt::AlignTop);
    layout->addLayout(leftColumn, 1);
    layout->addLayout(rightColumn, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    limitGroup->setFixedWidth(kAddressColumnWidth + 60);
    checkGroup->setFixedWidth(kAddressColumnWidth + 60);
    caGroup->setFixedWidth(kAddressColumnWidth + 60);
    senderGroup->setFixedWidth(kAddressColumnWidth + 60);
    rotationGroup->setFixedWidth(kAddressColumnWidth + 60);
    smtpGroup->setMinimumWidth(250);

    connect(add, &QPushButton::clicked, this, &CMailSetupDialog::AddAddress);
    connect(remove, &QPushButton::clicked, this, &CMailSetupDialog::DeleteAddresses);
    connect(connectTest, &QPushButton::clicked, this, &CMailSetupDialog::TestConnection);
    connect(smtpTest, &QPushButton::clicked, this, &CMailSetupDialog::TestSmtp);
    connect(browse, &QPushButton::clicked, this, &CMailSetupDialog::BrowseCaFile);

    // Only the user's own pick (activated, never a programmatic change) makes a choice
    // explicit; until then the shown entry follows the port.
    connect(m_smtpSecurityBox, &QComboBox::activated, this, [this](int index) {
        m_smtpSecurity = SecurityChoice(m_smtpSecurityBox->itemData(index).toInt());
    });
    connect(m_pop3SecurityBox, &QComboBox::activated, this, [this](int index) {
        m_pop3Security = SecurityChoice(m_pop3SecurityBox->itemData(index).toInt());
    });
    connect(m_imapSecurityBox, &QComboBox::activated, this, [this](int index) {
        m_imapSecurity = SecurityChoice(m_imapSecurityBox->itemData(index).toInt());
    });
    connect(m_smtpPort, &QLineEdit::textChanged, this,
            [this] { ShowSecurity(m_smtpSecurityBox, m_smtpSecurity, m_smtpPort); });
    connect(m_pop3Port, &QLineEdit::textChanged, this,
            [this] { ShowSecurity(m_pop3SecurityBox, m_pop3Security, m_pop3Port); });
    connect(m_imapPort, &QLineEdit::textChanged, this,
            [this] { ShowSecurity(m_imapSecurityBox, m_imapSecurity, m_imapPort); });
}

void CMailSetupDialog::ShowSecurity(QComboBox* combo, SecurityChoice choice,
                                    const QLineEdit* portEdit) {
    SecurityChoice shown = choice;
    if (choice == SecurityChoice::ByPort) {
        bool isNumber = false;
        const int port = portEdit->text().trimmed().toInt(&isNumber);
        switch (EffectiveTlsMode(choice, isNumber ? port : 0)) {
        case TlsMode::None:
        case TlsMode::WhenOffered: // not promised: shown as what the server may leave it at
            shown = SecurityChoice::None;
            break;
        case TlsMode::StartTls:
            shown = SecurityChoice::StartTls;
            break;
        case TlsMode::Implicit:
            shown = SecurityChoice::Tls;
            break;
        }
    }
    combo->setCurrentIndex(combo->findData(int(shown)));
}

ReceiveProtocol CMailSetupDialog::ChosenProtocol() const {
    return ReceiveProtocol(m_protocolBox->currentData().toInt());
}

void CMailSetupDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        ShowFields();
        FillAddressList();
    }
    QDialog::showEvent(event);
}

bool CMailSetupDialog::TakeOver() {
    // Both numbers are checked before anything is copied, so a refused take-over leaves the
    // record as it was.
    const auto smtpPort = ReadSignedField(this, m_smtpPort);
    if (!smtpPort)
        return false;
    const auto pop3Port = ReadSignedField(this, m_pop3Port);
    if (!pop3Port)
        return false;
    // The IMAP port is new, so it is held to a real port; while POP3 is chosen it only has to be
    // a number, so that a stored value nothing uses does not hold the dialog up.
    const ReceiveProtocol protocol = ChosenProtocol();
    const auto imapPort = ReadSignedField(
        this, m_imapPort,
        protocol == ReceiveProtocol::Imap ? std::optional(FieldRange{1, 65535}) : std::nullopt);
    if (!imapPort)
        return false;
    m_settings.smtpServer = ToStd(m_smtpServer->text());
    m_settings.smtpPort = *smtpPort;
    m_settings.smtpSecurity = m_smtpSecurity;
    m_settings.smtpId = ToStd(m_smtpId->text());
    m_settings.smtpPass = ToStd(m_smtpPass->text());
    m_settings.pop3Server = ToStd(m_pop3Server->text());
    m_settings.pop3Port = *pop3Port;
    m_settings.pop3Security = m_pop3Security;
    m_settings.apop = m_apop->isChecked();
    m_settings.receiveProtocol = protocol;
    m_settings.imapServer = ToStd(m_imapServer->text());
    m_settings.imapPort = *imapPort;
    m_settings.imapSecurity = m_imapSecurity;
    m_settings.pop3Id = ToStd(m_pop3Id->text());
    m_settings.pop3Pass = ToStd(m_pop3Pass->text());
    m_settings.caFile = ToStd(m_caFile->text());
    m_settings.senderCheck = m_senderCheck->isChecked() ? SenderCheck::Dkim : SenderCheck::Off;
    m_settings.trustedAuthservId = ToStd(m_trustedAuthservId->text().trimmed());
    m_settings.senderName = ToStd(m_senderName->text());
    m_settings.senderAddress = ToStd(m_senderAddress->text());
    m_settings.imageRotation = m_imageRotation->isChecked();
    m_settings.checkString = ToStd(m_checkString->text());
    m_newAddress = ToStd(m_newAddressEdit->text());
    return true;
}

void CMailSetupDialog::ShowFields() {
    m_smtpSecurity = m_settings.smtpSecurity;
    m_pop3Security = m_settings.pop3Security;
    m_imapSecurity = m_settings.imapSecurity;
    m_smtpServer->setText(ToQt(m_settings.smtpServer));
    m_smtpPort->setText(QString::number(m_settings.smtpPort));
    ShowSecurity(m_smtpSecurityBox, m_smtpSecurity, m_smtpPort);
    m_smtpId->setText(ToQt(m_settings.smtpId));
    m_smtpPass->setText(ToQt(m_settings.smtpPass));
    m_pop3Server->setText(ToQt(m_settings.pop3Server));
    m_pop3Port->setText(QString::number(m_settings.pop3Port));
    ShowSecurity(m_pop3SecurityBox, m_pop3Security, m_pop3Port);
    m_apop->setChecked(m_settings.apop);
    m_protocolBox->setCurrentIndex(m_protocolBox->findData(int(m_settings.receiveProtocol)));
    m_imapServer->setText(ToQt(m_settings.imapServer));
    m_imapPort->setText(QString::number(m_settings.imapPort));
    ShowSecurity(m_imapSecurityBox, m_imapSecurity, m_imapPort);
    m_pop3Id->setText(ToQt(m_settings.pop3Id));
    m_pop3Pass->setText(ToQt(m_settings.pop3Pass));
    m_senderCheck->setChecked(m_settings.senderCheck == SenderCheck::Dkim);
    m_trustedAuthservId->setText(ToQt(m_settings.trustedAuthservId));
    m_caFile->setText(ToQt(m_settings.caFile));
    m_senderName->setText(ToQt(m_settings.senderName));
    m_senderAddress->setText(ToQt(m_settings.senderAddress));
    m_imageRotation->setChecked(m_settings.imageRotation);
    m_checkString->setText(ToQt(m_settings.checkString));
    m_newAddressEdit->setText(ToQt(m_newAddress));
}

void CMailSetupDialog::FillAddressList() {
    m_addressList->setRowCount(0);
    for (const std::string& address : m_settings.sendAddresses) {
        const int row = m_addressList->rowCount();
        m_addressList->insertRow(row);
        m_addressList->setItem(row, 0, new QTableWidgetItem(ToQt(address)));
    }
}

void CMailSetupDialog::AddAddress() {
    if (!TakeOver())
        return;
    if (m_addressList->rowCount() >= MailSettings::kMaxSendAddresses) {
        ShowMessageBox(this, tr("これ以上登録できません"));
        return;
    }
    // Added as typed: the address is not checked, an empty text or a duplicate is kept.
    const int row = m_addressList->rowCount();
    m_addressList->insertRow(row);
    m_addressList->setItem(row, 0, new QTableWidgetItem(ToQt(m_newAddress)));
    m_settings.sendAddresses.push_back(m_newAddress);
    m_newAddress.clear();
    ShowFields();
}

void CMailSetupDialog::DeleteAddresses() {
    std::set<int> rows;
    for (const QModelIndex& index : m_addressList->selectionModel()->selectedRows())
        rows.insert(index.row());
    // Removing from the bottom up keeps the indexes of the rows still to go valid; the list
    // and the record lose the same entries.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const int row = *it;
        if (row < static_cast<int>(m_settings.sendAddresses.size()))
            m_settings.sendAddresses.erase(m_settings.sendAddresses.begin() + row);
        m_addressList->removeRow(row);
    }
}

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

void CMailSetupDialog::accept() {
    // Checked before anything is taken over: the mail check must not find IMAP chosen with no
    // server should the dialog then end with Cancel.
    if (ChosenProtocol() == ReceiveProtocol::Imap && m_imapServer->text().trimmed().isEmpty()) {
        ShowMessageBox(this, tr("IMAPサーバを入力してください。"), MessageKind::Exclamation);
        m_imapServer->setFocus();
        return;
    }
    // setup.ini keeps the passwords in code page 932: a character it has no place for would
    // come back as "?", and the log-in would fail later for no reason the user could see.
    for (QLineEdit* password : {m_pop3Pass, m_smtpPass}) {
        if (!text::FitsSjis(ToStd(password->text()))) {
            ShowMessageBox(this,
                           tr("パスワードに設定ファイル（シフトJIS）に保存できない文字があります。"),
                           MessageKind::Exclamation);
            password->setFocus();
            return;
        }
    }
    if (!TakeOver())
        return;
    QDialog::accept();
}
