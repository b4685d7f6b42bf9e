#pragma once
// Texts that the core (mail, capture, app) hands to the screen and to standard error, in the
// user's language. The core writes them in Japanese because the same words go to log.txt and
// the mails, which keep them; on screen (message boxes, the window title, the tray tooltip,
// the log view) and on standard error each fixed phrase of the core is replaced by its
// translation, while names, addresses, server replies and other data stay as they are.

#include <QString>
#include <string>
#include <string_view>

QString ScreenText(const QString& text);
std::string ScreenText(std::string_view text);
