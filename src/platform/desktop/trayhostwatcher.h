#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class QDBusServiceWatcher;

// The two ways a desktop shows status icons.
enum class TrayKind
{
    // A StatusNotifierItem host behind the session bus's StatusNotifierWatcher.
    StatusNotifier,
    // The X11 system tray, the owner of the _NET_SYSTEM_TRAY_S<screen> selection.
    XEmbed
};

// Which trays the desktop has to show a status icon in. Either may come and go while the application runs (a
// panel restarts, or the user switches panels), and an icon shown in one never moves to the other by itself.
class TrayHostWatching : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool hasHost(TrayKind kind) const = 0;
    bool isHostAvailable() const { return hasHost(TrayKind::StatusNotifier) || hasHost(TrayKind::XEmbed); }

Q_SIGNALS:
    // A tray of either kind appeared or went away. A tray replaced by another in one step is reported as gone,
    // then as there: the new one holds none of the icons of the last.
    void hostsChanged();
};

// Watches the session bus for a StatusNotifierWatcher with a registered host, and, on X11, the owner of the
// system tray selection of the default screen through the X server's selection-owner notifications (XFixes), so
// nothing is asked between changes.
class SystemTrayHostWatcher final : public TrayHostWatching, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit SystemTrayHostWatcher(QObject* parent = nullptr);
    ~SystemTrayHostWatcher() override;

    bool hasHost(TrayKind kind) const override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private Q_SLOTS:
    void askStatusNotifierWatcher();

private:
    void watchXEmbedTray();
    void setHost(bool& host, bool present);
    void setTrayOwner(quint32 owner);

    QDBusServiceWatcher* m_serviceWatcher = nullptr;
    // The selection atom and the first event number of XFixes, when the application runs on X11.
    quint32 m_traySelection = 0;
    quint8 m_selectionNotifyEvent = 0;
    // The window that holds the tray selection, 0 while none does.
    quint32 m_trayOwner = 0;
    quint64 m_questions = 0;
    bool m_statusNotifierHost = false;
    bool m_xembedTray = false;
};
