#pragma once
// The four settings records, one per INI section. Plain structures: every text is UTF-8 in
// memory (code page 932 on disk), flags are bool ("on"/"off" in the file), colours are
// 0x00BBGGRR. The defaults here are the values a key takes when it is missing, written nowhere
// else: the settings table (app/settings/SettingsTable.h) reads them from a default-constructed
// record for loading, saving, the commands and the manual page.

#include "base/SecurityChoice.h"

#include <cstdint>
#include <string>
#include <vector>

// How a camera is reached (TYPE): a V4L2 device, an RTSP stream, MJPEG over HTTP(S), or a JPEG
// picture fetched over HTTP(S) once per grab.
enum class CameraType { Usb, Rtsp, Mjpeg, Snapshot };

// How much change counts as motion (SENSITIVITY): low, medium or high.
enum class MotionSensitivity { Low, Medium, High };

// device.ini, sections CAMERA1 ... CAMERA8: one camera each, in the order they were added. The
// [DEVICE] section of an older device.ini reads as camera 1.
struct CameraSettings {
    std::string name;                  // NAME: what requests and replies call it ("玄関", "garden")
    CameraType type = CameraType::Usb; // TYPE: usb, rtsp, mjpeg or snapshot
    // ADDRESS: usb: the device's display name or /dev/video* path (empty: the one attached);
    // otherwise the URL, which never holds a user name or password.
    std::string address;
    std::string user;     // USER: the log-in of a network camera
    std::string password; // its password (--set-password camera:NAME); never in device.ini in clear
    int32_t width = 352;  // WIDTH: usb: the frame size asked of the device
    int32_t height = 288; // HEIGHT
    bool motion = false;  // MOTION: alerts when something moves in this camera's picture
    MotionSensitivity sensitivity = MotionSensitivity::Medium; // SENSITIVITY
    // MASK: regions where movement does not count, "x,y,w,h" in percent of the picture,
    // separated by ";"; empty: none.
    std::string mask{};
};

// device.ini
struct DeviceSettings {
    static constexpr int kMaxCameras = 8;
    // Never empty: camera 1 (a USB camera, the one attached) stands until device.ini says
    // otherwise. Loading changes the cameras in place and never removes the first, so a
    // reference to cameras[0] held by the capture graph stays good while the vector keeps
    // kMaxCameras of capacity.
    std::vector<CameraSettings> cameras = std::vector<CameraSettings>(1);
};

// setup.ini, section APPLICATION
struct AppSettings {
    bool logFile = false;       // LOGFILE: log lines also go to log.txt
    bool closeCancel = false;   // CLOSECANCEL: the close box minimises instead of quitting
    int32_t jpegQuality = 50;   // JPEG_QUALITY
    bool startupDialog = false; // STARTUP_DIALOG: count the start-up delay down in a dialog
    int32_t startupTimer = 0;   // STARTUP_TIMER: start-up delay in seconds
};

// The language of the mails the program writes (MAIL.LANGUAGE).
enum class MailLanguage { Japanese, English };

// How picture requests are fetched: RECEIVE_PROTOCOL "pop3" or "imap" (any letter case; any
// other word, or none, is POP3).
enum class ReceiveProtocol { Pop3, Imap };
// Whether a request must prove its sender (SENDER_CHECK).
enum class SenderCheck { Off, Dkim };
// Where the passwords, the OAuth client secret and the refresh token are kept (SECRET_STORE):
// in setup.ini and oauth-token.dat (obscured, protected by the files' permissions), or in the
// desktop's keyring.
enum class SecretStore { File, Keyring };

// setup.ini, section MAIL
struct MailSettings {
    static constexpr int kMaxSendAddresses = 10;

    // LANGUAGE: the language of replies, alerts and scheduled mails (ja: Japanese in
    // ISO-2022-JP, en: English). An existing setup keeps Japanese; a new one takes the locale's.
    MailLanguage language = MailLanguage::Japanese;

    std::string smtpServer;                 // SMTP_SERVER
    std::string pop3Server;                 // POP3_SERVER
    int32_t pop3Port = 110;                 // POP3_PORT
    std::string pop3Id;                     // POP3_ID: the mailbox log-in (IMAP too)
    std::string pop3Pass;                   // POP3_PASS (plain here, enciphered in the file)
    std::string senderName;                 // SENDER_NAME
    std::string senderAddress;              // SENDER_ADDRESS
    std::vector<std::string> sendAddresses; // SEND_ADDRESS1..10: allowed requesters; empty = all
    std::string checkString = "cap";        // CHECK_STRING: subject of a picture request
    bool apop = false;                      // APOP: log in with APOP when the greeting allows
    bool imageRotation = false;             // IMAGE_ROTATION: turn reply pictures by 90 degrees
    int32_t smtpPort = 25;                  // SMTP_PORT: port of the authenticating path
    // POP3_SECURITY / SMTP_SECURITY: "none", "starttls" or "tls"; a missing key is ByPort.
    SecurityChoice pop3Security = SecurityChoice::ByPort;
    SecurityChoice smtpSecurity = SecurityChoice::ByPort;
    std::string smtpId;   // SMTP_ID: SMTP log-in; empty = the mailbox log-in is used
    std::string smtpPass; // SMTP_PASS (plain here, enciphered in the file as POP3_PASS)
    std::string caFile;   // CA_FILE: an extra certificate authority (PEM) beside the system's
    // RECEIVE_PROTOCOL: the mailbox is read over POP3 (the POP3_ keys) or IMAP (the IMAP_ keys);
    // both log in with POP3_ID and POP3_PASS.
    ReceiveProtocol receiveProtocol = ReceiveProtocol::Pop3;
    std::string imapServer; // IMAP_SERVER
    int32_t imapPort = 143; // IMAP_PORT
    // IMAP_SECURITY: as POP3_SECURITY; a missing key is ByPort (993 is SSL/TLS by its port).
    SecurityChoice imapSecurity = SecurityChoice::ByPort;
    // SENDER_CHECK: off, or dkim (a request counts only with a verifying DKIM signature of the
    // From domain). A missing key in an existing setup.ini is off; a new setup.ini gets dkim (the
    // table's row says so).
    SenderCheck senderCheck = SenderCheck::Off;
    // TRUSTED_AUTHSERV_ID: whose Authentication-Results dmarc=pass also counts; empty: nobody's.
    std::string trustedAuthservId;
    // AUTH_METHOD: "password" (POP3_PASS/SMTP_PASS) or "oauth2": OAuth 2.0 access tokens from
    // a sign-in, whose refresh token is kept in a file of its own. One sign-in serves
    // receiving and sending.
    bool oauth2 = false;
    std::string oauthProvider;     // OAUTH_PROVIDER: "google", "microsoft" or "custom"
    std::string oauthClientId;     // OAUTH_CLIENT_ID
    std::string oauthClientSecret; // OAUTH_CLIENT_SECRET (enciphered as POP3_PASS); empty: public
    // OAUTH_AUTH_URL, OAUTH_TOKEN_URL, OAUTH_DEVICE_URL, OAUTH_SCOPE: for "custom"; a set value
    // also replaces a preset's.
    std::string oauthAuthUrl;
    std::string oauthTokenUrl;
    std::string oauthDeviceUrl;
    std::string oauthScope;

    // MAX_REPLIES_PER_HOUR: requests of one requester answered in any hour at most.
    int maxRepliesPerHour = 20;
    // DISCOVERY_ONLINE: account discovery also asks sources outside the address's domain (the
    // shared provider database); off: only the domain's own sources and the built-in table.
    bool discoveryOnline = true;

    // SECRET_STORE: "file" or "keyring". A missing key in an existing setup.ini is file; a new
    // setup gets keyring when a Secret Service answers.
    SecretStore secretStore = SecretStore::File;
    // Not stored: with the keyring, its secrets could not be read when the settings were
    // loaded (it was locked or out of reach). The passwords above are then empty, the mail
    // check asks the keyring again, and a save leaves the keyring's secrets as they are.
    bool secretsUnread = false;

    bool operator==(const MailSettings&) const = default;
};

// setup.ini, section TIMETEXT
struct TimeTextSettings {
    bool showText = false;                             // SHOW_TEXT
    int32_t textXPos = 0;                              // TEXT_XPOS
    int32_t textYPos = 0;                              // TEXT_YPOS
    int32_t fontSize = 14;                             // FONT_SIZE: pixel cell height
    bool showShadow = false;                           // SHOW_SHADOW
    int32_t shadowXPos = 2;                            // SHADOW_XPOS
    int32_t shadowYPos = 2;                            // SHADOW_YPOS
    std::string timeFormat = "%Y/%M/%D(%W) %h:%m:%s";  // TIME_FORMAT
    uint32_t textColor = 0xFFFFFF;                     // TEXT_COLOR
    uint32_t shadowColor = 0;                          // SHADOW_COLOR
    std::string fontName = "ＭＳ ゴシック";            // FONT_NAME
    bool fontBold = false;                             // FONT_BOLD
    bool fontItalic = false;                           // FONT_ITALIC
};

// setup.ini, section ALERT: mails the cameras send when something moves.
struct AlertSettings {
    static constexpr int kMaxAddresses = 10;
    bool armed = false;                  // ARMED: alerts are sent (switched by "cap arm" too)
    std::vector<std::string> addresses;  // ADDRESS1 ... ADDRESS10
    int32_t intervalMinutes = 10;        // INTERVAL_MINUTES: at most one alert per camera
    int32_t maxPerDay = 48;              // MAX_PER_DAY
    // HOURS: "always", or ranges per weekday: "mon-fri 22:00-06:00; sat,sun always".
    std::string hours = "always";
};

// setup.ini, section SCHEDULE: pictures mailed at set times.
struct ScheduleSettings {
    static constexpr int kMaxAddresses = 10;
    std::string times;                   // TIMES: "07:00,12:00,18:00"; empty: none
    int32_t everyMinutes = 0;            // EVERY_MINUTES: 0: none
    std::string from = "00:00";          // FROM: the first picture of EVERY_MINUTES
    std::string to = "24:00";            // TO: none after this
    std::string days = "all";            // DAYS: "mon,tue,..." or "all"
    std::vector<std::string> addresses;  // ADDRESS1 ... ADDRESS10
    std::string cameras = "all";         // CAMERAS: "all" or names separated by ","
};

// All the records together, as the main window owns them.
struct Settings {
    DeviceSettings device;
    AppSettings app;
    MailSettings mail;
    TimeTextSettings timeText;
    AlertSettings alert;
    ScheduleSettings schedule;
};
