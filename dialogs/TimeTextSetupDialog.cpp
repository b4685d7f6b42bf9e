#include "dialogs/TimeTextSetupDialog.h"

#include "dialogs/DialogSupport.h"
#include "dialogs/FieldValidation.h"
#include "dialogs/UpDownControl.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QColor FromColorRef(uint32_t color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

uint32_t ToColorRef(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | static_cast<uint32_t>(color.green()) << 8 |
           static_cast<uint32_t>(color.blue()) << 16;
}

QLineEdit* MakeNumberEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    SetControlId(edit, id);
    edit->setFixedWidth(56);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

UpDownControl* MakeSpin(QWidget* parent, int id, QLineEdit* buddy, FieldRange range) {
    auto* spin = new UpDownControl(parent);
    SetControlId(spin, id);
    spin->SetBuddy(buddy);
    spin->SetRange(int(range.low), int(range.high));
    return spin;
}

// "横 [edit][spin]  縦 [edit][spin]"
QHBoxLayout* PositionRow(QWidget* parent, QLineEdit* x, UpDownControl* xSpin, QLineEdit* y,
                         UpDownControl* ySpin) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(CTimeTextSetupDialog::tr("横"), parent));
    row->addWidget(x);
    row->addWidget(xSpin);
    row->addSpacing(12);
    row->addWidget(new QLabel(CTimeTextSetupDialog::tr("縦"), parent));
    row->addWidget(y);
    row->addWidget(ySpin);
    row->addStretch();
    return row;
}

QFrame* MakeSample(QWidget* parent, int id) {
    auto* sample = new QFrame(parent);
    SetControlId(sample, id);
    sample->setFrameShape(QFrame::Panel);
    sample->setFrameShadow(QFrame::Sunken);
    sample->setFixedSize(48, 20);
    sample->setAutoFillBackground(true);
    return sample;
}

} // namespace

CTimeTextSetupDialog::CTimeTextSetupDialog(TimeTextSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(tr("日時表示設定"));
    ApplyDialogFont(this);

    m_showText = MakeCheck(this, kIdShowText, tr("キャプチャした画像に日時を表示する"));

    // 表示位置 of the text
    auto* positionGroup = new QGroupBox(tr("表示位置"), this);
    m_textX = MakeNumberEdit(positionGroup, kIdTextX);
    m_textXSpin = MakeSpin(positionGroup, kIdTextXSpin, m_textX, SettingRange("TIMETEXT.TEXT_XPOS"));
    m_textY = MakeNumberEdit(positionGroup, kIdTextY);
    m_textYSpin = MakeSpin(positionGroup, kIdTextYSpin, m_textY, SettingRange("TIMETEXT.TEXT_YPOS"));
    auto* positionLayout = new QVBoxLayout(positionGroup);
    positionLayout->addLayout(
        PositionRow(positionGroup, m_textX, m_textXSpin, m_textY, m_textYSpin));

    // 表示文字列
    auto* formatGroup = new QGroupBox(tr("表示文字列"), this);
    m_format = new QLineEdit(formatGroup);
    SetControlId(m_format, kIdFormat);
    auto* formatLayout = new QVBoxLayout(formatGroup);
    formatLayout->addWidget(m_format);
    formatLayout->addWidget(new QLabel(tr("%Y=年 %M=月 %D=日 %W=曜日(英語)\n"
                                          "%h=時 %m=分 %s=秒 %w=曜日(日本語)"),
                                       formatGroup));

    // フォント設定
    auto* fontGroup = new QGroupBox(tr("フォント設定"), this);
    m_fontName = new QComboBox(fontGroup);
    SetControlId(m_fontName, kIdFontName);
    m_fontName->setEditable(true);
    m_fontName->setInsertPolicy(QComboBox::NoInsert);
    m_fontName->setMinimumWidth(220);
    m_fontSize = MakeNumberEdit(fontGroup, kIdFontSize);
    m_fontSizeSpin = MakeSpin(fontGroup, kIdFontSizeSpin, m_fontSize, {0, SettingRange("TIMETEXT.FONT_SIZE").high});
    m_bold = MakeCheck(fontGroup, kIdBold, tr("太文字"));
    m_italic = MakeCheck(fontGroup, kIdItalic, tr("イタリック体"));
    m_textColorSample = MakeSample(fontGroup, kIdTextColorSample);
    auto* textColorButton = MakeButton(fontGroup, kIdTextColorButton, tr("変更"));
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(new QLabel(tr("サイズ"), fontGroup));
    sizeRow->addWidget(m_fontSize);
    sizeRow->addWidget(m_fontSizeSpin);
    sizeRow->addSpacing(12);
    sizeRow->addWidget(m_bold);
    sizeRow->addWidget(m_italic);
    sizeRow->addStretch();
    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(new QLabel(tr("文字色"), fontGroup));
    colorRow->addWidget(m_textColorSample);
    colorRow->addWidget(textColorButton);
    colorRow->addStretch();
    auto* fontLayout = new QVBoxLayout(fontGroup);
    fontLayout->addWidget(m_fontName);
    fontLayout->addLayout(sizeRow);
    fontLayout->addLayout(colorRow);

    // 影の表示設定
    auto* shadowGroup = new QGroupBox(tr("影の表示設定"), this);
    m_showShadow = MakeCheck(shadowGroup, kIdShowShadow, tr("影を表示する"));
    m_shadowColorSample = MakeSample(shadowGroup, kIdShadowColorSample);
    auto* shadowColorButton = MakeButton(shadowGroup, kIdShadowColorButton, tr("変更"));
    auto* shadowColorRow = new QHBoxLayout;
    shadowColorRow->addWidget(m_showShadow);
    shadowColorRow->addSpacing(12);
    shadowColorRow->addWidget(new QLabel(tr("影の色"), shadowGroup));
    shadowColorRow->addWidget(m_shadowColorSample);
    shadowColorRow->addWidget(shadowColorButton);
    shadowColorRow->addStretch();
    auto* shadowPositionGroup = new QGroupBox(tr("表示位置"), shadowGroup);
    m_shadowX = MakeNumberEdit(shadowPositionGroup, kIdShadowX);
    m_shadowXSpin =
        MakeSpin(shadowPositionGroup, kIdShadowXSpin, m_shadowX, SettingRange("TIMETEXT.SHADOW_XPOS"));
    m_shadowY = MakeNumberEdit(shadowPositionGroup, kIdShadowY);
    m_shadowYSpin =
        MakeSpin(shadowPositionGroup, kIdShadowYSpin, m_shadowY, SettingRange("TIMETEXT.SHADOW_YPOS"));
    auto* shadowPositionLayout = new QVBoxLayout(shadowPositionGroup);
    shadowPositionLayout->addLayout(
        PositionRow(shadowPositionGroup, m_shadowX, m_shadowXSpin, m_shadowY, m_shadowYSpin));
    auto* shadowLayout = new QVBoxLayout(shadowGroup);
    shadowLayout->addLayout(shadowColorRow);
    shadowLayout->addWidget(shadowPositionGroup);

    auto* buttons = MakeOkCancelRow(this);

    auto* right = new QVBoxLayout;
    right->addWidget(m_showText);
    right->addWidget(positionGroup);
    right->addWidget(formatGroup);
    right->addWidget(fontGroup);
    right->addWidget(shadowGroup);
    right->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(MakeBanner(this, 470), 0, Qt::AlignTop);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_textColorSample->installEventFilter(this);
    m_shadowColorSample->installEventFilter(this);
    connect(textColorButton, &QPushButton::clicked, this,
            [this] { ChooseColor(m_textColor, m_textColorSample); });
    connect(shadowColorButton, &QPushButton::clicked, this,
            [this] { ChooseColor(m_shadowColor, m_shadowColorSample); });
}

std::vector<std::string> CTimeTextSetupDialog::FontNames() {
    std::vector<std::string> names;
    for (const auto system : {QFontDatabase::Japanese, QFontDatabase::Latin}) {
        for (const QString& family : QFontDatabase::families(system)) {
            if (QFontDatabase::isScalable(family) && !QFontDatabase::isPrivateFamily(family))
                names.push_back(ToStd(family));
        }
    }
    std::sort(names.begin(), names.end()); // byte-wise on UTF-8 = code point order
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void CTimeTextSetupDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        ShowFields();
    QDialog::showEvent(event);
}

void CTimeTextSetupDialog::ShowFields() {
    m_textXSpin->SetPosition(m_settings.textXPos);
    m_textYSpin->SetPosition(m_settings.textYPos);
    m_shadowXSpin->SetPosition(m_settings.shadowXPos);
    m_shadowYSpin->SetPosition(m_settings.shadowYPos);
    m_fontSizeSpin->SetPosition(m_settings.fontSize);
    // The edits show the stored numbers even where they lie outside the spin ranges, so that
    // OK reports them instead of silently changing them.
    m_textX->setText(QString::number(m_settings.textXPos));
    m_textY->setText(QString::number(m_settings.textYPos));
    m_shadowX->setText(QString::number(m_settings.shadowXPos));
    m_shadowY->setText(QString::number(m_settings.shadowYPos));
    m_fontSize->setText(QString::number(m_settings.fontSize));

    m_fontName->clear();
    for (const std::string& name : FontNames())
        m_fontName->addItem(ToQt(name));
    const QString stored = ToQt(m_settings.fontName);
    // The first entry that begins with the stored name, in any letter case.
    const int match = stored.isEmpty() ? -1 : m_fontName->findText(stored, Qt::MatchStartsWith);
    m_fontName->setCurrentIndex(match);
    if (match < 0)
        m_fontName->setEditText(QString());

    m_textColor = m_settings.textColor;
    m_shadowColor = m_settings.shadowColor;
    PaintSample(m_textColorSample, m_textColor);
    PaintSample(m_shadowColorSample, m_shadowColor);

    m_showText->setChecked(m_settings.showText);
    m_showShadow->setChecked(m_settings.showShadow);
    m_bold->setChecked(m_settings.fontBold);
    m_italic->setChecked(m_settings.fontItalic);
    m_format->setText(ToQt(m_settings.timeFormat));
}

void CTimeTextSetupDialog::PaintSample(QFrame* sample, uint32_t color) {
    QPalette palette = sample->palette();
    palette.setColor(QPalette::Window, FromColorRef(color));
    sample->setPalette(palette);
    sample->update();
}

bool CTimeTextSetupDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == m_textColorSample) {
            ChooseColor(m_textColor, m_textColorSample);
            return true;
        }
        if (watched == m_shadowColorSample) {
            ChooseColor(m_shadowColor, m_shadowColorSample);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTimeTextSetupDialog::ChooseColor(uint32_t& color, QFrame* sample) {
    QColorDialog chooser(Qt::black, this); // starts at black, as it always has
    if (chooser.exec() != QDialog::Accepted)
        return;
    color = ToColorRef(chooser.selectedColor());
    PaintSample(sample, color);
}

void CTimeTextSetupDialog::accept() {
    TimeTextSettings result = m_settings;

    // A name typed into the edit part without choosing it from the list is ignored.
    const int selected = m_fontName->currentIndex();
    if (selected >= 0 && m_fontName->itemText(selected) == m_fontName->currentText())
        result.fontName = ToStd(m_fontName->itemText(selected));

    result.showText = m_showText->isChecked();
    const auto textX = ReadUnsignedField(this, m_textX, SettingRange("TIMETEXT.TEXT_XPOS"));
    if (!textX)
        return;
    const auto textY = ReadUnsignedField(this, m_textY, SettingRange("TIMETEXT.TEXT_YPOS"));
    if (!textY)
        return;
    const auto fontSize = ReadUnsignedField(this, m_fontSize, SettingRange("TIMETEXT.FONT_SIZE"));
    if (!fontSize)
        return;
    result.showShadow = m_showShadow->isChecked();
    const auto shadowX = ReadSignedField(this, m_shadowX, SettingRange("TIMETEXT.SHADOW_XPOS"));
    if (!shadowX)
        return;
    const auto shadowY = ReadSignedField(this, m_shadowY, SettingRange("TIMETEXT.SHADOW_YPOS"));
    if (!shadowY)
        return;
    result.textXPos = *textX;
    result.textYPos = *textY;
    result.fontSize = *fontSize;
    result.shadowXPos = *shadowX;
    result.shadowYPos = *shadowY;
    result.timeFormat = ToStd(m_format->text());
    result.fontBold = m_bold->isChecked();
    result.fontItalic = m_italic->isChecked();
    result.textColor = m_textColor;
    result.shadowColor = m_shadowColor;

    m_settings = result;
    QDialog::accept();
}
