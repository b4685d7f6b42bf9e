#pragma once
// Texts that the core (mail, capture, app) hands to the screen and to standard error, in the
// user's language. The core writes them in Japanese because the same words go to log.txt and
// the mails, which keep them; on screen (message boxes, the window title, the tray tooltip,
// the log view) and on standard error each fixed phrase of the core is replaced by its
// translation, while names, addresses, server replies and other data stay as they are.

#include "app/report/MessageSink.h"

#include <QString>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>

QString ScreenText(const QString& text);
std::string ScreenText(std::string_view text);

// A phrase of the program (filed under context for lupdate) in the user's language, with %1,
// %2, ... replaced by the arguments in one pass: an argument's own "%2" (a percent-escaped
// address) stays as it is.
std::string TranslatedText(const char* context, const char* text,
                           std::initializer_list<std::string_view> arguments = {});

// The terminal commands' message sink: each message, in the user's language, on its own line.
class CStreamSink final : public IMessageSink {
public:
    explicit CStreamSink(std::ostream& out) : m_out(out) {}
    void ShowMessage(const std::string& text) override;

private:
    std::ostream& m_out;
};
