#pragma once
// The start-up countdown shown before the main window when the program was started with
// "startup" (from the autostart entry) and a delay with its dialog is configured.
//
// exec() returns QDialog::Accepted when the program should start (the count ran out, or
// "今すぐ起動") and QDialog::Rejected for "起動しない", Escape or the close box. "非表示" hides
// the window while the count goes on; the dialog still ends with Accepted when it runs out.

#include <QDialog>
#include <QTimer>
#include <cstdint>

class QEventLoop;
class QLineEdit;

class CTimerDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdCountdown = 1003; // read-only, centred edit
    static constexpr int kIdStartNow = 1;     // "今すぐ起動" (default button)
    static constexpr int kIdHide = 1000;      // "非表示"
    static constexpr int kIdDontStart = 2;    // "起動しない"
    static constexpr int kTimerId = 1;
    static constexpr int kTickMs = 1000;

    explicit CTimerDialog(int seconds, QWidget* parent = nullptr);

    // Tests shorten the tick; the program always counts in seconds.
    void SetTickInterval(int ms) { m_tick.setInterval(ms); }
    int SecondsLeft() const { return m_secondsLeft; }

    // Runs the countdown modally. Unlike QDialog::exec, hiding the window ("非表示") does not
    // end it.
    int exec() override;
    void done(int result) override;

private:
    void OnTick();

    int32_t m_secondsLeft;
    QLineEdit* m_countdown = nullptr;
    QTimer m_tick;
    QEventLoop* m_loop = nullptr;
};
