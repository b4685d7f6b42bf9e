#include "dialogs/SnapShotDialog.h"

#include "dialogs/DialogSupport.h"
#include "dialogs/SnapShotMailDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

namespace {

constexpr int kMargin = 15;
constexpr int kButtonTop = 12;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 28;
constexpr int kButtonGap = 8;
constexpr int kPictureTop = 60;
constexpr QSize kSizeWithoutPicture(320, 140);

// The folder the save dialog starts in: the last one used during this run, at first the
// current directory.
QString& LastSaveFolder() {
    static QString folder;
    return folder;
}

} // namespace

CSnapShotDialog::CSnapShotDialog(const Snapshot& snapshot, const MailSettings& mailSettings,
                                 QWidget* parent)
    : QDialog(parent), m_pictures{snapshot.stem, {}, snapshot.plain, snapshot.turned},
      m_mailSettings(mailSettings) {
    setWindowTitle(tr("Kestrova - スナップショット"));
    ApplyDialogFont(this);

    auto* save = new QPushButton(tr("保存"), this);
    SetControlId(save, kIdSave);
    save->setDefault(true);
    auto* cancel = new QPushButton(tr("キャンセル"), this);
    SetControlId(cancel, kIdCancel);
    cancel->setAutoDefault(false);
    auto* mail = new QPushButton(tr("メール送信"), this);
    SetControlId(mail, kIdMail);
    mail->setAutoDefault(false);
    int x = kMargin;
    for (QPushButton* button : {save, cancel, mail}) {
        button->setGeometry(x, kButtonTop, kButtonWidth, kButtonHeight);
        x += kButtonWidth + kButtonGap;
    }

    m_picture = new QLabel(this);
    SetControlId(m_picture, kIdPicture);
    m_picture->setFrameShape(QFrame::NoFrame);
    m_picture->move(kMargin, kPictureTop);
    ShowFrame(snapshot.frame);

    connect(save, &QPushButton::clicked, this, &CSnapShotDialog::Save);
    connect(cancel, &QPushButton::clicked, this, &CSnapShotDialog::reject);
    connect(mail, &QPushButton::clicked, this, &CSnapShotDialog::Mail);
}

void CSnapShotDialog::ShowFrame(const CaptureFrame& frame) {
    // Rows are stored bottom-up, blue first; the mirrored copy is the picture the right way up.
    const bool whole = frame.width() > 0 && frame.height() > 0 &&
                       frame.pixels.size() >= static_cast<std::size_t>(frame.stride()) * frame.height();
    const QImage image = whole ? QImage(frame.pixels.data(), frame.width(), frame.height(),
                                        frame.stride(), QImage::Format_BGR888)
                                     .mirrored(false, true)
                               : QImage();
    m_hasPicture = !image.isNull();
    // Without a picture (an empty frame) the dialog keeps its own size, silently.
    QSize size = kSizeWithoutPicture;
    if (m_hasPicture) {
        m_picture->setPixmap(QPixmap::fromImage(image));
        m_picture->resize(image.size());
        size = QSize(image.width() + kExtraWidth, image.height() + kExtraHeight);
    } else {
        m_picture->resize(0, 0);
    }
    // Keep the three buttons reachable above a very narrow picture.
    const int buttonsWidth = 2 * kMargin + 3 * kButtonWidth + 2 * kButtonGap;
    setFixedSize(std::max(size.width(), buttonsWidth), size.height());
}

void CSnapShotDialog::Save() {
    if (LastSaveFolder().isEmpty())
        LastSaveFolder() = QDir::currentPath();
    QFileDialog chooser(this, QString(), LastSaveFolder(), tr("JPEGファイル(*.jpg);;全て(*.*)"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setDefaultSuffix(QStringLiteral("jpg"));
    chooser.selectFile(QString::fromStdString(m_pictures.plain.fileName));
    // Replacing an existing file is confirmed by the chooser itself (its default).
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return; // the snapshot dialog stays open
    const QString path = chooser.selectedFiles().constFirst();
    LastSaveFolder() = QFileInfo(path).absolutePath();
    m_savePath = ToStd(path);
    accept();
}

void CSnapShotDialog::Mail() {
    CSnapMailDialog dialog(m_pictures, m_mailSettings, this);
    dialog.SetSmtpPort(m_smtpPort);
    dialog.SetMailWorker(m_worker);
    dialog.exec();
}

void CSnapShotDialog::reject() {
    m_savePath.clear();
    QDialog::reject();
}
