#include "control/processactionservice.h"

#include "base/apperror.h"
#include "base/asyncwork.h"
#include "control/actionerror.h"
#include "control/controllog.h"
#include "control/serverlogservice.h"
#include "discovery/launchcommand.h"
#include "discovery/launchenvironment.h"
#include "platform/desktop/workspace.h"
#include "platform/launching/childprocess.h"
#include "platform/launching/loginshell.h"
#include "platform/launching/processsignals.h"
#include "platform/listings/processidentity.h"
#include "platform/storage/regularfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr auto observationInterval = 100ms;
constexpr auto exitProbeInterval = 50ms;
constexpr auto writerDrainTimeout = 1000ms;

using Logs = std::shared_ptr<ServerLogService>;

QThreadPool* sharedPool()
{
    return QThreadPool::globalInstance();
}

// The command itself, or the project's own dev command where that is what should run.
QString chooseCommand(const QString& trimmed, const QString& projectPath)
{
    if (!isReplayableCommandLine(trimmed))
        return projectDevCommand(projectPath).value_or(QString());
    if (isPackageManagerDevVariant(trimmed))
        return projectDevCommand(projectPath).value_or(trimmed);
    return trimmed;
}

std::shared_ptr<FileDescriptor> openForWriting(const QString& path)
{
    // An existing regular file only (a named pipe put there would stop the server once full), never through a
    // link, and never inherited by another child. The log writer also reads it back when it drops the older part.
    return std::make_shared<FileDescriptor>(RegularFile::open(path, O_RDWR));
}

struct LaunchStart
{
    std::shared_ptr<ChildProcess> child;
    // The log writer, where it runs.
    std::shared_ptr<ChildProcess> writer;
    QString failure;
};

void writeLine(int fd, const QString& text)
{
    const QByteArray line = text.toUtf8() + '\n';
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + written, size_t(line.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
}

// The writer between the server and its log, reading from a pipe the server writes into: the write end, or an
// invalid descriptor where there is no writer to start (the server then writes into the log itself).
FileDescriptor startLogWriter(const LaunchSetup& setup, const QString& projectPath, int logFd,
                              std::shared_ptr<ChildProcess>& writer)
{
    if (setup.logWriter.isEmpty()) {
        qCDebug(lcControl) << "no log writer found: the server writes into its log itself";
        return {};
    }
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        qCDebug(lcControl) << "no pipe for the log writer: the server writes into its log itself:"
                           << qt_error_string(errno);
        return {};
    }
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);
    ChildProcess::Options options;
    options.program = setup.logWriter;
    options.arguments = {QString::number(setup.logCapBytes)};
    options.workingDirectory = projectPath;
    options.inputFd = readEnd.get();
    options.outputFd = logFd;
    try {
        writer = ChildProcess::start(options);
    } catch (const SystemError& error) {
        qCDebug(lcControl) << "the log writer" << setup.logWriter
                           << "could not start: the server writes into its log itself:" << error.description();
        return {};
    }
    return writeEnd;
}

// What a launch runs: the login shell with the text that sets the variables and then runs the command, and the
// variables' carriers in its environment. The check before a launch and the launch itself both take it from here.
struct ShellLaunch
{
    LoginShell::Invocation shell;
    QStringList environment;
};

ShellLaunch shellLaunch(const LaunchSetup& setup, const QString& command, const LaunchEnvironment::Variables& variables)
{
    const QString text = LaunchEnvironment::exportText(variables) + command;
    return {setup.shell.isEmpty() ? LoginShell::userInvocation(text) : LoginShell::invocation(setup.shell, text),
            LaunchEnvironment::carriers(variables)};
}

ChildProcess::Options shellOptions(const ShellLaunch& launch)
{
    ChildProcess::Options options;
    options.program = launch.shell.program;
    options.arguments = launch.shell.arguments;
    options.errorToNull = launch.shell.quietStart;
    options.environment = launch.environment;
    return options;
}

// A launch that could not start is refused before anything is stopped or created: the old server would be gone
// and every later start would fail the same way.
void checkCanStart(const ShellLaunch& launch)
{
    const QFileInfo shell(launch.shell.program);
    if (!shell.isAbsolute() || !shell.isFile() || !shell.isExecutable())
        throw ActionError::loginShellUnavailable();
    switch (ChildProcess::sizeProblem(shellOptions(launch))) {
    case ChildProcess::SizeProblem::None:
        return;
    case ChildProcess::SizeProblem::StringTooLong:
        throw ActionError::launchTooLong();
    case ChildProcess::SizeProblem::TooLarge:
        throw ActionError::launchTooLarge();
    }
}

// Starts the login shell with the command; when it cannot start, the reason goes into the log so the user can
// read it there.
LaunchStart startShell(const LaunchSetup& setup, const ShellLaunch& launch, const QString& projectPath, int logFd)
{
    LaunchStart started;
    const FileDescriptor pipe = startLogWriter(setup, projectPath, logFd, started.writer);
    ChildProcess::Options options = shellOptions(launch);
    options.workingDirectory = projectPath;
    options.outputFd = pipe.isValid() ? pipe.get() : logFd;
    try {
        started.child = ChildProcess::start(options);
    } catch (const SystemError& error) {
        started.failure = u"Could not start %1 in %2: %3"_s.arg(options.program, projectPath, error.description());
        writeLine(options.outputFd, started.failure);
    }
    // Our end of the pipe closes here, so the writer ends with the server's last descriptor on it.
    return started;
}

// Sends to the process the scan listed under `id`: when its start time is known, a process that has taken the id
// since counts as gone (ESRCH) and gets nothing.
int sendToListed(qint32 id, const QHash<qint32, quint64>& startTimes, int signal)
{
    const auto start = startTimes.constFind(id);
    if (start != startTimes.cend())
        return ProcessIdentity::send(id, *start, signal);
    return ProcessSignals::send(id, signal);
}

// An ended process whose parent has not collected it yet (a terminal multiplexer or task runner that reaps late)
// is gone too: it runs nothing, holds no port, and the relaunch need not wait for its parent.
bool allGone(const QList<qint32>& ids, const QHash<qint32, quint64>& startTimes)
{
    for (const qint32 id : ids) {
        if (sendToListed(id, startTimes, 0) != ESRCH && !ProcessIdentity::hasEnded(id))
            return false;
    }
    return true;
}

QCoro::Task<> discardQuietly(Logs logs, ServerLogSession session)
{
    try {
        auto discard = logs->discardSession(session);
        co_await discard;
    } catch (...) {
    }
}

QCoro::Task<PreparedLaunch> prepareLaunchTask(Logs logs, LaunchSetup setup, QString command, QString projectPath,
                                              LaunchEnvironment::Variables environment)
{
    const QString trimmed = command.trimmed();
    auto choose = [setup = std::move(setup), trimmed, projectPath, environment] {
        const QString chosen = chooseCommand(trimmed, projectPath);
        if (!chosen.isEmpty())
            checkCanStart(shellLaunch(setup, chosen, environment));
        return chosen;
    };
    auto chooseTask = AsyncWork::runOn(sharedPool(), std::move(choose));
    const QString chosen = co_await chooseTask;
    if (chosen.isEmpty())
        throw ActionError::missingLaunchCommand();

    std::optional<ServerLogSession> session;
    try {
        auto start = logs->startSession(projectPath);
        session = co_await start;
    } catch (...) {
    }
    if (!session)
        throw ActionError::logUnavailable();

    std::shared_ptr<FileDescriptor> file;
    try {
        const QString path = session->fileURL.toLocalFile();
        auto open = AsyncWork::runOn(sharedPool(), [path] { return openForWriting(path); });
        file = co_await open;
    } catch (...) {
    }
    if (!file) {
        auto discard = discardQuietly(logs, *session);
        co_await discard;
        throw ActionError::logUnavailable();
    }

    PreparedLaunch prepared{chosen, projectPath, *session, std::move(*file), std::move(environment)};
    co_return prepared;
}

QCoro::Task<ServerLogSession> launchTask(Logs logs, std::chrono::milliseconds observation, LaunchSetup setup,
                                         PreparedLaunch prepared)
{
    const QString projectPath = prepared.projectPath;
    const int logFd = prepared.logFile.get();
    auto startWork = [setup = std::move(setup), command = prepared.command, environment = prepared.environment,
                      projectPath, logFd] {
        return startShell(setup, shellLaunch(setup, command, environment), projectPath, logFd);
    };
    auto startTask = AsyncWork::runOn(sharedPool(), std::move(startWork));
    const LaunchStart started = co_await startTask;
    // The child holds its own copies of the log; ours goes now, on every path.
    prepared.logFile.reset();
    const ServerLogSession session = prepared.session;
    if (!started.child)
        throw ActionError::launchFailed(-1, started.failure, session);

    const auto deadline = std::chrono::steady_clock::now() + observation;
    while (started.child->isRunning() && std::chrono::steady_clock::now() < deadline) {
        auto nap = AsyncWork::sleepPrecisely(observationInterval);
        co_await nap;
    }
    if (started.child->isRunning())
        co_return session;
    const int status = started.child->terminationStatus().value_or(-1);
    if (status == 0)
        co_return session;
    // The writer has the last of the output until it ends; one the server's own children keep open is not waited
    // for beyond a moment.
    const auto drained = std::chrono::steady_clock::now() + writerDrainTimeout;
    while (started.writer && started.writer->isRunning() && std::chrono::steady_clock::now() < drained) {
        auto nap = AsyncWork::sleepPrecisely(exitProbeInterval);
        co_await nap;
    }

    QString text;
    try {
        auto read = logs->snapshot(session);
        text = (co_await read).text;
    } catch (...) {
    }
    throw ActionError::launchFailed(status, text, session);
}

QCoro::Task<bool> waitForExitTask(QList<qint32> ids, QHash<qint32, quint64> startTimes,
                                  std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (allGone(ids, startTimes))
            co_return true;
        auto nap = AsyncWork::sleepPrecisely(exitProbeInterval);
        co_await nap;
    }
    co_return allGone(ids, startTimes);
}

void signalAll(int signal, const LocalServer& server)
{
    const QList<qint32> ids = ProcessActionService::processIDsToSignal(server);
    // Nothing sent is no success: the row would wait for a change that never comes.
    if (ids.isEmpty())
        throw ActionError::noProcessToSignal();
    for (const qint32 id : ids) {
        const int error = sendToListed(id, server.processStartTimes, signal);
        if (error == 0 || error == ESRCH)
            continue;
        throw SystemError(error > 0 ? error : EPERM, u"kill"_s);
    }
}

QCoro::Task<ServerLogSession> restartTask(Logs logs, std::chrono::milliseconds observation, LaunchSetup setup,
                                          LocalServer server)
{
    if (!server.projectPath || server.projectPath->isEmpty())
        throw ActionError::missingProjectPath();
    // No command is what the scan gives a server it could not read exactly: the project's own dev command would
    // replace the user's server with another one.
    if (server.rawCommandLine.isEmpty())
        throw ActionError::commandNotReplayable();

    auto prepare = prepareLaunchTask(logs, setup, server.rawCommandLine, *server.projectPath, server.launchEnvironment);
    PreparedLaunch prepared = co_await prepare;

    // Nothing is stopped before the new launch has its command and its log.
    const QList<qint32> ids = ProcessActionService::processIDsToSignal(server);
    QList<qint32> terminated;
    int signalError = 0;
    for (const qint32 id : ids) {
        const int error = sendToListed(id, server.processStartTimes, ProcessSignals::terminateSignal());
        if (error == 0)
            terminated.append(id);
        else if (error != ESRCH) {
            signalError = error > 0 ? error : EPERM;
            break;
        }
    }
    // A paused server only acts on SIGTERM once it runs again.
    for (const qint32 id : std::as_const(terminated))
        sendToListed(id, server.processStartTimes, ProcessSignals::continueSignal());

    std::exception_ptr stopped;
    if (signalError != 0) {
        stopped = std::make_exception_ptr(SystemError(signalError, u"kill"_s));
    } else {
        auto wait = waitForExitTask(ids, server.processStartTimes, ProcessActionService::restartExitTimeout);
        if (!co_await wait)
            stopped = std::make_exception_ptr(ActionError::restartProcessesStillRunning());
    }
    // Nothing was launched for the prepared session, so its log goes again.
    if (stopped) {
        prepared.logFile.reset();
        auto discard = discardQuietly(logs, prepared.session);
        co_await discard;
        std::rethrow_exception(stopped);
    }

    auto start = launchTask(logs, observation, std::move(setup), std::move(prepared));
    co_return co_await start;
}

QCoro::Task<ServerLogSession> startProjectTask(Logs logs, std::chrono::milliseconds observation, LaunchSetup setup,
                                               RememberedProject project)
{
    auto prepare = prepareLaunchTask(logs, setup, project.launchCommand, project.projectPath,
                                     std::move(project.launchEnvironment));
    PreparedLaunch prepared = co_await prepare;
    auto start = launchTask(logs, observation, std::move(setup), std::move(prepared));
    co_return co_await start;
}

} // namespace

QString LaunchSetup::defaultLogWriter()
{
    static const QString found = [] {
        const QString folder = QCoreApplication::applicationDirPath();
        const QString beside = folder + u"/porthive-log-writer"_s;
        const QString installed = folder + u'/' + QStringLiteral(PORTHIVE_LOG_WRITER_FROM_PROGRAM);
        for (const QString& path : {beside, installed}) {
            if (::access(QFile::encodeName(path).constData(), X_OK) == 0)
                return path;
        }
        return QString();
    }();
    return found;
}

ProcessActionService::ProcessActionService(std::shared_ptr<ServerLogService> logService,
                                           std::shared_ptr<Workspace> workspace,
                                           std::chrono::milliseconds startupObservation, LaunchSetup setup)
    : m_logService(std::move(logService))
    , m_workspace(std::move(workspace))
    , m_startupObservation(startupObservation)
    , m_setup(std::move(setup))
{}

QList<qint32> ProcessActionService::processIDsToSignal(const LocalServer& server)
{
    const QList<qint32> listed =
        server.managedProcessIDs.isEmpty() ? QList<qint32>{server.pid} : server.managedProcessIDs;
    const qint32 own = ProcessSignals::ownProcessId();
    QList<qint32> ids;
    QSet<qint32> seen;
    for (const qint32 id : listed) {
        if (id <= 1 || id == own || seen.contains(id))
            continue;
        seen.insert(id);
        ids.append(id);
    }
    return ids;
}

QList<qint32> ProcessActionService::targetProcessIDs(const LocalServer& server) const
{
    return processIDsToSignal(server);
}

bool ProcessActionService::revealProject(const LocalServer& server)
{
    if (!server.projectPath || server.projectPath->isEmpty())
        return false;
    return m_workspace->revealPath(*server.projectPath);
}

bool ProcessActionService::revealPath(const QString& path)
{
    return m_workspace->revealPath(path);
}

void ProcessActionService::sendSignal(int signal, const LocalServer& server)
{
    signalAll(signal, server);
}

void ProcessActionService::forceTerminate(const LocalServer& server)
{
    signalAll(ProcessSignals::killSignal(), server);
}

void ProcessActionService::pause(const LocalServer& server)
{
    signalAll(ProcessSignals::stopSignal(), server);
}

void ProcessActionService::resume(const LocalServer& server)
{
    signalAll(ProcessSignals::continueSignal(), server);
}

QCoro::Task<ServerLogSession> ProcessActionService::restart(LocalServer server)
{
    return restartTask(m_logService, m_startupObservation, m_setup, std::move(server));
}

QCoro::Task<ServerLogSession> ProcessActionService::startProject(RememberedProject project)
{
    return startProjectTask(m_logService, m_startupObservation, m_setup, std::move(project));
}

QCoro::Task<PreparedLaunch> ProcessActionService::prepareLaunch(const QString& command, const QString& projectPath,
                                                                LaunchEnvironment::Variables environment)
{
    return prepareLaunchTask(m_logService, m_setup, command, projectPath, std::move(environment));
}

QCoro::Task<ServerLogSession> ProcessActionService::launch(PreparedLaunch prepared)
{
    return launchTask(m_logService, m_startupObservation, m_setup, std::move(prepared));
}

QCoro::Task<bool> ProcessActionService::waitForProcessesToExit(QList<qint32> ids, std::chrono::milliseconds timeout)
{
    return waitForExitTask(std::move(ids), {}, timeout);
}
