#pragma once

#include "base/snapshotrows.h"
#include "discovery/launchdetailreader.h"
#include "discovery/serverdetecting.h"
#include "discovery/serverprobeservice.h"

#include <QHash>
#include <QObject>
#include <QThreadPool>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class Clock;
class ConnectionSnapshotService;
class ListenerSnapshotService;
class LoginEnvironmentSource;
class ProcessSnapshotService;

// A listening socket worth probing: its process, that process's nearest ancestors (at most four, nearest first)
// and the loopback URL the server is probed and shown under.
struct ServerCandidate
{
    ListenerRow listener;
    ProcessRow process;
    QList<ProcessRow> ancestors;
    QUrl url;

    friend bool operator==(const ServerCandidate&, const ServerCandidate&) = default;
};

// The established connections a server accepted on its port, and the other local processes connected to it.
struct ActiveConnections
{
    qint64 count = 0;
    // "<command> pid <pid>", each once.
    QStringList clients;

    friend bool operator==(const ActiveConnections&, const ActiveConnections&) = default;
};

// The established connections of one socket listing indexed by port, so that each server's connections come from
// the rows on its own port instead of a pass over every row.
class ConnectionIndex
{
public:
    ConnectionIndex() = default;
    explicit ConnectionIndex(const QList<ConnectionRow>& connectionRows);

    // What LocalServerDetector::activeConnections gives for the rows indexed.
    ActiveConnections activeConnections(qint32 pid, qint64 port) const;

private:
    struct Client
    {
        qint32 pid = 0;
        QString text;
    };
    // Established rows by process and local port: the connections a server accepted.
    QHash<std::pair<qint32, qint64>, qint64> m_accepted;
    // "<command> pid <pid>" of the established rows by remote port, each text once, in listing order.
    QHash<qint64, QList<Client>> m_clients;
};

using ProcessIndex = QHash<qint32, ProcessRow>;
using ProbeResults = QHash<QUrl, ProbeResult>;
// A project folder's own dev command: a lookup of what projectDevCommand gave (empty: ask it).
using DevCommandLookup = std::function<std::optional<QString>(const QString& projectPath)>;

// What a scan knows of its candidates' processes beyond the listings, taken right after them: the start time of
// each managed process, and the launch details (its exact arguments among them) of each launch process.
struct CandidateDetails
{
    QHash<qint32, quint64> startTimes;
    QHash<qint32, LaunchDetails> launches;
};

// Takes one snapshot of the machine and returns its local development servers: joins the process table with the
// TCP sockets, keeps loopback and wildcard listeners of development tool chains, probes them all at once and
// folds servers of one project and command into one. Keeps between scans only what it can tell is unchanged: what
// it worked out from a listener's process chain while the chain's rows are the same, and the dev commands of
// project folders whose files are the same. The calling thread only awaits
// the listings and probes and reads the clock; joining the rows and assembling the servers run on the detector's
// own worker thread. What a chain of processes says is LaunchChain's; what a launch was given, LaunchDetailReader's.
class LocalServerDetector final : public QObject, public ServerDetecting
{
    Q_OBJECT

public:
    static constexpr int maxAncestors = 4;

    // The services and the clock must outlive the detector; `listenerService` is held but not used, as the
    // listeners come from the socket listing the scan takes anyway. A null clock is the system clock. The given
    // variables of a launch are told apart from `loginEnvironment`, asked on the detector's own thread where a
    // scan needs it, and from this program's own environment as it is now.
    LocalServerDetector(ListenerSnapshotService* listenerService, ProcessSnapshotService* processService,
                        ConnectionSnapshotService* connectionService, ServerProbeService* probeService,
                        const Clock* clock = nullptr, std::shared_ptr<LoginEnvironmentSource> loginEnvironment = {},
                        QObject* parent = nullptr);
    ~LocalServerDetector() override;

    QCoro::Task<QList<LocalServer>> detectServers() override;

    static QList<ProcessRow> ancestors(const ProcessRow& process, const ProcessIndex& processesByID);
    static bool isLocalBindAddress(const QString& bindAddress);

    // Without launch details, from the listed command line as it stands; with them, a listed line is never the
    // command: the launch's own arguments (or what npm ran) are, each quoted.
    static std::optional<QString> resolveCommandLine(const std::optional<ProcessRow>& launch,
                                                     const std::optional<QString>& projectPath,
                                                     const DevCommandLookup& devCommandOf = {},
                                                     const LaunchDetails* details = nullptr);
    static ActiveConnections activeConnections(qint32 pid, qint64 port, const QList<ConnectionRow>& connectionRows);
    static std::optional<QString> parentProcessSummary(const ProcessRow& process, const QList<ProcessRow>& ancestors);

    // The listeners worth probing, in listing order.
    static QList<ServerCandidate> candidateServers(const QList<ListenerRow>& listeners,
                                                   const ProcessIndex& processesByID);
    // The dev command is read here; without details, the listed command line is used as it is.
    static LocalServer makeServer(const ServerCandidate& candidate, const WorkingDirectories& folders,
                                  const ProbeResults& probeResults, const QList<ConnectionRow>& connectionRows,
                                  const QDateTime& seenAt, const CandidateDetails* details = nullptr);
    // From the rows where the listing read them (from /proc); read now where it did not (from ps): blocking.
    static CandidateDetails readCandidateDetails(const QList<ServerCandidate>& candidates,
                                                 LoginEnvironmentSource* loginEnvironment = nullptr);

private:
    QCoro::Task<QList<LocalServer>> scan();

    ListenerSnapshotService* m_listenerService;
    ProcessSnapshotService* m_processService;
    ConnectionSnapshotService* m_connectionService;
    ServerProbeService* m_probeService;
    const Clock* m_clock;
    const std::shared_ptr<LoginEnvironmentSource> m_loginEnvironment;
    // Taken once, on the thread that makes the detector.
    const QList<QByteArray> m_ownEnvironment;
    // Used on the worker thread only.
    struct ScanMemory;
    std::unique_ptr<ScanMemory> m_memory;
    // The scan's work off the GUI thread: joining the rows, reading the candidates' details and assembling the
    // servers. Last, so that its destructor waits for work still running.
    QThreadPool m_pool;
};

// Servers that answered over HTTP first, then by port; stable.
QList<LocalServer> sortDetectedServers(QList<LocalServer> servers);
// Folds servers of the same project folder and command into the first of them, which then manages the
// processes of all; servers without a folder or a command stay as they are.
QList<LocalServer> mergeDuplicateServers(const QList<LocalServer>& servers);
