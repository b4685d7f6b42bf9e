// The window and every dialog in both languages: under a Japanese locale the texts as written,
// under any other the English translation, with no Japanese left on any widget.

#include "app/service/ConnectionTest.h"
#include "app/report/FaultNotices.h"
#include "app/settings/PasswordCipher.h"
#include "app/report/ScreenText.h"
#include "app/settings/SettingsCommands.h"
#include "app/report/UiLanguage.h"
#include "capture/CaptureDevices.h"
#include "dialogs/AppConfigDialog.h"
#include "dialogs/DeviceSelectDialog.h"
#include "dialogs/DeviceSettingsDialog.h"
#include "dialogs/MailSetupDialog.h"
#include "dialogs/SnapShotDialog.h"
#include "dialogs/SnapShotMailDialog.h"
#include "dialogs/TimeTextSetupDialog.h"
#include "dialogs/TimerDialog.h"
#include "mail/net/MailError.h"
#include "mail/text/TextCodec.h"
#include "tests/support/TempDir.h"
#include "window/AboutDialog.h"
#include "window/MainWindow.h"
#include "window/TrayIcon.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>
#include <cerrno>
#include <functional>
#include <memory>
#include <sstream>

// Makes one window, dialog or menu to look at.
using WidgetMaker = std::function<QWidget*()>;
Q_DECLARE_METATYPE(WidgetMaker)

namespace {

LocaleEnvironment Locale(const char* lang) {
    return {"", "", "", lang};
}

std::string UseLocale(const char* lang) {
    return InstallUiTranslation(Locale(lang), {QStringLiteral(KM_TRANSLATIONS_DIR)});
}

bool HasJapanese(const QString& text) {
    static const QRegularExpression japanese(
        QStringLiteral("[\\x{3000}-\\x{30ff}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return text.contains(japanese);
}

// Every text a user can read on the widget and its children, with where it was found.
QStringList VisibleTexts(QWidget* root) {
    QStringList texts;
    auto add = [&](const QObject* where, const QString& text) {
        if (!text.isEmpty())
            texts << QStringLiteral("%1 \"%2\"").arg(where->metaObject()->className(), text);
    };
    auto addMenu = [&](const QMenu* menu) {
        add(menu, menu->title());
        for (const QAction* action : menu->actions())
            add(menu, action->text());
    };
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        add(w, w->windowTitle());
        add(w, w->toolTip());
        if (auto* label = qobject_cast<QLabel*>(w))
            add(w, label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            add(w, button->text());
        if (auto* group = qobject_cast<QGroupBox*>(w))
            add(w, group->title());
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            add(w, edit->placeholderText());
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                add(w, combo->itemText(i));
        if (auto* table = qobject_cast<QTableWidget*>(w))
            for (int i = 0; i < table->columnCount(); ++i)
                if (const QTableWidgetItem* header = table->horizontalHeaderItem(i))
                    add(w, header->text());
        if (auto* menu = qobject_cast<QMenu*>(w))
            addMenu(menu);
    }
    // The tray's menu is no child widget: the tray icon owns it.
    for (CTrayIcon* tray : root->findChildren<CTrayIcon*>())
        addMenu(tray->PrepareMenu());
    return texts;
}

// Buttons, check boxes and one-line labels narrower than their text needs: the longer English
// texts must fit the layouts.
QStringList ClippedTexts(QWidget* root) {
    QStringList clipped;
    auto check = [&](const QString& text, int width, int needed) {
        if (width < needed)
            clipped << QStringLiteral("\"%1\" (%2 < %3)").arg(text).arg(width).arg(needed);
    };
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty())
            check(button->text(), w->width(), w->sizeHint().width());
        if (auto* label = qobject_cast<QLabel*>(w);
            label && !label->wordWrap() && !label->text().isEmpty())
            check(label->text(), w->width(), w->sizeHint().width());
        if (auto* group = qobject_cast<QGroupBox*>(w))
            check(group->title(), w->width(), w->fontMetrics().horizontalAdvance(group->title()));
    }
    return clipped;
}

QStringList MenuTitles(MainWindow& window) {
    QStringList titles;
    for (const QAction* action : window.menuBar()->actions())
        titles << action->text();
    return titles;
}

class NoLog final : public IServiceLog {
public:
    void AddLog(const std::string&) override {}
    void WriteLogFile(const std::string&) override {}
};

class LastMessage final : public IMessageSink {
public:
    void ShowMessage(const std::string& text) override { shown = text; }
    std::string shown;
};

// What the core hands to the screen, made by the core itself: every cause of a mail error
// (with and without a system reason), a connection test's outcome, the error state with
// every area, a password too long.
QStringList CoreScreenTexts() {
    QStringList texts;
    for (int code = int(MailErrorCode::InvalidArgument); code <= int(MailErrorCode::ProtocolError);
         ++code) {
        for (int systemError :
             {0, ENOSPC, EDQUOT, EACCES, EROFS, EISDIR, ENOTDIR, ENOENT, ENAMETOOLONG, EMFILE,
              ENOMEM, EIO, ENETUNREACH, EHOSTUNREACH, ECONNRESET, EPIPE, ETIMEDOUT})
            texts << QString::fromStdString(
                DescribeMailError({MailErrorCode(code), systemError, "detail"}));
    }
    MailSettings badPort;
    badPort.smtpPort = 0;
    texts << QString::fromStdString(TestSmtpConnection(badPort, nullptr).message);
    NoLog log;
    CFaultNotices notices(log);
    for (auto area :
         {CFaultNotices::Area::Pop3, CFaultNotices::Area::Smtp, CFaultNotices::Area::Picture,
          CFaultNotices::Area::Settings, CFaultNotices::Area::Imap, CFaultNotices::Area::Judged,
          CFaultNotices::Area::Dns})
        notices.Fail(area, "cause", "line");
    texts << QString::fromStdString(notices.State());
    LastMessage sink;
    EncipherPassword(std::string(1000, 'x'), sink);
    texts << QString::fromStdString(sink.shown);
    return texts;
}

class InterfaceLanguageTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { UseLocale("ja_JP.UTF-8"); }

    void windowAndDialogFollowTheLocale_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QString>("mailDialogTitle");
        QTest::addColumn<QString>("smtpGroup");
        const QStringList japanese = {QStringLiteral("ファイル(&F)"),
                                      QStringLiteral("各種設定(&S)"),
                                      QStringLiteral("入力機器(&D)"), QStringLiteral("ヘルプ(&H)")};
        const QStringList english = {QStringLiteral("&File"), QStringLiteral("&Settings"),
                                     QStringLiteral("&Device"), QStringLiteral("&Help")};
        QTest::newRow("ja_JP") << "ja_JP.UTF-8" << japanese
                               << QStringLiteral("Kestrova - メール設定")
                               << QStringLiteral("SMTP設定");
        QTest::newRow("en_US") << "en_US.UTF-8" << english
                               << QStringLiteral("Kestrova - Mail Settings")
                               << QStringLiteral("SMTP");
        QTest::newRow("de_DE") << "de_DE.UTF-8" << english
                               << QStringLiteral("Kestrova - Mail Settings")
                               << QStringLiteral("SMTP");
    }
    void windowAndDialogFollowTheLocale() {
        QFETCH(QString, lang);
        QFETCH(QStringList, menus);
        QFETCH(QString, mailDialogTitle);
        QFETCH(QString, smtpGroup);
        UseLocale(lang.toUtf8().constData());

        TempDir home;
        MainWindow::Options options;
        options.folder = home.folder();
        options.teardownPauseMs = 0;
        MainWindow window(options);
        QCOMPARE(MenuTitles(window), menus);

        MailSettings mail;
        CMailSetupDialog dialog(mail);
        QCOMPARE(dialog.windowTitle(), mailDialogTitle);
        QStringList groups;
        for (const QGroupBox* group : dialog.findChildren<QGroupBox*>())
            groups << group->title();
        QVERIFY2(groups.contains(smtpGroup), qPrintable(groups.join(u',')));
    }

    void coreTextsShownInTheUsersLanguage() {
        const QStringList texts = CoreScreenTexts();
        UseLocale("ja_JP.UTF-8");
        for (const QString& text : texts)
            QCOMPARE(ScreenText(text), text);
        UseLocale("en_US.UTF-8");
        for (const QString& text : texts)
            QVERIFY2(!HasJapanese(ScreenText(text)), qPrintable(text + " -> " + ScreenText(text)));
        QCOMPARE(
            ScreenText(QStringLiteral(
                "SMTPサーバの接続に失敗しました。\n理由: ログインが拒否されました (535 no)")),
            QStringLiteral(
                "Could not connect to the SMTP server.\nReason: the log-in was refused (535 no)"));
    }

    // Place markers are filled in one pass: an argument's own "%2" is not a marker.
    void placeMarkersFilledOnce() {
        QCOMPARE(TranslatedText("x", "%1 / %2 / %3", {"a%2F", "b"}), std::string("a%2F / b / %3"));
        QCOMPARE(TranslatedText("x", "100%"), std::string("100%"));
    }

    // The log view shows the log's lines in the user's language; log.txt keeps the Japanese.
    void logViewInTheUsersLanguage_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        const QString failure = QStringLiteral(
            "ERROR : POP3サーバ pop.example.com:995 に接続できません: 接続が拒否されました");
        const QString notice = QStringLiteral("POP3サーバに再び接続できました");
        QTest::newRow("failure, Japanese") << "ja_JP.UTF-8" << failure << failure;
        QTest::newRow("failure, English")
            << "en_US.UTF-8" << failure
            << "ERROR: POP3 server pop.example.com:995: cannot connect: connection refused";
        QTest::newRow("notice, English")
            << "en_US.UTF-8" << notice << "Connected to the POP3 server again";
    }

    void logViewInTheUsersLanguage() {
        QFETCH(QString, lang);
        QFETCH(QString, line);
        QFETCH(QString, shown);
        UseLocale(lang.toUtf8().constData());
        TempDir home;
        MainWindow::Options options;
        options.folder = home.folder();
        options.teardownPauseMs = 0;
        MainWindow window(options);
        window.settings().app.logFile = true;
        window.log().AddLog(line.toStdString());
        const QString view = window.logView()->toPlainText();
        QVERIFY2(view.endsWith(QStringLiteral(" - ") + shown + u'\n'), qPrintable(view));
        const std::string file = TempDir::ReadFile(home.path() / "log.txt");
        QVERIFY(file.find(text::Utf8ToSjis(" - " + line.toStdString() + "\r\n")) !=
                std::string::npos);
    }

    // The settings commands speak the user's language too.
    void settingsCommandsInTheUsersLanguage_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("message");
        QTest::newRow("Japanese")
            << "ja_JP.UTF-8"
            << "kestrovamail: APPLICATION.JPEG_QUALITY は0から100までの整数です。"
               "何も変えていません\n";
        QTest::newRow("English") << "en_US.UTF-8"
                                 << "kestrovamail: APPLICATION.JPEG_QUALITY takes a whole number "
                                    "from 0 to 100; nothing was changed\n";
    }

    void settingsCommandsInTheUsersLanguage() {
        QFETCH(QString, lang);
        QFETCH(QString, message);
        UseLocale(lang.toUtf8().constData());
        TempDir home;
        std::ostringstream err;
        QCOMPARE(settingscli::SetSettings(home.folder(), {"APPLICATION.JPEG_QUALITY=500"}, err),
                 settingscli::kRefused);
        QCOMPARE(QString::fromStdString(err.str()), message);
    }

    void noJapaneseLeftInEnglish_data() {
        QTest::addColumn<WidgetMaker>("make");
        static TempDir home;
        static MailSettings mail;
        static AppSettings app;
        static TimeTextSettings timeText;
        static const DeviceSetup device{"Camera", {{640, 480}, {320, 240}}, nullptr};
        QTest::newRow("main window") << WidgetMaker([] {
            MainWindow::Options options;
            options.folder = home.folder();
            options.teardownPauseMs = 0;
            return new MainWindow(options);
        });
        QTest::newRow("application settings") << WidgetMaker([] { return new AppConfigDialog(app); });
        QTest::newRow("mail settings") << WidgetMaker([] { return new CMailSetupDialog(mail); });
        QTest::newRow("time stamp settings")
            << WidgetMaker([] { return new CTimeTextSetupDialog(timeText); });
        QTest::newRow("start timer") << WidgetMaker([] { return new CTimerDialog(5); });
        QTest::newRow("device select") << WidgetMaker([] {
            auto* dialog = new CDeviceSelectDialog;
            dialog->AddDeviceName(kTestPatternName); // a name the program gives, shown translated
            dialog->AddDeviceName("USB Camera");
            return dialog;
        });
        QTest::newRow("device settings") << WidgetMaker([] {
            static FrameSize size{640, 480};
            return new CDeviceSettingsDialog(device, &size);
        });
        QTest::newRow("device properties")
            << WidgetMaker([] { return new CDeviceSettingsDialog(device, nullptr); });
        QTest::newRow("snapshot") << WidgetMaker(
            [] { return new CSnapShotDialog(Snapshot{"20240131090507", {}, {}, {}}, mail); });
        QTest::newRow("snapshot mail")
            << WidgetMaker([] { return new CSnapMailDialog(Snapshot{"20240131090507", {}, {}, {}}, mail); });
        QTest::newRow("about") << WidgetMaker([] { return new AboutDialog; });
        QTest::newRow("tray menu") << WidgetMaker([] {
            auto* holder = new QWidget;
            new CTrayIcon({[] { return false; }, [] { return true; }, [] {}, [] {}, [] {}}, holder);
            return holder;
        });
    }
    void noJapaneseLeftInEnglish() {
        QFETCH(WidgetMaker, make);
        QCOMPARE(UseLocale("en_US.UTF-8"), std::string("en"));
        TempDir home;
        home.UseAsProgramFolder();
        std::unique_ptr<QWidget> widget(make());
        widget->show(); // some lists fill when shown
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        const QStringList texts = VisibleTexts(widget.get());
        QVERIFY(!texts.isEmpty());
        QStringList japanese;
        for (const QString& text : texts)
            if (HasJapanese(text))
                japanese << text;
        QVERIFY2(japanese.isEmpty(), qPrintable(japanese.join(u'\n')));

        if (const QByteArray folder = qgetenv("KM_SCREENSHOT_DIR"); !folder.isEmpty())
            widget->grab().save(QStringLiteral("%1/%2.png")
                                    .arg(QString::fromLocal8Bit(folder), QTest::currentDataTag()));
        const QStringList clipped = ClippedTexts(widget.get());
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u'\n')));
    }
};

} // namespace

QTEST_MAIN(InterfaceLanguageTest)
#include "InterfaceLanguageTest.moc"
