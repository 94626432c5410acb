#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// The shell a launch runs in: the user's own login shell, started as a login, interactive shell so that its
// start-up files put the user's tools on PATH (nvm and the like do so from ~/.bashrc or ~/.zshrc).
namespace LoginShell {

struct Invocation
{
    QString program;
    QStringList arguments;
    // The shell's error output goes to the null device until the command itself makes it the output again: bash,
    // interactive without a terminal, opens every log with notices about job control.
    bool quietStart = false;

    friend bool operator==(const Invocation&, const Invocation&) = default;
};

// The login shell of the user's account entry; empty where there is none.
QString userShell();

// How the shell at `shellPath` runs `command`, POSIX shell text (each word quoted for a POSIX shell). Shells that
// speak another language run it through /bin/sh from inside themselves, after their own start-up; a missing or
// unusable shell gives /bin/sh as a login shell.
Invocation invocation(const QString& shellPath, const QString& command);

// The same for the user's own login shell.
Invocation userInvocation(const QString& command);

// The NAME=value entries a command run as invocation() runs it at `shellPath` (empty: the user's own shell) is
// given: this program's environment as the shell's start-up files leave it. Whatever those files print is passed
// over. Absent when the shell does not get to the command within `timeout` (it is then killed with everything it
// started), or fails before it. Blocking: call it off the GUI thread.
std::optional<QList<QByteArray>> exportedEnvironment(const QString& shellPath, std::chrono::milliseconds timeout);

} // namespace LoginShell
