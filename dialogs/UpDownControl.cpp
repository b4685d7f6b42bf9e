#include "dialogs/UpDownControl.h"

#include "dialogs/FieldValidation.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

UpDownControl::UpDownControl(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("up"));
    m_up->setArrowType(Qt::UpArrow);
    m_down = new QToolButton(this);
    m_down->setObjectName(QStringLiteral("down"));
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {m_up, m_down}) {
        b->setFixedSize(16, 11);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    connect(m_up, &QToolButton::clicked, this, &UpDownControl::StepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDownControl::StepDown);
    setFixedSize(16, 22);
}

void UpDownControl::SetBuddy(QLineEdit* buddy) {
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = buddy;
    if (m_buddy)
        m_buddy->installEventFilter(this);
}

void UpDownControl::SetRange(int low, int high) {
    m_low = std::min(low, high);
    m_high = std::max(low, high);
    m_position = std::clamp(m_position, m_low, m_high);
}

void UpDownControl::SetPosition(int position) {
    m_position = std::clamp(position, m_low, m_high);
    if (m_buddy)
        m_buddy->setText(QString::number(m_position));
}

void UpDownControl::Step(int delta) {
    // The buddy may have been edited by hand: continue from its number when it holds one.
    if (m_buddy) {
        if (const auto typed = ParseSignedField(m_buddy->text()))
            m_position = std::clamp(*typed, m_low, m_high);
    }
    SetPosition(m_position + delta);
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_buddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up) {
            StepUp();
            return true;
        }
        if (key == Qt::Key_Down) {
            StepDown();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
