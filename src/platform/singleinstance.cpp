#include "platform/singleinstance.h"

#include "platform/bundleinfo.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

const QByteArray activateRequest = "activate\n";
const QByteArray activateAnswer = "ok\n";
constexpr qint64 requestLimit = 64;

} // namespace

SingleInstance::SingleInstance(QString folder, QString name, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_name(std::move(name))
    , m_lock(QDir(m_folder).filePath(m_name + u".lock"_s))
{
    // A lock is stale only when its process is gone, never because it is old.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
        m_lock.unlock();
    }
}

std::unique_ptr<SingleInstance> SingleInstance::forThisUser()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString name = BundleInfo::main().value(u"CFBundleIdentifier"_s).value_or(u"porthive"_s);
    return std::make_unique<SingleInstance>(folder, name);
}

QString SingleInstance::socketPath() const
{
    return QDir(m_folder).filePath(m_name + u".socket"_s);
}

QString SingleInstance::lockPath() const
{
    return QDir(m_folder).filePath(m_name + u".lock"_s);
}

bool SingleInstance::claim()
{
    if (m_server)
        return true;
    QDir().mkpath(m_folder);
    if (!m_lock.tryLock(0)) {
        // Anything but a live holder (an unwritable folder, say) must not keep the application from starting.
        if (m_lock.error() == QLockFile::LockFailedError)
            return false;
        return true;
    }
    // A socket left by a process that died is ours to replace: we hold the lock.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    m_server->listen(socketPath());
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        socket->setReadBufferSize(requestLimit);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() >= requestLimit)
                    socket->abort();
                return;
            }
            const QByteArray line = socket->readLine(requestLimit);
            if (line == activateRequest) {
                socket->write(activateAnswer);
                socket->flush();
                Q_EMIT activationRequested();
            }
            socket->disconnectFromServer();
        });
    }
}

bool SingleInstance::activateRunningInstance(std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    // The running instance may hold the lock and not listen yet.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(activateRequest);
            if (!socket.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime()))))
                return false;
            while (!socket.canReadLine()) {
                if (!socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
                    return false;
            }
            return socket.readLine(requestLimit) == activateAnswer;
        }
        QThread::msleep(50);
    }
    return false;
}
