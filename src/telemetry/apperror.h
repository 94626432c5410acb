#pragma once

#include <QString>

#include <exception>

// Base of every error the services throw through their tasks. The store catches these, shows
// `description()` and keys its report throttle on `typeName()`, a fixed name per error type.
class AppError : public std::exception
{
public:
    virtual QString description() const = 0;
    virtual QString typeName() const = 0;

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
