// The start-up countdown: texts, hiding, and the two ways it ends.

#include "dialogs/TimerDialog.h"

#include "tests/dialogs/DialogTestSupport.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TimerDialogTest : public QObject {
    Q_OBJECT
private slots:
    void countsDownAndStartsAfterNPlusOneTicks();
    void zeroStartsAtTheFirstTick();
    void hiddenCountdownStillStarts();
    void dontStartCancels();
    void escapeCancelsAndStartNowStarts();
};

namespace {

QString CountText(int n) {
    return QStringLiteral("%1秒後にKestrovaMailを起動します").arg(n);
}

} // namespace

void TimerDialogTest::countsDownAndStartsAfterNPlusOneTicks() {
    const int tickMs = 40;
    CTimerDialog dialog(3);
    dialog.SetTickInterval(tickMs);
    auto* text = Control<QLineEdit>(&dialog, CTimerDialog::kIdCountdown);
    QVERIFY(text);
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    QStringList shown;
    connect(text, &QLineEdit::textChanged, this, [&](const QString& t) {
        if (!t.isEmpty())
            shown << t;
    });
    QString textAtStart = QStringLiteral("unset");
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer::singleShot(0, &dialog, [&] { textAtStart = text->text(); });
    const int result = dialog.exec();
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(textAtStart, QString()); // empty until the first tick
    QCOMPARE(shown, (QStringList{CountText(3), CountText(2), CountText(1)}));
    QVERIFY(elapsed.elapsed() >= 4 * tickMs - 10); // ends on the tick after the one showing 1
    QVERIFY(!dialog.isVisible());
}

void TimerDialogTest::zeroStartsAtTheFirstTick() {
    CTimerDialog dialog(0);
    dialog.SetTickInterval(10);
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(Control<QLineEdit>(&dialog, CTimerDialog::kIdCountdown)->text(), QString());
}

void TimerDialogTest::hiddenCountdownStillStarts() {
    CTimerDialog dialog(4);
    dialog.SetTickInterval(40);
    auto* text = Control<QLineEdit>(&dialog, CTimerDialog::kIdCountdown);
    bool hiddenWhileCounting = false;
    connect(text, &QLineEdit::textChanged, this, [&](const QString& t) {
        if (t == CountText(3)) // the second tick
            Click(&dialog, CTimerDialog::kIdHide);
        if (t == CountText(2))
            hiddenWhileCounting = !dialog.isVisible();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(hiddenWhileCounting);
    QCOMPARE(dialog.SecondsLeft(), 0);
}

void TimerDialogTest::dontStartCancels() {
    CTimerDialog dialog(100); // the default one-second tick: the count cannot run out here
    const int result = ExecWith(dialog, [&] {
        auto* button = Control<QPushButton>(&dialog, CTimerDialog::kIdDontStart);
        QCOMPARE(button->text(), QStringLiteral("起動しない"));
        QTest::mouseClick(button, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("KestrovaMail - 起動タイマー"));
}

void TimerDialogTest::escapeCancelsAndStartNowStarts() {
    CTimerDialog dialog(100);
    const int result = ExecWith(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QCOMPARE(result, int(QDialog::Rejected));

    CTimerDialog startNow(100);
    const int now = ExecWith(startNow, [&] { Click(&startNow, CTimerDialog::kIdStartNow); });
    QCOMPARE(now, int(QDialog::Accepted));

    CTimerDialog closeBox(100);
    const int closed = ExecWith(closeBox, [&] { closeBox.close(); });
    QCOMPARE(closed, int(QDialog::Rejected));
}

QTEST_MAIN(TimerDialogTest)
#include "TimerDialogTest.moc"
