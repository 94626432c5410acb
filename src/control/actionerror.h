#pragma once

#include "base/apperror.h"
#include "control/serverlogsession.h"

// The process action service's failures, each with its fixed user-facing text.
class ActionError final : public AppError
{
public:
    enum class Kind
    {
        LaunchFailed,
        MissingProjectPath,
        MissingLaunchCommand,
        LogUnavailable,
        RestartProcessesStillRunning,
        // Every process of the server is one that is never signalled (init, this program).
        NoProcessToSignal,
        // What started the server cannot be run again as it ran (an argument that is no text, a title written
        // over the arguments): a restart would run something else.
        CommandNotReplayable,
        // Found before anything is stopped or created: the kernel would refuse the launch (E2BIG), for one string
        // too long, or for all of them together.
        LaunchTooLong,
        LaunchTooLarge,
        // Neither the user's login shell nor the shell that stands in for it can be run.
        LoginShellUnavailable
    };

    static ActionError launchFailed(qint32 status, QString logText, ServerLogSession session);
    static ActionError missingProjectPath() { return ActionError(Kind::MissingProjectPath); }
    static ActionError missingLaunchCommand() { return ActionError(Kind::MissingLaunchCommand); }
    static ActionError logUnavailable() { return ActionError(Kind::LogUnavailable); }
    static ActionError restartProcessesStillRunning() { return ActionError(Kind::RestartProcessesStillRunning); }
    static ActionError noProcessToSignal() { return ActionError(Kind::NoProcessToSignal); }
    static ActionError commandNotReplayable() { return ActionError(Kind::CommandNotReplayable); }
    static ActionError launchTooLong() { return ActionError(Kind::LaunchTooLong); }
    static ActionError launchTooLarge() { return ActionError(Kind::LaunchTooLarge); }
    static ActionError loginShellUnavailable() { return ActionError(Kind::LoginShellUnavailable); }

    Kind kind() const { return m_kind; }
    // Only for LaunchFailed: the exit status (-1 when the command could not start), the log text and the session.
    qint32 status() const { return m_status; }
    QString logText() const { return m_logText; }
    const ServerLogSession& session() const { return m_session; }

    QString description() const override;
    QString typeName() const override { return QStringLiteral("ActionError"); }
    QString failureCategory() const override;
    std::optional<qint32> failureExitStatus() const override;

    friend bool operator==(const ActionError& a, const ActionError& b)
    {
        return a.m_kind == b.m_kind && a.m_status == b.m_status && a.m_logText == b.m_logText &&
               a.m_session == b.m_session;
    }

private:
    explicit ActionError(Kind kind)
        : m_kind(kind)
    {}

    Kind m_kind;
    qint32 m_status = 0;
    QString m_logText;
    ServerLogSession m_session;
};
