#pragma once

#include "app/dropdownwindow.h"
#include "app/menubarlabel.h"
#include "platform/desktop/statusitem.h"
#include "platform/desktop/trayhostwatcher.h"

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
// The icon is made only once the desktop has a tray, in a StatusNotifierItem host where there is one, else in
// the X11 tray; when its tray goes it is made again in whichever tray there is. A tray that refuses the icon is
// passed over until it goes away. Without any tray that takes the icon for a grace period the window shows as an
// ordinary window, which moves to the tray when one appears and quits the application when the user closes it
// (nothing could bring it back).
class MenuBarScene final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultTrayGracePeriod{8000};

    struct Seams
    {
        std::unique_ptr<TrayHostWatching> trayHosts;
        std::function<std::unique_ptr<StatusItem>(TrayKind)> makeStatusItem;
        // Made the first time the window is shown, with the root view's properties and the window context.
        std::function<std::unique_ptr<StatusWindowing>(QVariantMap, WindowContext&)> makeWindow;
        // Where the pointer is; the anchor when the tray gives no icon geometry.
        std::function<QPoint()> pointerPosition;
        std::chrono::milliseconds trayGracePeriod = defaultTrayGracePeriod;
    };

    // The desktop's trays, the icon of our own in each and the Qt Quick window.
    static Seams standardSeams();

    MenuBarScene(PorthiveApp& app, Workspace& workspace, Clipboard& clipboard, Seams seams, QObject* parent = nullptr);
    ~MenuBarScene() override;

    // Makes the icon in the tray there is, or starts the grace period.
    void start();
    // A later start of the application asked for the window.
    void showWindow();

    WindowContext& windowContext() const { return *m_context; }
    StatusItem* statusItem() const { return m_statusItem.get(); }
    // The tray the icon is in; meaningful while there is an icon.
    TrayKind statusItemKind() const { return m_statusItemKind; }
    // Null until the window was first needed.
    StatusWindowing* window() const { return m_window.get(); }
    const MenuBarLabel& label() const { return m_label; }

Q_SIGNALS:
    // The window's quit button, or the ordinary window closed while there is no tray: the event loop should end.
    void quitRequested();

private:
    void trayHostsChanged();
    // Whether the tray of `kind` is there and has not refused the icon.
    bool usable(TrayKind kind);
    void makeStatusItem(TrayKind kind);
    void statusItemFailed();
    void windowClosed();
    void updateLabel();
    void iconClicked();
    QRect anchor() const;
    StatusWindowing& ensureWindow();

    PorthiveApp& m_app;
    Seams m_seams;
    std::unique_ptr<WindowContext> m_context;
    std::unique_ptr<StatusItem> m_statusItem;
    TrayKind m_statusItemKind = TrayKind::StatusNotifier;
    bool m_statusNotifierRefused = false;
    bool m_xembedRefused = false;
    std::unique_ptr<StatusWindowing> m_window;
    QTimer* m_graceTimer = nullptr;
    MenuBarLabel m_label;
};
