#include "discovery/commandrunner.h"

#include "base/oneshotsignal.h"
#include "platform/listings/snapshotplatform.h"

#include <QProcess>
#include <QStringDecoder>
#include <QTimer>

using namespace Qt::StringLiterals;

CommandRunnerError CommandRunnerError::launchFailed(QString message)
{
    CommandRunnerError error(Kind::LaunchFailed);
    error.m_message = std::move(message);
    return error;
}

CommandRunnerError CommandRunnerError::timedOut(QString executablePath)
{
    CommandRunnerError error(Kind::TimedOut);
    error.m_executablePath = std::move(executablePath);
    return error;
}

CommandRunnerError CommandRunnerError::failed(QString executablePath, qint32 status, QString standardError,
                                              QString standardOutput)
{
    CommandRunnerError error(Kind::Failed);
    error.m_executablePath = std::move(executablePath);
    error.m_exitStatus = status;
    error.m_standardError = std::move(standardError);
    error.m_standardOutput = std::move(standardOutput);
    return error;
}

QString CommandRunnerError::description() const
{
    switch (m_kind) {
    case Kind::LaunchFailed:
        return m_message;
    case Kind::TimedOut:
        return m_executablePath + u" timed out"_s;
    case Kind::Failed:
        return m_executablePath + u" exited "_s + QString::number(m_exitStatus) + u": "_s + m_standardError;
    }
    Q_UNREACHABLE();
    return {};
}

QCoro::Task<CommandOutput> CommandRunner::run(const QString& executablePath, const QStringList& arguments,
                                              std::chrono::milliseconds timeout) const
{
    return runProcess(executablePath, arguments, timeout);
}

QString CommandRunner::decodeOutput(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return {};
    return text;
}

QCoro::Task<CommandOutput> CommandRunner::runProcess(QString executablePath, QStringList arguments,
                                                     std::chrono::milliseconds timeout)
{
    QProcess process;
    process.setProgram(executablePath);
    process.setArguments(arguments);
    // Tools never read input; a tray app's own standard input is nothing to hand them.
    process.setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, SnapshotPlatform::utf8Locale());
    process.setProcessEnvironment(environment);

    // QProcess reads both pipes from the event loop while the tool runs, so a tool that prints more than a pipe
    // holds is never blocked.
    OneShotSignal ended;
    bool started = false;
    QObject::connect(&process, &QProcess::started, &ended, [&started] { started = true; });
    QObject::connect(&process, &QProcess::finished, &ended, &OneShotSignal::fire);
    QObject::connect(&process, &QProcess::errorOccurred, &ended, [&ended](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            ended.fire();
    });

    // Only whether the tool is still running when the limit fires decides the time-out. A tool that ignores
    // SIGTERM (lsof on a hung mount) is killed after a grace period, so no run waits for ever.
    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QTimer grace;
    grace.setSingleShot(true);
    grace.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &ended, [&] {
        if (process.state() == QProcess::NotRunning)
            return;
        timedOut = true;
        process.terminate();
        grace.start(killGrace);
    });
    QObject::connect(&grace, &QTimer::timeout, &ended, [&process] {
        if (process.state() != QProcess::NotRunning)
            process.kill();
    });

    process.start();
    limit.start(timeout);
    co_await untilFired(&ended);
    limit.stop();
    grace.stop();

    if (!started)
        throw CommandRunnerError::launchFailed(process.errorString());

    const QString standardOutput = decodeOutput(process.readAllStandardOutput());
    const QString standardError = decodeOutput(process.readAllStandardError());
    // A tool killed by a signal reports the signal number, as a plain exit reports its status.
    const qint32 status = process.exitCode();
    if (timedOut)
        throw CommandRunnerError::timedOut(executablePath);
    if (process.exitStatus() == QProcess::NormalExit && status == 0)
        co_return CommandOutput{standardOutput, standardError, 0};
    throw CommandRunnerError::failed(executablePath, status, standardError, standardOutput);
}
