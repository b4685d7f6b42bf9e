#pragma once
// The settings from a terminal: every setting shown (passwords hidden), one changed with the
// checks of the settings dialogs, a password read from standard input and stored enciphered.
// Settings are named SECTION.KEY as in the files (MAIL.POP3_SERVER); names match in any
// letter case. Each command loads both files, changes the records and saves them as the
// dialogs do, so the files stay code page 932 and keep every value nobody changed.

#include <iosfwd>
#include <string>
#include <vector>

namespace settingscli {

// Exit statuses of the commands.
inline constexpr int kOk = 0;
inline constexpr int kSaveFailed = 1;
inline constexpr int kRefused = 2; // unknown setting or a value the dialogs would refuse
inline constexpr int kNoSuchCamera = 1; // --set-password camera:NAME, --remove-camera: no such name

// "SECTION.KEY=value" for every setting, in the order of the files; each camera's keys
// (CAMERA1.NAME ...); SEND_ADDRESS1.. as far as the list goes; a stored password as "********",
// an address without any log-in in it.
int ShowSettings(const std::string& folder, std::ostream& out, std::ostream& err);

// Applies every "SECTION.KEY=VALUE" in order and saves once; nothing is saved when one of
// them is refused (the reason goes to err). Flags take on/off; colours a decimal 0x00BBGGRR
// value or #RRGGBB; POP3_SECURITY, SMTP_SECURITY and IMAP_SECURITY none, starttls, tls or auto;
// RECEIVE_PROTOCOL pop3 or imap (imap only with an IMAP_SERVER, once every value is applied);
// IMAP_PORT 1 to 65535; MAIL.SEND_ADDRESSn sets entry n of the allowed senders (n up to one past
// the list; an empty value removes it); CAMERAn.KEY sets a key of camera n, n up to one past the
// cameras (which adds one), TYPE usb, rtsp, mjpeg or snapshot, ADDRESS fitting the TYPE (a user
// name and password in it go to USER and the camera's password), NAME unique in any width and
// letter case. The old DEVICE.SELECT, DEVICE.WIDTH and DEVICE.HEIGHT name camera 1's ADDRESS,
// WIDTH and HEIGHT.
int SetSettings(const std::string& folder, const std::vector<std::string>& assignments,
                std::ostream& err);

// account "pop3" (the mailbox's, IMAP's too), "smtp", "oauth-client" or "camera:NAME" (the
// camera of that name, matched as FoldCameraName folds it; kNoSuchCamera with the names when
// there is none): reads one line from in (without its
// line end) as the password and stores it enciphered; an empty line removes it. prompt: a
// prompt goes to err and the terminal does not echo what is typed (standard input is a
// terminal).
int SetPassword(const std::string& folder, const std::string& account, std::istream& in,
                std::ostream& err, bool prompt);

// Removes the camera of that name (folded as FoldCameraName); the cameras after it move up one
// number. The last camera stays (kRefused). Says on out what is left.
int RemoveCamera(const std::string& folder, const std::string& name, std::ostream& out,
                 std::ostream& err);

// The names of every setting (for the help text and tests); camera 1's for the cameras' keys.
std::vector<std::string> SettingNames();

} // namespace settingscli
