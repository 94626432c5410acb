#pragma once

#include "platform/desktop/statusitem.h"

#include <QAbstractNativeEventFilter>
#include <QSize>

#include <memory>

class QTimer;
class TrayToolTip;

// The icon in the X11 system tray: a window of the application's own that the tray embeds over XEmbed (the
// freedesktop System Tray protocol), on Qt's X connection. QSystemTrayIcon is not used for it: Qt chooses once
// per process between a StatusNotifierItem and the X11 tray and keeps that choice after the desktop's trays
// changed. The window uses the visual the tray asks for: with an alpha channel the icon is drawn on transparency,
// otherwise on the tray's own background (the window's background is its parent's). Where the application does
// not run on X11, or no tray holds the selection, show() fails.
class XEmbedStatusItem final : public StatusItem, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit XEmbedStatusItem(QObject* parent = nullptr);
    ~XEmbedStatusItem() override;

    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    // Asks the tray that holds the selection to dock the icon.
    void show() override;
    QRect geometry() const override;

    // The icon's X window; 0 before show() made it.
    quint32 windowId() const;
    // The tooltip window, once the pointer rested on the icon.
    TrayToolTip* toolTipWindow() const { return m_toolTipWindow.get(); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Native;

    void fail();
    void paint();
    void showToolTip();
    void hideToolTip();

    std::unique_ptr<Native> m_native;
    QIcon m_icon;
    QString m_toolTip;
    QSize m_size;
    bool m_mapped = false;
    QTimer* m_toolTipDelay = nullptr;
    std::unique_ptr<TrayToolTip> m_toolTipWindow;
};
