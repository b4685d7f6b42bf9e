#pragma once
// The application settings dialog: logging, the close box, the JPEG quality, the start-up delay,
// the autostart entry and the log file. The main window keeps one object for its whole life;
// it edits the live AppSettings record it is given (the record must outlive the dialog).
//
// Open it with exec(). OK takes the check boxes and the seconds (0 to 180) over; Cancel keeps
// them. The JPEG quality is taken over whenever the slider is released after a mouse click or
// drag, so it survives Cancel. The dialog writes nothing to setup.ini.

#include "base/Settings.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSlider;
class UpDownControl;

class AppConfigDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdOpenLog = 1000;        // "ログファイルを開く"
    static constexpr int kIdDeleteLog = 1001;      // "ログファイルを削除"
    static constexpr int kIdCreateShortcut = 1002; // "ショートカット作成"
    static constexpr int kIdDeleteShortcut = 1003; // "ショートカット削除"
    static constexpr int kIdLogFile = 1024;     // check box "ログをファイルに出力する"
    static constexpr int kIdCloseCancel = 1025; // check box "閉じるボタンで…"
    static constexpr int kIdStartupSeconds = 1039; // read-only edit
    static constexpr int kIdStartupSpin = 1040;    // its spin control
    static constexpr int kIdJpegQuality = 1052;    // slider 0..100
    static constexpr int kIdStartupDialog = 1054;  // check box "起動までの秒数を…"

    explicit AppConfigDialog(AppSettings& settings, QWidget* parent = nullptr);

    AppSettings& Settings() { return m_settings; }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowFields();
    void CreateShortcut();
    void DeleteShortcut();
    void OpenLogFile();
    void DeleteLogFile();

    AppSettings& m_settings;
    QCheckBox* m_logFile = nullptr;
    QCheckBox* m_closeCancel = nullptr;
    QCheckBox* m_startupDialog = nullptr;
    QLineEdit* m_startupSeconds = nullptr;
    UpDownControl* m_startupSpin = nullptr;
    QSlider* m_jpegQuality = nullptr;
};
