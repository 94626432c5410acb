#pragma once

#include "app/dropdownwindow.h"
#include "app/menubarlabel.h"
#include "platform/statusitem.h"
#include "platform/trayhostwatcher.h"

#include <QObject>
#include <QPoint>

#include <chrono>
#include <functional>
#include <memory>

class Clipboard;
class PorthiveApp;
class QTimer;
class WindowContext;
class Workspace;

// The application's one scene: the tray icon with the menu-bar label and the window that drops down from it.
// The icon is made only once the desktop has a tray; without one after a grace period the window shows as an
// ordinary window, and moves to the tray when one appears.
class MenuBarScene final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultTrayGracePeriod{8000};

    struct Seams
    {
        std::unique_ptr<TrayHostWatching> trayHosts;
        std::function<std::unique_ptr<StatusItem>()> makeStatusItem;
        // Made the first time the window is shown, with the root view's properties and the window context.
        std::function<std::unique_ptr<StatusWindowing>(QVariantMap, WindowContext&)> makeWindow;
        // Where the pointer is; the anchor when the tray gives no icon geometry.
        std::function<QPoint()> pointerPosition;
        std::chrono::milliseconds trayGracePeriod = defaultTrayGracePeriod;
    };

    // The desktop's tray, QSystemTrayIcon and the Qt Quick window.
    static Seams standardSeams();

    MenuBarScene(PorthiveApp& app, Workspace& workspace, Clipboard& clipboard, Seams seams, QObject* parent = nullptr);
    ~MenuBarScene() override;

    // Watches for a tray, or starts the grace period.
    void start();
    // A later start of the application asked for the window.
    void showWindow();

    WindowContext& windowContext() const { return *m_context; }
    StatusItem* statusItem() const { return m_statusItem.get(); }
    // Null until the window was first needed.
    StatusWindowing* window() const { return m_window.get(); }
    const MenuBarLabel& label() const { return m_label; }

Q_SIGNALS:
    // The window's quit button: the event loop should end.
    void quitRequested();

private:
    void trayHostChanged(bool available);
    void makeStatusItem();
    void updateLabel();
    void iconClicked();
    QRect anchor() const;
    StatusWindowing& ensureWindow();

    PorthiveApp& m_app;
    Seams m_seams;
    std::unique_ptr<WindowContext> m_context;
    std::unique_ptr<StatusItem> m_statusItem;
    std::unique_ptr<StatusWindowing> m_window;
    QTimer* m_graceTimer = nullptr;
    MenuBarLabel m_label;
};
