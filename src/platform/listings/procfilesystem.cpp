#include "platform/listings/procfilesystem.h"

#include "platform/listings/processidentity.h"
#include "platform/system/filedescriptor.h"

#include <QHash>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ProcFileSystem {

std::optional<QByteArray> readFileAt(int dirFd, const char* path, ReadEnd end)
{
    const FileDescriptor file(::openat(dirFd, path, O_RDONLY | O_CLOEXEC));
    if (!file.isValid())
        return std::nullopt;
    return readOpenFile(file.get(), end);
}

std::optional<QByteArray> readOpenFile(int fd, ReadEnd end)
{
    QByteArray data;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, off_t(data.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return data;
        data.append(buffer, n);
        if (end == ReadEnd::AtShortRead && std::size_t(n) < sizeof buffer)
            return data;
    }
}

namespace {

std::optional<QByteArray> readFile(const char* path, ReadEnd end = ReadEnd::AtZero)
{
    return readFileAt(AT_FDCWD, path, end);
}

std::optional<QByteArray> readLinkAt(int dirFd, const char* path)
{
    QByteArray buffer(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::readlinkat(dirFd, path, buffer.data(), size_t(buffer.size()));
        if (n < 0)
            return std::nullopt;
        if (n < buffer.size()) {
            buffer.truncate(n);
            return buffer;
        }
        // Possibly cut: try again with more room.
        buffer.resize(buffer.size() * 4);
    }
}

bool isDecimal(const char* name)
{
    if (!*name)
        return false;
    for (const char* c = name; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
    }
    return true;
}

// The numeric entries of a /proc folder, ascending.
QList<qint32> numericEntries(const char* path)
{
    QList<qint32> ids;
    DIR* dir = ::opendir(path);
    if (!dir)
        return ids;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isDecimal(entry->d_name))
            continue;
        bool ok = false;
        const qint32 id = QByteArrayView(entry->d_name).toInt(&ok);
        if (ok)
            ids.append(id);
    }
    ::closedir(dir);
    std::sort(ids.begin(), ids.end());
    return ids;
}

// "/proc/<pid>/<leaf>", built on the stack: a scan builds several for each process it reads.
struct PidPath
{
    std::array<char, 48> text = {};
    const char* constData() const { return text.data(); }
};

PidPath pidPath(qint32 pid, std::string_view leaf)
{
    PidPath path;
    constexpr std::string_view proc = "/proc/";
    char* const end = path.text.data() + path.text.size() - 1;
    char* at = std::copy(proc.begin(), proc.end(), path.text.data());
    at = std::to_chars(at, end, pid).ptr;
    Q_ASSERT(std::size_t(end - at) > leaf.size());
    *at++ = '/';
    std::copy_n(leaf.data(), std::min(leaf.size(), std::size_t(end - at)), at);
    return path;
}

// The kernel's 15-character command name, as raw bytes: it may hold any byte but NUL, line feeds included.
std::optional<QByteArray> commandName(qint32 pid)
{
    std::optional<QByteArray> comm = readFile(pidPath(pid, "comm").constData());
    if (comm && comm->endsWith('\n'))
        comm->chop(1);
    return comm;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0 when the bytes there are none.
qsizetype utf8SequenceLength(QByteArrayView bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) {
        return at + i < bytes.size() ? quint8(bytes[at + i]) : quint8(0);
    };
    const auto inRange = [](quint8 b, quint8 low, quint8 high) {
        return b >= low && b <= high;
    };
    const quint8 lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (inRange(lead, 0xC2, 0xDF))
        return inRange(byte(1), 0x80, 0xBF) ? 2 : 0;
    if (inRange(lead, 0xE0, 0xEF)) {
        const quint8 low = lead == 0xE0 ? 0xA0 : 0x80;
        const quint8 high = lead == 0xED ? 0x9F : 0xBF;
        return inRange(byte(1), low, high) && inRange(byte(2), 0x80, 0xBF) ? 3 : 0;
    }
    if (inRange(lead, 0xF0, 0xF4)) {
        const quint8 low = lead == 0xF0 ? 0x90 : 0x80;
        const quint8 high = lead == 0xF4 ? 0x8F : 0xBF;
        return inRange(byte(1), low, high) && inRange(byte(2), 0x80, 0xBF) && inRange(byte(3), 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

bool isControl(quint8 byte)
{
    return byte < 0x20 || byte == 0x7F;
}

// An ASCII byte that is no control character: most command texts hold nothing else.
bool isPrintableAscii(char c)
{
    return c >= 0x20 && c < 0x7F;
}

// Text where every control character and every byte that is no UTF-8 is "?", as ps prints it.
QString psText(QByteArrayView bytes)
{
    // Printable ASCII stands as it is.
    if (std::all_of(bytes.begin(), bytes.end(), isPrintableAscii))
        return QString::fromLatin1(bytes);
    QByteArray printable(bytes.size(), Qt::Uninitialized);
    char* out = printable.data();
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = utf8SequenceLength(bytes, at);
        if (length == 0 || (length == 1 && isControl(quint8(bytes[at])))) {
            *out++ = '?';
            ++at;
        } else {
            out = std::copy_n(bytes.data() + at, length, out);
            at += length;
        }
    }
    return QString::fromUtf8(printable);
}

// The inode of a descriptor's "socket:[N]" link target; std::nullopt for anything else.
std::optional<quint64> socketInode(QByteArrayView target)
{
    static const QByteArray prefix = "socket:[";
    if (!target.startsWith(prefix) || !target.endsWith(']'))
        return std::nullopt;
    bool ok = false;
    const quint64 inode = target.sliced(prefix.size(), target.size() - prefix.size() - 1).toULongLong(&ok);
    return ok ? std::optional(inode) : std::nullopt;
}

const QByteArray deletedSuffix = " (deleted)";

// The command name between the pid and the fields, as raw as /proc/<pid>/comm holds it (without its line feed).
std::optional<QByteArray> statCommandName(QByteArrayView stat)
{
    const qsizetype open = stat.indexOf('(');
    const qsizetype close = stat.lastIndexOf(')');
    if (open < 0 || close < open)
        return std::nullopt;
    return stat.sliced(open + 1, close - open - 1).toByteArray();
}

// A process's stat and cmdline: read by path, or from files kept open.
struct ProcessTexts
{
    std::function<std::optional<QByteArray>()> stat;
    std::function<std::optional<QByteArray>()> cmdline;
};

ProcessTexts textsByPath(qint32 pid)
{
    return {[pid] { return readFile(pidPath(pid, "stat").constData(), ReadEnd::AtShortRead); },
            [pid] {
                return readFile(pidPath(pid, "cmdline").constData(), ReadEnd::AtShortRead);
            }};
}

// With `socketCommand`, also the command name as socketCommandName gives it, from the same reading.
std::optional<ProcessRow> readProcess(qint32 pid, std::optional<QString>* socketCommand = nullptr,
                                      const ProcessTexts& texts = {})
{
    if (socketCommand)
        socketCommand->reset();
    const ProcessTexts& read = texts.stat ? texts : textsByPath(pid);
    const std::optional<QByteArray> statText = read.stat();
    if (!statText)
        return std::nullopt;
    const std::optional<QByteArray> comm = statCommandName(*statText);
    if (socketCommand && comm)
        *socketCommand = lsofCommandName(*comm);
    const std::optional<ProcessStat> stat = parseStat(*statText);
    if (!stat || !comm)
        return std::nullopt;
    const std::optional<QByteArray> cmdline = read.cmdline();
    if (!cmdline)
        return std::nullopt;

    ProcessRow row;
    row.pid = pid;
    row.parentPid = stat->parentPid;
    row.state = stateLetters(*stat, pid);

    if (std::optional<QByteArray> exe = readLinkAt(AT_FDCWD, pidPath(pid, "exe").constData())) {
        // A binary replaced on disk (a node upgrade) still names the path it was started from.
        if (exe->endsWith(deletedSuffix))
            exe->chop(deletedSuffix.size());
        row.executable = QString::fromUtf8(*exe);
    } else {
        // Another user's process or a kernel thread.
        row.executable = psCommandName(*comm);
    }

    row.startTime = stat->startTime;
    row.arguments = ProcessIdentity::parseArguments(*cmdline);
    row.commandLine = commandLineFromBytes(*cmdline);
    if (row.commandLine.isEmpty()) {
        // Kernel threads and zombies have no arguments; ps shows their name in brackets.
        row.commandLine = u'[' + psCommandName(*comm) + u']';
        if (stat->state == 'Z')
            row.commandLine += u" <defunct>"_s;
    }
    return row;
}

quint32 hexWord(QByteArrayView hex, bool* ok)
{
    return quint32(hex.toULong(ok, 16));
}

// "0100007F:0BB8" -> "127.0.0.1:3000"; std::nullopt when malformed. Sets *unspecified for 0.0.0.0:0 and [::]:0.
std::optional<QString> formatEndpoint(QByteArrayView text, bool ipv6, bool* unspecified)
{
    const qsizetype colon = text.indexOf(':');
    if (colon < 0)
        return std::nullopt;
    const QByteArrayView hex = text.first(colon);
    bool ok = false;
    // Read whole before the range check, so no overlong field wraps into a valid port.
    const qulonglong port = text.sliced(colon + 1).toULongLong(&ok, 16);
    if (!ok || port > 0xffff)
        return std::nullopt;

    // Each 32-bit word is printed as the host's integer of the network-order bytes, so copying the parsed value
    // back gives the address bytes on either byte order.
    SocketAddress address{};
    const qsizetype words = ipv6 ? 4 : 1;
    if (hex.size() != words * 8)
        return std::nullopt;
    for (qsizetype i = 0; i < words; ++i) {
        const quint32 word = hexWord(hex.sliced(i * 8, 8), &ok);
        if (!ok)
            return std::nullopt;
        std::memcpy(address.data() + i * 4, &word, 4);
    }
    return formatSocketAddress(address, ipv6, quint16(port), unspecified);
}

} // namespace

std::optional<QString> formatSocketAddress(const SocketAddress& address, bool ipv6, quint16 port, bool* unspecified)
{
    const unsigned char* bytes = address.data();
    const unsigned char* v4 = bytes;
    bool isV4 = !ipv6;
    if (ipv6) {
        static const unsigned char mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (std::memcmp(bytes, mappedPrefix, 12) == 0) {
            v4 = bytes + 12;
            isV4 = true;
        }
    }

    QString host;
    char buffer[INET6_ADDRSTRLEN] = {};
    const bool anyAddress = isV4 ? std::all_of(v4, v4 + 4, [](unsigned char b) { return b == 0; })
                                 : std::all_of(bytes, bytes + 16, [](unsigned char b) { return b == 0; });
    if (anyAddress) {
        host = u"*"_s;
    } else if (isV4) {
        // Dotted decimal, as inet_ntop writes it, without its formatting machinery: every poll writes each listener.
        char* at = buffer;
        for (int i = 0; i < 4; ++i) {
            if (i > 0)
                *at++ = '.';
            at = std::to_chars(at, buffer + sizeof buffer, unsigned(v4[i])).ptr;
        }
        host = QString::fromLatin1(buffer, at - buffer);
    } else {
        if (!::inet_ntop(AF_INET6, bytes, buffer, sizeof buffer))
            return std::nullopt;
        host = u'[' + QString::fromLatin1(buffer) + u']';
    }
    if (unspecified)
        *unspecified = anyAddress && port == 0;
    return host + u':' + (port == 0 ? u"*"_s : QString::number(port));
}

std::optional<ProcessStat> parseStat(QByteArrayView text)
{
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    // state ppid pgrp session tty_nr tpgid flags minflt cminflt majflt cmajflt utime stime cutime cstime
    // priority nice num_threads itrealvalue starttime: read in place, as every scan reads many.
    std::array<QByteArrayView, 20> fields;
    std::size_t count = 0;
    const QByteArrayView rest = text.sliced(close + 1);
    const auto isBlank = [](char c) {
        return c == ' ' || (c >= '\t' && c <= '\r');
    };
    for (qsizetype at = 0; at < rest.size() && count < fields.size();) {
        while (at < rest.size() && isBlank(rest[at]))
            ++at;
        const qsizetype start = at;
        while (at < rest.size() && !isBlank(rest[at]))
            ++at;
        if (at > start)
            fields[count++] = rest.sliced(start, at - start);
    }
    if (count < 18 || fields[0].size() != 1)
        return std::nullopt;
    // A whole field as a decimal number: the kernel writes them with an optional "-" and digits only.
    const auto number = [](QByteArrayView field, auto& value) {
        const char* end = field.data() + field.size();
        const std::from_chars_result read = std::from_chars(field.data(), end, value);
        return read.ec == std::errc() && read.ptr == end;
    };
    ProcessStat stat;
    stat.state = fields[0][0];
    if (!number(fields[1], stat.parentPid) || !number(fields[2], stat.processGroup) ||
        !number(fields[3], stat.session) || !number(fields[5], stat.terminalProcessGroup) ||
        !number(fields[16], stat.nice) || !number(fields[17], stat.threadCount))
        return std::nullopt;
    quint64 start = 0;
    if (count > 19 && number(fields[19], start))
        stat.startTime = start;
    return stat;
}

QString stateLetters(const ProcessStat& stat, qint32 pid)
{
    QString letters(QLatin1Char(stat.state));
    if (stat.nice < 0)
        letters += u'<';
    else if (stat.nice > 0)
        letters += u'N';
    if (stat.session == pid)
        letters += u's';
    if (stat.threadCount > 1)
        letters += u'l';
    if (stat.terminalProcessGroup == stat.processGroup)
        letters += u'+';
    return letters;
}

QString commandLineFromBytes(QByteArrayView cmdline)
{
    qsizetype end = cmdline.size();
    while (end > 0 && cmdline[end - 1] == '\0')
        --end;
    // A line feed inside an argument must not become a second command when the line is run again.
    QByteArray joined(end, Qt::Uninitialized);
    std::transform(cmdline.begin(), cmdline.begin() + end, joined.begin(),
                   [](char c) { return c == '\0' || c == '\n' ? ' ' : c; });
    return psText(joined);
}

QString psCommandName(QByteArrayView name)
{
    return psText(name);
}

QString lsofCommandName(QByteArrayView name)
{
    // Printable ASCII without a backslash stands as it is.
    if (std::all_of(name.begin(), name.end(), [](char c) { return isPrintableAscii(c) && c != '\\'; }))
        return QString::fromLatin1(name);
    QByteArray escaped;
    escaped.reserve(name.size());
    for (qsizetype at = 0; at < name.size();) {
        const qsizetype length = utf8SequenceLength(name, at);
        const auto byte = quint8(name[at]);
        if (length == 0 || byte == 0x7F) {
            escaped.append("\\x" + QByteArray::number(byte, 16).rightJustified(2, '0'));
        } else if (length > 1) {
            escaped.append(name.sliced(at, length));
            at += length;
            continue;
        } else if (byte == '\\') {
            escaped.append("\\\\");
        } else if (byte == '\b') {
            escaped.append("\\b");
        } else if (byte == '\f') {
            escaped.append("\\f");
        } else if (byte == '\n') {
            escaped.append("\\n");
        } else if (byte == '\r') {
            escaped.append("\\r");
        } else if (byte == '\t') {
            escaped.append("\\t");
        } else if (byte < 0x20) {
            escaped.append('^').append(char(byte + 0x40));
        } else {
            escaped.append(char(byte));
        }
        ++at;
    }
    return QString::fromUtf8(escaped);
}

QString tcpStateName(int state)
{
    static const char* const names[] = {"ESTABLISHED", "SYN_SENT",   "SYN_RECV", "FIN_WAIT1", "FIN_WAIT2", "TIME_WAIT",
                                        "CLOSE",       "CLOSE_WAIT", "LAST_ACK", "LISTEN",    "CLOSING"};
    if (state >= 1 && state <= int(std::size(names)))
        return QString::fromLatin1(names[state - 1]);
    return u"UNKNOWN_TCP_STATE_"_s + QString::number(state);
}

QList<TcpSocket> parseNetTcp(QByteArrayView text, bool ipv6)
{
    QList<TcpSocket> sockets;
    for (const QByteArray& line : text.toByteArray().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ...
        if (fields.size() < 10 || !fields[0].endsWith(':'))
            continue;
        bool ok = false;
        const int state = fields[3].toInt(&ok, 16);
        if (!ok)
            continue;
        const quint64 inode = fields[9].toULongLong(&ok);
        if (!ok || inode == 0)
            continue;
        bool localUnspecified = false;
        bool remoteUnspecified = false;
        const std::optional<QString> local = formatEndpoint(fields[1], ipv6, &localUnspecified);
        const std::optional<QString> remote = formatEndpoint(fields[2], ipv6, &remoteUnspecified);
        if (!local || !remote)
            continue;
        // lsof names only the local side of a socket that has no peer.
        const QString endpoint = remoteUnspecified ? *local : *local + u"->"_s + *remote;
        sockets.append(TcpSocket{inode, endpoint, tcpStateName(state)});
    }
    return sockets;
}

std::optional<ProcessRow> process(qint32 pid, std::optional<QString>* socketCommand)
{
    return readProcess(pid, socketCommand);
}

std::optional<ProcessRow> KeptProcessFiles::process(qint32 pid, std::optional<QString>* socketCommand)
{
    auto kept = m_files.find(pid);
    const auto open = [pid](Files& files) {
        files.stat.reset(::open(pidPath(pid, "stat").constData(), O_RDONLY | O_CLOEXEC));
        files.cmdline.reset(::open(pidPath(pid, "cmdline").constData(), O_RDONLY | O_CLOEXEC));
    };
    if (kept == m_files.end()) {
        if (qsizetype(m_files.size()) >= maxKept)
            return ProcFileSystem::process(pid, socketCommand);
        kept = m_files.emplace(pid, Files{}).first;
        open(kept->second);
    }
    Files& files = kept->second;
    files.read = true;
    const auto readFrom = [](const FileDescriptor& file) {
        return file.isValid() ? readOpenFile(file.get(), ReadEnd::AtShortRead) : std::nullopt;
    };
    // A kept stat that reads nothing belongs to a process that has gone: the id may be another's now.
    std::optional<QByteArray> stat = readFrom(files.stat);
    if (!stat) {
        open(files);
        stat = readFrom(files.stat);
    }
    const ProcessTexts texts{[&stat] { return stat; },
                             [&] {
                                 return readFrom(files.cmdline);
                             }};
    std::optional<ProcessRow> row = readProcess(pid, socketCommand, texts);
    if (!stat)
        m_files.erase(pid);
    return row;
}

void KeptProcessFiles::closeUnread()
{
    for (auto it = m_files.begin(); it != m_files.end();) {
        if (std::exchange(it->second.read, false))
            ++it;
        else
            it = m_files.erase(it);
    }
}

std::optional<QString> socketCommandName(qint32 pid)
{
    const std::optional<QByteArray> name = commandName(pid);
    return name ? std::optional(lsofCommandName(*name)) : std::nullopt;
}

QList<ProcessRow> processes()
{
    QList<ProcessRow> rows;
    for (qint32 pid : numericEntries("/proc")) {
        if (std::optional<ProcessRow> row = readProcess(pid))
            rows.append(std::move(*row));
    }
    return rows;
}

QList<SocketDescriptor> socketDescriptors(const std::function<bool(quint64)>& wanted)
{
    QList<SocketDescriptor> descriptors;
    for (qint32 pid : numericEntries("/proc")) {
        DIR* dir = ::opendir(pidPath(pid, "fd").constData());
        if (!dir)
            continue;
        const qsizetype first = descriptors.size();
        while (const dirent* entry = ::readdir(dir)) {
            if (!isDecimal(entry->d_name))
                continue;
            const std::optional<QByteArray> target = readLinkAt(::dirfd(dir), entry->d_name);
            // Access is checked per process: after one refusal the others would be refused too.
            if (!target && (errno == EACCES || errno == EPERM))
                break;
            const std::optional<quint64> inode = target ? socketInode(*target) : std::nullopt;
            if (inode && (!wanted || wanted(*inode)))
                descriptors.append({pid, QByteArrayView(entry->d_name).toInt(), *inode});
        }
        ::closedir(dir);
        std::sort(descriptors.begin() + first, descriptors.end(),
                  [](const SocketDescriptor& a, const SocketDescriptor& b) { return a.fd < b.fd; });
    }
    return descriptors;
}

bool holdSockets(const QList<SocketDescriptor>& descriptors)
{
    for (const SocketDescriptor& descriptor : descriptors) {
        char path[48];
        std::snprintf(path, sizeof path, "/proc/%d/fd/%d", descriptor.pid, descriptor.fd);
        const std::optional<QByteArray> target = readLinkAt(AT_FDCWD, path);
        if (!target || socketInode(*target) != descriptor.inode)
            return false;
    }
    return true;
}

QList<TcpSocket> tcpSockets()
{
    QList<TcpSocket> sockets;
    for (const auto& [path, ipv6] : {std::pair{"/proc/net/tcp", false}, std::pair{"/proc/net/tcp6", true}}) {
        if (const std::optional<QByteArray> text = readFile(path))
            sockets.append(parseNetTcp(*text, ipv6));
    }
    return sockets;
}

std::optional<TcpOpenings> parseTcpOpenings(QByteArrayView snmp)
{
    // A line of names, then a line of values.
    QList<QByteArray> names;
    for (const QByteArray& line : snmp.toByteArray().split('\n')) {
        if (!line.startsWith("Tcp:"))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (names.isEmpty()) {
            names = fields;
            continue;
        }
        if (fields.size() != names.size())
            return std::nullopt;
        const auto count = [&](QByteArrayView name) -> std::optional<quint64> {
            const qsizetype at = names.indexOf(name);
            bool ok = false;
            const quint64 value = at < 0 ? 0 : fields.at(at).toULongLong(&ok);
            return ok ? std::optional(value) : std::nullopt;
        };
        const std::optional<quint64> active = count("ActiveOpens");
        const std::optional<quint64> passive = count("PassiveOpens");
        const std::optional<quint64> established = count("CurrEstab");
        if (!active || !passive || !established)
            return std::nullopt;
        return TcpOpenings{*active, *passive, *established};
    }
    return std::nullopt;
}

std::optional<TcpOpenings> tcpOpenings()
{
    const std::optional<QByteArray> text = readFile("/proc/net/snmp");
    return text ? parseTcpOpenings(*text) : std::nullopt;
}

QList<ConnectionRow> connectionRows(const QList<SocketDescriptor>& descriptors,
                                    const QHash<quint64, TcpSocket>& sockets,
                                    const std::function<std::optional<QString>(qint32 pid)>& commandOf)
{
    QList<ConnectionRow> rows;
    qint32 commandPid = 0;
    std::optional<QString> command;
    for (const SocketDescriptor& descriptor : descriptors) {
        const auto socket = sockets.constFind(descriptor.inode);
        if (socket == sockets.cend())
            continue;
        if (commandPid != descriptor.pid) {
            commandPid = descriptor.pid;
            command = commandOf ? commandOf(descriptor.pid) : socketCommandName(descriptor.pid);
        }
        // Gone since its descriptors were read.
        if (!command)
            continue;
        rows.append(ConnectionRow{descriptor.pid, *command, socket->endpoint, socket->state});
    }
    return rows;
}

QList<ConnectionRow> connections()
{
    // The socket descriptors first: the kernel's TCP tables are slow to read on a large hash, so they are read
    // only when some process holds a socket at all.
    const QList<SocketDescriptor> descriptors = socketDescriptors();
    if (descriptors.isEmpty())
        return {};
    QHash<quint64, TcpSocket> sockets;
    for (TcpSocket& socket : tcpSockets())
        sockets.insert(socket.inode, std::move(socket));
    return connectionRows(descriptors, sockets);
}

std::optional<QString> workingDirectory(qint32 pid)
{
    const std::optional<QByteArray> cwd = readLinkAt(AT_FDCWD, pidPath(pid, "cwd").constData());
    if (!cwd || !cwd->startsWith('/'))
        return std::nullopt;
    return QString::fromUtf8(*cwd);
}

WorkingDirectories workingDirectories(const QList<qint32>& pids)
{
    WorkingDirectories folders;
    for (qint32 pid : pids) {
        if (std::optional<QString> folder = workingDirectory(pid))
            folders.insert(pid, std::move(*folder));
    }
    return folders;
}

} // namespace ProcFileSystem
