#pragma once

#include <QString>

#include <exception>
#include <optional>

// Base of every error the services throw through their tasks. The store catches these, shows
// `description()` and keys its report throttle on `typeName()`, a fixed name per error type.
class AppError : public std::exception
{
public:
    virtual QString description() const = 0;
    virtual QString typeName() const = 0;
    // What a report of a failed action says about it: a fixed category name, never the error's own text, and the
    // exit status of a command that failed. Errors that name no category are "unknown".
    virtual QString failureCategory() const { return QStringLiteral("unknown"); }
    virtual std::optional<qint32> failureExitStatus() const { return std::nullopt; }

    const char* what() const noexcept override { return "Porthive error"; }
};

// A failed system call, passed through with the system's own message.
class SystemError : public AppError
{
public:
    explicit SystemError(int code, QString context = {});

    int code() const { return m_code; }
    QString context() const { return m_context; }

    QString description() const override;
    QString typeName() const override { return QStringLiteral("POSIXError"); }

private:
    int m_code = 0;
    QString m_context;
};
