#include "dialogs/AppConfigDialog.h"

#include "base/ProgramFolder.h"
#include "dialogs/Autostart.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/FieldValidation.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/UpDownControl.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path LogFilePath() {
    return std::filesystem::path(ProgramFolder() + "log.txt");
}

bool LogFileExists() {
    std::error_code ec;
    return std::filesystem::is_regular_file(LogFilePath(), ec);
}

} // namespace

AppConfigDialog::AppConfigDialog(AppSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(tr("アプリケーション設定"));
    ApplyDialogFont(this);

    // スタートアップ設定
    auto* startupGroup = new QGroupBox(tr("スタートアップ設定"), this);
    m_startupDialog =
        MakeCheck(startupGroup, kIdStartupDialog, tr("起動までの秒数をダイアログで表示する"));
    m_startupSeconds = new QLineEdit(startupGroup);
    SetControlId(m_startupSeconds, kIdStartupSeconds);
    m_startupSeconds->setReadOnly(true);
    m_startupSeconds->setAlignment(Qt::AlignRight);
    m_startupSeconds->setFixedWidth(48);
    m_startupSpin = new UpDownControl(startupGroup);
    SetControlId(m_startupSpin, kIdStartupSpin);
    m_startupSpin->SetBuddy(m_startupSeconds);
    m_startupSpin->SetRange(0, int(SettingRange("APPLICATION.STARTUP_TIMER").high));
    auto* secondsRow = new QHBoxLayout;
    secondsRow->setSpacing(0);
    secondsRow->addWidget(m_startupSeconds);
    secondsRow->addWidget(m_startupSpin);
    secondsRow->addSpacing(6);
    secondsRow->addWidget(new QLabel(tr("秒後に起動する"), startupGroup));
    secondsRow->addStretch();
    auto* shortcutRow = new QHBoxLayout;
    auto* createShortcut = MakeButton(startupGroup, kIdCreateShortcut, tr("ショートカット作成"));
    auto* deleteShortcut = MakeButton(startupGroup, kIdDeleteShortcut, tr("ショートカット削除"));
    shortcutRow->addWidget(createShortcut);
    shortcutRow->addWidget(deleteShortcut);
    auto* startupLayout = new QVBoxLayout(startupGroup);
    startupLayout->addLayout(shortcutRow);
    startupLayout->addLayout(secondsRow);
    startupLayout->addWidget(m_startupDialog);

    // ログファイル
    auto* logGroup = new QGroupBox(tr("ログファイル"), this);
    m_logFile = MakeCheck(logGroup, kIdLogFile, tr("ログをファイルに出力する"));
    auto* openLog = MakeButton(logGroup, kIdOpenLog, tr("ログファイルを開く"));
    auto* deleteLog = MakeButton(logGroup, kIdDeleteLog, tr("ログファイルを削除"));
    auto* logButtons = new QHBoxLayout;
    logButtons->addWidget(openLog);
    logButtons->addWidget(deleteLog);
    auto* logLayout = new QVBoxLayout(logGroup);
    logLayout->addWidget(m_logFile);
    logLayout->addLayout(logButtons);

    // 終了の設定
    auto* closeGroup = new QGroupBox(tr("終了の設定"), this);
    m_closeCancel =
        MakeCheck(closeGroup, kIdCloseCancel, tr("閉じるボタンでアプリケーションを終了しない"));
    auto* closeLayout = new QVBoxLayout(closeGroup);
    closeLayout->addWidget(m_closeCancel);

    // JPEG保存画質
    auto* jpegGroup = new QGroupBox(tr("JPEG保存画質"), this);
    m_jpegQuality = new QSlider(Qt::Horizontal, jpegGroup);
    SetControlId(m_jpegQuality, kIdJpegQuality);
    const FieldRange quality = SettingRange("APPLICATION.JPEG_QUALITY");
    m_jpegQuality->setRange(int(quality.low), int(quality.high));
    m_jpegQuality->setTickPosition(QSlider::TicksAbove);
    m_jpegQuality->setTickInterval(10);
    m_jpegQuality->setPageStep(10);
    m_jpegQuality->installEventFilter(this);
    auto* scale = new QHBoxLayout;
    scale->addWidget(new QLabel(QStringLiteral("0%"), jpegGroup));
    scale->addStretch();
    scale->addWidget(new QLabel(QStringLiteral("50%"), jpegGroup));
    scale->addStretch();
    scale->addWidget(new QLabel(QStringLiteral("100%"), jpegGroup));
    auto* jpegLayout = new QVBoxLayout(jpegGroup);
    jpegLayout->addWidget(m_jpegQuality);
    jpegLayout->addLayout(scale);

    auto* buttons = MakeOkCancelRow(this);

    auto* right = new QVBoxLayout;
    right->addWidget(startupGroup);
    right->addWidget(logGroup);
    right->addWidget(closeGroup);
    right->addWidget(jpegGroup);
    right->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(MakeBanner(this, 400), 0, Qt::AlignTop);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(420);

    connect(createShortcut, &QPushButton::clicked, this, &AppConfigDialog::CreateShortcut);
    connect(deleteShortcut, &QPushButton::clicked, this, &AppConfigDialog::DeleteShortcut);
    connect(openLog, &QPushButton::clicked, this, &AppConfigDialog::OpenLogFile);
    connect(deleteLog, &QPushButton::clicked, this, &AppConfigDialog::DeleteLogFile);
}

void AppConfigDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        ShowFields();
    QDialog::showEvent(event);
}

void AppConfigDialog::ShowFields() {
    m_logFile->setChecked(m_settings.logFile);
    m_closeCancel->setChecked(m_settings.closeCancel);
    m_startupDialog->setChecked(m_settings.startupDialog);
    m_startupSpin->SetPosition(m_settings.startupTimer);
    m_jpegQuality->setValue(m_settings.jpegQuality);
}

bool AppConfigDialog::eventFilter(QObject* watched, QEvent* event) {
    // The quality follows the slider whenever the mouse lets go of it; keyboard steps alone
    // do not change it.
    if (watched == m_jpegQuality && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        const bool handled = QDialog::eventFilter(watched, event);
        m_settings.jpegQuality = m_jpegQuality->value();
        return handled;
    }
    return QDialog::eventFilter(watched, event);
}

void AppConfigDialog::accept() {
    const auto seconds = ReadSignedField(this, m_startupSeconds, SettingRange("APPLICATION.STARTUP_TIMER"));
    if (!seconds)
        return;
    m_settings.logFile = m_logFile->isChecked();
    m_settings.closeCancel = m_closeCancel->isChecked();
    m_settings.startupDialog = m_startupDialog->isChecked();
    m_settings.startupTimer = *seconds;
    QDialog::accept();
}

void AppConfigDialog::CreateShortcut() {
    const std::string exe = CurrentExecutablePath();
    const std::filesystem::path folder = AutostartFolder();
    if (folder.empty())
        return;
    if (!ShowMessageBox(this,
                        tr("スタートアップフォルダにKestrovaMailのショートカットを作成します"),
                        MessageKind::OkCancel))
        return;
    CreateAutostartEntry(folder, exe); // a failure is not reported, as before
}

void AppConfigDialog::DeleteShortcut() {
    const std::filesystem::path folder = AutostartFolder();
    if (folder.empty())
        return;
    if (!AutostartEntryExists(folder)) {
        ShowMessageBox(this, tr("ショートカットが存在しません"));
        return;
    }
    if (ShowMessageBox(this, tr("スタートアップフォルダのKestrovaMailのショートカットを削除します"),
                       MessageKind::OkCancel))
        DeleteAutostartEntry(folder);
}

void AppConfigDialog::OpenLogFile() {
    if (!LogFileExists()) {
        ShowMessageBox(this, tr("ログファイルが存在しません"));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(LogFilePath().string())));
}

void AppConfigDialog::DeleteLogFile() {
    if (!LogFileExists()) {
        ShowMessageBox(this, tr("ログファイルが存在しません"));
        return;
    }
    if (ShowMessageBox(this, tr("ログファイルを削除します"), MessageKind::OkCancel)) {
        std::error_code ec;
        std::filesystem::remove(LogFilePath(), ec); // a failed deletion is not reported
    }
}
