#include "dialogs/FieldValidation.h"

#include "app/settings/SettingsTable.h"
#include "dialogs/MessageBoxes.h"

#include <QLineEdit>
#include <limits>

namespace {

// Strips blanks and tabs at both ends, as the field reader of the old dialogs did.
QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

// Digits only, at least one; the value, or nullopt when it exceeds limit.
std::optional<uint64_t> ParseDigits(const QString& digits, uint64_t limit) {
    if (digits.isEmpty())
        return std::nullopt;
    uint64_t value = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c.unicode() - u'0');
        if (value > limit)
            return std::nullopt;
    }
    return value;
}

} // namespace

void RefuseField(QWidget* parent, QLineEdit* edit, const QString& message) {
    ShowMessageBox(parent, message, MessageKind::Exclamation);
    edit->setFocus();
    edit->selectAll();
}

QString RangeMessage(int64_t low, int64_t high) {
    return QStringLiteral("Please enter an integer between %1 and %2.").arg(low).arg(high);
}

std::optional<int32_t> ParseSignedField(const QString& text) {
    QString body = TrimBlanks(text);
    const bool negative = body.startsWith(u'-');
    if (negative)
        body.remove(0, 1);
    const uint64_t limit = negative ? uint64_t{1} << 31 : std::numeric_limits<int32_t>::max();
    const auto magnitude = ParseDigits(body, limit);
    if (!magnitude)
        return std::nullopt;
    const int64_t value = negative ? -static_cast<int64_t>(*magnitude) : *magnitude;
    return static_cast<int32_t>(value);
}

std::optional<uint32_t> ParseUnsignedField(const QString& text) {
    const auto value = ParseDigits(TrimBlanks(text), std::numeric_limits<uint32_t>::max());
    if (!value)
        return std::nullopt;
    return static_cast<uint32_t>(*value);
}

std::optional<int32_t> ReadSignedField(QWidget* parent, QLineEdit* edit,
                                       std::optional<FieldRange> range) {
    const auto value = ParseSignedField(edit->text());
    if (!value) {
        RefuseField(parent, edit, kMsgEnterInteger);
        return std::nullopt;
    }
    if (range && (*value < range->low || *value > range->high)) {
        RefuseField(parent, edit, RangeMessage(range->low, range->high));
        return std::nullopt;
    }
    return value;
}

std::optional<int32_t> ReadUnsignedField(QWidget* parent, QLineEdit* edit, FieldRange range) {
    const auto value = ParseUnsignedField(edit->text());
    if (!value) {
        RefuseField(parent, edit, kMsgEnterPositiveInteger);
        return std::nullopt;
    }
    if (*value < range.low || *value > range.high) {
        RefuseField(parent, edit, RangeMessage(range.low, range.high));
        return std::nullopt;
    }
    return static_cast<int32_t>(*value);
}

FieldRange SettingRange(const char* name) {
    const SettingRow& row = SettingOf(name);
    return {row.low, row.high};
}
