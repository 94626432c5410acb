#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

// Who a process id stands for. A scan may be a minute old when an action acts on it, and by then the kernel may
// have handed a listed id to another process: what was listed is kept with its start time, and a signal goes only
// to the process that started then. On Linux the start time is field 22 of /proc/<pid>/stat and the signal goes
// through a pidfd checked against it, which leaves no moment for the id to pass on. Blocking file work: call it
// off the GUI thread.
namespace ProcessIdentity {

// When the process started, in the kernel's clock ticks since boot; absent where the platform has no such figure
// or the process is gone.
std::optional<quint64> startTime(qint32 pid);

// Whether `pid` has ended and waits only for its parent to collect it (a zombie): it runs nothing any more, though
// the id still answers signals. False where the platform does not tell.
bool hasEnded(qint32 pid);

// Sends `signal` (0 only checks) to `pid` only while it is the process that started at `startTime`. Returns 0,
// ESRCH when that process is gone (another one may have its id now), or the errno of the send.
int send(qint32 pid, quint64 startTime, int signal);

// The process's arguments as it was started, each whole, when the kernel gives them, they are all text and they
// still make `listedCommandLine` (so they belong to the process that was listed); absent otherwise.
std::optional<QStringList> arguments(qint32 pid, const QString& listedCommandLine);

// What the kernel tells of a process's arguments, read once more by id: each whole, or why they are not.
struct ArgumentsReading
{
    enum class Kind
    {
        Exact,
        // The process wrote a title over its arguments: where one began and ended is gone.
        Rewritten,
        // An argument holds bytes that are no UTF-8 text.
        NotText,
        // Gone, somebody else's, or a platform that does not tell.
        Unreadable
    };
    Kind kind = Kind::Unreadable;
    QStringList arguments;
};
ArgumentsReading readArguments(qint32 pid);
ArgumentsReading classifyArguments(QByteArrayView cmdline);

// The environment the process was started with, its NAME=value entries as the kernel holds them (not what it set
// since); absent when it cannot be read (gone, somebody else's, a platform that does not tell).
std::optional<QList<QByteArray>> environment(qint32 pid);
// This program's own environment as it stands now: what a process it starts is given.
QList<QByteArray> ownEnvironment();
// The entries of a /proc/<pid>/environ block.
QList<QByteArray> parseEnvironment(QByteArrayView block);
// The process's working folder now; absent when it cannot be read.
std::optional<QString> workingDirectory(qint32 pid);
// The kernel's command name of the process (at most 15 bytes on Linux), empty when it cannot be read.
QString commandName(qint32 pid);

// Field 22 of the text of /proc/<pid>/stat; the command name before it may hold spaces and parentheses.
std::optional<quint64> parseStartTime(QByteArrayView statText);
// The arguments of /proc/<pid>/cmdline, each ended by a NUL; absent when one is no UTF-8, or when the end is not
// one NUL (a rewritten title: the boundaries are gone).
std::optional<QStringList> parseArguments(QByteArrayView cmdline);

} // namespace ProcessIdentity
