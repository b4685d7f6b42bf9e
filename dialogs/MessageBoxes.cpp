#include "dialogs/MessageBoxes.h"

#include <QMessageBox>

namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

} // namespace

bool ShowMessageBox(QWidget* parent, const QString& text, MessageKind kind) {
    if (Hook())
        return Hook()(parent, text, kind);

    const QString caption = QStringLiteral("KestrovaMail");
    switch (kind) {
    case MessageKind::Information:
        QMessageBox::information(parent, caption, text, QMessageBox::Ok);
        return true;
    case MessageKind::Exclamation:
        QMessageBox::warning(parent, caption, text, QMessageBox::Ok);
        return true;
    case MessageKind::OkCancel:
        return QMessageBox::question(parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                                     QMessageBox::Ok) == QMessageBox::Ok;
    }
    return false;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}
