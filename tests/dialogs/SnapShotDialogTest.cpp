// The snapshot dialog: the picture at its real size below the buttons, the proposed file name,
// the returned save path, and Cancel emptying it.

#include "dialogs/SnapShotDialog.h"

#include "dialogs/SnapShotMailDialog.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/support/TempDir.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

namespace fs = std::filesystem;
using Dlg = CSnapShotDialog;

class SnapShotDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void showsThePictureAtItsRealSize();
    void missingPictureOpensWithoutOne();
    void saveProposesStemAndReturnsThePath();
    void replacingAnExistingFileIsConfirmedFirst();
    void cancelledSaveThenCancelLeavesNoPath();
    void mailDialogReturnsToTheSnapshot();

private:
    void TakeFrame(int width, int height);

    std::unique_ptr<TempDir> m_home;
    Snapshot m_snapshot{"20240131090507", {}, {"20240131090507.jpg", nullptr}, {}};
};

namespace {

// Acts on the save-file chooser that the next click opens.
void OnFileChooser(std::function<void(QFileDialog*)> act) {
    QTimer::singleShot(0, [act] {
        auto* chooser = ActiveModal<QFileDialog>();
        QVERIFY(chooser);
        act(chooser);
        if (chooser->isVisible())
            chooser->reject();
    });
}

void TypeFileName(QFileDialog* chooser, const QString& name) {
    auto* edit = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    // Set in one go: typed key by key, a path opens the completion list.
    edit->setText(name);
}

void PressSave(QFileDialog* chooser) {
    auto* box = chooser->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QVERIFY(box);
    QTest::mouseClick(box->button(QDialogButtonBox::Save), Qt::LeftButton);
}

} // namespace

void SnapShotDialogTest::init() {
    m_home = std::make_unique<TempDir>();
    m_home->UseAsProgramFolder();
    m_snapshot.frame = {};
}

void SnapShotDialogTest::TakeFrame(int width, int height) {
    m_snapshot.frame = CaptureFrame::Blank(width, height);
}

void SnapShotDialogTest::showsThePictureAtItsRealSize() {
    TakeFrame(352, 288);
    MailSettings mail;
    Dlg dialog(m_snapshot, mail);
    ExecWith(dialog, [&] {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Kestrova - スナップショット"));
        QVERIFY(dialog.HasPicture());
        auto* picture = Control<QLabel>(&dialog, Dlg::kIdPicture);
        QCOMPARE(picture->size(), QSize(352, 288));
        QCOMPARE(picture->pixmap().size(), QSize(352, 288));
        QCOMPARE(dialog.size(), QSize(352 + 30, 288 + 90));
        for (int id : {Dlg::kIdSave, Dlg::kIdCancel, Dlg::kIdMail}) {
            auto* button = Control<QPushButton>(&dialog, id);
            QVERIFY(button->geometry().bottom() < picture->geometry().top());
        }
        QVERIFY(Control<QPushButton>(&dialog, Dlg::kIdSave)->isDefault());
    });
}

void SnapShotDialogTest::missingPictureOpensWithoutOne() {
    MailSettings mail;
    MessageRecorder messages;
    Dlg dialog(m_snapshot, mail);
    const int result = ExecWith(dialog, [&] {
        QVERIFY(!dialog.HasPicture());
        Click(&dialog, Dlg::kIdCancel);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(messages.texts.isEmpty());

    m_snapshot.frame = CaptureFrame::Blank(64, 48);
    m_snapshot.frame.pixels.resize(100); // fewer bytes than its header says
    Dlg unreadable(m_snapshot, mail);
    QVERIFY(!unreadable.HasPicture());
    QVERIFY(messages.texts.isEmpty());
}

void SnapShotDialogTest::saveProposesStemAndReturnsThePath() {
    TakeFrame(64, 48);
    TempDir target;
    MailSettings mail;
    Dlg dialog(m_snapshot, mail);
    const int result = ExecWith(dialog, [&] {
        OnFileChooser([&](QFileDialog* chooser) {
            QCOMPARE(chooser->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(chooser->defaultSuffix(), QStringLiteral("jpg"));
            QCOMPARE(chooser->nameFilters(), (QStringList{QStringLiteral("JPEGファイル(*.jpg)"),
                                                          QStringLiteral("全て(*.*)")}));
            auto* edit = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            QCOMPARE(edit->text(), QStringLiteral("20240131090507.jpg"));
            // A name without extension gets ".jpg".
            TypeFileName(chooser, QString::fromStdString((target.path() / "garden").string()));
            PressSave(chooser);
        });
        Click(&dialog, Dlg::kIdSave);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(QString::fromStdString(dialog.SavePath()),
             QString::fromStdString((target.path() / "garden.jpg").string()));
    QVERIFY(!fs::exists(target.path() / "garden.jpg")); // the dialog itself writes nothing
}

void SnapShotDialogTest::replacingAnExistingFileIsConfirmedFirst() {
    TempDir target;
    const fs::path existing = target.path() / "old.jpg";
    TempDir::WriteFile(existing, "old picture");
    MailSettings mail;
    Dlg dialog(m_snapshot, mail);
    bool confirmationAsked = false;
    ExecWith(dialog, [&] {
        OnFileChooser([&](QFileDialog* chooser) {
            TypeFileName(chooser, QString::fromStdString(existing.string()));
            QTimer::singleShot(0, [&] {
                auto* box = ActiveModal<QMessageBox>();
                QVERIFY(box);
                confirmationAsked = true;
                box->button(QMessageBox::Yes)->click();
            });
            PressSave(chooser);
        });
        Click(&dialog, Dlg::kIdSave);
    });
    QVERIFY(confirmationAsked);
    QCOMPARE(dialog.SavePath(), existing.string());
    QCOMPARE(TempDir::ReadFile(existing), std::string("old picture"));
}

void SnapShotDialogTest::cancelledSaveThenCancelLeavesNoPath() {
    MailSettings mail;
    Dlg dialog(m_snapshot, mail);
    bool stayedOpen = false;
    const int result = ExecWith(dialog, [&] {
        OnFileChooser([](QFileDialog* chooser) { chooser->reject(); });
        Click(&dialog, Dlg::kIdSave);
        stayedOpen = dialog.isVisible();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QVERIFY(stayedOpen);
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(dialog.SavePath(), std::string());
}

void SnapShotDialogTest::mailDialogReturnsToTheSnapshot() {
    MailSettings mail;
    mail.sendAddresses = {"friend@example.jp"};
    Dlg dialog(m_snapshot, mail);
    QString mailTitle;
    int offered = 0;
    bool stayedOpen = false;
    ExecWith(dialog, [&] {
        QTimer::singleShot(0, [&] {
            auto* mailDialog = ActiveModal<CSnapMailDialog>();
            QVERIFY(mailDialog);
            mailTitle = mailDialog->windowTitle();
            offered = Control<QComboBox>(mailDialog, CSnapMailDialog::kIdAddressEntry)->count();
            Click(mailDialog, CSnapMailDialog::kIdCancel);
        });
        Click(&dialog, Dlg::kIdMail);
        stayedOpen = dialog.isVisible();
        Click(&dialog, Dlg::kIdCancel);
    });
    QCOMPARE(mailTitle, QStringLiteral("スナップショットメール送信"));
    QCOMPARE(offered, 1);
    QVERIFY(stayedOpen);
}

QTEST_MAIN(SnapShotDialogTest)
#include "SnapShotDialogTest.moc"
