#pragma once
// Helpers for driving the dialogs in QtTest: answering message boxes without a modal window,
// finding controls by their ids, and running a dialog modally while a scripted user acts.

#include "dialogs/DialogSupport.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/UpDownControl.h"
#include "tests/support/LoopbackListener.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QStringList>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <deque>
#include <functional>

// Records every message box while it lives; answers OK unless an answer was queued.
class MessageRecorder {
public:
    MessageRecorder() {
        m_previous = SetMessageBoxHook([this](QWidget*, const QString& text, MessageKind kind) {
            texts << text;
            kinds.push_back(kind);
            if (answers.empty())
                return true;
            const bool answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~MessageRecorder() { SetMessageBoxHook(std::move(m_previous)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void Clear() {
        texts.clear();
        kinds.clear();
    }

    QStringList texts;
    std::vector<MessageKind> kinds;
    std::deque<bool> answers; // answers for OK/Cancel boxes, in order

private:
    MessageBoxHook m_previous;
};

// Types text into a widget as a user would: ASCII key by key, anything else through the input
// method (as a Japanese input method commits it).
inline void TypeText(QWidget* widget, const QString& text) {
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        QTest::keyClicks(widget, text);
        return;
    }
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(widget, &commit);
}

template <typename T> T* Control(QWidget* dialog, int id) {
    return dialog->findChild<T*>(ControlName(id));
}

// In a dialog of pages (a list of them beside a QStackedWidget), brings up the page that holds
// control as a click on the page's row would; any other dialog is left as it is.
inline void ShowPageOf(QWidget* dialog, QWidget* control) {
    auto* pages = dialog->findChild<QStackedWidget*>();
    auto* list = dialog->findChild<QListWidget*>();
    for (int page = 0; pages && list && page < std::min(pages->count(), list->count()); ++page) {
        if (pages->widget(page)->isAncestorOf(control))
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(page)).center());
    }
}

// Clicks the push button, tick box or spin arrow ("up" or "down") with that id.
inline void Click(QWidget* dialog, int id) {
    ShowPageOf(dialog, Control<QPushButton>(dialog, id));
    QTest::mouseClick(Control<QPushButton>(dialog, id), Qt::LeftButton);
}
inline void Toggle(QWidget* dialog, int id) {
    ShowPageOf(dialog, Control<QCheckBox>(dialog, id));
    QTest::mouseClick(Control<QCheckBox>(dialog, id), Qt::LeftButton);
}
inline void ClickArrow(QWidget* dialog, int spinId, const char* arrow) {
    auto* spin = Control<UpDownControl>(dialog, spinId);
    QTest::mouseClick(spin->findChild<QWidget*>(QString::fromLatin1(arrow)), Qt::LeftButton);
}

// Replaces the text of the line edit with that id as a user would.
inline void Retype(QWidget* dialog, int id, const QString& text) {
    auto* edit = Control<QLineEdit>(dialog, id);
    ShowPageOf(dialog, edit);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    TypeText(edit, text);
}

// The first column of the address list with that id.
inline QStringList Rows(QWidget* dialog, int listId) {
    auto* list = Control<QTableWidget>(dialog, listId);
    QStringList rows;
    for (int r = 0; r < list->rowCount(); ++r)
        rows << list->item(r, 0)->text();
    return rows;
}

// Runs dialog.exec() and, once it runs, actions() as the user. A dialog that actions() left
// open (a failed check returned early) is rejected, so a failing script cannot hang the test.
inline int ExecWith(QDialog& dialog, std::function<void()> actions) {
    QPointer<QDialog> guard(&dialog);
    QTimer::singleShot(0, &dialog, [guard, actions] {
        actions();
        if (guard && guard->isVisible())
            guard->reject();
    });
    return dialog.exec();
}

// The modal dialog of type T that is open now (a nested chooser), or null.
template <typename T> T* ActiveModal() {
    return qobject_cast<T*>(QApplication::activeModalWidget());
}

// Calls check() until it is true or timeoutMs passed, processing events meanwhile.
inline bool WaitUntil(const std::function<bool()>& check, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!check()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
