#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <mutex>
#include <optional>

// The environment a fresh login shell of the user gives a command: what the user's own environment already has.
// A launch's variables beyond it are the ones the user gave that launch.
class LoginEnvironmentSource
{
public:
    virtual ~LoginEnvironmentSource() = default;

    // Its NAME=value entries; absent while they cannot be read. Blocking; safe on any thread.
    virtual std::optional<QList<QByteArray>> environment() = 0;
};

// Runs the login shell a relaunch runs in, the way the relaunch runs it, on the first call. What it read is kept for
// as long as this lives; a shell that failed or overran its limit is run again on the next call.
class LoginShellEnvironment final : public LoginEnvironmentSource
{
public:
    static constexpr std::chrono::milliseconds defaultTimeout{5000};

    // `shell` empty: the user's own login shell.
    explicit LoginShellEnvironment(QString shell = {}, std::chrono::milliseconds timeout = defaultTimeout);

    std::optional<QList<QByteArray>> environment() override;

private:
    const QString m_shell;
    const std::chrono::milliseconds m_timeout;
    // Held while the shell runs: a second caller waits for its outcome instead of running another.
    std::mutex m_lock;
    std::optional<QList<QByteArray>> m_read;
};
