#pragma once

#include <QString>
#include <QStringList>

// What a shell process does, told from its executable and its words (its arguments, the first its own name): waits
// for what a user types, runs a command string (`sh -c`, which a script, a Makefile, tmux or an editor starts, and
// npm for a script), or runs a script file (`./dev.sh`, a tool on PATH written in shell).
struct ShellRun
{
    enum class Role
    {
        NotAShell,
        Interactive,
        CommandString,
        Script
    };
    Role role = Role::NotAShell;
    // For a script: the index of its path among the words.
    qsizetype script = -1;

    friend bool operator==(const ShellRun&, const ShellRun&) = default;
};

ShellRun shellRun(const QString& executable, const QStringList& words);
