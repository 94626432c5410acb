#pragma once

#include "control/processactionservicing.h"
#include "platform/system/filedescriptor.h"

#include <chrono>
#include <cstdint>
#include <memory>

class ServerLogService;
class Workspace;

// A launch with its command chosen and its private log file open for writing.
struct PreparedLaunch
{
    QString command;
    QString projectPath;
    ServerLogSession session;
    FileDescriptor logFile;
    // Set for the command, after the login shell's own start-up.
    LaunchEnvironment::Variables environment = {};
};

// Where a launch runs and how its output is kept.
struct LaunchSetup
{
    // The login shell; empty: the user's own, looked up at each launch.
    QString shell;
    // The program between the server and its log that keeps the log within `logCapBytes`; empty, or one that
    // cannot start, leaves the server writing into the log itself.
    QString logWriter = defaultLogWriter();
    std::uint64_t logCapBytes = 32ull * 1024 * 1024;

    // Next to this program, else where it is installed; empty when neither is there.
    static QString defaultLogWriter();
};

// Launches projects through the login shell with their output in a private log, watches the start,
// restarts and signals servers, and reveals folders. Keeps no state between calls; its asynchronous
// operations never block the calling thread (file and process work runs on the shared thread pool,
// log work on the log service's executor).
class ProcessActionService final : public ProcessActionServicing
{
public:
    static constexpr std::chrono::milliseconds defaultStartupObservation{3000};
    static constexpr std::chrono::milliseconds restartExitTimeout{3000};

    ProcessActionService(std::shared_ptr<ServerLogService> logService, std::shared_ptr<Workspace> workspace,
                         std::chrono::milliseconds startupObservation = defaultStartupObservation,
                         LaunchSetup setup = {});

    QList<qint32> targetProcessIDs(const LocalServer& server) const override;
    bool revealProject(const LocalServer& server) override;
    bool revealPath(const QString& path) override;
    void sendSignal(int signal, const LocalServer& server) override;
    void forceTerminate(const LocalServer& server) override;
    void pause(const LocalServer& server) override;
    void resume(const LocalServer& server) override;
    QCoro::Task<ServerLogSession> restart(LocalServer server) override;
    QCoro::Task<ServerLogSession> startProject(RememberedProject project) override;

    // Chooses the command (the project's own dev command where the given one cannot be replayed), checks that the
    // login shell can run it with its variables (LaunchTooLong, LaunchTooLarge, LoginShellUnavailable), and opens
    // a new session's log file. Fails with missingLaunchCommand, one of those, or logUnavailable.
    QCoro::Task<PreparedLaunch> prepareLaunch(const QString& command, const QString& projectPath,
                                              LaunchEnvironment::Variables environment = {});
    // Starts the login shell with the variables and the command in the project folder, its output through the
    // log writer, and watches it for the start-up observation. Fails only with launchFailed (status -1 when it
    // could not start at all).
    QCoro::Task<ServerLogSession> launch(PreparedLaunch prepared);
    // True once every id is gone; probes every 50 ms until `timeout`.
    static QCoro::Task<bool> waitForProcessesToExit(QList<qint32> ids, std::chrono::milliseconds timeout);

    // managedProcessIDs (or the pid alone), without 0, 1, negative ids, this program and repeats.
    static QList<qint32> processIDsToSignal(const LocalServer& server);

private:
    const std::shared_ptr<ServerLogService> m_logService;
    const std::shared_ptr<Workspace> m_workspace;
    const std::chrono::milliseconds m_startupObservation;
    const LaunchSetup m_setup;
};
