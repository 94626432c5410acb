#pragma once

#include "discovery/snapshotrows.h"
#include "platform/procfilesystem.h"

#include <QHash>
#include <QList>

#include <functional>
#include <mutex>

// Linux's listing of what the detection scan can use, at a cost that follows the servers rather than the machine:
// the listening TCP sockets and the established connections on the ports of loopback and wildcard listeners come
// from the kernel's socket diagnostics (from /proc/net/tcp{,6} where netlink is refused); the processes holding
// them from a walk of every /proc/<pid>/fd, kept across polls while it still holds; and process details only for
// the holders of listeners (with their nearest ancestors for loopback and wildcard ones) and of those connections.
// The rows are written as the /proc reader writes them. Thread-safe; blocking, so call it off the GUI thread.
class ServerSocketScan
{
public:
    static constexpr int maxAncestors = 4;

    struct Options
    {
        // False reads /proc/net/tcp{,6}, as where netlink is refused.
        bool netlink = true;
        // Runs between the socket listing and the search for the sockets' holders.
        std::function<void()> afterSocketListing;
    };

    // What the latest listing did.
    struct Report
    {
        bool fromNetlink = false;
        bool walkedDescriptors = false;
    };

    ServerSocketScan();
    explicit ServerSocketScan(Options options);

    // The scan the snapshot services share, so that one walk serves both listings and later polls.
    static ServerSocketScan& shared();

    // The rows of the listeners' holders, of the nearest ancestors of loopback and wildcard ones and of the
    // connections' holders, ascending by id.
    QList<ProcessRow> processes();
    // Every LISTEN socket, and every ESTABLISHED one with a side on a loopback or wildcard listener's port: one
    // row per descriptor holding it, by process id and descriptor number.
    QList<ConnectionRow> connections();

    Report lastReport() const;

private:
    struct Socket
    {
        ProcFileSystem::TcpSocket tcp;
        bool listening = false;
        // Listening on a loopback or wildcard address: a socket whose holder may be a server.
        bool serverAddress = false;
    };
    struct Listing
    {
        QHash<quint64, Socket> sockets;
        // The keys of `sockets`, ascending: what the kept walk is compared with.
        QList<quint64> inodes;
        bool fromNetlink = false;
    };

    Listing listSockets() const;
    // The holders of the listing's sockets: the kept ones when the sockets are the same and each holder still
    // holds its socket, else a new walk.
    QList<ProcFileSystem::SocketDescriptor> holdersOf(const Listing& listing);

    const Options m_options;
    mutable std::mutex m_mutex;
    bool m_walked = false;
    QList<quint64> m_walkedInodes;
    QList<ProcFileSystem::SocketDescriptor> m_holders;
    Report m_report;
};
