#include "platform/desktop/singleinstance.h"

#include "platform/updates/bundleinfo.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray activateRequest = "activate\n";
const QByteArray activateAnswer = "ok\n";
constexpr qint64 requestLimit = 64;
// Between two tries to reach an instance that holds the lock but does not listen yet.
constexpr std::chrono::milliseconds connectRetry{25};

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int openLockFile(const QString& path, int access)
{
    return ::open(QFile::encodeName(path).constData(), access | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
}

// Something that is not a socket sits at `path`: nothing can ever listen there.
bool isNonSocket(const QString& path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISSOCK(status.st_mode);
}

int remainingMs(const QDeadlineTimer& deadline)
{
    return int(std::max<qint64>(1, deadline.remainingTime()));
}

} // namespace

SingleInstance::SingleInstance(QString folder, QString name, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_name(std::move(name))
{}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    // The file stays: a start that opened it already must lock the same file, not a new one beside it.
    if (m_lockFile >= 0)
        ::close(m_lockFile);
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
    m_error.clear();
    if (m_lockFile >= 0)
        return true;
    QDir().mkpath(m_folder);
    const auto unusable = [this](int error) {
        m_error = u"cannot use the lock %1 (%2); another Porthive may start beside this one"_s.arg(lockPath(),
                                                                                                   systemError(error));
        return true;
    };
    const int lockFile = openLockFile(lockPath(), O_RDWR | O_CREAT);
    if (lockFile < 0)
        return unusable(errno);
    struct stat status = {};
    if (::fstat(lockFile, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(lockFile);
        return unusable(S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
    }
    if (::flock(lockFile, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(lockFile);
        if (error == EWOULDBLOCK)
            return false;
        return unusable(error);
    }
    m_lockFile = lockFile;
    // Whatever the file held (a pid that ended, another host's name, nothing) is nobody's any more. The pid is
    // for a later start's message only, so writing it may fail; the kernel's lock is what counts.
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    [[maybe_unused]] const bool written =
        ::ftruncate(lockFile, 0) == 0 && ::pwrite(lockFile, pid.constData(), size_t(pid.size()), 0) == pid.size();
    listen();
    return true;
}

void SingleInstance::listen()
{
    const QString path = socketPath();
    const auto unreachable = [this, &path](const QString& why) {
        m_error = u"later starts cannot reach this Porthive: %1 %2"_s.arg(path, why);
    };
    // We hold the lock, so a socket or file at the path was left by an instance that ended. A folder is not ours
    // to delete.
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode)) {
        unreachable(u"is a folder, not a socket"_s);
        return;
    }
    ::unlink(QFile::encodeName(path).constData());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    if (!m_server->listen(path)) {
        unreachable(u"(%1)"_s.arg(m_server->errorString()));
        delete m_server;
        m_server = nullptr;
    }
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

bool SingleInstance::lockIsHeldElsewhere() const
{
    const int lockFile = openLockFile(lockPath(), O_RDONLY);
    if (lockFile < 0)
        return false;
    const bool held = ::flock(lockFile, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(lockFile);
    return held;
}

QString SingleInstance::holderDescription() const
{
    QFile file(lockPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    bool isNumber = false;
    const qint64 pid = file.readLine(32).trimmed().toLongLong(&isNumber);
    return isNumber && pid > 0 ? u" (process %1)"_s.arg(pid) : QString();
}

SingleInstance::Activation SingleInstance::activateRunningInstance(std::chrono::milliseconds timeout)
{
    m_error.clear();
    const QDeadlineTimer deadline(timeout);
    const auto noAnswer = [this](const QString& why) {
        m_error = u"Porthive is already running%1 but %2"_s.arg(holderDescription(), why);
        return Activation::NoAnswer;
    };
    const QString doesNotAnswer = u"does not answer; end it and start Porthive again"_s;
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(remainingMs(deadline))) {
            socket.write(activateRequest);
            bool answered = socket.waitForBytesWritten(remainingMs(deadline));
            while (answered && !socket.canReadLine())
                answered = socket.waitForReadyRead(remainingMs(deadline));
            if (answered && socket.readLine(requestLimit) == activateAnswer)
                return Activation::Shown;
            return lockIsHeldElsewhere() ? noAnswer(doesNotAnswer) : Activation::Gone;
        }
        if (!lockIsHeldElsewhere())
            return Activation::Gone;
        if (isNonSocket(socketPath()))
            return noAnswer(u"cannot be reached: %1 is not a socket"_s.arg(socketPath()));
        // The running instance may hold the lock and not listen yet.
        if (deadline.hasExpired())
            return noAnswer(doesNotAnswer);
        QThread::msleep(static_cast<unsigned long>(connectRetry.count()));
    }
}
