#pragma once
// The notification-area icon: tooltip "KestrovaMail", a left click toggles the main window,
// a right click opens the tray menu (only while no modal dialog is open).

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

class CTrayIcon final : public QObject {
    Q_OBJECT
public:
    struct Handlers {
        std::function<bool()> windowMinimised; // true while the main window is minimised/hidden
        std::function<bool()> windowEnabled;   // false while a modal dialog is open
        std::function<void()> toggleWindow;    // 32772 and the left click
        std::function<void()> snapshot;        // 32779
        std::function<void()> exit;            // 32777
    };

    explicit CTrayIcon(Handlers handlers, QObject* parent = nullptr);
    ~CTrayIcon() override;

    // Shows the icon; `force` shows it again even when it was shown before (a restarted tray).
    void AddTrayIcon(bool force);
    void RemoveTrayIcon();
    bool trayIconAdded() const { return m_added; }

    // The tray menu with the show/hide text set for the window's current state, as a right
    // click would show it.
    QMenu* PrepareMenu();
    QMenu* menu() const { return m_menu.get(); }
    QSystemTrayIcon* icon() const { return m_icon.get(); }

    static constexpr const char* kTooltip = "KestrovaMail";
    // The tooltip says what the program is doing ("KestrovaMail - メールチェック中…"); an empty
    // status gives the plain tooltip.
    void SetStatus(const QString& status);

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    Handlers m_handlers;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_showHide = nullptr;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    bool m_added = false;
};
