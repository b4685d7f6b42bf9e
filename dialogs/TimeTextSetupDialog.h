#pragma once
// The date/time stamp settings dialog. The main window keeps one object for its whole life; it
// edits the live TimeTextSettings record it is given (the record must outlive the dialog).
//
// Open it with exec(). The controls work on copies; only an OK whose checks all pass stores
// them (colours included) into the record. Cancel, Escape, the close box and a refused OK
// change nothing.

#include "base/Settings.h"

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class UpDownControl;

class CTimeTextSetupDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdTextColorButton = 1000;   // "変更" beside "文字色"
    static constexpr int kIdShadowColorButton = 1001; // "変更" beside "影の色"
    static constexpr int kIdTextX = 1003;
    static constexpr int kIdTextY = 1004;
    static constexpr int kIdShadowX = 1005;
    static constexpr int kIdShadowY = 1006;
    static constexpr int kIdFormat = 1039;
    static constexpr int kIdTextXSpin = 1040;
    static constexpr int kIdShowText = 1041;
    static constexpr int kIdTextYSpin = 1042;
    static constexpr int kIdFontSize = 1043;
    static constexpr int kIdFontName = 1044;
    static constexpr int kIdFontSizeSpin = 1045;
    static constexpr int kIdShowShadow = 1046;
    static constexpr int kIdShadowXSpin = 1047;
    static constexpr int kIdShadowYSpin = 1048;
    static constexpr int kIdTextColorSample = 1049;
    static constexpr int kIdShadowColorSample = 1050;
    static constexpr int kIdBold = 1051;
    static constexpr int kIdItalic = 1052;

    explicit CTimeTextSetupDialog(TimeTextSettings& settings, QWidget* parent = nullptr);

    TimeTextSettings& Settings() { return m_settings; }

    // The fonts offered for the stamp: scalable families with a Japanese or Latin writing
    // system, sorted byte-wise, each name once.
    static std::vector<std::string> FontNames();

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowFields();
    void ChooseColor(uint32_t& color, QFrame* sample);
    static void PaintSample(QFrame* sample, uint32_t color);

    TimeTextSettings& m_settings;
    uint32_t m_textColor = 0; // working copies of the colours
    uint32_t m_shadowColor = 0;

    QCheckBox* m_showText = nullptr;
    QLineEdit* m_textX = nullptr;
    QLineEdit* m_textY = nullptr;
    UpDownControl* m_textXSpin = nullptr;
    UpDownControl* m_textYSpin = nullptr;
    QLineEdit* m_format = nullptr;
    QComboBox* m_fontName = nullptr;
    QLineEdit* m_fontSize = nullptr;
    UpDownControl* m_fontSizeSpin = nullptr;
    QCheckBox* m_bold = nullptr;
    QCheckBox* m_italic = nullptr;
    QFrame* m_textColorSample = nullptr;
    QCheckBox* m_showShadow = nullptr;
    QFrame* m_shadowColorSample = nullptr;
    QLineEdit* m_shadowX = nullptr;
    QLineEdit* m_shadowY = nullptr;
    UpDownControl* m_shadowXSpin = nullptr;
    UpDownControl* m_shadowYSpin = nullptr;
};
