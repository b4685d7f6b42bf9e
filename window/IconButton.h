#pragma once
// A push button drawn as an icon: the first icon while the pointer is over it or it is held
// down, the second otherwise.

#include <QIcon>
#include <QToolButton>

class CIconButton final : public QToolButton {
    Q_OBJECT
public:
    CIconButton(int id, const QIcon& hotIcon, const QIcon& normalIcon, const QString& tooltip,
                QWidget* parent = nullptr);

    int id() const { return m_id; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void UpdateIcon();

    int m_id;
    QIcon m_hot;
    QIcon m_normal;
    bool m_hovered = false;
};
