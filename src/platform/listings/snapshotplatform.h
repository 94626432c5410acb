#pragma once

#include <QString>

// Where the process table and the socket listing come from.
enum class SnapshotSource
{
    // ps and lsof through the command runner.
    SystemTools,
    // The Linux /proc file system, read directly: every process and every TCP socket.
    ProcFileSystem,
    // Linux: the sockets from the kernel's socket diagnostics, /proc read only for what the scan can use
    // (ServerSocketScan).
    SocketDiagnostics
};

namespace SnapshotPlatform {

// The source this platform's snapshots use. Linux reads the kernel directly: its lsof drops every process whose
// name holds an unbalanced "(" (a Next.js server among them) and its ps cuts "comm" to 15 characters that may hold
// spaces.
SnapshotSource defaultSource();

// A UTF-8 locale the tools run under, so non-ASCII paths come out as UTF-8 and not escaped.
QString utf8Locale();

} // namespace SnapshotPlatform
