#include "dialogs/MailSetupDialog.h"

#include "dialogs/BusyCursor.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/FieldValidation.h"
#include "dialogs/MessageBoxes.h"
#include "mail/Pop3Client.h"

#include <QCheckBox>
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

} // namespace

CMailSetupDialog::CMailSetupDialog(MailSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(QStringLiteral("Kestrova - メール設定"));
    ApplyDialogFont(this);

    // SMTP設定
    auto* smtpGroup = new QGroupBox(QStringLiteral("SMTP設定"), this);
    m_smtpServer = MakeEdit(smtpGroup, kIdSmtpServer);
    m_smtpPort = MakeEdit(smtpGroup, kIdSmtpPort);
    m_smtpPort->setFixedWidth(60);
    auto* smtpLayout = new QFormLayout(smtpGroup);
    smtpLayout->addRow(QStringLiteral("SMTPサーバ"), m_smtpServer);
    smtpLayout->addRow(QStringLiteral("ポート"), m_smtpPort);

    // POP3設定
    auto* pop3Group = new QGroupBox(QStringLiteral("POP3設定"), this);
    m_pop3Server = MakeEdit(pop3Group, kIdPop3Server);
    m_pop3Port = MakeEdit(pop3Group, kIdPop3Port);
    m_pop3Port->setFixedWidth(60);
    m_apop = new QCheckBox(QStringLiteral("APOP認証を使用する"), pop3Group);
    SetControlId(m_apop, kIdApop);
    m_pop3Id = MakeEdit(pop3Group, kIdPop3Id);
    m_pop3Pass = MakeEdit(pop3Group, kIdPop3Pass);
    m_pop3Pass->setEchoMode(QLineEdit::Password);
    auto* connectTest = MakeButton(pop3Group, kIdConnectTest, QStringLiteral("接続テスト"));
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(m_pop3Port);
    portRow->addSpacing(12);
    portRow->addWidget(m_apop);
    portRow->addStretch();
    auto* pop3Layout = new QFormLayout(pop3Group);
    pop3Layout->addRow(QStringLiteral("POP3サーバ"), m_pop3Server);
    pop3Layout->addRow(QStringLiteral("ポート"), portRow);
    pop3Layout->addRow(QStringLiteral("ユーザ名"), m_pop3Id);
    pop3Layout->addRow(QStringLiteral("パスワード"), m_pop3Pass);
    pop3Layout->addRow(QString(), connectTest);

    // 送信者設定
    auto* senderGroup = new QGroupBox(QStringLiteral("送信者設定"), this);
    m_senderName = MakeEdit(senderGroup, kIdSenderName);
    m_senderAddress = MakeEdit(senderGroup, kIdSenderAddress);
    auto* senderLayout = new QFormLayout(senderGroup);
    senderLayout->addRow(QStringLiteral("名前"), m_senderName);
    senderLayout->addRow(QStringLiteral("アドレス"), m_senderAddress);

    // 画像回転
    auto* rotationGroup = new QGroupBox(QStringLiteral("画像回転"), this);
    m_imageRotation =
        new QCheckBox(QStringLiteral("返信する際に画像を９０度回転する"), rotationGroup);
    SetControlId(m_imageRotation, kIdImageRotation);
    auto* rotationLayout = new QVBoxLayout(rotationGroup);
    rotationLayout->addWidget(m_imageRotation);

    // 返信先の制限
    auto* limitGroup = new QGroupBox(QStringLiteral("返信先の制限"), this);
    auto* limitText = new QLabel(QStringLiteral("ここにアドレスが登録されている場合は\n"
                                                "登録されたアドレスにのみ画像を返信します。\n"
                                                "最大10件まで登録できます。"),
                                 limitGroup);
    m_addressList = MakeAddressList(limitGroup, kIdAddressList,
                                    QStringLiteral("返信先メールアドレス"), kAddressColumnWidth);
    m_addressList->setMinimumHeight(150);
    m_newAddressEdit = MakeEdit(limitGroup, kIdNewAddress);
    auto* add = MakeButton(limitGroup, kIdAdd, QStringLiteral("追加"));
    auto* remove = MakeButton(limitGroup, kIdDelete, QStringLiteral("削除"));
    auto* addRow = new QHBoxLayout;
    addRow->addWidget(m_newAddressEdit);
    addRow->addWidget(add);
    addRow->addWidget(remove);
    auto* limitLayout = new QVBoxLayout(limitGroup);
    limitLayout->addWidget(limitText);
    limitLayout->addWidget(m_addressList);
    limitLayout->addLayout(addRow);

    // 件名判定文字列
    auto* checkGroup = new QGroupBox(QStringLiteral("件名判定文字列（半角英数字）"), this);
    m_checkString = MakeEdit(checkGroup, kIdCheckString);
    auto* note = new QLabel(
        QStringLiteral("※件名が一致するメールは自動的に削除されますのでご注意ください。"),
        checkGroup);
    note->setWordWrap(true);
    auto* checkLayout = new QVBoxLayout(checkGroup);
    checkLayout->addWidget(
        new QLabel(QStringLiteral("件名が一致するときのみ画像を返信します。"), checkGroup));
    checkLayout->addWidget(m_checkString);
    checkLayout->addWidget(note);

    auto* buttons = MakeOkCancelRow(this);

    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(smtpGroup);
    leftColumn->addWidget(pop3Group);
    leftColumn->addWidget(senderGroup);
    leftColumn->addWidget(rotationGroup);
    leftColumn->addStretch();
    auto* rightColumn = new QVBoxLayout;
    rightColumn->addWidget(limitGroup);
    rightColumn->addWidget(checkGroup);
    rightColumn->addStretch();
    rightColumn->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(MakeBanner(this, 440), 0, Qt::AlignTop);
    layout->addLayout(leftColumn, 1);
    layout->addLayout(rightColumn, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    limitGroup->setFixedWidth(kAddressColumnWidth + 60);
    checkGroup->setFixedWidth(kAddressColumnWidth + 60);
    smtpGroup->setMinimumWidth(250);

    connect(add, &QPushButton::clicked, this, &CMailSetupDialog::AddAddress);
    connect(remove, &QPushButton::clicked, this, &CMailSetupDialog::DeleteAddresses);
    connect(connectTest, &QPushButton::clicked, this, &CMailSetupDialog::TestConnection);
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
    m_settings.smtpServer = ToStd(m_smtpServer->text());
    m_settings.smtpPort = *smtpPort;
    m_settings.pop3Server = ToStd(m_pop3Server->text());
    m_settings.pop3Port = *pop3Port;
    m_settings.apop = m_apop->isChecked();
    m_settings.pop3Id = ToStd(m_pop3Id->text());
    m_settings.pop3Pass = ToStd(m_pop3Pass->text());
    m_settings.senderName = ToStd(m_senderName->text());
    m_settings.senderAddress = ToStd(m_senderAddress->text());
    m_settings.imageRotation = m_imageRotation->isChecked();
    m_settings.checkString = ToStd(m_checkString->text());
    m_newAddress = ToStd(m_newAddressEdit->text());
    return true;
}

void CMailSetupDialog::ShowFields() {
    m_smtpServer->setText(ToQt(m_settings.smtpServer));
    m_smtpPort->setText(QString::number(m_settings.smtpPort));
    m_pop3Server->setText(ToQt(m_settings.pop3Server));
    m_pop3Port->setText(QString::number(m_settings.pop3Port));
    m_apop->setChecked(m_settings.apop);
    m_pop3Id->setText(ToQt(m_settings.pop3Id));
    m_pop3Pass->setText(ToQt(m_settings.pop3Pass));
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
        ShowMessageBox(this, QStringLiteral("これ以上登録できません"));
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
    bool loggedIn = false;
    {
        BusyCursor busy;
        CPop3Client client;
        // Always USER/PASS: the APOP check box plays no part in the test.
        loggedIn = client.LogIn(m_settings.pop3Server, m_settings.pop3Id, m_settings.pop3Pass,
                                m_settings.pop3Port);
        client.LogOut();
    }
    ShowMessageBox(this, loggedIn ? QStringLiteral("POP3サーバの接続に成功しました。")
                                  : QStringLiteral("POP3サーバの接続に失敗しました。"));
}

void CMailSetupDialog::accept() {
    if (!TakeOver())
        return;
    QDialog::accept();
}
