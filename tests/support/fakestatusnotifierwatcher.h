#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusReply>
#include <QObject>
#include <QStringList>

// A panel's StatusNotifierWatcher on a test's own bus: whether a host is registered, and the items that
// registered with it.
class FakeStatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)

public:
    static inline const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
    static inline const QString path = QStringLiteral("/StatusNotifierWatcher");

    bool isHostRegistered() const { return hostRegistered; }
    QStringList registeredItems() const { return items; }
    void registerHost()
    {
        hostRegistered = true;
        Q_EMIT StatusNotifierHostRegistered();
    }

    // Offers the watcher on `bus` under its well-known name, which a later watcher may take over; with `replace`
    // it takes the name over from the watcher there (a panel started with --replace). False when the name or the
    // path is taken.
    bool publish(QDBusConnection bus, bool replace = false)
    {
        if (!bus.registerObject(path, this,
                                QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSignals |
                                    QDBusConnection::ExportAllSlots))
            return false;
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
            service,
            replace ? QDBusConnectionInterface::ReplaceExistingService : QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::AllowReplacement);
        return reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    }
    // The panel quits: the name goes, and the items with it.
    void withdraw(QDBusConnection bus)
    {
        bus.unregisterObject(path);
        bus.unregisterService(service);
    }

    bool hostRegistered = false;
    // Answers every registration with an error.
    bool refuse = false;
    QStringList items;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& item)
    {
        if (refuse)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("no icons here"));
        else
            items.append(item);
    }

Q_SIGNALS:
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();
};
