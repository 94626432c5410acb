#pragma once

#include "discovery/commandrunner.h"

#include <QList>

#include <functional>

// A command runner that records every call and answers from a handler; the handler may throw
// CommandRunnerError to stand for a failed run.
class FakeCommandRunner final : public CommandRunner
{
public:
    struct Call
    {
        QString executablePath;
        QStringList arguments;
        std::chrono::milliseconds timeout{};
    };
    using Handler = std::function<CommandOutput(const Call&)>;

    explicit FakeCommandRunner(Handler handler = {})
        : m_handler(std::move(handler))
    {}

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Answers every call with this standard output.
    void setOutput(const QString& standardOutput)
    {
        m_handler = [standardOutput](const Call&) {
            return CommandOutput{standardOutput, {}, 0};
        };
    }
    void setError(const CommandRunnerError& error)
    {
        m_handler = [error](const Call&) -> CommandOutput {
            throw error;
        };
    }

    const QList<Call>& calls() const { return m_calls; }

    QCoro::Task<CommandOutput> run(const QString& executablePath, const QStringList& arguments,
                                   std::chrono::milliseconds timeout) const override
    {
        const Call call{executablePath, arguments, timeout};
        m_calls.append(call);
        return respond(m_handler, call);
    }

private:
    static QCoro::Task<CommandOutput> respond(Handler handler, Call call)
    {
        if (!handler)
            co_return CommandOutput{};
        co_return handler(call);
    }

    Handler m_handler;
    mutable QList<Call> m_calls;
};
