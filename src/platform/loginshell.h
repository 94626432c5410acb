#pragma once

#include <QString>
#include <QStringList>

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

} // namespace LoginShell
