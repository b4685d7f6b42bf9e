#pragma once
// "カメラ": the cameras the program uses, up to eight: added, named, set to a USB device or a
// network camera (RTSP, MJPEG, JPEG snapshot) with its address and log-in, tried ("フレームを
// 表示") and removed. The dialog edits a copy; OK checks every camera before it hands the list
// back, so a refused OK changes nothing.
//
// The password field is never filled in: it stays empty while a password is stored, and an
// empty field keeps the stored one. Whatever is typed replaces it.

#include "base/Settings.h"

#include <QDialog>
#include <QImage>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class CamerasDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdList = 1101;
    static constexpr int kIdAdd = 1102;
    static constexpr int kIdRemove = 1103;
    static constexpr int kIdName = 1104;
    static constexpr int kIdType = 1105;
    static constexpr int kIdAddress = 1106;
    static constexpr int kIdUser = 1107;
    static constexpr int kIdPassword = 1108;
    static constexpr int kIdShowFrame = 1109;
    static constexpr int kIdPicture = 1110;
    static constexpr int kIdReason = 1111;
    static constexpr int kPictureWidth = 320;
    static constexpr int kPictureHeight = 240;

    // One frame of a camera as the dialog holds it, or nullopt with *why saying why not. It
    // runs on the user-interface thread and must bound its wait.
    using FrameProbe =
        std::function<std::optional<QImage>(const CameraSettings& camera, QString* why)>;

    // What is wrong with a list of cameras: the camera, its field and the message.
    enum class Field { List, Name, Address, User, Password };
    struct Problem {
        int camera = -1; // -1: the list as a whole
        Field field = Field::List;
        QString message;
    };
    // The first problem of the list, in the order of the cameras and their fields.
    static std::optional<Problem> Check(const std::vector<CameraSettings>& cameras);

    // An empty list starts with one USB camera (the one attached).
    CamerasDialog(std::vector<CameraSettings> cameras, FrameProbe probe,
                  QWidget* parent = nullptr);

    // The edited list; after OK, checked and with blanks around the texts removed.
    const std::vector<CameraSettings>& cameras() const { return m_cameras; }
    int currentCamera() const { return m_row; }

    void accept() override;

private:
    void ShowList();
    void ShowCamera(int row);
    void UpdateRow(int row);
    void TakeName(const QString& text);
    void TakeType(int index);
    void TakeAddress(const QString& text);
    void TakeUser(const QString& text);
    void TakePassword(const QString& text);
    void Add();
    void Remove();
    void ShowFrame();
    // Brings up the camera and the field of the problem and refuses it.
    void Refuse(const Problem& problem);
    void ShowAddressHint();

    std::vector<CameraSettings> m_cameras;
    FrameProbe m_probe;
    int m_row = -1;
    // The current camera's password when its field was shown: an empty field means this one.
    std::string m_keptPassword;
    bool m_showing = false; // fields are being filled in, not typed

    QTableWidget* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QLineEdit* m_name = nullptr;
    QComboBox* m_type = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_reason = nullptr;
};
