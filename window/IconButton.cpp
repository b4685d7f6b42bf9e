#include "window/IconButton.h"

CIconButton::CIconButton(int id, const QIcon& hotIcon, const QIcon& normalIcon,
                         const QString& tooltip, QWidget* parent)
    : QToolButton(parent), m_id(id), m_hot(hotIcon), m_normal(normalIcon) {
    setToolTip(tooltip);
    setAccessibleName(tooltip);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    UpdateIcon();
}

void CIconButton::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    UpdateIcon();
    QToolButton::enterEvent(event);
}

void CIconButton::leaveEvent(QEvent* event) {
    m_hovered = false;
    UpdateIcon();
    QToolButton::leaveEvent(event);
}

void CIconButton::mousePressEvent(QMouseEvent* event) {
    QToolButton::mousePressEvent(event);
    UpdateIcon();
}

void CIconButton::mouseReleaseEvent(QMouseEvent* event) {
    QToolButton::mouseReleaseEvent(event);
    UpdateIcon();
}

void CIconButton::UpdateIcon() {
    setIcon(m_hovered || isDown() ? m_hot : m_normal);
}
