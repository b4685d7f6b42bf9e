#include "capture/TimeText.h"

#include "mail/TextCodec.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::array<const char*, 7> kEnglishWeekdays = {"Sun", "Mon", "Tue", "Wed",
                                                         "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 7> kJapaneseWeekdays = {"日", "月", "火", "水", "木", "金", "土"};
constexpr const char* kFallbackFace = "IPAGothic";
constexpr std::size_t kMaxFaceBytes = 31; // in code page 932, as the face name field holds

// Replaces every occurrence of token, left to right, without searching the inserted text again.
std::string ReplaceAll(std::string_view text, std::string_view token, std::string_view value) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(token, pos)) != std::string_view::npos;
         pos = hit + token.size()) {
        out.append(text.substr(pos, hit - pos));
        out.append(value);
    }
    out.append(text.substr(pos));
    return out;
}

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

QColor FromColorRef(uint32_t colorRef) {
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

// Carriage returns, alone or before a line feed, end a line just as a line feed does.
QString StampLines(const std::string& text) {
    QString lines = QString::fromUtf8(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return lines;
}

} // namespace

std::string ExpandTimeFormat(std::string_view format, const std::tm& localTime) {
    // Every token is pure ASCII and every byte of a multi-byte UTF-8 character is 0x80 or
    // above, so a search on bytes cannot start a token inside a character.
    char year[16];
    std::snprintf(year, sizeof year, "%04d", localTime.tm_year + 1900);
    const int weekday = ((localTime.tm_wday % 7) + 7) % 7;

    std::string text = ReplaceAll(format, "%Y", year);
    text = ReplaceAll(text, "%M", TwoDigits(localTime.tm_mon + 1));
    text = ReplaceAll(text, "%D", TwoDigits(localTime.tm_mday));
    text = ReplaceAll(text, "%h", TwoDigits(localTime.tm_hour));
    text = ReplaceAll(text, "%m", TwoDigits(localTime.tm_min));
    text = ReplaceAll(text, "%s", TwoDigits(localTime.tm_sec));
    text = ReplaceAll(text, "%W", kEnglishWeekdays[weekday]);
    text = ReplaceAll(text, "%w", kJapaneseWeekdays[weekday]);
    text = ReplaceAll(text, "\\n", "\n");
    text = ReplaceAll(text, "\\r", "\r");
    return text;
}

QFont TimeTextFont(const TimeTextSettings& settings) {
    const std::string face =
        text::SjisToUtf8(text::CutSjis(text::Utf8ToSjis(settings.fontName), kMaxFaceBytes));
    QString family = QString::fromUtf8(face);
    if (family.isEmpty() || !QFontDatabase::hasFamily(family))
        family = QString::fromLatin1(kFallbackFace);

    QFont font;
    font.setFamilies({family, QString::fromLatin1(kFallbackFace)});
    font.setWeight(settings.fontBold ? QFont::Bold : QFont::Normal);
    font.setItalic(settings.fontItalic);

    // FONT_SIZE is the height of the whole character cell (ascent + descent), which for most
    // faces is a little more than the em size Qt sizes fonts by.
    int cell = std::abs(settings.fontSize);
    if (cell == 0)
        cell = TimeTextSettings{}.fontSize;
    font.setPixelSize(cell);
    const qreal height = QFontMetricsF(font).ascent() + QFontMetricsF(font).descent();
    if (height > cell)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(cell * cell / height))));
    return font;
}

void DrawTimeText(QPainter& painter, int width, int height, const std::string& text,
                  const TimeTextSettings& settings) {
    if (text.empty() || width <= 0 || height <= 0)
        return;
    const QString lines = StampLines(text);
    constexpr int kFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic;

    painter.save();
    painter.setFont(TimeTextFont(settings));
    painter.setBackgroundMode(Qt::TransparentMode);
    auto drawAt = [&](int left, int top, uint32_t color) {
        if (left >= width || top >= height)
            return;
        const QRect box(left, top, width - left, height - top);
        painter.setClipRect(box);
        painter.setPen(FromColorRef(color));
        painter.drawText(box, kFlags, lines);
    };
    if (settings.showShadow)
        drawAt(settings.textXPos + settings.shadowXPos, settings.textYPos + settings.shadowYPos,
               settings.shadowColor);
    drawAt(settings.textXPos, settings.textYPos, settings.textColor);
    painter.restore();
}

void DrawTimeText(CaptureFrame& frame, const std::string& text, const TimeTextSettings& settings) {
    const int width = frame.width();
    const int height = frame.height();
    if (text.empty() || width <= 0 || height <= 0 ||
        frame.pixels.size() < static_cast<std::size_t>(frame.stride()) * height)
        return;

    // Wrap the pixels in place. Read top-down, the buffer is the picture upside down, so the
    // painter mirrors y and everything is drawn in picture coordinates.
    QImage image(frame.pixels.data(), width, height, frame.stride(), QImage::Format_BGR888);
    QPainter painter(&image);
    painter.translate(0, height);
    painter.scale(1, -1);
    DrawTimeText(painter, width, height, text, settings);
}
