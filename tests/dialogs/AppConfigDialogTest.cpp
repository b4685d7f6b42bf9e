// The application settings dialog: what OK and Cancel take over, the JPEG slider, the
// autostart entry and the log file actions.

#include "dialogs/AppConfigDialog.h"

#include "dialogs/Autostart.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/support/TempDir.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QtTest>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

QPoint GroovePoint(QSlider* slider, int value) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderGroove, slider);
    const int x = QStyle::sliderPositionFromValue(slider->minimum(), slider->maximum(), value,
                                                  groove.width());
    return QPoint(groove.left() + x, groove.center().y());
}

} // namespace

// Receives the URLs the dialog asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class AppConfigDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void okTakesTheControlsOver();
    void cancelKeepsTheDraggedQualityOnly();
    void keyboardAloneDoesNotChangeTheQuality();
    void startupSecondsStayInRange();
    void autostartEntryCreatedReplacedAndDeleted();
    void autostartFolderFollowsHomeWithoutXdgConfigHome();
    void execArgumentQuoting_data();
    void execArgumentQuoting();
    void logFileActions();

private:
    std::unique_ptr<TempDir> m_home;
};

void AppConfigDialogTest::init() {
    m_home = std::make_unique<TempDir>();
    m_home->UseAsProgramFolder();
}

void AppConfigDialogTest::okTakesTheControlsOver() {
    AppSettings settings;
    AppConfigDialog dialog(settings);
    const int result = ExecWith(dialog, [&] {
        QCOMPARE(Control<QLineEdit>(&dialog, AppConfigDialog::kIdStartupSeconds)->text(),
                 QStringLiteral("0"));
        QCOMPARE(Control<QSlider>(&dialog, AppConfigDialog::kIdJpegQuality)->value(), 50);
        Toggle(&dialog, AppConfigDialog::kIdLogFile);
        Toggle(&dialog, AppConfigDialog::kIdCloseCancel);
        Toggle(&dialog, AppConfigDialog::kIdStartupDialog);
        for (int i = 0; i < 3; ++i)
            ClickArrow(&dialog, AppConfigDialog::kIdStartupSpin, "up");
        Click(&dialog, kIdOk);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(settings.logFile);
    QVERIFY(settings.closeCancel);
    QVERIFY(settings.startupDialog);
    QCOMPARE(settings.startupTimer, 3);
    QCOMPARE(settings.jpegQuality, 50);
}

void AppConfigDialogTest::cancelKeepsTheDraggedQualityOnly() {
    AppSettings settings;
    settings.startupTimer = 10;
    AppConfigDialog dialog(settings);
    const int result = ExecWith(dialog, [&] {
        auto* slider = Control<QSlider>(&dialog, AppConfigDialog::kIdJpegQuality);
        // Drag the handle from 50 to about 80 and let go.
        QTest::mousePress(slider, Qt::LeftButton, {}, GroovePoint(slider, 50));
        QTest::mouseMove(slider, GroovePoint(slider, 65));
        QTest::mouseMove(slider, GroovePoint(slider, 80));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, GroovePoint(slider, 80));
        Toggle(&dialog, AppConfigDialog::kIdLogFile);
        ClickArrow(&dialog, AppConfigDialog::kIdStartupSpin, "down");
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY2(settings.jpegQuality > 70 && settings.jpegQuality <= 85,
             qPrintable(QString::number(settings.jpegQuality)));
    QVERIFY(!settings.logFile);
    QCOMPARE(settings.startupTimer, 10);

    // Opening again shows the quality that was taken.
    const int quality = settings.jpegQuality;
    ExecWith(dialog, [&] {
        QCOMPARE(Control<QSlider>(&dialog, AppConfigDialog::kIdJpegQuality)->value(), quality);
        dialog.reject();
    });
}

void AppConfigDialogTest::keyboardAloneDoesNotChangeTheQuality() {
    AppSettings settings;
    AppConfigDialog dialog(settings);
    ExecWith(dialog, [&] {
        auto* slider = Control<QSlider>(&dialog, AppConfigDialog::kIdJpegQuality);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Right);
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(slider->value(), 61);
        Click(&dialog, kIdOk);
    });
    QCOMPARE(settings.jpegQuality, 50);
}

void AppConfigDialogTest::startupSecondsStayInRange() {
    AppSettings settings;
    settings.startupTimer = 179;
    AppConfigDialog dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        auto* edit = Control<QLineEdit>(&dialog, AppConfigDialog::kIdStartupSeconds);
        QVERIFY(edit->isReadOnly());
        QTest::keyClicks(edit, QStringLiteral("9")); // refused: the spin is the only way
        QCOMPARE(edit->text(), QStringLiteral("179"));
        edit->setFocus();
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QStringLiteral("180"));
        Click(&dialog, kIdOk);
    });
    QCOMPARE(settings.startupTimer, 180);
    QVERIFY(messages.texts.isEmpty());
}

void AppConfigDialogTest::autostartEntryCreatedReplacedAndDeleted() {
    TempDir config;
    ScopedEnv xdg("XDG_CONFIG_HOME", config.path().string());
    const fs::path entry = config.path() / "autostart" / "KestrovaMail.desktop";
    AppSettings settings;
    AppConfigDialog dialog(settings);
    MessageRecorder messages;
    const QString askCreate =
        QStringLiteral("スタートアップフォルダにKestrovaMailのショートカットを作成します");
    const QString askDelete =
        QStringLiteral("スタートアップフォルダのKestrovaMailのショートカットを削除します");

    ExecWith(dialog, [&] {
        // Deleting when there is none: only the message, no question.
        Click(&dialog, AppConfigDialog::kIdDeleteShortcut);
        QCOMPARE(messages.texts, QStringList{QStringLiteral("ショートカットが存在しません")});
        QCOMPARE(messages.kinds.front(), MessageKind::Information);
        messages.Clear();

        // Cancel in the confirmation creates nothing.
        messages.answers = {false};
        Click(&dialog, AppConfigDialog::kIdCreateShortcut);
        QCOMPARE(messages.texts, QStringList{askCreate});
        QCOMPARE(messages.kinds.front(), MessageKind::OkCancel);
        QVERIFY(!fs::exists(entry));
        messages.Clear();

        Click(&dialog, AppConfigDialog::kIdCreateShortcut);
        QVERIFY(fs::exists(entry));
        const std::string text = TempDir::ReadFile(entry);
        const std::string exec =
            "Exec=" + QuoteExecArgument(CurrentExecutablePath()) + " startup\n";
        QVERIFY2(text.find(exec) != std::string::npos, text.c_str());
        QVERIFY(text.rfind("[Desktop Entry]\n", 0) == 0);
        QVERIFY(text.find("Type=Application\n") != std::string::npos);

        // The second time asks again and replaces the file.
        TempDir::WriteFile(entry, "stale");
        messages.Clear();
        Click(&dialog, AppConfigDialog::kIdCreateShortcut);
        QCOMPARE(messages.texts, QStringList{askCreate});
        QCOMPARE(TempDir::ReadFile(entry), text);

        messages.Clear();
        messages.answers = {false};
        Click(&dialog, AppConfigDialog::kIdDeleteShortcut);
        QCOMPARE(messages.texts, QStringList{askDelete});
        QVERIFY(fs::exists(entry));
        Click(&dialog, AppConfigDialog::kIdDeleteShortcut);
        QVERIFY(!fs::exists(entry));
        dialog.reject();
    });
}

void AppConfigDialogTest::autostartFolderFollowsHomeWithoutXdgConfigHome() {
    TempDir home;
    ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv homeEnv("HOME", home.path().string());
    QCOMPARE(QString::fromStdString(AutostartFolder().string()),
             QString::fromStdString((home.path() / ".config" / "autostart").string()));
    QVERIFY(fs::is_directory(home.path() / ".config" / "autostart")); // created when missing

    ScopedEnv relative("XDG_CONFIG_HOME", "relative/path"); // not absolute: ignored
    QCOMPARE(QString::fromStdString(AutostartFolder().string()),
             QString::fromStdString((home.path() / ".config" / "autostart").string()));
}

void AppConfigDialogTest::execArgumentQuoting_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "/usr/bin/kestrovamail"
                           << R"("/usr/bin/kestrovamail")";
    QTest::newRow("blank") << "/opt/My Apps/km"
                           << R"("/opt/My Apps/km")";
    QTest::newRow("quote") << R"(/a"b)"
                           << R"("/a\\"b")";
    QTest::newRow("dollar and backtick") << "/a$b`c"
                                         << R"("/a\\$b\\`c")";
    QTest::newRow("backslash") << R"(/a\b)"
                               << R"("/a\\\\b")";
    QTest::newRow("percent") << "/100%/km"
                             << R"("/100%%/km")";
    QTest::newRow("japanese") << "/home/写真/km"
                              << R"("/home/写真/km")";
}

void AppConfigDialogTest::execArgumentQuoting() {
    QFETCH(QString, path);
    QFETCH(QString, quoted);
    QCOMPARE(QString::fromStdString(QuoteExecArgument(path.toStdString())), quoted);
}

void AppConfigDialogTest::logFileActions() {
    const fs::path log = m_home->path() / "log.txt";
    AppSettings settings;
    AppConfigDialog dialog(settings);
    MessageRecorder messages;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    const QString missing = QStringLiteral("ログファイルが存在しません");

    ExecWith(dialog, [&] {
        Click(&dialog, AppConfigDialog::kIdOpenLog);
        Click(&dialog, AppConfigDialog::kIdDeleteLog);
        QCOMPARE(messages.texts, (QStringList{missing, missing}));
        QVERIFY(catcher.urls.isEmpty());
        messages.Clear();

        TempDir::WriteFile(log, "line\r\n");
        Click(&dialog, AppConfigDialog::kIdOpenLog);
        QVERIFY(messages.texts.isEmpty());
        QCOMPARE(catcher.urls,
                 QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(log.string()))});

        messages.answers = {false};
        Click(&dialog, AppConfigDialog::kIdDeleteLog);
        QCOMPARE(messages.texts, QStringList{QStringLiteral("ログファイルを削除します")});
        QVERIFY(fs::exists(log));
        Click(&dialog, AppConfigDialog::kIdDeleteLog);
        QVERIFY(!fs::exists(log));
        dialog.reject();
    });
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

QTEST_MAIN(AppConfigDialogTest)
#include "AppConfigDialogTest.moc"
