#pragma once
// Loading and saving the four settings records: device.ini (CAMERA1 ... CAMERA8; an older
// file's DEVICE reads as camera 1 and is written back as CAMERA1) and setup.ini
// (APPLICATION, MAIL, TIMETEXT) in the program folder, every key as its row in
// app/settings/SettingsTable.h says, in the order of the rows: flags are "on"/"off" and only the
// exact text "on" reads as on; numbers are decimal. The passwords and the client secret are kept
// where MAIL.SECRET_STORE says: obscured in setup.ini (protected by the file's permissions, not
// enciphered), or in the desktop's keyring, setup.ini then holding none of them; the cameras'
// passwords likewise in device.ini (key PASSWORD) or the keyring.

#include "app/report/MessageSink.h"
#include "base/Settings.h"
#include "mail/net/MailError.h"

#include <string>
#include <vector>

class CFaultNotices;

inline constexpr const char* kDeviceIniName = "device.ini";
inline constexpr const char* kSetupIniName = "setup.ini";

// Keys added later (POP3_SECURITY and the others after SEND_ADDRESS10) are written only when
// they differ from what a missing key reads as, so a file of an earlier version saves unchanged.
//
// Fills settings from the two files in folder (ProgramFolder(), ending in "/", or empty for the
// current folder). Missing files or keys leave the defaults. A password that cannot be
// deciphered is reported through sink and stays empty.
// Returns one line (UTF-8) for a file that exists but cannot be read (a folder in its place, no
// permission: its settings stay at their defaults), with its path and the system's reason, and
// one for every text value that cannot be read whole (longer than a
// setting holds, bytes that are not text, characters code page 932 lacks): the value in
// memory is then not the file's, and saves leave the file's value as it stands as long as the
// setting is not changed. The caller reports the lines once (in the log).
std::vector<std::string> LoadSettings(Settings& settings, const std::string& folder,
                                      IMessageSink& sink);

// Writes every key of settings to the two files in folder, each file replaced atomically.
// SEND_ADDRESS keys beyond the list are deleted. Returns false when a file could not be
// written; problems (when given) then gets one line for each such file, with its path and the
// system's reason.
bool SaveSettings(const Settings& settings, const std::string& folder, IMessageSink& sink,
                  std::vector<std::string>* problems = nullptr);

// SaveSettings for the window and the service: a file that cannot be written is said in the
// log through notices, once until a save works again.
bool SaveSettingsAndSay(const Settings& settings, const std::string& folder, IMessageSink& sink,
                        CFaultNotices& notices);

// STARTUP_TIMER and STARTUP_DIALOG read straight from setup.ini, for the start-up delay before
// any window or record exists. Same keys, defaults and flag rule as LoadSettings.
struct StartupOptions {
    int32_t startupTimer = 0;
    bool startupDialog = false;
};
StartupOptions ReadStartupOptions(const std::string& folder);

// With MAIL.SECRET_STORE=keyring: the secrets of folder read from the keyring into mail
// (secretsUnread cleared). KeyringLocked or KeyringUnreachable when they could not be had; the
// secrets are then empty and secretsUnread set.
MailError ReadKeyringSecrets(MailSettings& mail, const std::string& folder);
// The same for the cameras' passwords (keyring items CAMERA1.PASSWORD ...): all of them, or
// none (cleared) and the keyring's failure.
MailError ReadCameraSecrets(DeviceSettings& device, const std::string& folder);
// The keyring's name of camera number's password (from 1): "CAMERA2.PASSWORD". The passwords go
// by the cameras' numbers, which every save writes afresh, so a renamed camera keeps its own.
std::string CameraSecretName(int number);
