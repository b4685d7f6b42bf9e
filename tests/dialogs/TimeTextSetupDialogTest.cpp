// The date/time stamp dialog: field checks with their messages, nothing stored on Cancel or
// after a refused OK, the colour choosers and the font list.

#include "dialogs/TimeTextSetupDialog.h"

#include "tests/dialogs/DialogTestSupport.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using Dlg = CTimeTextSetupDialog;

class TimeTextSetupDialogTest : public QObject {
    Q_OBJECT
private slots:
    void okStoresEveryField();
    void refusedFields_data();
    void refusedFields();
    void fontSizeZeroFromTheSpinIsRefused();
    void refusedOkThenCancelChangesNothing();
    void colourChosenThenCancelKeepsTheOldColour();
    void fontListAndPrefixSelection();
    void unknownOrTypedFontKeepsTheStoredName();
    void helpTextShowsBothWeekdayTokens();
};

namespace {

// Answers the colour chooser that the next click opens with colour.
void AnswerColorChooser(const QColor& colour, bool accept) {
    QTimer::singleShot(0, [colour, accept] {
        auto* chooser = ActiveModal<QColorDialog>();
        QVERIFY(chooser);
        QCOMPARE(chooser->currentColor(), QColor(Qt::black)); // always starts at black
        chooser->setCurrentColor(colour);
        if (accept)
            chooser->accept();
        else
            chooser->reject();
    });
}

bool SameSettings(const TimeTextSettings& a, const TimeTextSettings& b) {
    return a.showText == b.showText && a.textXPos == b.textXPos && a.textYPos == b.textYPos &&
           a.fontSize == b.fontSize && a.showShadow == b.showShadow &&
           a.shadowXPos == b.shadowXPos && a.shadowYPos == b.shadowYPos &&
           a.timeFormat == b.timeFormat && a.textColor == b.textColor &&
           a.shadowColor == b.shadowColor && a.fontName == b.fontName && a.fontBold == b.fontBold &&
           a.fontItalic == b.fontItalic;
}

} // namespace

void TimeTextSetupDialogTest::okStoresEveryField() {
    TimeTextSettings settings;
    Dlg dialog(settings);
    const int result = ExecWith(dialog, [&] {
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdFormat)->text(),
                 QStringLiteral("%Y/%M/%D(%W) %h:%m:%s"));
        Toggle(&dialog, Dlg::kIdShowText);
        Retype(&dialog, Dlg::kIdTextX, QStringLiteral("10000"));
        Retype(&dialog, Dlg::kIdTextY, QStringLiteral(" 25 "));
        Retype(&dialog, Dlg::kIdFontSize, QStringLiteral("1000"));
        Toggle(&dialog, Dlg::kIdShowShadow);
        Retype(&dialog, Dlg::kIdShadowX, QStringLiteral("-1000"));
        auto* shadowY = Control<QLineEdit>(&dialog, Dlg::kIdShadowY);
        shadowY->setFocus();
        QTest::keyClick(shadowY, Qt::Key_Down); // 2 -> 1 with the arrow key
        Retype(&dialog, Dlg::kIdFormat, QStringLiteral("%h時%m分"));
        Toggle(&dialog, Dlg::kIdBold);
        Toggle(&dialog, Dlg::kIdItalic);
        AnswerColorChooser(QColor(0x11, 0x22, 0x33), true);
        Click(&dialog, Dlg::kIdShadowColorButton);
        AnswerColorChooser(QColor(255, 0, 0), true);
        QTest::mouseDClick(Control<QFrame>(&dialog, Dlg::kIdTextColorSample), Qt::LeftButton);
        QCOMPARE(
            Control<QFrame>(&dialog, Dlg::kIdTextColorSample)->palette().color(QPalette::Window),
            QColor(255, 0, 0));
        Click(&dialog, kIdOk);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(settings.showText);
    QCOMPARE(settings.textXPos, 10000);
    QCOMPARE(settings.textYPos, 25);
    QCOMPARE(settings.fontSize, 1000);
    QVERIFY(settings.showShadow);
    QCOMPARE(settings.shadowXPos, -1000);
    QCOMPARE(settings.shadowYPos, 1);
    QCOMPARE(settings.timeFormat, std::string("%h時%m分"));
    QVERIFY(settings.fontBold);
    QVERIFY(settings.fontItalic);
    QCOMPARE(settings.textColor, 0x0000FFu); // 0x00BBGGRR: red
    QCOMPARE(settings.shadowColor, 0x332211u);
    QCOMPARE(settings.fontName, std::string("ＭＳ ゴシック")); // not installed: kept
}

void TimeTextSetupDialogTest::refusedFields_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString positive = QStringLiteral("Please enter a positive integer.");
    const QString integer = QStringLiteral("Please enter an integer.");
    QTest::newRow("text x abc") << Dlg::kIdTextX << "abc" << positive;
    QTest::newRow("text x negative") << Dlg::kIdTextX << "-1" << positive;
    QTest::newRow("text x empty") << Dlg::kIdTextX << "" << positive;
    QTest::newRow("text x too big") << Dlg::kIdTextX << "10001"
                                    << "Please enter an integer between 0 and 10000.";
    QTest::newRow("text y huge") << Dlg::kIdTextY << "99999999999" << positive;
    QTest::newRow("font size 1001") << Dlg::kIdFontSize << "1001"
                                    << "Please enter an integer between 1 and 1000.";
    QTest::newRow("shadow x abc") << Dlg::kIdShadowX << "abc" << integer;
    QTest::newRow("shadow x 1001") << Dlg::kIdShadowX << "1001"
                                   << "Please enter an integer between -1000 and 1000.";
    QTest::newRow("shadow y -1001") << Dlg::kIdShadowY << "-1001"
                                    << "Please enter an integer between -1000 and 1000.";
    QTest::newRow("shadow y 2x") << Dlg::kIdShadowY << "2x" << integer;
}

void TimeTextSetupDialogTest::refusedFields() {
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    TimeTextSettings settings;
    const TimeTextSettings before = settings;
    Dlg dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        Retype(&dialog, Dlg::kIdFormat, QStringLiteral("changed"));
        Retype(&dialog, field, text);
        Click(&dialog, kIdOk);
        QVERIFY(dialog.isVisible());
        QCOMPARE(messages.texts, QStringList{message});
        QCOMPARE(messages.kinds.front(), MessageKind::Exclamation);
        QCOMPARE(dialog.focusWidget(), Control<QLineEdit>(&dialog, field));
        QVERIFY(SameSettings(settings, before));
        dialog.reject();
    });
    QVERIFY(SameSettings(settings, before));
}

void TimeTextSetupDialogTest::fontSizeZeroFromTheSpinIsRefused() {
    TimeTextSettings settings;
    settings.fontSize = 1;
    Dlg dialog(settings);
    MessageRecorder messages;
    ExecWith(dialog, [&] {
        ClickArrow(&dialog, Dlg::kIdFontSizeSpin, "down");
        ClickArrow(&dialog, Dlg::kIdFontSizeSpin, "down");
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdFontSize)->text(), QStringLiteral("0"));
        Click(&dialog, kIdOk);
        QCOMPARE(messages.texts,
                 QStringList{QStringLiteral("Please enter an integer between 1 and 1000.")});
        QVERIFY(dialog.isVisible());
        dialog.reject();
    });
    QCOMPARE(settings.fontSize, 1);
}

void TimeTextSetupDialogTest::refusedOkThenCancelChangesNothing() {
    TimeTextSettings settings;
    settings.showText = true;
    Dlg dialog(settings);
    MessageRecorder messages;
    const int result = ExecWith(dialog, [&] {
        Toggle(&dialog, Dlg::kIdShowText);
        Retype(&dialog, Dlg::kIdTextX, QStringLiteral("abc"));
        Click(&dialog, kIdOk);
        QCOMPARE(messages.texts, QStringList{QStringLiteral("Please enter a positive integer.")});
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(settings.showText);
    QCOMPARE(settings.textXPos, 0);

    // Opening again shows the record, not what was typed before.
    ExecWith(dialog, [&] {
        QVERIFY(Control<QCheckBox>(&dialog, Dlg::kIdShowText)->isChecked());
        QCOMPARE(Control<QLineEdit>(&dialog, Dlg::kIdTextX)->text(), QStringLiteral("0"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
}

void TimeTextSetupDialogTest::colourChosenThenCancelKeepsTheOldColour() {
    TimeTextSettings settings;
    Dlg dialog(settings);
    ExecWith(dialog, [&] {
        AnswerColorChooser(QColor(0, 0, 255), true);
        Click(&dialog, Dlg::kIdTextColorButton);
        AnswerColorChooser(QColor(0, 255, 0), false); // cancelled chooser: no change
        QTest::mouseDClick(Control<QFrame>(&dialog, Dlg::kIdShadowColorSample), Qt::LeftButton);
        QCOMPARE(
            Control<QFrame>(&dialog, Dlg::kIdShadowColorSample)->palette().color(QPalette::Window),
            QColor(Qt::black));
        Click(&dialog, kIdCancel);
    });
    QCOMPARE(settings.textColor, 0xFFFFFFu);
    QCOMPARE(settings.shadowColor, 0u);
}

void TimeTextSetupDialogTest::fontListAndPrefixSelection() {
    const std::vector<std::string> names = Dlg::FontNames();
    QVERIFY(!names.empty());
    QVERIFY(std::is_sorted(names.begin(), names.end()));
    QVERIFY(std::adjacent_find(names.begin(), names.end()) == names.end());
    QVERIFY(std::find(names.begin(), names.end(), "IPAGothic") != names.end());

    TimeTextSettings settings;
    settings.fontName = "ipag"; // prefix, other letter case
    Dlg dialog(settings);
    ExecWith(dialog, [&] {
        auto* combo = Control<QComboBox>(&dialog, Dlg::kIdFontName);
        QCOMPARE(combo->count(), int(names.size()));
        QCOMPARE(combo->currentText(), QStringLiteral("IPAGothic"));
        Click(&dialog, kIdOk);
    });
    QCOMPARE(settings.fontName, std::string("IPAGothic"));

    // Choosing another entry from the list takes it.
    ExecWith(dialog, [&] {
        auto* combo = Control<QComboBox>(&dialog, Dlg::kIdFontName);
        combo->setCurrentIndex(combo->findText(QStringLiteral("IPAPGothic")));
        Click(&dialog, kIdOk);
    });
    QCOMPARE(settings.fontName, std::string("IPAPGothic"));
}

void TimeTextSetupDialogTest::unknownOrTypedFontKeepsTheStoredName() {
    TimeTextSettings settings;
    settings.fontName = "No Such Font Anywhere";
    Dlg dialog(settings);
    ExecWith(dialog, [&] {
        auto* combo = Control<QComboBox>(&dialog, Dlg::kIdFontName);
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->currentText(), QString());
        Click(&dialog, kIdOk);
    });
    QCOMPARE(settings.fontName, std::string("No Such Font Anywhere"));

    settings.fontName = "IPAGothic";
    ExecWith(dialog, [&] {
        auto* combo = Control<QComboBox>(&dialog, Dlg::kIdFontName);
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("Typed Font"));
        Click(&dialog, kIdOk);
    });
    QCOMPARE(settings.fontName, std::string("IPAGothic"));
}

void TimeTextSetupDialogTest::helpTextShowsBothWeekdayTokens() {
    TimeTextSettings settings;
    Dlg dialog(settings);
    QStringList labels;
    for (auto* label : dialog.findChildren<QLabel*>())
        labels << label->text();
    const QString all = labels.join(u'\n');
    QVERIFY(all.contains(QStringLiteral("%W=曜日(英語)")));
    QVERIFY(all.contains(QStringLiteral("%w=曜日(日本語)")));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("日時表示設定"));
}

QTEST_MAIN(TimeTextSetupDialogTest)
#include "TimeTextSetupDialogTest.moc"
