#pragma once

#include "discovery/snapshotrows.h"
#include "platform/procfilesystem.h"
#include "platform/socketdiagnostics.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <mutex>

// Linux's listing of what the detection scan can use, at a cost that follows the servers rather than the machine:
// the listening TCP sockets and the established connections on the ports of loopback and wildcard listeners come
// from the kernel's socket diagnostics (from /proc/net/tcp{,6} where netlink is refused), the connections kept
// from the poll before while the kernel's counts show none made since; the processes holding them from a walk of
// every /proc/<pid>/fd, kept across polls while it still holds; and process details only for the holders of listeners
// (with their nearest ancestors for loopback and wildcard ones) and of those connections. The rows are written as the
// /proc reader writes them. Thread-safe; blocking, so call it off the GUI thread.
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
        // The established connections were those of the listing before, looked up one by one.
        bool keptConnections = false;
        bool walkedDescriptors = false;
    };

    ServerSocketScan();
    explicit ServerSocketScan(Options options);

    // The scan the snapshot services share, so that one walk serves both listings and later polls.
    static ServerSocketScan& shared();

    // The two parts of a scan. Both look at one listing of the sockets and their holders, taken for them.
    enum class Part
    {
        Processes,
        Connections
    };
    struct Batch;
    // Called on the thread that asks for a scan: a place in the listing shared by the parts asked for in the same
    // turn of that thread's event loop (each part once). Without an event loop, a listing of its own.
    std::shared_ptr<Batch> join(Part part);

    // The rows of the listeners' holders, of the nearest ancestors of loopback and wildcard ones and of the
    // connections' holders, ascending by id. The holders of loopback and wildcard listeners come with their
    // working folders.
    QList<ProcessRow> processes(const std::shared_ptr<Batch>& batch);
    // Every LISTEN socket, and every ESTABLISHED one with a side on a loopback or wildcard listener's port: one
    // row per descriptor holding it, by process id and descriptor number.
    QList<ConnectionRow> connections(const std::shared_ptr<Batch>& batch);
    // The same, each from a listing of its own.
    QList<ProcessRow> processes();
    QList<ConnectionRow> connections();

    Report lastReport() const;

    // Where the snapshot services run their parts: one thread, so the second part of a batch finds the listing
    // the first took instead of waiting for it on a thread of its own.
    QThreadPool* listingThread() { return &m_listingThread; }

private:
    struct Listing
    {
        QHash<quint64, ProcFileSystem::TcpSocket> sockets;
        // Listening on a loopback or wildcard address: sockets whose holders may be servers.
        QSet<quint64> serverListeners;
        // The keys of `sockets`, ascending: what the kept walk is compared with.
        QList<quint64> inodes;
        bool fromNetlink = false;
        bool keptConnections = false;
    };
    struct Snapshot
    {
        Listing listing;
        QList<ProcFileSystem::SocketDescriptor> holders;
        // Read once for both parts: the rows processes() gives, and the command names of the processes read
        // (none for one that had gone).
        QList<ProcessRow> processes;
        QHash<qint32, std::optional<QString>> commands;
    };
    // The batch's listing, taken by the first of its parts to need it.
    std::shared_ptr<const Snapshot> snapshotOf(Batch& batch);
    Snapshot takeSnapshot();
    Listing listSockets();
    // The listening sockets and the established connections on the possible servers' ports, from the kernel;
    // std::nullopt where it refuses. See KeptConnections for when the connections come from the listing before.
    std::optional<QList<ProcFileSystem::TcpSocket>> kernelSockets(bool* keptConnections);
    // The holders of the listing's sockets: the kept ones when the sockets are the same and each holder still
    // holds its socket, else a new walk. A kept walk can miss a holder that came since while the kept ones stayed
    // (a child forked after the walk, a descriptor duplicated or passed on); it never names a wrong one, as each
    // kept holder was just seen holding that very socket, which this poll's listing holds.
    QList<ProcFileSystem::SocketDescriptor> holdersOf(const Listing& listing);
    void readProcesses(Snapshot& snapshot);

    const Options m_options;

    // Dumping the established sockets walks the kernel's whole connection table, a millisecond or more even when
    // it is empty; the listeners' dump and the counters are cheap. The connections of the listing before are kept
    // while the servers' ports are the same, the kernel counted no connection made since (a connect() or an
    // accepted connection counts when it is made, so the counts are read before the dumps), that listing saw no
    // connection on those ports in its handshake or not yet accepted (which could become established without
    // being counted again), and a lookup of each kept one finds it still established. A connection moved in by
    // checkpoint/restore is not counted and shows with the next change.
    struct KeptConnections
    {
        ProcFileSystem::TcpOpenings openings;
        QSet<quint16> serverPorts;
        QList<SocketDiagnostics::Socket> connections;
        bool unsettled = false;
    };
    std::mutex m_connectionsLock;
    std::optional<KeptConnections> m_keptConnections;

    // The processes read in one scan are mostly those of the next.
    std::mutex m_processFilesLock;
    ProcFileSystem::KeptProcessFiles m_processFiles;

    QThreadPool m_listingThread;

    std::mutex m_batches;
    std::weak_ptr<Batch> m_openBatch;

    mutable std::mutex m_walk;
    bool m_walked = false;
    QList<quint64> m_walkedInodes;
    QList<ProcFileSystem::SocketDescriptor> m_holders;
    Report m_report;
};
