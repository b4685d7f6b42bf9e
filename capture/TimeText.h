#pragma once
// The date/time stamp: expanding the user's format for a moment and drawing the text into a
// picture in the configured font, colour and position, optionally over a shadow.

#include "base/Settings.h"
#include "capture/CaptureFrame.h"

#include <ctime>
#include <string>
#include <string_view>

class QFont;
class QPainter;

// Replaces, in this order, every "%Y" (year, 4 digits), "%M" (month), "%D" (day), "%h" (hour
// 0-23), "%m" (minute), "%s" (second) (all 2 digits), "%W" (Sun..Sat), "%w" (日..土), "\n"
// (backslash n → line feed) and "\r" (backslash r → carriage return). Each replacement runs over
// the whole text left to right; its own output is not searched again by it, later replacements
// see it. Anything else stays as it is. The format is UTF-8; tokens are only ASCII characters,
// so no byte inside a multi-byte character can start one (as the code page 932 rule demands for
// a trail byte that looks like a backslash, for instance in "表").
std::string ExpandTimeFormat(std::string_view format, const std::tm& localTime);

// The font the stamp is drawn with: face FONT_NAME (at most 31 bytes in code page 932), pixel
// size FONT_SIZE, weight bold or normal, italic; a face the system does not have (such as
// "ＭＳ ゴシック") falls back to IPAGothic.
QFont TimeTextFont(const TimeTextSettings& settings);

// Draws text onto a painter whose device is width × height pixels, origin at the picture's
// top-left: the shadow first (when showShadow) at the text position plus the shadow offsets,
// then the text, each clipped to the rectangle from its own top-left corner to (width, height).
// Line feed, carriage return and CR LF start new lines; "&" underlines the next character and
// "&&" draws one "&"; no wrapping. Only the glyphs are drawn. showText is not looked at.
// Needs a QGuiApplication (fonts); without one nothing is drawn.
void DrawTimeText(QPainter& painter, int width, int height, const std::string& text,
                  const TimeTextSettings& settings);

// The same drawn straight into the frame's pixels (rows bottom-up, B,G,R), as it was captured.
void DrawTimeText(CaptureFrame& frame, const std::string& text, const TimeTextSettings& settings);
