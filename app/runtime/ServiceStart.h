#pragma once
// What the window and the headless service share at their start: the start line of the log,
// the lines it may add about the settings, the message when the text conversion cannot start,
// and the mail check's period.

inline constexpr const char* kStartLine = "KestrovaMailを開始しました。";
// Said at start while the allow-list is empty.
inline constexpr const char* kAnyoneMayAskLine =
    "許可アドレスが空のため、だれからの依頼にも写真を返信します。依頼できる人を限るには、"
    "メール設定の許可アドレスに加えてください（kestrovamail --set MAIL.SEND_ADDRESS1=アドレス）";
// Said at start while the mail account lacks a server, a log-in or the sender address.
inline constexpr const char* kNoAccountLine =
    "メールのアカウントの設定が足りないため、メールを確認しません。メールアドレスから設定するには、"
    "メール設定の「自動設定」か kestrovamail --set-up アドレス を使います";
inline constexpr const char* kInitFailed = "ERROR 001:初期化に失敗しました。";
// Timer 0 of the window and the service's timer: once a minute.
inline constexpr int kMailCheckIntervalMs = 60000;
