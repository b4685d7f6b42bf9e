#include "dialogs/MailSetupDialog.h"

#include "app/service/MailWorker.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/FieldValidation.h"
#include "dialogs/MessageBoxes.h"
#include "mail/net/MailSecurity.h"
#include "mail/text/TextCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <set>
#include <tuple>

namespace {

constexpr int kPortWidth = 60;

QLineEdit* MakeEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    SetControlId(edit, id);
    return edit;
}

QLineEdit* MakePasswordEdit(QWidget* parent, int id) {
    QLineEdit* edit = MakeEdit(parent, id);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QLineEdit* MakePortEdit(QWidget* parent, int id) {
    QLineEdit* edit = MakeEdit(parent, id);
    edit->setFixedWidth(kPortWidth);
    return edit;
}

QComboBox* MakeCombo(QWidget* parent, int id) {
    auto* box = new QComboBox(parent);
    SetControlId(box, id);
    return box;
}

// The protection a server is reached with; each entry carries its SecurityChoice. ByPort has an
// entry of its own only where the port leaves the upgrade to the server's offer: on the ports
// that promise TLS it shows as the mode they give.
QComboBox* MakeSecurityBox(QWidget* parent, int id) {
    QComboBox* box = MakeCombo(parent, id);
    box->addItem(CMailSetupDialog::tr("なし"), int(SecurityChoice::None));
    box->addItem(CMailSetupDialog::tr("STARTTLS（提供時）"), int(SecurityChoice::ByPort));
    box->addItem(QStringLiteral("STARTTLS"), int(SecurityChoice::StartTls));
    box->addItem(QStringLiteral("SSL/TLS"), int(SecurityChoice::Tls));
    return box;
}

// A tick box as wide as its text: a click beside it does nothing.
QCheckBox* MakeTickBox(QWidget* parent, int id, const QString& text) {
    QCheckBox* box = MakeCheck(parent, id, text);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return box;
}

QLabel* MakeHint(QWidget* parent, const QString& text) {
    auto* hint = new QLabel(text, parent);
    hint->setWordWrap(true);
    return hint;
}

// A port edit with the protection beside it, for a form row.
QHBoxLayout* PortRow(QWidget* parent, QLineEdit* port, QComboBox* security) {
    auto* row = new QHBoxLayout;
    row->addWidget(port);
    row->addSpacing(12);
    row->addWidget(new QLabel(CMailSetupDialog::tr("接続の保護"), parent));
    row->addWidget(security, 1);
    return row;
}

// A page: its groups stacked from the top.
QWidget* MakePage(std::initializer_list<QWidget*> groups) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* group : groups) {
        group->setParent(page);
        layout->addWidget(group);
    }
    layout->addStretch();
    return page;
}

// The OAuth providers with a preset, and "custom" for one whose endpoints are entered on 詳細.
struct ProviderEntry {
    const char* key; // OAUTH_PROVIDER
    const char* text;
};
const ProviderEntry kProviders[] = {
    {"google", "Google"},
    {"microsoft", "Microsoft"},
    {"custom", QT_TRANSLATE_NOOP("CMailSetupDialog", "その他（詳細で設定）")},
};

bool IsHttpsUrl(const QString& text) {
    return text.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive) && text.size() > 8;
}

} // namespace

CMailSetupDialog::CMailSetupDialog(MailSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(tr("Kestrova - メール設定"));
    ApplyDialogFont(this);

    m_pages = new QStackedWidget(this);
    m_pageList = new QListWidget(this);
    SetControlId(m_pageList, kIdPageList);
    const std::pair<QWidget*, QString> pages[] = {{BuildAccountPage(), tr("アカウント")},
                                                  {BuildServerPage(), tr("サーバ")},
                                                  {BuildReplyPage(), tr("返信の条件")},
                                                  {BuildImagePage(), tr("画像")},
                                                  {BuildAdvancedPage(), tr("詳細")}};
    for (const auto& [page, title] : pages) {
        m_pages->addWidget(page);
        m_pageList->addItem(title);
    }
    m_pageList->setSpacing(3);
    m_pageList->setFixedWidth(m_pageList->sizeHintForColumn(0) + 24);
    // The pages take the room of the largest they can be, so that picking another receive or
    // log-in method does not resize the dialog.
    m_authMethodBox->setCurrentIndex(m_authMethodBox->findData(true));
    ShowChosenAuthMethod();
    ShowChosenProtocol();
    m_pages->setMinimumSize(m_pages->sizeHint());
    m_pageList->setCurrentRow(kAccountPage);
    connect(m_pageList, &QListWidget::currentRowChanged, m_pages, &QStackedWidget::setCurrentIndex);

    auto* column = new QVBoxLayout;
    column->addWidget(m_pages, 1);
    column->addLayout(MakeOkCancelRow(this));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(MakeBanner(this, 440), 0, Qt::AlignTop);
    layout->addWidget(m_pageList);
    layout->addLayout(column, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Only the user's own pick (activated, never a programmatic change) makes a choice
    // explicit; until then the shown entry follows the port. Picking STARTTLS（提供時）hands the
    // choice back to the port.
    const std::tuple<QComboBox*, SecurityChoice*, QLineEdit*> servers[] = {
        {m_smtpSecurityBox, &m_smtpSecurity, m_smtpPort},
        {m_pop3SecurityBox, &m_pop3Security, m_pop3Port},
        {m_imapSecurityBox, &m_imapSecurity, m_imapPort}};
    for (auto [box, choice, port] : servers) {
        connect(box, &QComboBox::activated, this, [box, choice](int index) {
            *choice = SecurityChoice(box->itemData(index).toInt());
        });
        connect(port, &QLineEdit::textChanged, this,
                [box, choice, port] { ShowSecurity(box, *choice, port); });
    }
    connect(m_protocolBox, &QComboBox::currentIndexChanged, this,
            &CMailSetupDialog::ShowChosenProtocol);
    connect(m_authMethodBox, &QComboBox::currentIndexChanged, this,
            &CMailSetupDialog::ShowChosenAuthMethod);
}

QWidget* CMailSetupDialog::BuildAccountPage() {
    // The sender is the account: its address is what 自動設定 starts from.
    auto* accountGroup = new QGroupBox(tr("アカウント"));
    m_senderName = MakeEdit(accountGroup, kIdSenderName);
    m_senderAddress = MakeEdit(accountGroup, kIdSenderAddress);
    m_autoSetup = MakeButton(accountGroup, kIdAutoSetup, tr("自動設定"));
    m_setupSource = MakeHint(accountGroup, QString());
    SetControlId(m_setupSource, kIdSetupSource);
    m_setupSource->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_setupSource->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(m_senderAddress, 1);
    addressRow->addWidget(m_autoSetup);
    auto* accountLayout = new QFormLayout(accountGroup);
    accountLayout->addRow(tr("名前"), m_senderName);
    accountLayout->addRow(tr("メールアドレス"), addressRow);
    accountLayout->addRow(QString(), m_setupSource);
    accountLayout->setRowVisible(m_setupSource, false); // until 自動設定 has something to say

    // ログイン: one user name for receiving (POP3 or IMAP) and, unless SMTP has its own, sending;
    // a password, or OAuth 2.0 tokens from a sign-in.
    auto* loginGroup = new QGroupBox(tr("ログイン"));
    m_authMethodBox = MakeCombo(loginGroup, kIdAuthMethod);
    m_authMethodBox->addItem(tr("パスワード"), false);
    m_authMethodBox->addItem(QStringLiteral("OAuth 2.0"), true);
    m_pop3Id = MakeEdit(loginGroup, kIdPop3Id);
    m_pop3Pass = MakePasswordEdit(loginGroup, kIdPop3Pass);
    m_passwordHint =
        MakeHint(loginGroup, tr("POP3でもIMAPでもこのユーザ名とパスワードでログインします。"));
    m_oauthProviderBox = MakeCombo(loginGroup, kIdOAuthProvider);
    for (const ProviderEntry& provider : kProviders)
        m_oauthProviderBox->addItem(tr(provider.text), QString::fromLatin1(provider.key));
    m_oauthClientId = MakeEdit(loginGroup, kIdOAuthClientId);
    m_oauthClientSecret = MakePasswordEdit(loginGroup, kIdOAuthClientSecret);
    m_signIn = MakeButton(loginGroup, kIdSignIn, tr("サインイン…"));
    m_oauthHint = MakeHint(loginGroup, tr("クライアントIDはプロバイダに登録したものです。"
                                          "シークレットが無ければ空欄にします。"));
    m_loginLayout = new QFormLayout(loginGroup);
    m_loginLayout->addRow(tr("認証方式"), m_authMethodBox);
    m_loginLayout->addRow(tr("ユーザ名"), m_pop3Id);
    m_loginLayout->addRow(tr("パスワード"), m_pop3Pass);
    m_loginLayout->addRow(QString(), m_passwordHint);
    m_loginLayout->addRow(tr("プロバイダ"), m_oauthProviderBox);
    m_loginLayout->addRow(tr("クライアントID"), m_oauthClientId);
    m_loginLayout->addRow(tr("クライアントシークレット"), m_oauthClientSecret);
    m_loginLayout->addRow(QString(), m_oauthHint);
    m_loginLayout->addRow(QString(), m_signIn);

    auto* testGroup = new QGroupBox(tr("接続テスト"));
    auto* connectTest = MakeButton(testGroup, kIdConnectTest, tr("受信の接続テスト"));
    auto* smtpTest = MakeButton(testGroup, kIdSmtpTest, tr("SMTP接続テスト"));
    auto* testLayout = new QHBoxLayout(testGroup);
    testLayout->addWidget(connectTest);
    testLayout->addWidget(smtpTest);

    connect(m_autoSetup, &QPushButton::clicked, this, &CMailSetupDialog::AutoSetup);
    connect(m_signIn, &QPushButton::clicked, this, &CMailSetupDialog::SignIn);
    connect(connectTest, &QPushButton::clicked, this, &CMailSetupDialog::TestConnection);
    connect(smtpTest, &QPushButton::clicked, this, &CMailSetupDialog::TestSmtp);
    return MakePage({accountGroup, loginGroup, testGroup});
}

QWidget* CMailSetupDialog::BuildServerPage() {
    auto* receiveGroup = new QGroupBox(tr("受信設定"));
    m_protocolBox = MakeCombo(receiveGroup, kIdReceiveProtocol);
    m_protocolBox->addItem(QStringLiteral("POP3"), int(ReceiveProtocol::Pop3));
    m_protocolBox->addItem(QStringLiteral("IMAP"), int(ReceiveProtocol::Imap));
    auto* receiveLayout = new QFormLayout(receiveGroup);
    receiveLayout->addRow(tr("受信方式"), m_protocolBox);

    m_pop3Group = new QGroupBox(tr("POP3設定"));
    m_pop3Server = MakeEdit(m_pop3Group, kIdPop3Server);
    m_pop3Port = MakePortEdit(m_pop3Group, kIdPop3Port);
    m_pop3SecurityBox = MakeSecurityBox(m_pop3Group, kIdPop3Security);
    m_apop = MakeTickBox(m_pop3Group, kIdApop, tr("APOP認証を使用する"));
    auto* pop3Layout = new QFormLayout(m_pop3Group);
    pop3Layout->addRow(tr("POP3サーバ"), m_pop3Server);
    pop3Layout->addRow(tr("ポート"), PortRow(m_pop3Group, m_pop3Port, m_pop3SecurityBox));
    pop3Layout->addRow(QString(), m_apop);

    m_imapGroup = new QGroupBox(tr("IMAP設定"));
    m_imapServer = MakeEdit(m_imapGroup, kIdImapServer);
    m_imapPort = MakePortEdit(m_imapGroup, kIdImapPort);
    m_imapSecurityBox = MakeSecurityBox(m_imapGroup, kIdImapSecurity);
    auto* imapLayout = new QFormLayout(m_imapGroup);
    imapLayout->addRow(tr("IMAPサーバ"), m_imapServer);
    imapLayout->addRow(tr("ポート"), PortRow(m_imapGroup, m_imapPort, m_imapSecurityBox));

    auto* smtpGroup = new QGroupBox(tr("SMTP設定"));
    m_smtpServer = MakeEdit(smtpGroup, kIdSmtpServer);
    m_smtpPort = MakePortEdit(smtpGroup, kIdSmtpPort);
    m_smtpSecurityBox = MakeSecurityBox(smtpGroup, kIdSmtpSecurity);
    m_smtpId = MakeEdit(smtpGroup, kIdSmtpId);
    m_smtpPass = MakePasswordEdit(smtpGroup, kIdSmtpPass);
    m_smtpHint = MakeHint(smtpGroup, tr("空欄のときは受信設定のユーザ名とパスワードを使います。"));
    m_smtpLayout = new QFormLayout(smtpGroup);
    m_smtpLayout->addRow(tr("SMTPサーバ"), m_smtpServer);
    m_smtpLayout->addRow(tr("ポート"), PortRow(smtpGroup, m_smtpPort, m_smtpSecurityBox));
    m_smtpLayout->addRow(tr("SMTPユーザーID"), m_smtpId);
    m_smtpLayout->addRow(tr("SMTPパスワード"), m_smtpPass);
    m_smtpLayout->addRow(QString(), m_smtpHint);
    return MakePage({receiveGroup, m_pop3Group, m_imapGroup, smtpGroup});
}

QWidget* CMailSetupDialog::BuildReplyPage() {
    auto* checkGroup = new QGroupBox(tr("件名判定文字列（半角英数字）"));
    m_checkString = MakeEdit(checkGroup, kIdCheckString);
    auto* checkLayout = new QVBoxLayout(checkGroup);
    checkLayout->addWidget(new QLabel(tr("件名が一致するときのみ画像を返信します。"), checkGroup));
    checkLayout->addWidget(m_checkString);
    checkLayout->addWidget(MakeHint(
        checkGroup, tr("※件名が一致するメールは自動的に削除されますのでご注意ください。")));

    auto* limitGroup = new QGroupBox(tr("返信先の制限"));
    m_addressList = MakeAddressList(limitGroup, kIdAddressList, tr("返信先メールアドレス"),
                                    kAddressColumnWidth);
    m_addressList->setMinimumHeight(120);
    m_newAddressEdit = MakeEdit(limitGroup, kIdNewAddress);
    auto* add = MakeButton(limitGroup, kIdAdd, tr("追加"));
    auto* remove = MakeButton(limitGroup, kIdDelete, tr("削除"));
    auto* addRow = new QHBoxLayout;
    addRow->addWidget(m_newAddressEdit, 1);
    addRow->addWidget(add);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_addressList, 1);
    listRow->addWidget(remove, 0, Qt::AlignTop);
    // The buttons share one width, so that the list and the edit end in one line.
    const int buttonWidth = std::max(add->sizeHint().width(), remove->sizeHint().width());
    add->setFixedWidth(buttonWidth);
    remove->setFixedWidth(buttonWidth);
    auto* limitLayout = new QVBoxLayout(limitGroup);
    limitLayout->addWidget(MakeHint(limitGroup, tr("ここにアドレスが登録されている場合は"
                                                   "登録されたアドレスにのみ画像を返信します。"
                                                   "最大10件まで登録できます。")));
    limitLayout->addLayout(addRow);
    limitLayout->addLayout(listRow);

    auto* senderGroup = new QGroupBox(tr("差出人の確認"));
    m_senderCheck = MakeTickBox(senderGroup, kIdSenderCheck, tr("差出人をDKIM署名で確認する"));
    auto* senderLayout = new QVBoxLayout(senderGroup);
    senderLayout->addWidget(m_senderCheck);
    senderLayout->addWidget(
        MakeHint(senderGroup,
                 tr("差出人のドメインの署名が確かめられた依頼にだけ答えます（なりすまし対策）。")));

    connect(add, &QPushButton::clicked, this, &CMailSetupDialog::AddAddress);
    connect(remove, &QPushButton::clicked, this, &CMailSetupDialog::DeleteAddresses);
    return MakePage({checkGroup, limitGroup, senderGroup});
}

QWidget* CMailSetupDialog::BuildImagePage() {
    auto* rotationGroup = new QGroupBox(tr("画像回転"));
    m_imageRotation =
        MakeTickBox(rotationGroup, kIdImageRotation, tr("返信する際に画像を９０度回転する"));
    auto* rotationLayout = new QVBoxLayout(rotationGroup);
    rotationLayout->addWidget(m_imageRotation);
    return MakePage({rotationGroup});
}

QWidget* CMailSetupDialog::BuildAdvancedPage() {
    // 証明書: an authority of its own (a home server's) beside the system's trusted ones
    auto* caGroup = new QGroupBox(tr("証明書"));
    m_caFile = MakeEdit(caGroup, kIdCaFile);
    auto* browse = MakeButton(caGroup, kIdCaFileBrowse, tr("参照..."));
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile);
    caRow->addWidget(browse);
    auto* caLayout = new QVBoxLayout(caGroup);
    caLayout->addWidget(new QLabel(tr("CA証明書ファイル"), caGroup));
    caLayout->addLayout(caRow);
    caLayout->addWidget(MakeHint(caGroup, tr("空欄のときはシステムの証明書だけを使います。")));

    auto* authservGroup = new QGroupBox(tr("信頼する認証サーバーID"));
    m_trustedAuthservId = MakeEdit(authservGroup, kIdTrustedAuthservId);
    auto* authservLayout = new QVBoxLayout(authservGroup);
    authservLayout->addWidget(m_trustedAuthservId);
    authservLayout->addWidget(MakeHint(
        authservGroup, tr("このIDのAuthentication-Resultsが dmarc=pass なら署名の確認に代えます。"
                          "届くメールに必ずこれを付けるプロバイダのときだけ設定します。")));

    // Where the passwords, the client secret and the refresh token are kept; they move together.
    auto* storeGroup = new QGroupBox(tr("パスワードの保存"));
    m_secretStore = MakeHint(storeGroup, QString());
    SetControlId(m_secretStore, kIdSecretStore);
    m_moveSecrets = MakeButton(storeGroup, kIdMoveSecrets, QString());
    auto* storeRow = new QHBoxLayout(storeGroup);
    storeRow->addWidget(m_secretStore, 1);
    storeRow->addWidget(m_moveSecrets, 0, Qt::AlignTop);

    // A provider of its own, or another address for a preset's endpoint.
    m_oauthEndpointsGroup = new QGroupBox(QStringLiteral("OAuth 2.0"));
    m_oauthAuthUrl = MakeEdit(m_oauthEndpointsGroup, kIdOAuthAuthUrl);
    m_oauthTokenUrl = MakeEdit(m_oauthEndpointsGroup, kIdOAuthTokenUrl);
    m_oauthDeviceUrl = MakeEdit(m_oauthEndpointsGroup, kIdOAuthDeviceUrl);
    m_oauthScope = MakeEdit(m_oauthEndpointsGroup, kIdOAuthScope);
    auto* endpointsLayout = new QFormLayout(m_oauthEndpointsGroup);
    endpointsLayout->addRow(tr("認可URL"), m_oauthAuthUrl);
    endpointsLayout->addRow(tr("トークンURL"), m_oauthTokenUrl);
    endpointsLayout->addRow(tr("デバイス認可URL"), m_oauthDeviceUrl);
    endpointsLayout->addRow(tr("スコープ"), m_oauthScope);
    endpointsLayout->addRow(
        QString(),
        MakeHint(m_oauthEndpointsGroup, tr("空欄のときはプロバイダの既定値を使います。"
                                           "「その他」では認可URLとトークンURLが要ります。")));

    connect(browse, &QPushButton::clicked, this, &CMailSetupDialog::BrowseCaFile);
    connect(m_moveSecrets, &QPushButton::clicked, this, &CMailSetupDialog::MoveSecretsToOtherStore);
    return MakePage({caGroup, authservGroup, storeGroup, m_oauthEndpointsGroup});
}

void CMailSetupDialog::ShowSecurity(QComboBox* combo, SecurityChoice choice,
                                    const QLineEdit* portEdit) {
    SecurityChoice shown = choice;
    if (choice == SecurityChoice::ByPort) {
        bool isNumber = false;
        const int port = portEdit->text().trimmed().toInt(&isNumber);
        switch (EffectiveTlsMode(choice, isNumber ? port : 0)) {
        case TlsMode::None:
            shown = SecurityChoice::None;
            break;
        case TlsMode::WhenOffered:
            shown = SecurityChoice::ByPort; // its own entry: STARTTLS（提供時）
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

bool CMailSetupDialog::OAuthChosen() const {
    return m_authMethodBox->currentData().toBool();
}

void CMailSetupDialog::ShowChosenProtocol() {
    const bool imap = ChosenProtocol() == ReceiveProtocol::Imap;
    m_pop3Group->setVisible(!imap);
    m_imapGroup->setVisible(imap);
}

void CMailSetupDialog::ShowChosenAuthMethod() {
    const bool oauth = OAuthChosen();
    for (QWidget* passwordRow : std::initializer_list<QWidget*>{m_pop3Pass, m_passwordHint})
        m_loginLayout->setRowVisible(passwordRow, !oauth);
    for (QWidget* oauthRow : std::initializer_list<QWidget*>{
             m_oauthProviderBox, m_oauthClientId, m_oauthClientSecret, m_oauthHint, m_signIn})
        m_loginLayout->setRowVisible(oauthRow, oauth);
    m_smtpLayout->setRowVisible(m_smtpPass, !oauth);
    m_smtpHint->setText(oauth ? tr("空欄のときは受信設定のユーザ名を使います。")
                              : tr("空欄のときは受信設定のユーザ名とパスワードを使います。"));
    m_oauthEndpointsGroup->setEnabled(oauth);
}

void CMailSetupDialog::ShowSetupSource(const QString& text) {
    // An address of a file has no blank to break the line at: it may break after a "/".
    QString shown = text;
    m_setupSource->setText(shown.replace(u'/', QStringLiteral("/\u200B")));
    static_cast<QFormLayout*>(m_setupSource->parentWidget()->layout())
        ->setRowVisible(m_setupSource, !text.isEmpty());
}

QWidget* CMailSetupDialog::FieldOf(std::string_view name) const {
    const std::pair<std::string_view, QWidget*> fields[] = {
        {"MAIL.POP3_SERVER", m_pop3Server},
        {"MAIL.POP3_ID", m_pop3Id},
        {"MAIL.POP3_PASS", m_pop3Pass},
        {"MAIL.SMTP_SERVER", m_smtpServer},
        {"MAIL.SMTP_PORT", m_smtpPort},
        {"MAIL.SENDER_NAME", m_senderName},
        {"MAIL.SENDER_ADDRESS", m_senderAddress},
        {"MAIL.CHECK_STRING", m_checkString},
        {"MAIL.APOP", m_apop},
        {"MAIL.IMAGE_ROTATION", m_imageRotation},
        {"MAIL.POP3_PORT", m_pop3Port},
        {"MAIL.SEND_ADDRESS", m_addressList},
        {"MAIL.POP3_SECURITY", m_pop3SecurityBox},
        {"MAIL.SMTP_SECURITY", m_smtpSecurityBox},
        {"MAIL.SMTP_ID", m_smtpId},
        {"MAIL.SMTP_PASS", m_smtpPass},
        {"MAIL.CA_FILE", m_caFile},
        {"MAIL.RECEIVE_PROTOCOL", m_protocolBox},
        {"MAIL.IMAP_SERVER", m_imapServer},
        {"MAIL.IMAP_PORT", m_imapPort},
        {"MAIL.IMAP_SECURITY", m_imapSecurityBox},
        {"MAIL.SENDER_CHECK", m_senderCheck},
        {"MAIL.TRUSTED_AUTHSERV_ID", m_trustedAuthservId},
        {"MAIL.AUTH_METHOD", m_authMethodBox},
        {"MAIL.OAUTH_PROVIDER", m_oauthProviderBox},
        {"MAIL.OAUTH_CLIENT_ID", m_oauthClientId},
        {"MAIL.OAUTH_CLIENT_SECRET", m_oauthClientSecret},
        {"MAIL.OAUTH_AUTH_URL", m_oauthAuthUrl},
        {"MAIL.OAUTH_TOKEN_URL", m_oauthTokenUrl},
        {"MAIL.OAUTH_DEVICE_URL", m_oauthDeviceUrl},
        {"MAIL.OAUTH_SCOPE", m_oauthScope},
        {"MAIL.SECRET_STORE", m_moveSecrets},
    };
    for (const auto& [key, field] : fields) {
        if (key == name)
            return field;
    }
    return nullptr;
}

void CMailSetupDialog::Reveal(QWidget* widget) {
    for (int page = 0; page < m_pages->count(); ++page) {
        if (m_pages->widget(page)->isAncestorOf(widget))
            m_pageList->setCurrentRow(page);
    }
    widget->setFocus();
}

void CMailSetupDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        ShowFields();
        FillAddressList();
        ShowSetupSource(QString());
        m_pageList->setCurrentRow(kAccountPage);
    }
    QDialog::showEvent(event);
}

bool CMailSetupDialog::TakeOver() {
    // Every number is checked before anything is copied, so a refused take-over leaves the
    // record as it was.
    const auto readPort = [this](QLineEdit* edit, std::optional<FieldRange> range) {
        auto value = ReadSignedField(this, edit, range);
        if (!value)
            Reveal(edit);
        return value;
    };
    const auto smtpPort = readPort(m_smtpPort, std::nullopt);
    if (!smtpPort)
        return false;
    const auto pop3Port = readPort(m_pop3Port, std::nullopt);
    if (!pop3Port)
        return false;
    // The IMAP port is new, so it is held to a real port; while POP3 is chosen it only has to be
    // a number, so that a stored value nothing uses does not hold the dialog up.
    const ReceiveProtocol protocol = ChosenProtocol();
    const auto imapPort =
        readPort(m_imapPort, protocol == ReceiveProtocol::Imap ? std::optional(FieldRange{1, 65535})
                                                               : std::nullopt);
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
    m_settings.oauth2 = OAuthChosen();
    // A provider is written once OAuth 2.0 is chosen; a password account keeps what it had.
    if (m_settings.oauth2)
        m_settings.oauthProvider = ToStd(m_oauthProviderBox->currentData().toString());
    m_settings.oauthClientId = ToStd(m_oauthClientId->text().trimmed());
    m_settings.oauthClientSecret = ToStd(m_oauthClientSecret->text());
    m_settings.oauthAuthUrl = ToStd(m_oauthAuthUrl->text().trimmed());
    m_settings.oauthTokenUrl = ToStd(m_oauthTokenUrl->text().trimmed());
    m_settings.oauthDeviceUrl = ToStd(m_oauthDeviceUrl->text().trimmed());
    m_settings.oauthScope = ToStd(m_oauthScope->text().trimmed());
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
    m_authMethodBox->setCurrentIndex(m_authMethodBox->findData(m_settings.oauth2));
    // A provider without a preset is one of its own: its endpoints are on 詳細.
    const int provider = m_oauthProviderBox->findData(ToQt(m_settings.oauthProvider));
    m_oauthProviderBox->setCurrentIndex(provider >= 0 || m_settings.oauthProvider.empty()
                                            ? std::max(provider, 0)
                                            : m_oauthProviderBox->count() - 1);
    m_oauthClientId->setText(ToQt(m_settings.oauthClientId));
    m_oauthClientSecret->setText(ToQt(m_settings.oauthClientSecret));
    m_oauthAuthUrl->setText(ToQt(m_settings.oauthAuthUrl));
    m_oauthTokenUrl->setText(ToQt(m_settings.oauthTokenUrl));
    m_oauthDeviceUrl->setText(ToQt(m_settings.oauthDeviceUrl));
    m_oauthScope->setText(ToQt(m_settings.oauthScope));
    m_senderCheck->setChecked(m_settings.senderCheck == SenderCheck::Dkim);
    m_trustedAuthservId->setText(ToQt(m_settings.trustedAuthservId));
    m_caFile->setText(ToQt(m_settings.caFile));
    ShowSecretStore();
    m_senderName->setText(ToQt(m_settings.senderName));
    m_senderAddress->setText(ToQt(m_settings.senderAddress));
    m_imageRotation->setChecked(m_settings.imageRotation);
    m_checkString->setText(ToQt(m_settings.checkString));
    m_newAddressEdit->setText(ToQt(m_newAddress));
    ShowChosenProtocol();
    ShowChosenAuthMethod();
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

bool CMailSetupDialog::CheckBeforeOk() {
    const auto refuse = [this](QWidget* field, const QString& message) {
        ShowMessageBox(this, message, MessageKind::Exclamation);
        Reveal(field);
        return false;
    };
    // The mail check must not find IMAP chosen with no server should the dialog then end with
    // Cancel.
    if (ChosenProtocol() == ReceiveProtocol::Imap && m_imapServer->text().trimmed().isEmpty())
        return refuse(m_imapServer, tr("IMAPサーバを入力してください。"));
    // setup.ini keeps the passwords and the client secret in code page 932: a character it has
    // no place for would come back as "?", and the log-in would fail later for no reason the
    // user could see.
    for (QLineEdit* password : {m_pop3Pass, m_smtpPass, m_oauthClientSecret}) {
        if (!text::FitsSjis(ToStd(password->text())))
            return refuse(password, tr("パスワードに設定ファイル（シフトJIS）に保存できない"
                                       "文字があります。"));
    }
    if (!OAuthChosen())
        return true;
    if (m_oauthClientId->text().trimmed().isEmpty())
        return refuse(m_oauthClientId, tr("OAuth 2.0のクライアントIDを入力してください。"));
    const bool custom = m_oauthProviderBox->currentIndex() == m_oauthProviderBox->count() - 1;
    for (QLineEdit* url : {m_oauthAuthUrl, m_oauthTokenUrl, m_oauthDeviceUrl}) {
        const QString text = url->text().trimmed();
        const bool needed = custom && url != m_oauthDeviceUrl;
        // Tokens and the client secret travel only over TLS.
        if ((needed || !text.isEmpty()) && !IsHttpsUrl(text))
            return refuse(url, tr("https:// で始まるURLを入力してください。"));
    }
    return true;
}

void CMailSetupDialog::accept() {
    // Checked before anything is taken over: a refused OK changes nothing.
    if (!CheckBeforeOk() || !TakeOver())
        return;
    QDialog::accept();
}
