#pragma once
// Reading numbers from edit fields when a dialog takes over its controls, with the messages the
// user sees when a field does not hold what it should. A refused field gets the focus back.

#include <QString>
#include <cstdint>
#include <optional>

class QLineEdit;
class QWidget;

inline const QString kMsgEnterInteger = QStringLiteral("Please enter an integer.");
inline const QString kMsgEnterPositiveInteger = QStringLiteral("Please enter a positive integer.");
// "Please enter an integer between %1 and %2." with the bounds filled in.
QString RangeMessage(int64_t low, int64_t high);

// A decimal number with an optional minus sign, blanks around it allowed, nothing else; it must
// fit into 32 bits.
std::optional<int32_t> ParseSignedField(const QString& text);
// Decimal digits only (no sign), blanks around them allowed; at most 4294967295.
std::optional<uint32_t> ParseUnsignedField(const QString& text);

// Refuses what edit holds: the message box (parent owns it), then the focus and the selection
// back on the field. Every field check ends this way.
void RefuseField(QWidget* parent, QLineEdit* edit, const QString& message);

// Read edit as a signed or unsigned number and, when given, check it lies in [low, high].
// On failure the matching message box is shown (parent owns it), the focus goes back to edit
// and nullopt is returned.
struct FieldRange {
    int64_t low;
    int64_t high;
};
std::optional<int32_t> ReadSignedField(QWidget* parent, QLineEdit* edit,
                                       std::optional<FieldRange> range = std::nullopt);
// The range a setting's row gives ("TIMETEXT.FONT_SIZE"), for its field and spin control.
FieldRange SettingRange(const char* name);
std::optional<int32_t> ReadUnsignedField(QWidget* parent, QLineEdit* edit, FieldRange range);
