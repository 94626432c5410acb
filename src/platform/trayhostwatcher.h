#pragma once

#include <QObject>

#include <memory>

class QDBusServiceWatcher;
class QTimer;

// Whether the desktop has a tray to show a status icon in. The icon must not be made before one exists: the
// toolkit picks its way of showing icons (StatusNotifierItem or the X11 system tray) once, at the first call,
// and an icon made without a host is never shown.
class TrayHostWatching : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isHostAvailable() const = 0;

Q_SIGNALS:
    void hostAvailableChanged(bool available);
};

// Watches the session bus for a StatusNotifierWatcher with a registered host, and, on X11, the owner of the
// system tray selection of the default screen.
class SystemTrayHostWatcher final : public TrayHostWatching
{
    Q_OBJECT

public:
    explicit SystemTrayHostWatcher(QObject* parent = nullptr);
    ~SystemTrayHostWatcher() override;

    bool isHostAvailable() const override { return m_statusNotifierHost || m_xembedTray; }

private Q_SLOTS:
    void askStatusNotifierWatcher();

private:
    void setStatusNotifierHost(bool registered);
    void pollXEmbedTray();
    void update(bool before);

    QDBusServiceWatcher* m_serviceWatcher = nullptr;
    QTimer* m_trayPoll = nullptr;
    // The X11 connection and the selection atom, when the application runs on X11.
    void* m_connection = nullptr;
    quint32 m_traySelection = 0;
    bool m_statusNotifierHost = false;
    bool m_xembedTray = false;
};
