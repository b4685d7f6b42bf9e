#pragma once
// Every message box of the dialogs goes through ShowMessageBox, so that tests can answer boxes
// without a modal window: a hook installed with SetMessageBoxHook sees the text and decides the
// answer. Without a hook a QMessageBox is shown.

#include <QString>
#include <functional>

class QWidget;

enum class MessageKind {
    Information, // OK button
    Exclamation, // OK button, warning icon (validation messages)
    OkCancel,    // OK and Cancel buttons, question icon
};

// Returns true when the user answered OK.
bool ShowMessageBox(QWidget* parent, const QString& text,
                    MessageKind kind = MessageKind::Information);

using MessageBoxHook = std::function<bool(QWidget* parent, const QString& text, MessageKind kind)>;

// Installs hook (an empty one restores the real message boxes); returns the previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
