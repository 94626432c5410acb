#include "platform/desktop/workspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

#if defined(Q_OS_MACOS)

bool openWithSystem(const QStringList& arguments)
{
    return QProcess::startDetached(u"/usr/bin/open"_s, arguments);
}

#else

const QString fileManagerService = u"org.freedesktop.FileManager1"_s;
constexpr int busAnswerLimitMs = 1000;

bool openWithSystem(const QString& target)
{
    return QProcess::startDetached(u"xdg-open"_s, {target});
}

QString enclosingFolder(const QString& path)
{
    return QFileInfo(QDir::cleanPath(path)).absolutePath();
}

// Asks the bus itself, with a short limit so a stuck bus cannot hold up the caller's thread.
QDBusMessage askBus(const QDBusConnection& bus, const QString& method, const QVariantList& arguments)
{
    QDBusMessage question = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                                           u"org.freedesktop.DBus"_s, method);
    question.setArguments(arguments);
    return bus.call(question, QDBus::Block, busAnswerLimitMs);
}

bool fileManagerAvailable(const QDBusConnection& bus)
{
    const QDBusMessage owner = askBus(bus, u"NameHasOwner"_s, {fileManagerService});
    if (owner.type() == QDBusMessage::ReplyMessage && !owner.arguments().isEmpty() &&
        owner.arguments().constFirst().toBool())
        return true;
    const QDBusMessage activatable = askBus(bus, u"ListActivatableNames"_s, {});
    return activatable.type() == QDBusMessage::ReplyMessage && !activatable.arguments().isEmpty() &&
           activatable.arguments().constFirst().toStringList().contains(fileManagerService);
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
    if (!bus.isConnected())
        return openWithSystem(enclosingFolder(path));
    // With an opener to fall back on, the file manager is asked without waiting for any answer. Only a desktop
    // without one must know now whether a file manager is there.
    const bool canOpenFolder = !QStandardPaths::findExecutable(u"xdg-open"_s).isEmpty();
    if (!canOpenFolder && !fileManagerAvailable(bus))
        return false;

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
