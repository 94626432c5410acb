#include "platform/workspace.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

#if defined(Q_OS_MACOS)

bool openWithSystem(const QStringList& arguments)
{
    return QProcess::startDetached(u"/usr/bin/open"_s, arguments);
}

#else

const QString fileManagerService = u"org.freedesktop.FileManager1"_s;

bool openWithSystem(const QString& target)
{
    return QProcess::startDetached(u"xdg-open"_s, {target});
}

QString enclosingFolder(const QString& path)
{
    return QFileInfo(QDir::cleanPath(path)).absolutePath();
}

bool fileManagerAvailable(const QDBusConnection& bus)
{
    const QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon)
        return false;
    if (daemon->isServiceRegistered(fileManagerService).value())
        return true;
    const QDBusReply<QStringList> activatable = daemon->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(fileManagerService);
}

#endif

} // namespace

bool SystemWorkspace::revealPath(const QString& path)
{
    if (path.isEmpty())
        return false;
#if defined(Q_OS_MACOS)
    return openWithSystem({u"-R"_s, path});
#else
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !fileManagerAvailable(bus))
        return openWithSystem(enclosingFolder(path));

    QDBusMessage call = QDBusMessage::createMethodCall(fileManagerService, u"/org/freedesktop/FileManager1"_s,
                                                       fileManagerService, u"ShowItems"_s);
    call << QStringList{QUrl::fromLocalFile(QDir::cleanPath(path)).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    // The file manager answers later; when it refuses, the enclosing folder is opened instead.
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [path](QDBusPendingCallWatcher* done) {
        if (done->isError())
            openWithSystem(enclosingFolder(path));
        done->deleteLater();
    });
    return true;
#endif
}

bool SystemWorkspace::openURL(const QUrl& url)
{
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
#if defined(Q_OS_MACOS)
    return openWithSystem({url.toString(QUrl::FullyEncoded)});
#else
    return openWithSystem(url.toString(QUrl::FullyEncoded));
#endif
}
