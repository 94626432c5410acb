#pragma once

#include "base/snapshotrows.h"
#include "platform/listings/procfilesystem.h"
#include "platform/listings/socketdiagnostics.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <mutex>

// Linux's listing of what the detection scan can use, at a cost that follows the servers rather than the machine:
// the listening TCP sockets from the kernel's socket diagnostics (from /proc/net/tcp{,6} where netlink is refused)
// and the processes holding them; process details for those holders, with the nearest ancestors of the holders of
// loopback and wildcard listeners; and only then the established connections on the ports of those listeners whose
// holders can be servers, asked of the kernel for those ports alone, with their holders and those holders'
// details. The connections are kept from the poll before while the kernel's counts show none made since, and the
// holders come from walks of every /proc/<pid>/fd kept across polls while they still hold. The rows are written as
// the /proc reader writes them. Thread-safe; blocking, so call it off the GUI thread.
class ServerSocketScan
{
public:
    static constexpr int maxAncestors = 4;

    // Whether the holder of a loopback or wildcard listener can be a server, from its row and its nearest ancestors
    // (nearest first, as far as they could be read).
    using ServerTest = std::function<bool(const ProcessRow& holder, const QList<ProcessRow>& ancestors)>;

    struct Options
    {
        // False reads /proc/net/tcp{,6}, as where netlink is refused.
        bool netlink = true;
        // Runs between the listing of the established connections and the search for their holders.
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
    // The connections are listed on the ports of the loopback and wildcard listeners with a holder that passes
    // `possibleServer`; without one, on the ports of every one.
    explicit ServerSocketScan(Options options, ServerTest possibleServer = {});

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
    // Every LISTEN socket, and every ESTABLISHED one with a side on the port of a loopback or wildcard listener
    // whose holder can be a server: one row per descriptor holding it, by process id and descriptor number.
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
        bool fromNetlink = false;
        bool keptConnections = false;
    };
    struct Snapshot
    {
        Listing listing;
        // By process id and descriptor number.
        QList<ProcFileSystem::SocketDescriptor> holders;
        // Read once for both parts: the rows processes() gives, and the command names of the processes read
        // (none for one that had gone).
        QList<ProcessRow> processes;
        QHash<qint32, std::optional<QString>> commands;
    };
    // The holders found for a set of sockets, kept for the next poll while they still hold.
    struct KeptWalk
    {
        bool walked = false;
        // Ascending.
        QList<quint64> inodes;
        QList<ProcFileSystem::SocketDescriptor> holders;
    };
    class ProcessReading;

    // The batch's listing, taken by the first of its parts to need it.
    std::shared_ptr<const Snapshot> snapshotOf(Batch& batch);
    Snapshot takeSnapshot();
    // The established connections on `ports` from the kernel; std::nullopt where it refuses. See KeptConnections
    // for when they come from the listing before.
    std::optional<QList<ProcFileSystem::TcpSocket>>
    kernelConnections(const QSet<quint16>& ports, const std::optional<ProcFileSystem::TcpOpenings>& openings,
                      bool* kept);
    // The holders of the sockets of `inodes` (ascending): the kept ones when the sockets are the same and each
    // holder still holds its socket, else a new walk, and none without a socket. A kept walk can miss a holder
    // that came since while the kept ones stayed (a child forked after the walk, a descriptor duplicated or passed
    // on); it never names a wrong one, as each kept holder was just seen holding that very socket, which this
    // poll's listing holds.
    static QList<ProcFileSystem::SocketDescriptor> holdersOf(KeptWalk& kept, const QList<quint64>& inodes,
                                                             bool* walked);

    const Options m_options;
    const ServerTest m_possibleServer;

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

    // One listing at a time: each starts from what the one before kept.
    std::mutex m_listing;
    std::optional<KeptConnections> m_keptConnections;
    KeptWalk m_listenerWalk;
    KeptWalk m_connectionWalk;
    // The processes read in one scan are mostly those of the next.
    ProcFileSystem::KeptProcessFiles m_processFiles;

    QThreadPool m_listingThread;

    std::mutex m_batches;
    std::weak_ptr<Batch> m_openBatch;

    mutable std::mutex m_reportLock;
    Report m_report;
};
