#include "capture/TimeText.h"

#include "base/Clock.h"
#include "mail/text/TextCodec.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

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

    std::string text = ReplaceAll(format, "%Y", year);
    text = ReplaceAll(text, "%M", TwoDigits(localTime.tm_mon + 1));
    text = ReplaceAll(text, "%D", TwoDigits(localTime.tm_mday));
    text = ReplaceAll(text, "%h", TwoDigits(localTime.tm_hour));
    text = ReplaceAll(text, "%m", TwoDigits(localTime.tm_min));
    text = ReplaceAll(text, "%s", TwoDigits(localTime.tm_sec));
    text = ReplaceAll(text, "%W", EnglishWeekday(localTime.tm_wday));
    text = ReplaceAll(text, "%w", JapaneseWeekday(localTime.tm_wday));
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

namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic;

// Fonts need the GUI application object; without one (a tool or test without a display) the
// stamp is left out rather than ending the process.
bool FontsAvailable() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// Settings come from an INI file; positions this far out are off any picture anyway, and the
// clamp keeps the rectangle arithmetic from overflowing.
int ClampPosition(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, -(1 << 20), 1 << 20));
}

void DrawStamp(QPainter& painter, int width, int height, const QString& lines, const QFont& font,
               const TimeTextSettings& settings) {
    painter.save();
    painter.setFont(font);
    painter.setBackgroundMode(Qt::TransparentMode);
    auto drawAt = [&](int left, int top, uint32_t color) {
        if (left >= width || top >= height)
            return;
        const QRect box(left, top, width - left, height - top);
        painter.setClipRect(box);
        painter.setPen(FromColorRef(color));
        painter.drawText(box, kTextFlags, lines);
    };
    if (settings.showShadow)
        drawAt(ClampPosition(int64_t{settings.textXPos} + settings.shadowXPos),
               ClampPosition(int64_t{settings.textYPos} + settings.shadowYPos),
               settings.shadowColor);
    drawAt(ClampPosition(settings.textXPos), ClampPosition(settings.textYPos), settings.textColor);
    painter.restore();
}

} // namespace

void DrawTimeText(QPainter& painter, int width, int height, const std::string& text,
                  const TimeTextSettings& settings) {
    if (text.empty() || width <= 0 || height <= 0 || !FontsAvailable())
        return;
    DrawStamp(painter, width, height, StampLines(text), TimeTextFont(settings), settings);
}

void DrawTimeText(CaptureFrame& frame, const std::string& text, const TimeTextSettings& settings) {
    const int width = frame.width();
    const int height = frame.height();
    const std::size_t stride = static_cast<std::size_t>(frame.stride());
    if (text.empty() || width <= 0 || height <= 0 || frame.pixels.size() < stride * height ||
        !FontsAvailable())
        return;

    // QImage has no bottom-up layout, and drawing through a mirrored painter loses the glyph
    // hinting. So only the band of picture rows the stamp can reach is copied into a top-down
    // image, drawn on, and copied back.
    const QString lines = StampLines(text);
    const QFont font = TimeTextFont(settings);
    const QFontMetrics metrics(font);
    const int64_t textHeight =
        metrics.boundingRect(QRect(0, 0, width, height), kTextFlags, lines).height() +
        metrics.lineSpacing();
    int64_t top = settings.textYPos;
    int64_t bottom = top + textHeight;
    if (settings.showShadow) {
        top = std::min(top, top + settings.shadowYPos);
        bottom = std::max(bottom, bottom + settings.shadowYPos);
    }
    top = std::clamp<int64_t>(top, 0, height);
    bottom = std::clamp<int64_t>(bottom, 0, height);
    if (top >= bottom)
        return;

    const int bandTop = static_cast<int>(top);
    const int bandHeight = static_cast<int>(bottom - top);
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
    auto memoryRow = [&](int pictureRow) {
        return frame.pixels.data() + static_cast<std::size_t>(height - 1 - pictureRow) * stride;
    };
    QImage band(width, bandHeight, QImage::Format_BGR888);
    if (band.isNull())
        return;
    for (int y = 0; y < bandHeight; ++y)
        std::memcpy(band.scanLine(y), memoryRow(bandTop + y), rowBytes);
    {
        QPainter painter(&band);
        painter.translate(0, -bandTop);
        DrawStamp(painter, width, height, lines, font, settings);
    }
    for (int y = 0; y < bandHeight; ++y)
        std::memcpy(memoryRow(bandTop + y), band.constScanLine(y), rowBytes);
}
