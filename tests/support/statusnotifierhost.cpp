// A panel with a StatusNotifierItem host as its own process on the session bus of DBUS_SESSION_BUS_ADDRESS: it
// holds the StatusNotifierWatcher's name with a host registered, keeps the items that register (its
// RegisteredStatusNotifierItems), prints "ready" once it holds the name, and quits on SIGTERM like a panel, its
// name and items going with its connection. With --refuse it answers every registration with an error.
#include "support/fakestatusnotifierwatcher.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    FakeStatusNotifierWatcher watcher;
    watcher.hostRegistered = true;
    watcher.refuse = app.arguments().contains(QStringLiteral("--refuse"));
    if (!watcher.publish(QDBusConnection::sessionBus())) {
        std::fputs("the StatusNotifierWatcher name is taken or there is no session bus\n", stderr);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
