#include "platform/listings/processidentity.h"

#include "platform/launching/processsignals.h"
#include "platform/listings/procfilesystem.h"
#include "platform/system/filedescriptor.h"
#include "platform/system/pidfd.h"

#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

extern char** environ;

namespace ProcessIdentity {

namespace {

#if defined(Q_OS_LINUX)
// Only the process's stat and cmdline, which the kernel hands over whole.
std::optional<QByteArray> readProcFile(qint32 pid, const char* leaf)
{
    const QByteArray path = "/proc/" + QByteArray::number(pid) + '/' + leaf;
    return ProcFileSystem::readFileAt(AT_FDCWD, path.constData(), ProcFileSystem::ReadEnd::AtShortRead);
}
#endif

} // namespace

std::optional<quint64> parseStartTime(QByteArrayView statText)
{
    const std::optional<ProcFileSystem::ProcessStat> stat = ProcFileSystem::parseStat(statText);
    return stat ? stat->startTime : std::nullopt;
}

std::optional<QStringList> parseArguments(QByteArrayView cmdline)
{
    ArgumentsReading reading = classifyArguments(cmdline);
    if (reading.kind != ArgumentsReading::Kind::Exact)
        return std::nullopt;
    return std::move(reading.arguments);
}

ArgumentsReading classifyArguments(QByteArrayView cmdline)
{
    using Kind = ArgumentsReading::Kind;
    if (cmdline.isEmpty())
        return {Kind::Unreadable, {}};
    // Every argument ends with a NUL. A process that rewrote its title (npm, node's process.title) leaves one text
    // in the room of its arguments, with NULs after it or none at all: where they began and ended is gone.
    if (!cmdline.endsWith('\0') || cmdline.endsWith(QByteArrayView("\0\0", 2)))
        return {Kind::Rewritten, {}};
    // A NUL ends every UTF-8 sequence, so the whole text decodes as its arguments one by one would. A byte-order
    // mark is part of the argument it begins.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(cmdline.chopped(1));
    if (decoder.hasError())
        return {Kind::NotText, {}};
    return {Kind::Exact, text.split(QChar(u'\0'))};
}

QList<QByteArray> ownEnvironment()
{
    QList<QByteArray> entries;
    for (char** entry = environ; *entry; ++entry)
        entries.append(QByteArray(*entry));
    return entries;
}

QList<QByteArray> parseEnvironment(QByteArrayView block)
{
    QList<QByteArray> entries;
    qsizetype start = 0;
    while (start < block.size()) {
        qsizetype end = block.indexOf('\0', start);
        if (end < 0)
            end = block.size();
        if (end > start)
            entries.append(block.sliced(start, end - start).toByteArray());
        start = end + 1;
    }
    return entries;
}

#if defined(Q_OS_LINUX)

std::optional<quint64> startTime(qint32 pid)
{
    if (pid <= 0)
        return std::nullopt;
    const std::optional<QByteArray> stat = readProcFile(pid, "stat");
    return stat ? parseStartTime(*stat) : std::nullopt;
}

bool hasEnded(qint32 pid)
{
    if (pid <= 0)
        return false;
    const std::optional<QByteArray> stat = readProcFile(pid, "stat");
    const std::optional<ProcFileSystem::ProcessStat> parsed = stat ? ProcFileSystem::parseStat(*stat) : std::nullopt;
    return parsed && (parsed->state == 'Z' || parsed->state == 'X');
}

int send(qint32 pid, quint64 listedStart, int signal)
{
    if (pid <= 0)
        return ESRCH;
    const int opened = pidfdOpen(pid);
    if (opened < 0) {
        if (errno == ESRCH)
            return ESRCH;
        // No pidfd here (an old kernel, a sandbox): compare, then send by id.
        if (startTime(pid) != listedStart)
            return ESRCH;
        return ProcessSignals::send(pid, signal);
    }
    const FileDescriptor pidfd(opened);
    // The descriptor holds the process that had the id when it was opened; read after that, the start time says
    // whether it is the listed one (a process that took the id later shows a later start).
    if (startTime(pid) != listedStart)
        return ESRCH;
    if (pidfdSendSignal(pidfd.get(), signal) == 0)
        return 0;
    return errno;
}

std::optional<QStringList> arguments(qint32 pid, const QString& listedCommandLine)
{
    if (pid <= 0)
        return std::nullopt;
    const std::optional<QByteArray> cmdline = readProcFile(pid, "cmdline");
    if (!cmdline || ProcFileSystem::commandLineFromBytes(*cmdline) != listedCommandLine)
        return std::nullopt;
    return parseArguments(*cmdline);
}

ArgumentsReading readArguments(qint32 pid)
{
    if (pid <= 0)
        return {};
    const std::optional<QByteArray> cmdline = readProcFile(pid, "cmdline");
    return cmdline ? classifyArguments(*cmdline) : ArgumentsReading{};
}

std::optional<QList<QByteArray>> environment(qint32 pid)
{
    if (pid <= 0)
        return std::nullopt;
    const QByteArray path = "/proc/" + QByteArray::number(pid) + "/environ";
    const std::optional<QByteArray> block = ProcFileSystem::readFileAt(AT_FDCWD, path.constData());
    if (!block)
        return std::nullopt;
    return parseEnvironment(*block);
}

std::optional<QString> workingDirectory(qint32 pid)
{
    if (pid <= 0)
        return std::nullopt;
    return ProcFileSystem::workingDirectory(pid);
}

QString commandName(qint32 pid)
{
    if (pid <= 0)
        return {};
    const std::optional<QByteArray> comm = readProcFile(pid, "comm");
    return comm ? QString::fromUtf8(comm->trimmed()) : QString();
}

#else

ArgumentsReading readArguments(qint32)
{
    return {};
}

std::optional<QList<QByteArray>> environment(qint32)
{
    return std::nullopt;
}

std::optional<QString> workingDirectory(qint32)
{
    return std::nullopt;
}

QString commandName(qint32)
{
    return {};
}

std::optional<quint64> startTime(qint32)
{
    return std::nullopt;
}

bool hasEnded(qint32)
{
    return false;
}

int send(qint32 pid, quint64, int signal)
{
    return ProcessSignals::send(pid, signal);
}

std::optional<QStringList> arguments(qint32, const QString&)
{
    return std::nullopt;
}

#endif

} // namespace ProcessIdentity
