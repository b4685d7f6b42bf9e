// The cameras dialog driven as a user would: adding, naming, removing, the checks OK makes,
// the stored password, "フレームを表示" with a stand-in camera.

#include "dialogs/CamerasDialog.h"
#include "tests/dialogs/DialogTestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QtTest>

namespace {

CameraSettings Camera(std::string name, CameraType type = CameraType::Usb,
                      std::string address = {}, std::string user = {},
                      std::string password = {}) {
    CameraSettings camera;
    camera.name = std::move(name);
    camera.type = type;
    camera.address = std::move(address);
    camera.user = std::move(user);
    camera.password = std::move(password);
    return camera;
}

} // namespace

class CamerasDialogTest : public QObject {
    Q_OBJECT

private slots:
    void addRenameRemove() {
        MessageRecorder messages;
        CamerasDialog dialog({Camera("")}, {});
        const int result = ExecWith(dialog, [&] {
            Click(&dialog, CamerasDialog::kIdAdd);
            // The nameless first camera got a name: two cameras need one each.
            QCOMPARE(Rows(&dialog, CamerasDialog::kIdList), (QStringList{"カメラ1", "カメラ2"}));
            QCOMPARE(dialog.currentCamera(), 1);
            Retype(&dialog, CamerasDialog::kIdName, "庭");
            Control<QComboBox>(&dialog, CamerasDialog::kIdType)->setCurrentIndex(1); // RTSP
            Retype(&dialog, CamerasDialog::kIdAddress, " rtsp://127.0.0.1:8554/garden ");
            Retype(&dialog, CamerasDialog::kIdUser, "viewer");
            QCOMPARE(Rows(&dialog, CamerasDialog::kIdList), (QStringList{"カメラ1", "庭"}));

            Click(&dialog, CamerasDialog::kIdAdd);
            Retype(&dialog, CamerasDialog::kIdName, "doomed");
            Click(&dialog, CamerasDialog::kIdRemove);
            Control<QTableWidget>(&dialog, CamerasDialog::kIdList)->setCurrentCell(0, 0);
            Click(&dialog, CamerasDialog::kIdRemove);
            QCOMPARE(Rows(&dialog, CamerasDialog::kIdList), QStringList{"庭"});
            // The last camera stays.
            QVERIFY(!Control<QPushButton>(&dialog, CamerasDialog::kIdRemove)->isEnabled());
            Click(&dialog, kIdOk);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(messages.texts.isEmpty());
        QCOMPARE(dialog.cameras().size(), size_t(1));
        const CameraSettings& garden = dialog.cameras()[0];
        QCOMPARE(garden.name, std::string("庭"));
        QVERIFY(garden.type == CameraType::Rtsp);
        QCOMPARE(garden.address, std::string("rtsp://127.0.0.1:8554/garden"));
        QCOMPARE(garden.user, std::string("viewer"));
    }

    void checkRefusesWhatCannotWork_data() {
        QTest::addColumn<std::vector<CameraSettings>>("cameras");
        QTest::addColumn<int>("camera");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("message");
        using F = CamerasDialog::Field;
        const auto row = [](const char* name, std::vector<CameraSettings> cameras, int camera,
                            F field, const char* message) {
            QTest::newRow(name) << cameras << camera << int(field) << QString(message);
        };
        row("nine", std::vector<CameraSettings>(9, Camera("")), -1, F::List,
            "カメラは8台まで登録できます。");
        row("unnamed of two", {Camera("a"), Camera(" ")}, 1, F::Name,
            "カメラが複数あるときは、それぞれに名前を付けてください。");
        row("same name, case and width", {Camera("garden"), Camera("ＧＡＲＤＥＮ")}, 1, F::Name,
            "「garden」と同じ名前のカメラがあります。");
        row("line break in name", {Camera("a\r\nBcc: x")}, 0, F::Name,
            "名前に改行などの制御文字は使えません。");
        row("URL for USB", {Camera("a", CameraType::Usb, "rtsp://cam/1")}, 0, F::Address,
            "USBカメラには機器名か /dev/video0 のようなパスを入力してください。");
        row("RTSP over http", {Camera("a", CameraType::Rtsp, "http://cam/1")}, 0, F::Address,
            "rtsp:// か rtsps:// で始まるカメラのURLを入力してください。");
        row("MJPEG over rtsp", {Camera("a", CameraType::Mjpeg, "rtsp://cam/1")}, 0, F::Address,
            "http:// か https:// で始まるカメラのURLを入力してください。");
        row("password in URL", {Camera("a", CameraType::Rtsp, "rtsp://u:pw@cam/1")}, 0,
            F::Address, "URLにユーザー名やパスワードを書かず、下の欄に入力してください。");
        row("colon in user", {Camera("a", CameraType::Mjpeg, "http://cam/v", "u:x")}, 0, F::User,
            "ユーザー名に「:」や制御文字は使えません。");
        row("line break in password",
            {Camera("a", CameraType::Mjpeg, "http://cam/v", "u", "p\r\nX: y")}, 0, F::Password,
            "パスワードに制御文字は使えません。");
        row("sound, several",
            {Camera("玄関", CameraType::Usb, "/dev/video0"),
             Camera("庭", CameraType::Rtsp, "rtsps://[::1]:8322/s", "v", "p"),
             Camera("gate", CameraType::Snapshot, "https://cam.example/snap.jpg")},
            -2, F::List, "");
    }
    void checkRefusesWhatCannotWork() {
        QFETCH(std::vector<CameraSettings>, cameras);
        QFETCH(int, camera);
        QFETCH(int, field);
        QFETCH(QString, message);
        const auto problem = CamerasDialog::Check(cameras);
        if (camera == -2) {
            QVERIFY2(!problem, problem ? qPrintable(problem->message) : "");
            return;
        }
        QVERIFY(problem);
        QCOMPARE(problem->message, message);
        QCOMPARE(problem->camera, camera);
        QCOMPARE(int(problem->field), field);
    }

    void duplicateNameRefusedAtOkChangesNothing() {
        MessageRecorder messages;
        CamerasDialog dialog({Camera("玄関"), Camera("庭")}, {});
        const int result = ExecWith(dialog, [&] {
            Retype(&dialog, CamerasDialog::kIdName, "ｹﾞﾝｶﾝ"); // camera 1 stays current
            Control<QTableWidget>(&dialog, CamerasDialog::kIdList)->setCurrentCell(1, 0);
            Retype(&dialog, CamerasDialog::kIdName, "ゲンカン");
            Click(&dialog, kIdOk);
            QVERIFY(dialog.isVisible());
            // The second of the two is brought up with its name field.
            QCOMPARE(dialog.currentCamera(), 1);
            QCOMPARE(dialog.focusWidget(),
                     Control<QLineEdit>(&dialog, CamerasDialog::kIdName));
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(messages.texts, QStringList{"「ｹﾞﾝｶﾝ」と同じ名前のカメラがあります。"});
        QCOMPARE(messages.kinds, std::vector<MessageKind>{MessageKind::Exclamation});
    }

    void storedPasswordIsNeverShownAndKeptUnlessRetyped() {
        const struct {
            const char* typed; // nullptr: the field is left alone
            std::string kept;
        } cases[] = {
            {nullptr, "s3cret"},
            {"other", "other"},
            {"", "s3cret"}, // typed and deleted again: as if untouched
        };
        for (const auto& c : cases) {
            CamerasDialog dialog(
                {Camera("gate", CameraType::Mjpeg, "http://cam/v", "admin", "s3cret")}, {});
            ExecWith(dialog, [&] {
                auto* password = Control<QLineEdit>(&dialog, CamerasDialog::kIdPassword);
                QVERIFY(password->text().isEmpty());
                QCOMPARE(password->echoMode(), QLineEdit::Password);
                QVERIFY(!password->placeholderText().isEmpty());
                if (c.typed) {
                    password->setFocus();
                    QTest::keyClicks(password, "x");
                    QTest::keyClick(password, Qt::Key_Backspace);
                    QTest::keyClicks(password, c.typed);
                }
                Click(&dialog, kIdOk);
            });
            QCOMPARE(dialog.cameras()[0].password, c.kept);
        }
    }

    void showFrameShowsThePictureOrTheReason() {
        const struct {
            bool succeeds;
            QString why;
            QString shown;
        } cases[] = {
            {true, "", ""},
            // A camera's reply may repeat the password; it is not shown.
            {false, "bad login admin:s3cret", "フレームを表示できません: bad login admin:****"},
            // An error page is shown as text, and cut.
            {false, "<h1>" + QString(400, u'x'), "フレームを表示できません: <h1>" + QString(296, u'x') + "…"},
        };
        for (const auto& c : cases) {
            CameraSettings asked;
            const auto probe = [&](const CameraSettings& camera, QString* why) {
                asked = camera;
                *why = c.why;
                if (!c.succeeds)
                    return std::optional<QImage>();
                QImage frame(640, 360, QImage::Format_RGB32);
                frame.fill(Qt::red);
                return std::optional<QImage>(frame);
            };
            CamerasDialog dialog(
                {Camera("gate", CameraType::Mjpeg, "http://cam/v", "admin", "s3cret")}, probe);
            ExecWith(dialog, [&] {
                Click(&dialog, CamerasDialog::kIdShowFrame);
                const QPixmap picture =
                    Control<QLabel>(&dialog, CamerasDialog::kIdPicture)->pixmap();
                QCOMPARE(!picture.isNull(), c.succeeds);
                if (c.succeeds)
                    QCOMPARE(picture.size(), QSize(320, 180));
                auto* reason = Control<QLabel>(&dialog, CamerasDialog::kIdReason);
                QCOMPARE(reason->text(), c.shown);
                QCOMPARE(reason->textFormat(), Qt::PlainText);
            });
            // The probe reaches the camera with the stored password.
            QCOMPARE(asked.password, std::string("s3cret"));
            QCOMPARE(asked.address, std::string("http://cam/v"));
        }
    }
};

QTEST_MAIN(CamerasDialogTest)
#include "CamerasDialogTest.moc"
