#pragma once

#include "base/apperror.h"
#include "control/actionerror.h"
#include "control/processactionservicing.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QUuid>

#include <atomic>
#include <functional>

// Records what the store asks of the process action service and answers as the test sets it up. The signal
// operations may be called from any thread.
class FakeProcessActions final : public QObject, public ProcessActionServicing
{
    Q_OBJECT

public:
    struct Call
    {
        // "pause", "resume", "forceTerminate", "restart", "startProject", "revealProject", "revealPath".
        QString operation;
        // The server key, or the path.
        QString target;
        bool onGuiThread = false;
    };

    // When not 0, the signal operations throw a SystemError with this errno.
    std::atomic<int> signalError{0};
    bool revealAnswer = true;
    // Answers restart and startProject: the session returned, or the error thrown. Without one, a new session
    // of the project is returned.
    std::function<ServerLogSession(const QString& projectPath)> launchHandler;
    // While set, restart and startProject wait for releaseLaunches().
    bool holdLaunches = false;

    QList<Call> calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    QStringList operations() const
    {
        QStringList names;
        for (const Call& call : calls())
            names.append(call.operation);
        return names;
    }
    int count(const QString& operation) const { return int(operations().count(operation)); }
    // Launches (restart or start) waiting for releaseLaunches().
    int waitingLaunches() const { return m_waitingLaunches; }

    void releaseLaunches()
    {
        ++m_releases;
        Q_EMIT launchesReleased();
    }

    static ServerLogSession sessionFor(const QString& projectPath)
    {
        return ServerLogSession{QUuid::createUuid(), projectPath,
                                QUrl::fromLocalFile(QStringLiteral("/nonexistent/") + QUuid::createUuid().toString() +
                                                    QStringLiteral(".log")),
                                QDateTime::currentDateTimeUtc()};
    }

    QList<qint32> targetProcessIDs(const LocalServer& server) const override
    {
        return server.managedProcessIDs.isEmpty() ? QList<qint32>{server.pid} : server.managedProcessIDs;
    }
    bool revealProject(const LocalServer& server) override
    {
        record(QStringLiteral("revealProject"), server.projectPath.value_or(QString()));
        return server.projectPath && revealAnswer;
    }
    bool revealPath(const QString& path) override
    {
        record(QStringLiteral("revealPath"), path);
        return revealAnswer;
    }
    void sendSignal(int signal, const LocalServer& server) override
    {
        signalled(QStringLiteral("signal ") + QString::number(signal), server);
    }
    void forceTerminate(const LocalServer& server) override { signalled(QStringLiteral("forceTerminate"), server); }
    void pause(const LocalServer& server) override { signalled(QStringLiteral("pause"), server); }
    void resume(const LocalServer& server) override { signalled(QStringLiteral("resume"), server); }

    QCoro::Task<ServerLogSession> restart(LocalServer server) override
    {
        record(QStringLiteral("restart"), server.id());
        return answerLaunch(QPointer<FakeProcessActions>(this), server.projectPath.value_or(QString()));
    }
    QCoro::Task<ServerLogSession> startProject(RememberedProject project) override
    {
        record(QStringLiteral("startProject"), project.projectPath);
        return answerLaunch(QPointer<FakeProcessActions>(this), project.projectPath);
    }

Q_SIGNALS:
    void launchesReleased();

private:
    void record(const QString& operation, const QString& target)
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append({operation, target, QThread::currentThread() == QCoreApplication::instance()->thread()});
    }
    void signalled(const QString& operation, const LocalServer& server)
    {
        record(operation, server.id());
        if (const int error = signalError.load())
            throw SystemError(error, QStringLiteral("kill"));
    }

    static QCoro::Task<ServerLogSession> answerLaunch(QPointer<FakeProcessActions> self, QString projectPath)
    {
        if (self->holdLaunches) {
            const int releasesBefore = self->m_releases;
            ++self->m_waitingLaunches;
            while (self && self->m_releases == releasesBefore) {
                auto wake = qCoro(self.data(), &FakeProcessActions::launchesReleased);
                co_await wake;
            }
            if (!self)
                throw ActionError::launchFailed(-1, {}, {});
            --self->m_waitingLaunches;
        }
        if (self->launchHandler)
            co_return self->launchHandler(projectPath);
        co_return sessionFor(projectPath);
    }

    mutable QMutex m_mutex;
    QList<Call> m_calls;
    int m_waitingLaunches = 0;
    int m_releases = 0;
};
