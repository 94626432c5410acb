#pragma once

#include "base/snapshotrows.h"
#include "platform/system/filedescriptor.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <unordered_map>

// The process table, the TCP sockets and working folders read straight from Linux's /proc, giving the same rows
// as ps and lsof. Processes that cannot be read (another user's, or gone mid-read) are skipped. Blocking file
// work: call it off the GUI thread.
namespace ProcFileSystem {

QList<ProcessRow> processes();
QList<ConnectionRow> connections();
// One process as processes() lists it; std::nullopt when it cannot be read or has gone.
// The whole of a small file (/proc files have no size to read up to), relative to a folder descriptor or
// AT_FDCWD; none when it cannot be opened or read.
enum class ReadEnd
{
    AtZero,
    // For files the kernel hands over whole up to the buffer's size (a process's stat and cmdline): a read that
    // fills less of it was the last, which saves the read that would return nothing.
    AtShortRead
};
std::optional<QByteArray> readFileAt(int dirFd, const char* path, ReadEnd end = ReadEnd::AtZero);
// The same of a file already open, from its start.
std::optional<QByteArray> readOpenFile(int fd, ReadEnd end = ReadEnd::AtZero);

// With `socketCommand`, also the command name as socketCommandName gives it, from the same reading.
std::optional<ProcessRow> process(qint32 pid, std::optional<QString>* socketCommand = nullptr);
// The stat and cmdline of processes read poll after poll, kept open in between: a reading is then one read of each
// instead of an open, a read and a close. A kept file stays bound to the process it was opened for: once that
// process has been reaped it reads nothing, even when another process has its id by then, and the files are
// opened again by id. Not thread-safe.
class KeptProcessFiles
{
public:
    // Beyond these, processes are read by path.
    static constexpr qsizetype maxKept = 128;

    // As process() gives it.
    std::optional<ProcessRow> process(qint32 pid, std::optional<QString>* socketCommand = nullptr);
    // Closes the files of the processes not read since the call before.
    void closeUnread();

private:
    struct Files
    {
        FileDescriptor stat;
        FileDescriptor cmdline;
        bool read = false;
    };
    std::unordered_map<qint32, Files> m_files;
};

// The process's command name as lsof writes it beside its sockets; std::nullopt when it has gone.
std::optional<QString> socketCommandName(qint32 pid);
// The process's working folder as the kernel names it; std::nullopt when unreadable or not an absolute path.
std::optional<QString> workingDirectory(qint32 pid);
// Only the ids asked for; unreadable ones are left out.
WorkingDirectories workingDirectories(const QList<qint32>& pids);

// The fields of /proc/<pid>/stat the process row needs.
struct ProcessStat
{
    char state = '?';
    qint32 parentPid = 0;
    qint32 processGroup = 0;
    qint32 session = 0;
    qint32 terminalProcessGroup = 0;
    qint64 nice = 0;
    qint64 threadCount = 0;
    // Field 22, in the kernel's clock ticks since boot.
    std::optional<quint64> startTime = {};

    friend bool operator==(const ProcessStat&, const ProcessStat&) = default;
};

// The command name may hold spaces and parentheses, so the fields are read after its last ")".
std::optional<ProcessStat> parseStat(QByteArrayView text);
// The state as ps prints it: the kernel's letter, then "<" or "N", "s", "l" and "+".
QString stateLetters(const ProcessStat& stat, qint32 pid);
// The arguments joined with spaces, trailing NULs (a rewritten process title) dropped. As ps shows it: a line feed
// is a space, so a command never spans lines, and other control characters and bytes that are no UTF-8 are "?".
QString commandLineFromBytes(QByteArrayView cmdline);
// The kernel's command name as ps shows it: control characters and bytes that are no UTF-8 are "?".
QString psCommandName(QByteArrayView name);
// The kernel's command name as lsof writes it: control characters and backslashes escaped (\n, \t, ^A, \x7f, \\),
// bytes that are no UTF-8 as \xNN.
QString lsofCommandName(QByteArrayView name);

// One socket of /proc/net/tcp or /proc/net/tcp6.
struct TcpSocket
{
    quint64 inode = 0;
    // As lsof writes it: "127.0.0.1:3000", "*:5173", "[::1]:8080", "local->remote".
    QString endpoint;
    QString state;

    friend bool operator==(const TcpSocket&, const TcpSocket&) = default;
};

QList<TcpSocket> parseNetTcp(QByteArrayView text, bool ipv6);

// /proc/net/tcp and then /proc/net/tcp6, as parseNetTcp reads them.
QList<TcpSocket> tcpSockets();

// The kernel's running counts of TCP connections in this network namespace that tell whether a connection may
// have been made since an earlier reading: each connect() and each connection accepted by a listener counts once.
struct TcpOpenings
{
    quint64 active = 0;
    quint64 passive = 0;
    quint64 currentlyEstablished = 0;

    friend bool operator==(const TcpOpenings&, const TcpOpenings&) = default;
};
// From the "Tcp:" lines of /proc/net/snmp; std::nullopt when a count is missing.
std::optional<TcpOpenings> parseTcpOpenings(QByteArrayView snmp);
std::optional<TcpOpenings> tcpOpenings();

// A descriptor of a process that refers to a socket.
struct SocketDescriptor
{
    qint32 pid = 0;
    qint32 fd = 0;
    quint64 inode = 0;

    friend bool operator==(const SocketDescriptor&, const SocketDescriptor&) = default;
};

// The socket descriptors of every process whose inode is `wanted` (every one without a filter), by process id
// and then descriptor number. A process's descriptors are read up to the first one it may not read.
QList<SocketDescriptor> socketDescriptors(const std::function<bool(quint64 inode)>& wanted = {});
// Whether every process still holds each socket under its descriptor: one readlink each.
bool holdSockets(const QList<SocketDescriptor>& descriptors);
// One row per descriptor whose socket is in `sockets`, with the command name of its process, as lsof writes
// them; the descriptors of a process that has gone meanwhile give none. The names come from `commandOf` where
// given (none for a process that has gone), else from socketCommandName.
QList<ConnectionRow> connectionRows(const QList<SocketDescriptor>& descriptors,
                                    const QHash<quint64, TcpSocket>& sockets,
                                    const std::function<std::optional<QString>(qint32 pid)>& commandOf = {});

// An IPv4 address in its first 4 bytes or an IPv6 address, in network byte order.
using SocketAddress = std::array<unsigned char, 16>;
// One side of a socket as lsof writes it: "127.0.0.1:3000", "*:5173", "[::1]:8080", an IPv4-mapped address as
// IPv4, port 0 as "*". Sets *unspecified (when given) for an any-address with port 0, a side that is no peer.
std::optional<QString> formatSocketAddress(const SocketAddress& address, bool ipv6, quint16 port,
                                           bool* unspecified = nullptr);
// lsof's name of a kernel TCP state.
QString tcpStateName(int state);

} // namespace ProcFileSystem
