#pragma once
// The ranges the settings dialogs accept, shared with the settings commands of the command
// line so that both refuse the same values.

namespace limits {

inline constexpr int kStartupTimerMax = 180; // STARTUP_TIMER, seconds (from 0)
inline constexpr int kJpegQualityMax = 100;  // JPEG_QUALITY (from 0)
inline constexpr int kPositionMax = 10000;   // TEXT_XPOS, TEXT_YPOS (from 0)
inline constexpr int kShadowLimit = 1000;    // SHADOW_XPOS, SHADOW_YPOS (-limit to limit)
inline constexpr int kFontSizeMax = 1000;    // FONT_SIZE (from 1)
inline constexpr unsigned kColorMax = 0xFFFFFF; // TEXT_COLOR, SHADOW_COLOR (0x00BBGGRR)
inline constexpr int kFrameSideMax = 16384;  // WIDTH, HEIGHT (from 1)
inline constexpr int kMaxRepliesPerHour = 10000; // MAX_REPLIES_PER_HOUR (from 1)

} // namespace limits
