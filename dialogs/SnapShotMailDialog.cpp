#include "dialogs/SnapShotMailDialog.h"

#include "base/ProgramFolder.h"
#include "dialogs/BusyCursor.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/MessageBoxes.h"
#include "mail/CodePageService.h"
#include "mail/MailAddress.h"
#include "mail/MimeMessage.h"
#include "mail/Pop3Client.h"
#include "mail/SmtpConnection.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>
#include <vector>

namespace {

// "2026年12月6日(日)15時47分44秒"
std::string DateText(const std::tm& t) {
    static const char* const kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
    char timeText[64];
    std::snprintf(timeText, sizeof timeText, "%02d時%02d分%02d秒", t.tm_hour, t.tm_min, t.tm_sec);
    char dateText[160];
    std::snprintf(dateText, sizeof dateText, "%d年%d月%d日(%s)%s", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, kWeekdays[(t.tm_wday % 7 + 7) % 7], timeText);
    return dateText;
}

QString ResultText(CSnapMailDialog::SendResult result) {
    switch (result) {
    case CSnapMailDialog::SendResult::Pop3Failed:
        return QStringLiteral("POP3サーバの接続に失敗しました。");
    case CSnapMailDialog::SendResult::SmtpConnectFailed:
        return QStringLiteral("SMTPサーバへの接続に失敗しました。");
    case CSnapMailDialog::SendResult::SendFailed:
        return QStringLiteral("メールの送信に失敗しました");
    case CSnapMailDialog::SendResult::Sent:
        return QStringLiteral("メールの送信を完了しました");
    }
    return {};
}

} // namespace

CSnapMailDialog::CSnapMailDialog(std::string stem, const MailSettings& mailSettings,
                                 QWidget* parent)
    : QDialog(parent), m_stem(std::move(stem)), m_mailSettings(mailSettings) {
    setWindowTitle(QStringLiteral("スナップショットメール送信"));
    ApplyDialogFont(this);

    m_addressList = MakeAddressList(this, kIdAddressList, QStringLiteral("メールアドレス"),
                                    kAddressColumnWidth);
    m_addressList->setFixedSize(kAddressColumnWidth + 24, 160);

    m_addressEntry = new QComboBox(this);
    SetControlId(m_addressEntry, kIdAddressEntry);
    m_addressEntry->setEditable(true);
    m_addressEntry->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& address : m_mailSettings.sendAddresses)
        m_addressEntry->addItem(ToQt(address));
    m_addressEntry->model()->sort(0); // a sorted drop-down
    m_addressEntry->setCurrentIndex(-1);
    m_addressEntry->clearEditText();

    auto* add = new QPushButton(QStringLiteral("追加"), this);
    SetControlId(add, kIdAdd);
    add->setAutoDefault(false);
    auto* remove = new QPushButton(QStringLiteral("削除"), this);
    SetControlId(remove, kIdDelete);
    remove->setAutoDefault(false);
    auto* send = new QPushButton(QStringLiteral("送信"), this);
    SetControlId(send, kIdSend);
    send->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    SetControlId(cancel, kIdCancel);
    cancel->setAutoDefault(false);

    auto* entryRow = new QHBoxLayout;
    entryRow->addWidget(m_addressEntry, 1);
    entryRow->addWidget(add);
    entryRow->addWidget(remove);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(send);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("送信先アドレスリスト"), this));
    layout->addWidget(m_addressList);
    layout->addLayout(entryRow);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_codePageService = CCodePageService::Create();

    connect(add, &QPushButton::clicked, this, &CSnapMailDialog::AddAddress);
    connect(remove, &QPushButton::clicked, this, &CSnapMailDialog::DeleteAddresses);
    connect(send, &QPushButton::clicked, this, &CSnapMailDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CSnapMailDialog::reject);
}

CSnapMailDialog::~CSnapMailDialog() = default;

void CSnapMailDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_codePageService && !m_initReported) {
        m_initReported = true; // once; the messages then try to create their own service
        ShowMessageBox(this, QStringLiteral("ERROR 001:初期化に失敗しました。"));
    }
}

void CSnapMailDialog::AddAddress() {
    const QString entry = m_addressEntry->currentText();
    // Empty, or without "@": nothing happens, silently.
    if (entry.isEmpty() || !entry.contains(u'@'))
        return;
    const int row = m_addressList->rowCount();
    m_addressList->insertRow(row);
    m_addressList->setItem(row, 0, new QTableWidgetItem(entry));
    m_addressEntry->setCurrentIndex(-1);
    m_addressEntry->clearEditText();
}

void CSnapMailDialog::DeleteAddresses() {
    std::set<int> rows;
    for (const QModelIndex& index : m_addressList->selectionModel()->selectedRows())
        rows.insert(index.row());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        m_addressList->removeRow(*it);
}

CSnapMailDialog::SendResult CSnapMailDialog::Send() {
    SendResult result = SendResult::Pop3Failed;
    m_unsent.clear();
    m_sentCount = 0;
    {
        BusyCursor busy;
        CPop3Client pop3;
        // The apop setting plays no part: USER/PASS as always.
        if (pop3.LogIn(m_mailSettings.pop3Server, m_mailSettings.pop3Id, m_mailSettings.pop3Pass,
                       m_mailSettings.pop3Port)) {
            result = ComposeAndSend();
            pop3.LogOut(); // its failure is not shown
        }
    }
    // The outcome is told after the POP3 session has ended, so the mailbox is not held open
    // while the message box waits for the user. When some mails went out and others did not,
    // the box names the addresses that got none, so that only they are tried again.
    QString text = ResultText(result);
    if (result == SendResult::SendFailed && m_sentCount > 0) {
        for (const std::string& address : m_unsent)
            text += u'\n' + ToQt(address);
    }
    ShowMessageBox(this, text);
    return result;
}

CSnapMailDialog::SendResult CSnapMailDialog::ComposeAndSend() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string dateText = DateText(local);

    // One mail per address, addressed to it alone; an address listed twice gets one mail.
    std::vector<std::string> addresses;
    for (int row = 0; row < m_addressList->rowCount(); ++row) {
        const std::string address = ToStd(m_addressList->item(row, 0)->text());
        if (std::none_of(addresses.begin(), addresses.end(), [&](const std::string& listed) {
                return mailbox::SameAddress(listed, address);
            }))
            addresses.push_back(address);
    }

    CSmtpConnection connection(m_smtpPort);
    if (!connection.Open(m_mailSettings.smtpServer, kSmtpOpenTimeoutMs))
        return SendResult::SmtpConnectFailed;

    const std::string picture =
        ProgramFolder() + m_stem + (m_mailSettings.imageRotation ? "r.jpg" : ".jpg");
    for (const std::string& address : addresses) {
        bool delivered = false;
        try {
            CMimeMessage message(m_codePageService);
            message.SetPriorityLevel(1);
            message.AddToRecipient(address, {}, 0);
            message.SetSenderAddress(m_mailSettings.senderAddress);
            message.SetSenderDisplayName(m_mailSettings.senderName, 0);
            // The setters' results are not examined: what went wrong shows up as a failed Send.
            message.AddFileAttachment(picture, {}, 0, 0);
            message.AddTextPart(dateText + "現在の画像です。", 1, 0);
            message.SetSubjectText("キャプチャ画像", 0);
            delivered = connection.Send(message) || connection.Send(message);
        } catch (const std::exception&) {
            delivered = false; // for example out of memory while composing
        }
        if (delivered)
            ++m_sentCount;
        else
            m_unsent.push_back(address);
    }
    if (connection.IsOpen())
        connection.Close();
    // Without a single address nothing was delivered: that is a failed send.
    return !addresses.empty() && m_unsent.empty() ? SendResult::Sent : SendResult::SendFailed;
}
