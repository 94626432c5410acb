#pragma once

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// One process of the process table.
struct ProcessRow
{
    qint32 pid = 0;
    qint32 parentPid = 0;
    // The state letters as ps prints them ("S", "R+", "T").
    QString state;
    // A single token: an executable path with a space in it is cut there.
    QString executable;
    QString commandLine;
    // Where the listing reads the process itself (never from ps), what it read beside the row: when the process
    // started, in the kernel's clock ticks since boot, and its arguments each whole, absent when they cannot be
    // told apart (a rewritten title).
    std::optional<quint64> startTime = {};
    std::optional<QStringList> arguments = {};
    // Where the listing reads it beside the row (for the holders of loopback and wildcard listeners): the working
    // folder, empty when it has none that is there; absent where it was not read.
    std::optional<QString> workingDirectory = {};

    friend bool operator==(const ProcessRow&, const ProcessRow&) = default;
};

// One TCP socket of the socket listing.
struct ConnectionRow
{
    qint32 pid = 0;
    // The listing's command name of the process, empty when it gave none.
    QString command;
    // "127.0.0.1:3000", "*:5173", "[::1]:8080" or "local->remote".
    QString endpoint;
    // "LISTEN", "ESTABLISHED", ...; absent when the listing printed none.
    std::optional<QString> state;

    friend bool operator==(const ConnectionRow&, const ConnectionRow&) = default;
};

// One listening socket.
struct ListenerRow
{
    qint32 pid = 0;
    // The local host without brackets, "*" for a wildcard or empty host.
    QString bindAddress;
    qint64 port = 0;

    friend bool operator==(const ListenerRow&, const ListenerRow&) = default;
};

// Process id to absolute working folder.
using WorkingDirectories = QHash<qint32, QString>;

// A working folder as a listing names it that is there: an absolute path, not marked deleted (" (deleted)") or
// unreadable (lsof's "(readlink: ...)" note), and a folder now. Touches the file system.
bool isExistingFolder(const QString& path);

// A decimal integer: an optional sign and ASCII digits, nothing else (no blanks); absent when it does not fit.
std::optional<qint64> parseDecimal(QStringView text);
std::optional<qint32> parseDecimal32(QStringView text);

// The number after the endpoint's last colon; absent without a colon or a number there.
std::optional<qint64> endpointPort(const QString& endpoint);

// The rows in state "LISTEN" with a local host and port, in order.
QList<ListenerRow> listenerRows(const QList<ConnectionRow>& connectionRows);

Q_DECLARE_METATYPE(ProcessRow)
Q_DECLARE_METATYPE(ConnectionRow)
Q_DECLARE_METATYPE(ListenerRow)
