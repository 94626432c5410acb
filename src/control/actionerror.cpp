#include "control/actionerror.h"

ActionError ActionError::launchFailed(qint32 status, QString logText, ServerLogSession session)
{
    ActionError error(Kind::LaunchFailed);
    error.m_status = status;
    error.m_logText = std::move(logText);
    error.m_session = std::move(session);
    return error;
}

QString ActionError::description() const
{
    switch (m_kind) {
    case Kind::LaunchFailed:
        return QStringLiteral("Launch failed (") + QString::number(m_status) +
               QStringLiteral(") \u2014 open logs for details");
    case Kind::MissingProjectPath:
        return QStringLiteral("Project path unavailable");
    case Kind::MissingLaunchCommand:
        return QStringLiteral("Launch command unavailable");
    case Kind::LogUnavailable:
        return QStringLiteral("Could not create a private Porthive log");
    case Kind::RestartProcessesStillRunning:
        return QStringLiteral("Restart stopped because part of the previous server is still running");
    case Kind::NoProcessToSignal:
        return QStringLiteral("Porthive may not signal the processes of this server");
    case Kind::CommandNotReplayable:
        return QStringLiteral("Restart unavailable \u2014 the command that started it cannot be run again exactly");
    case Kind::LaunchTooLong:
        return QStringLiteral("Too long to run \u2014 a variable or argument is over the system's limit");
    case Kind::LaunchTooLarge:
        return QStringLiteral("Too large to run \u2014 the command and its variables are over the system's limit");
    case Kind::LoginShellUnavailable:
        return QStringLiteral("Login shell unavailable \u2014 the command cannot run");
    }
    Q_UNREACHABLE();
    return {};
}

QString ActionError::failureCategory() const
{
    switch (m_kind) {
    case Kind::LaunchFailed:
        return QStringLiteral("launch_failed");
    case Kind::MissingProjectPath:
        return QStringLiteral("missing_project_path");
    case Kind::MissingLaunchCommand:
        return QStringLiteral("missing_launch_command");
    case Kind::LogUnavailable:
        return QStringLiteral("log_unavailable");
    case Kind::RestartProcessesStillRunning:
        return QStringLiteral("restart_processes_still_running");
    case Kind::NoProcessToSignal:
        return QStringLiteral("no_process_to_signal");
    case Kind::CommandNotReplayable:
        return QStringLiteral("command_not_replayable");
    case Kind::LaunchTooLong:
        return QStringLiteral("launch_too_long");
    case Kind::LaunchTooLarge:
        return QStringLiteral("launch_too_large");
    case Kind::LoginShellUnavailable:
        return QStringLiteral("login_shell_unavailable");
    }
    return AppError::failureCategory();
}

std::optional<qint32> ActionError::failureExitStatus() const
{
    if (m_kind == Kind::LaunchFailed)
        return m_status;
    return std::nullopt;
}
