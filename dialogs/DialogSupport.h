#pragma once
// Small helpers every dialog uses: control ids as object names, the dialog font, the banner
// bitmap on the left edge, and UTF-8 conversion between the records and the widgets.

#include <QString>
#include <string>

class QCheckBox;
class QDialog;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableWidget;
class QWidget;

// Button ids shared by every dialog.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// The object name under which a control with the given id can be found: "id1010".
QString ControlName(int id);
// Gives w the object name of control id.
void SetControlId(QWidget* w, int id);

// Japanese texts are drawn with IPAGothic (the stand-in for the Windows dialog fonts).
void ApplyDialogFont(QWidget* dialog);

// The decorative banner for the left edge of a settings dialog, scaled to the given height.
QLabel* MakeBanner(QWidget* parent, int height);

// A push button with the given control id that does not become the default button.
QPushButton* MakeButton(QWidget* parent, int id, const QString& text);
// A check box with the given control id.
QCheckBox* MakeCheck(QWidget* parent, int id, const QString& text);
// The row of "OK" (the default button, id 1) and "キャンセル" (id 2) at the bottom right of a
// settings dialog, connected to accept and reject.
QHBoxLayout* MakeOkCancelRow(QDialog* dialog);
// The one-column list of mail addresses: rows selected whole, several at once, not editable.
QTableWidget* MakeAddressList(QWidget* parent, int id, const QString& header, int columnWidth);

inline QString ToQt(const std::string& utf8) {
    return QString::fromStdString(utf8);
}
inline std::string ToStd(const QString& text) {
    return text.toStdString();
}
