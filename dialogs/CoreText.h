#pragma once
// Texts that the core (mail, capture, app) hands to the screen, in the user's language. The
// core writes them in Japanese because the same words go to log.txt, which keeps them; on
// screen (message boxes, the window title, the tray tooltip) each fixed phrase of the core is
// replaced by its translation, while names, server replies and other data stay as they are.

#include <QString>

QString CoreText(const QString& text);
