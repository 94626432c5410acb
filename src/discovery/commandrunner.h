#pragma once

#include "base/apperror.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <chrono>

// What a successful run returns. `exitStatus` is always 0: every other status is thrown.
struct CommandOutput
{
    QString standardOutput;
    QString standardError;
    qint32 exitStatus = 0;

    friend bool operator==(const CommandOutput&, const CommandOutput&) = default;
};

// A tool that could not be started, overran its limit or exited with a non-zero status.
class CommandRunnerError final : public AppError
{
public:
    enum class Kind
    {
        LaunchFailed,
        TimedOut,
        Failed
    };

    static CommandRunnerError launchFailed(QString message);
    static CommandRunnerError timedOut(QString executablePath);
    // `standardOutput` is kept beside the description for callers that can use a partial listing.
    static CommandRunnerError failed(QString executablePath, qint32 status, QString standardError,
                                     QString standardOutput = {});

    Kind kind() const { return m_kind; }
    // LaunchFailed: the platform's text.
    QString message() const { return m_message; }
    QString executablePath() const { return m_executablePath; }
    // Failed only.
    qint32 exitStatus() const { return m_exitStatus; }
    QString standardError() const { return m_standardError; }
    QString standardOutput() const { return m_standardOutput; }

    QString description() const override;
    QString typeName() const override { return QStringLiteral("CommandRunnerError"); }

    friend bool operator==(const CommandRunnerError& a, const CommandRunnerError& b)
    {
        return a.m_kind == b.m_kind && a.m_message == b.m_message && a.m_executablePath == b.m_executablePath &&
               a.m_exitStatus == b.m_exitStatus && a.m_standardError == b.m_standardError &&
               a.m_standardOutput == b.m_standardOutput;
    }

private:
    explicit CommandRunnerError(Kind kind)
        : m_kind(kind)
    {}

    Kind m_kind;
    QString m_message;
    QString m_executablePath;
    qint32 m_exitStatus = 0;
    QString m_standardError;
    QString m_standardOutput;
};

// Runs one tool (an absolute path and its arguments, no shell) under a time limit and captures both output
// streams. Keeps no state, so any number of runs may be in flight; the run never blocks the calling thread.
class CommandRunner
{
public:
    // After SIGTERM at the limit, a tool gets this long before SIGKILL.
    static constexpr std::chrono::milliseconds killGrace{1000};

    virtual ~CommandRunner() = default;

    // Throws CommandRunnerError.
    virtual QCoro::Task<CommandOutput> run(const QString& executablePath, const QStringList& arguments,
                                           std::chrono::milliseconds timeout) const;

    // UTF-8 text, or the empty text when the bytes are not valid UTF-8.
    static QString decodeOutput(const QByteArray& bytes);

private:
    static QCoro::Task<CommandOutput> runProcess(QString executablePath, QStringList arguments,
                                                 std::chrono::milliseconds timeout);
};
