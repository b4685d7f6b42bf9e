#include "dialogs/CamerasDialog.h"

#include "dialogs/BusyCursor.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/FieldValidation.h"
#include "dialogs/MessageBoxes.h"
#include "mail/text/TextCodec.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

namespace {

struct TypeEntry {
    CameraType type;
    const char* label;
    const char* hint; // the address field's placeholder
};

constexpr std::array<TypeEntry, 4> kTypes{{
    {CameraType::Usb, "USB",
     QT_TRANSLATE_NOOP("CamerasDialog", "機器名か /dev/video0（空欄: つながっているカメラ）")},
    {CameraType::Rtsp, "RTSP", "rtsp://192.168.1.10:554/stream1"},
    {CameraType::Mjpeg, "MJPEG", "http://192.168.1.10/video.mjpg"},
    {CameraType::Snapshot, QT_TRANSLATE_NOOP("CamerasDialog", "JPEGスナップショット"),
     "http://192.168.1.10/snapshot.jpg"},
}};

int TypeIndex(CameraType type) {
    for (size_t i = 0; i < kTypes.size(); ++i) {
        if (kTypes[i].type == type)
            return int(i);
    }
    return 0;
}

QString TypeLabel(CameraType type) {
    return QCoreApplication::translate("CamerasDialog", kTypes[size_t(TypeIndex(type))].label);
}

// TODO: replace with FoldCameraName (app/settings) once it is there, so the dialog and the
// files agree on what counts as the same name. Full and half width, and letter case, alike.
QString FoldName(const QString& name) {
    return name.trimmed().normalized(QString::NormalizationForm_KC).toCaseFolded();
}

bool HasControl(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// The URL schemes a camera type is reached by.
QStringList SchemesOf(CameraType type) {
    switch (type) {
    case CameraType::Rtsp:
        return {QStringLiteral("rtsp"), QStringLiteral("rtsps")};
    case CameraType::Mjpeg:
    case CameraType::Snapshot:
        return {QStringLiteral("http"), QStringLiteral("https")};
    case CameraType::Usb:
        break;
    }
    return {};
}

QString Tr(const char* text) {
    return QCoreApplication::translate("CamerasDialog", text);
}

} // namespace

std::optional<CamerasDialog::Problem>
CamerasDialog::Check(const std::vector<CameraSettings>& cameras) {
    if (int(cameras.size()) > DeviceSettings::kMaxCameras)
        return Problem{-1, Field::List,
                       tr("カメラは%1台まで登録できます。").arg(DeviceSettings::kMaxCameras)};
    // device.ini is kept in code page 932: a character it has no place for would come back as
    // "?", and the camera would not be found under its name.
    const QString notSjis = tr("設定ファイル（シフトJIS）に保存できない文字があります。");
    for (size_t i = 0; i < cameras.size(); ++i) {
        const CameraSettings& camera = cameras[i];
        const int at = int(i);
        const QString name = ToQt(camera.name).trimmed();
        // A line break would end the INI line and the reply's header.
        if (HasControl(name))
            return Problem{at, Field::Name, tr("名前に改行などの制御文字は使えません。")};
        if (!text::FitsSjis(camera.name))
            return Problem{at, Field::Name, notSjis};
        if (name.isEmpty() && cameras.size() > 1)
            return Problem{at, Field::Name,
                           tr("カメラが複数あるときは、それぞれに名前を付けてください。")};
        for (size_t j = 0; j < i && !name.isEmpty(); ++j) {
            if (FoldName(ToQt(cameras[j].name)) == FoldName(name))
                return Problem{at, Field::Name,
                               tr("「%1」と同じ名前のカメラがあります。").arg(ToQt(cameras[j].name))};
        }

        const QString address = ToQt(camera.address).trimmed();
        if (HasControl(address))
            return Problem{at, Field::Address, tr("アドレスに改行などの制御文字は使えません。")};
        if (!text::FitsSjis(camera.address))
            return Problem{at, Field::Address, notSjis};
        const QStringList schemes = SchemesOf(camera.type);
        if (schemes.isEmpty()) {
            if (address.contains(QStringLiteral("://")))
                return Problem{at, Field::Address,
                               tr("USBカメラには機器名か /dev/video0 のようなパスを入力してください。")};
        } else {
            const QUrl url(address, QUrl::StrictMode);
            if (address.isEmpty() || !url.isValid() || !schemes.contains(url.scheme().toLower()) ||
                url.host().isEmpty())
                return Problem{at, Field::Address,
                               tr("%1:// か %2:// で始まるカメラのURLを入力してください。")
                                   .arg(schemes[0], schemes[1])};
            // The URL is written to device.ini and the log as it stands: a password in it
            // would be shown to anyone who reads them.
            if (!url.userInfo().isEmpty())
                return Problem{at, Field::Address,
                               tr("URLにユーザー名やパスワードを書かず、下の欄に入力してください。")};
        }

        const QString user = ToQt(camera.user);
        // Basic and digest log-ins end the user name at the first colon.
        if (HasControl(user) || user.contains(u':'))
            return Problem{at, Field::User, tr("ユーザー名に「:」や制御文字は使えません。")};
        if (!text::FitsSjis(camera.user))
            return Problem{at, Field::User, notSjis};
        if (HasControl(ToQt(camera.password)))
            return Problem{at, Field::Password, tr("パスワードに制御文字は使えません。")};
        if (!text::FitsSjis(camera.password))
            return Problem{at, Field::Password, notSjis};
    }
    return std::nullopt;
}

CamerasDialog::CamerasDialog(std::vector<CameraSettings> cameras, FrameProbe probe,
                             QWidget* parent)
    : QDialog(parent), m_cameras(std::move(cameras)), m_probe(std::move(probe)) {
    setWindowTitle(tr("Kestrova - カメラ"));
    ApplyDialogFont(this);
    if (m_cameras.empty())
        m_cameras.emplace_back();

    m_list = new QTableWidget(0, 2, this);
    SetControlId(m_list, kIdList);
    m_list->setHorizontalHeaderLabels({tr("名前"), tr("種類")});
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(20);
    m_list->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setMinimumHeight(120);
    connect(m_list, &QTableWidget::currentCellChanged, this,
            [this](int row) { ShowCamera(row); });

    m_add = MakeButton(this, kIdAdd, tr("追加"));
    m_remove = MakeButton(this, kIdRemove, tr("削除"));
    connect(m_add, &QPushButton::clicked, this, &CamerasDialog::Add);
    connect(m_remove, &QPushButton::clicked, this, &CamerasDialog::Remove);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(m_add);
    listButtons->addWidget(m_remove);
    listButtons->addStretch();
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_list, 1);
    listRow->addLayout(listButtons);

    const auto makeEdit = [this](int id) {
        auto* edit = new QLineEdit(this);
        SetControlId(edit, id);
        return edit;
    };
    m_name = makeEdit(kIdName);
    m_type = new QComboBox(this);
    SetControlId(m_type, kIdType);
    for (const TypeEntry& entry : kTypes)
        m_type->addItem(Tr(entry.label));
    m_address = makeEdit(kIdAddress);
    m_user = makeEdit(kIdUser);
    m_password = makeEdit(kIdPassword);
    m_password->setEchoMode(QLineEdit::Password);
    connect(m_name, &QLineEdit::textEdited, this, &CamerasDialog::TakeName);
    connect(m_type, &QComboBox::currentIndexChanged, this, &CamerasDialog::TakeType);
    connect(m_address, &QLineEdit::textEdited, this, &CamerasDialog::TakeAddress);
    connect(m_user, &QLineEdit::textEdited, this, &CamerasDialog::TakeUser);
    connect(m_password, &QLineEdit::textEdited, this, &CamerasDialog::TakePassword);
    auto* form = new QFormLayout;
    form->addRow(tr("名前"), m_name);
    form->addRow(tr("種類"), m_type);
    form->addRow(tr("アドレス"), m_address);
    form->addRow(tr("ユーザー名"), m_user);
    form->addRow(tr("パスワード"), m_password);

    auto* showFrame = MakeButton(this, kIdShowFrame, tr("フレームを表示"));
    connect(showFrame, &QPushButton::clicked, this, &CamerasDialog::ShowFrame);
    m_picture = new QLabel(this);
    SetControlId(m_picture, kIdPicture);
    m_picture->setFixedSize(kPictureWidth, kPictureHeight);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setStyleSheet(QStringLiteral("background: black"));
    m_reason = new QLabel(this);
    SetControlId(m_reason, kIdReason);
    m_reason->setWordWrap(true);
    // The reason may quote the camera's reply: shown as text, never as markup.
    m_reason->setTextFormat(Qt::PlainText);
    m_reason->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(listRow);
    layout->addLayout(form);
    auto* frameRow = new QHBoxLayout;
    frameRow->addWidget(showFrame, 0, Qt::AlignTop);
    frameRow->addWidget(m_picture);
    frameRow->addStretch();
    layout->addLayout(frameRow);
    layout->addWidget(m_reason);
    layout->addLayout(MakeOkCancelRow(this));

    ShowList();
    m_list->setCurrentCell(0, 0);
}

void CamerasDialog::ShowList() {
    m_list->setRowCount(int(m_cameras.size()));
    for (int row = 0; row < int(m_cameras.size()); ++row) {
        m_list->setItem(row, 0, new QTableWidgetItem);
        m_list->setItem(row, 1, new QTableWidgetItem);
        UpdateRow(row);
    }
    m_remove->setEnabled(m_cameras.size() > 1);
}

void CamerasDialog::UpdateRow(int row) {
    const CameraSettings& camera = m_cameras[size_t(row)];
    m_list->item(row, 0)->setText(ToQt(camera.name));
    m_list->item(row, 1)->setText(TypeLabel(camera.type));
}

void CamerasDialog::ShowCamera(int row) {
    if (row < 0 || row >= int(m_cameras.size()))
        return;
    m_row = row;
    const CameraSettings& camera = m_cameras[size_t(row)];
    m_showing = true;
    m_name->setText(ToQt(camera.name));
    m_type->setCurrentIndex(TypeIndex(camera.type));
    m_address->setText(ToQt(camera.address));
    m_user->setText(ToQt(camera.user));
    // Never put back in the field: it could be read off it (or copied out of it).
    m_keptPassword = camera.password;
    m_password->clear();
    m_password->setPlaceholderText(camera.password.empty()
                                       ? QString()
                                       : tr("保存済み（変えるときだけ入力）"));
    m_showing = false;
    ShowAddressHint();
    m_picture->clear();
    m_reason->clear();
}

void CamerasDialog::ShowAddressHint() {
    const auto& entry = kTypes[size_t(std::max(0, m_type->currentIndex()))];
    m_address->setPlaceholderText(Tr(entry.hint));
    const bool network = entry.type != CameraType::Usb;
    m_user->setEnabled(network);
    m_password->setEnabled(network);
}

void CamerasDialog::TakeName(const QString& text) {
    if (m_row < 0)
        return;
    m_cameras[size_t(m_row)].name = ToStd(text);
    UpdateRow(m_row);
}

void CamerasDialog::TakeType(int index) {
    if (m_showing || m_row < 0 || index < 0)
        return;
    m_cameras[size_t(m_row)].type = kTypes[size_t(index)].type;
    UpdateRow(m_row);
    ShowAddressHint();
}

void CamerasDialog::TakeAddress(const QString& text) {
    if (m_row >= 0)
        m_cameras[size_t(m_row)].address = ToStd(text);
}

void CamerasDialog::TakeUser(const QString& text) {
    if (m_row >= 0)
        m_cameras[size_t(m_row)].user = ToStd(text);
}

void CamerasDialog::TakePassword(const QString& text) {
    if (m_row >= 0)
        m_cameras[size_t(m_row)].password = text.isEmpty() ? m_keptPassword : ToStd(text);
}

void CamerasDialog::Add() {
    if (int(m_cameras.size()) >= DeviceSettings::kMaxCameras) {
        ShowMessageBox(this, tr("これ以上登録できません"));
        return;
    }
    // With two cameras each needs a name: a nameless first one gets one the user sees.
    const auto taken = [this](const QString& name) {
        return std::any_of(m_cameras.begin(), m_cameras.end(), [&](const CameraSettings& c) {
            return FoldName(ToQt(c.name)) == FoldName(name);
        });
    };
    const auto freeName = [&] {
        for (int n = 1;; ++n) {
            const QString name = tr("カメラ%1").arg(n);
            if (!taken(name))
                return ToStd(name);
        }
    };
    for (CameraSettings& camera : m_cameras) {
        if (ToQt(camera.name).trimmed().isEmpty())
            camera.name = freeName();
    }
    CameraSettings added;
    added.name = freeName();
    m_cameras.push_back(added);
    ShowList();
    m_list->setCurrentCell(int(m_cameras.size()) - 1, 0);
    ShowCamera(int(m_cameras.size()) - 1); // also when the row was current already
    m_name->setFocus();
    m_name->selectAll();
}

void CamerasDialog::Remove() {
    if (m_cameras.size() <= 1 || m_row < 0)
        return;
    const int row = m_row;
    m_cameras.erase(m_cameras.begin() + row);
    m_row = -1;
    ShowList();
    const int next = std::min(row, int(m_cameras.size()) - 1);
    m_list->setCurrentCell(next, 0);
    ShowCamera(next);
}

void CamerasDialog::ShowFrame() {
    if (m_row < 0)
        return;
    // The camera as OK would take it. Only what it is reached by must be sound to try it; its
    // name may wait for OK.
    CameraSettings camera = m_cameras[size_t(m_row)];
    camera.address = ToStd(ToQt(camera.address).trimmed());
    camera.user = ToStd(ToQt(camera.user).trimmed());
    CameraSettings reach = camera;
    reach.name.clear();
    if (const auto problem = Check({reach})) {
        Refuse(Problem{m_row, problem->field, problem->message});
        return;
    }
    m_picture->clear();
    m_reason->clear();
    QString why;
    std::optional<QImage> frame;
    if (m_probe) {
        BusyCursor busy;
        frame = m_probe(camera, &why);
    } else {
        why = tr("このカメラは試せません。");
    }
    if (frame && !frame->isNull()) {
        m_picture->setPixmap(QPixmap::fromImage(frame->scaled(
            m_picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        return;
    }
    // A camera's reply may repeat what it was sent; the password stays off the screen.
    if (!camera.password.empty())
        why.replace(ToQt(camera.password), QStringLiteral("****"));
    constexpr qsizetype kLongestReason = 300; // an error page need not fill the dialog
    if (why.size() > kLongestReason)
        why = why.left(kLongestReason) + QStringLiteral("…");
    m_reason->setText(tr("フレームを表示できません: %1")
                          .arg(why.isEmpty() ? tr("理由は分かりません。") : why));
}

void CamerasDialog::Refuse(const Problem& problem) {
    if (problem.camera < 0) {
        ShowMessageBox(this, problem.message, MessageKind::Exclamation);
        return;
    }
    m_list->setCurrentCell(problem.camera, 0);
    QLineEdit* field = nullptr;
    switch (problem.field) {
    case Field::Name:
        field = m_name;
        break;
    case Field::Address:
        field = m_address;
        break;
    case Field::User:
        field = m_user;
        break;
    case Field::Password:
    case Field::List:
        field = m_password;
        break;
    }
    RefuseField(this, field, problem.message);
}

void CamerasDialog::accept() {
    std::vector<CameraSettings> cameras = m_cameras;
    for (CameraSettings& camera : cameras) {
        camera.name = ToStd(ToQt(camera.name).trimmed());
        camera.address = ToStd(ToQt(camera.address).trimmed());
        camera.user = ToStd(ToQt(camera.user).trimmed());
    }
    if (const auto problem = Check(cameras)) {
        Refuse(*problem);
        return;
    }
    m_cameras = std::move(cameras);
    QDialog::accept();
}
