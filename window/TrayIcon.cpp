#include "window/TrayIcon.h"

#include "window/CommandIds.h"

#include <QCursor>
#include <QIcon>

CTrayIcon::CTrayIcon(Handlers handlers, QObject* parent)
    : QObject(parent), m_handlers(std::move(handlers)), m_menu(std::make_unique<QMenu>()) {
    m_menu->setTitle(tr("タスクトレイ"));
    m_showHide = m_menu->addAction(tr("表示/非表示(&S)"));
    m_showHide->setData(ids::kTrayShowHide);
    connect(m_showHide, &QAction::triggered, this, [this] { m_handlers.toggleWindow(); });
    m_menu->addSeparator();
    QAction* snapshot = m_menu->addAction(tr("スナップショット(&P)"));
    snapshot->setData(ids::kSnapshot);
    connect(snapshot, &QAction::triggered, this, [this] { m_handlers.snapshot(); });
    m_menu->addSeparator();
    QAction* exit = m_menu->addAction(tr("終了(&X)"));
    exit->setData(ids::kTrayExit);
    connect(exit, &QAction::triggered, this, [this] { m_handlers.exit(); });

    m_icon = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/icons/icon128.svg")));
    m_icon->setToolTip(QString::fromLatin1(kTooltip));
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &CTrayIcon::OnActivated);
}

void CTrayIcon::SetStatus(const QString& status) {
    const QString plain = QString::fromLatin1(kTooltip);
    m_icon->setToolTip(status.isEmpty() ? plain : plain + QStringLiteral(" - ") + status);
}

CTrayIcon::~CTrayIcon() {
    RemoveTrayIcon();
}

void CTrayIcon::AddTrayIcon(bool force) {
    if (force)
        m_added = false;
    if (m_added)
        return;
    m_icon->show();
    m_added = QSystemTrayIcon::isSystemTrayAvailable() && m_icon->isVisible();
}

void CTrayIcon::RemoveTrayIcon() {
    if (m_icon)
        m_icon->hide();
    m_added = false;
}

QMenu* CTrayIcon::PrepareMenu() {
    m_showHide->setText(m_handlers.windowMinimised() ? tr("表示(&S)") : tr("非表示(&S)"));
    return m_menu.get();
}

void CTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger: // left click
        m_handlers.toggleWindow();
        break;
    case QSystemTrayIcon::Context: // right click: no menu while a modal dialog is open
        if (m_handlers.windowEnabled())
            PrepareMenu()->popup(QCursor::pos());
        break;
    default:
        break;
    }
}
