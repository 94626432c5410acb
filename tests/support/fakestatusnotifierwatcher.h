#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

// A panel's StatusNotifierWatcher on a test's own bus: whether a host is registered, and the items that
// registered with it.
class FakeStatusNotifierWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)

public:
    static inline const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
    static inline const QString path = QStringLiteral("/StatusNotifierWatcher");

    bool isHostRegistered() const { return hostRegistered; }
    void registerHost()
    {
        hostRegistered = true;
        Q_EMIT StatusNotifierHostRegistered();
    }

    // Offers the watcher on `bus` under its well-known name; false when the name or the path is taken.
    bool publish(QDBusConnection bus)
    {
        return bus.registerObject(path, this,
                                  QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSignals |
                                      QDBusConnection::ExportAllSlots) &&
               bus.registerService(service);
    }
    // The panel quits: the name goes, and the items with it.
    void withdraw(QDBusConnection bus)
    {
        bus.unregisterObject(path);
        bus.unregisterService(service);
    }

    bool hostRegistered = false;
    QStringList items;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& item) { items.append(item); }

Q_SIGNALS:
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();
};
