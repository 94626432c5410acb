#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The environment variables a user gave a server's launch, so that a restart or a new start sets them again:
// `PORT=4200 npm run dev` must come back on 4200. What a process was given is read off the kernel: the variables
// its launching process started with that the user's own environment (what a fresh login shell exports) does not
// have, or has with another value, and that the terminal's shell it was typed into did not start with either.
// A launch from this program carries the names it was given in a variable of its own, so a relaunched server keeps
// exactly those and nothing its login shell's start-up files set.
namespace LaunchEnvironment {

// Names to values, in name order.
using Variables = QMap<QString, QString>;

// The variable a launch from this program carries: the id of the shell it ran in, a colon and the given names,
// separated by commas.
QString markerName();

// What the scan knows of a launching process and the environments it is told apart from. Each holds NAME=value
// entries.
struct Launcher
{
    qint32 pid = 0;
    qint32 parentPid = 0;
    // What it started with; absent when it could not be read.
    std::optional<QList<QByteArray>> environment;
    // The user's own environment: what a fresh login shell exports to a command (absent when it could not be
    // read), and this program's own, which the user's session gave it and which every relaunch starts from.
    std::optional<QList<QByteArray>> loginEnvironment;
    QList<QByteArray> ownEnvironment;
    // What the interactive shell the launch was typed into started with, where it was typed into one: the
    // terminal's variables, which are no more given than the login shell's.
    std::optional<QList<QByteArray>> shellEnvironment;
};

// The variables given to the launch: those named by this program's own marker, where the marker is the launch's
// (its shell is the process or its parent); else those of the process that neither the login environment, nor
// this program's own, nor the typed-into shell (where there is one) has with the same value, without the
// ones a shell sets for every command or builds anew at login (`_`, PWD, OLDPWD, SHLVL, COLUMNS, LINES, PATH) and
// names no shell can assign. Empty when the process's environment could not be read. Absent when a given value is
// no UTF-8 text: it could not be set again as it was.
std::optional<Variables> given(const Launcher& launcher);

// The value of `name` in NAME=value entries, the first one as getenv takes it; absent when it is not there or is
// no UTF-8 text.
std::optional<QString> value(const QList<QByteArray>& environment, const QString& name);

// Whether `name` (a path, or a login shell's "-bash") names a shell a user types commands into.
bool isShellName(const QString& name);

// POSIX shell text that exports the marker and `variables`, ending in "&& " so a command can follow: what a
// relaunch runs before its command. Neither it nor carriers() holds a variable that is not settable. The values come
// from the carriers below, never from the text: a shell's arguments are there for every user of the machine to read,
// its environment only for its own.
QString exportText(const Variables& variables);
// NAME=value entries for the shell's environment that carry the values to exportText's text, each under a name of
// this program's own that the text removes again.
QStringList carriers(const Variables& variables);

// "NAME=value NAME2='a b' ", each value quoted as for the shell: the form a user types them in.
QString assignmentText(const Variables& variables);

// How many characters of a value are shown before it is cut.
inline constexpr qsizetype shownValueLimit = 40;

// The variables as the window shows them in front of a command, in assignmentText's form: a value whose name or
// text looks secret is "<redacted>" whole, never in part; a long one is cut. For showing only.
QString shownAssignments(const Variables& variables);

// Whether a variable read from elsewhere (the settings file) may be set for a launch: its name passes the rule
// given() applies to a process's names, and its value is text that an environment can hold (no NUL).
bool isSettable(const QString& name, const QString& value);

} // namespace LaunchEnvironment
