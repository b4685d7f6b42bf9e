#pragma once
// What the window and the headless service share at their start: the start line of the log,
// the message when the text conversion cannot start, and the mail check's period.

inline constexpr const char* kStartLine = "KestrovaMailを開始しました。";
inline constexpr const char* kInitFailed = "ERROR 001:初期化に失敗しました。";
// Timer 0 of the window and the service's timer: once a minute.
inline constexpr int kMailCheckIntervalMs = 60000;
