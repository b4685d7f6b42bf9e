#include "dialogs/SnapShotMailDialog.h"

#include "app/service/SnapshotMail.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/WorkerProgress.h"
#include "mail/text/CodePageService.h"

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

QString ResultText(CSnapMailDialog::SendResult result) {
    switch (result) {
    case CSnapMailDialog::SendResult::Pop3Failed:
        return CSnapMailDialog::tr("POP3サーバの接続に失敗しました。");
    case CSnapMailDialog::SendResult::SmtpConnectFailed:
        return CSnapMailDialog::tr("SMTPサーバへの接続に失敗しました。");
    case CSnapMailDialog::SendResult::SendFailed:
        return CSnapMailDialog::tr("メールの送信に失敗しました");
    case CSnapMailDialog::SendResult::Sent:
        return CSnapMailDialog::tr("メールの送信を完了しました");
    }
    return {};
}

} // namespace

CSnapMailDialog::CSnapMailDialog(const Snapshot& snapshot, const MailSettings& mailSettings,
                                 QWidget* parent)
    : QDialog(parent), m_plain(snapshot.plain), m_turned(snapshot.turned),
      m_mailSettings(mailSettings) {
    setWindowTitle(tr("スナップショットメール送信"));
    ApplyDialogFont(this);

    m_addressList =
        MakeAddressList(this, kIdAddressList, tr("メールアドレス"), kAddressColumnWidth);
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

    auto* add = new QPushButton(tr("追加"), this);
    SetControlId(add, kIdAdd);
    add->setAutoDefault(false);
    auto* remove = new QPushButton(tr("削除"), this);
    SetControlId(remove, kIdDelete);
    remove->setAutoDefault(false);
    auto* send = new QPushButton(tr("送信"), this);
    SetControlId(send, kIdSend);
    send->setDefault(true);
    auto* cancel = new QPushButton(tr("キャンセル"), this);
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
    layout->addWidget(new QLabel(tr("送信先アドレスリスト"), this));
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
        ShowMessageBox(this, tr("ERROR 001:初期化に失敗しました。"));
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

static_assert(static_cast<int>(CSnapMailDialog::SendResult::Sent) ==
              static_cast<int>(SnapshotMailResult::Sent));

CSnapMailDialog::SendResult CSnapMailDialog::Send() {
    m_unsent.clear();
    m_sentCount = 0;
    std::vector<std::string> addresses;
    for (int row = 0; row < m_addressList->rowCount(); ++row)
        addresses.push_back(ToStd(m_addressList->item(row, 0)->text()));
    const MailSettings settings = m_mailSettings;
    const JpegPicture picture = settings.imageRotation ? m_turned : m_plain;
    const LocalTime now = SystemClock().LocalNow();
    const auto codePages = m_codePageService;
    const uint16_t port = m_smtpPort;
    // The POP3 log-in, then the mails; the outcome is told after the POP3 session has ended,
    // so the mailbox is not held open while the message box waits for the user.
    const std::optional<SnapshotMailOutcome> outcome = RunWithProgress<SnapshotMailOutcome>(
        this, m_worker, tr("メールを送信しています…"), [=](const CCancelSignal* cancel) {
            return SendSnapshotMail(settings, addresses, picture, now, codePages, port, cancel);
        });
    if (!outcome)
        return SendResult::SendFailed; // cancelled: the user knows, no box
    m_unsent = outcome->unsent;
    m_sentCount = outcome->sent;
    const auto result = static_cast<SendResult>(outcome->result);
    // When some mails went out and others did not, the box names the addresses that got none,
    // so that only they are tried again.
    QString text = ResultText(result);
    if (result == SendResult::SendFailed && m_sentCount > 0) {
        for (const std::string& address : m_unsent)
            text += u'\n' + ToQt(address);
    }
    ShowMessageBox(this, text);
    return result;
}
