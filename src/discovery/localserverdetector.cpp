#include "discovery/localserverdetector.h"

#include "base/asyncwork.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/devcommandcache.h"
#include "discovery/keptacrossscans.h"
#include "discovery/launchchain.h"
#include "discovery/launchcommand.h"
#include "discovery/loginenvironment.h"
#include "discovery/pathtext.h"
#include "discovery/processsnapshotservice.h"
#include "platform/listings/detectionplatform.h"
#include "platform/listings/processidentity.h"
#include "platform/system/clock.h"
#include "telemetry/redaction.h"

#include <QPointer>
#include <QSet>

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QString localSide(const QString& endpoint)
{
    const qsizetype arrow = endpoint.indexOf(u"->"_s);
    return arrow < 0 ? endpoint : endpoint.left(arrow);
}

bool isEstablished(const ConnectionRow& row)
{
    return row.state && *row.state == u"ESTABLISHED"_s;
}

// What a listening process's chain gave in the scan before, kept while the chain's processes, texts and
// parents are the same: the word tests over the chain's texts cost far more than comparing them.
struct KnownChain
{
    QList<ProcessRow> rows;
    LaunchChain::Facts facts;
};
using ChainMemo = QHash<qint32, KnownChain>;

// What a chain with the same processes, texts and parents as `rows` gave, with the launch row taken from `rows`: its
// state, start time and arguments may have changed meanwhile.
std::optional<LaunchChain::Facts> knownFacts(const ChainMemo& memo, const QList<ProcessRow>& rows)
{
    const auto known = memo.constFind(rows.first().pid);
    if (known == memo.cend())
        return std::nullopt;
    const auto sameTexts = [](const ProcessRow& a, const ProcessRow& b) {
        return a.pid == b.pid && a.parentPid == b.parentPid && a.executable == b.executable &&
               a.commandLine == b.commandLine;
    };
    if (!std::equal(known->rows.cbegin(), known->rows.cend(), rows.cbegin(), rows.cend(), sameTexts))
        return std::nullopt;
    LaunchChain::Facts facts = known->facts;
    if (facts.launch) {
        const qint32 pid = facts.launch->pid;
        facts.launch =
            *std::find_if(rows.cbegin(), rows.cend(), [pid](const ProcessRow& row) { return row.pid == pid; });
    }
    return facts;
}

// A candidate with what its chain gave.
struct PreparedCandidate
{
    ServerCandidate candidate;
    LaunchChain::Facts facts;
};

PreparedCandidate prepared(const ServerCandidate& candidate)
{
    return {candidate, LaunchChain(candidate.process, candidate.ancestors).facts()};
}

// A launch's details hold while its process and what it shows of itself are the same: the environment it started
// with never changes, its arguments only with the text it shows.
using KeptLaunches = KeptAcrossScans<QString, LaunchDetails>;

QString launchKey(const ProcessRow& launch)
{
    QString key = QString::number(launch.pid) + u':' + QString::number(launch.startTime.value_or(0)) + QChar(u'\0') +
                  launch.commandLine;
    if (launch.arguments)
        key += QChar(u'\0') + launch.arguments->join(QChar(u'\0'));
    return key;
}

UserEnvironment userEnvironmentFrom(LoginEnvironmentSource* source, const QList<QByteArray>& own)
{
    return {source ? source->environment() : std::nullopt, own};
}

// The start time of each managed process and the exact arguments of each launch process. A row read from /proc
// holds both, read with it, so they are the very listed process's; a row from ps has neither, so they are read now.
// The user's environment is asked for once, and only where a launch is read from /proc.
void readIdentities(const QList<PreparedCandidate>& candidates, CandidateDetails& details,
                    LoginEnvironmentSource* loginEnvironment, const QList<QByteArray>& ownEnvironment,
                    KeptLaunches* keptLaunches = nullptr)
{
    std::optional<UserEnvironment> user;
    for (const PreparedCandidate& candidate : candidates) {
        for (const qint32 pid : candidate.facts.managed) {
            if (details.startTimes.contains(pid))
                continue;
            // Every managed process is in the chain.
            const ProcessRow* row = &candidate.candidate.process;
            if (row->pid != pid) {
                const QList<ProcessRow>& ancestors = candidate.candidate.ancestors;
                const auto found = std::find_if(ancestors.cbegin(), ancestors.cend(),
                                                [pid](const ProcessRow& ancestor) { return ancestor.pid == pid; });
                row = found != ancestors.cend() ? &*found : nullptr;
            }
            const std::optional<quint64> start =
                row && row->startTime ? row->startTime : ProcessIdentity::startTime(pid);
            if (start)
                details.startTimes.insert(pid, *start);
        }
        const std::optional<ProcessRow>& launch = candidate.facts.launch;
        if (launch && !details.launches.contains(launch->pid)) {
            QList<ProcessRow> chain{candidate.candidate.process};
            chain.append(candidate.candidate.ancestors);
            if (launch->startTime && !user)
                user = userEnvironmentFrom(loginEnvironment, ownEnvironment);
            const auto read = [&](const QString&) {
                return LaunchDetailReader::read(*launch, chain, user ? *user : UserEnvironment());
            };
            // What was told apart from this program's own environment is told again once the login one is there.
            LaunchDetails launchDetails =
                keptLaunches && launch->startTime
                    ? keptLaunches->value(launchKey(*launch) + (user->login ? u'L' : u'O'), read)
                    : read({});
            details.launches.insert(launch->pid, std::move(launchDetails));
        }
    }
    if (keptLaunches)
        keptLaunches->endScan();
}

// What a command that starts in `folder` begins with.
QString startFolderText(const QString& folder)
{
    return u"cd "_s + shellCommandLine({folder}) + u" && "_s;
}

using ServerURLs = KeptAcrossScans<std::pair<QString, qint64>, QUrl>;

QList<PreparedCandidate> prepareCandidates(const QList<ListenerRow>& listeners, const ProcessIndex& processesByID,
                                           ChainMemo* memo = nullptr, ServerURLs* urls = nullptr)
{
    // Each process's text is made once, however many listeners and chains it is part of.
    QHash<qint32, QString> texts;
    const auto member = [&](const ProcessRow& row) {
        auto text = texts.constFind(row.pid);
        if (text == texts.cend())
            text = texts.insert(row.pid, LaunchChain::processText(row));
        return LaunchChain::Member{row, *text};
    };
    ChainMemo seen;
    QList<PreparedCandidate> candidates;
    for (const ListenerRow& listener : listeners) {
        if (!LocalServerDetector::isLocalBindAddress(listener.bindAddress))
            continue;
        const auto found = processesByID.constFind(listener.pid);
        if (found == processesByID.cend())
            continue;
        const ProcessRow& process = *found;
        QList<ProcessRow> ancestors = LocalServerDetector::ancestors(process, processesByID);
        QList<ProcessRow> rows{process};
        rows.append(ancestors);

        std::optional<LaunchChain::Facts> facts = knownFacts(seen, rows);
        if (!facts && memo)
            facts = knownFacts(*memo, rows);
        if (!facts) {
            QList<LaunchChain::Member> chain;
            chain.reserve(rows.size());
            for (const ProcessRow& row : std::as_const(rows))
                chain.append(member(row));
            facts = LaunchChain(std::move(chain)).facts();
        }
        seen.insert(process.pid, {rows, *facts});
        if (!facts->wanted)
            continue;
        const QUrl url = urls ? urls->value({listener.bindAddress, listener.port},
                                            [](const std::pair<QString, qint64>& address) {
                                                return loopbackServerURL(address.first, address.second);
                                            })
                              : loopbackServerURL(listener.bindAddress, listener.port);
        candidates.append({{listener, process, std::move(ancestors), url}, std::move(*facts)});
    }
    if (memo)
        *memo = std::move(seen);
    if (urls)
        urls->endScan();
    return candidates;
}

// The identity of each managed process.
void applyCandidateDetails(LocalServer& server, const CandidateDetails& details)
{
    for (const qint32 pid : std::as_const(server.managedProcessIDs)) {
        if (const auto start = details.startTimes.constFind(pid); start != details.startTimes.cend())
            server.processStartTimes.insert(pid, *start);
    }
}

LocalServer assemble(const PreparedCandidate& prepared, const WorkingDirectories& folders,
                     const ProbeResults& probeResults, const ConnectionIndex& connections, const QDateTime& seenAt,
                     const CandidateDetails* details, const DevCommandLookup& devCommandOf = {},
                     KeptAcrossScans<QString, QString>* redactions = nullptr)
{
    const ServerCandidate& candidate = prepared.candidate;
    const ProcessRow& process = candidate.process;
    LocalServer server;
    server.pid = candidate.listener.pid;
    server.port = candidate.listener.port;
    server.url = candidate.url;
    server.lastSeenAt = seenAt;
    server.runtimeKind = prepared.facts.runtime;
    if (const auto folder = folders.constFind(server.pid); folder != folders.cend())
        server.processWorkingDirectory = *folder;
    if (server.runtimeKind != RuntimeKind::AgentBrowser)
        server.projectPath = server.processWorkingDirectory;

    const std::optional<ProcessRow>& launch = prepared.facts.launch;
    const LaunchDetails* launchDetails = nullptr;
    if (details && launch) {
        if (const auto found = details->launches.constFind(launch->pid); found != details->launches.cend())
            launchDetails = &*found;
    }
    const std::optional<QString> command =
        LocalServerDetector::resolveCommandLine(launch, server.projectPath, devCommandOf, launchDetails);
    server.rawCommandLine = command.value_or(QString());
    if (command && launchDetails && launchDetails->environment)
        server.launchEnvironment = *launchDetails->environment;
    // Shown as the user would type it: after the folder a script starts from, the given variables, each redacted on
    // its own (a value's words would else run into the command's), then the command itself.
    const auto redacted = [redactions](const QString& text) {
        return redactions ? redactions->value(text, &redactCommandLine) : redactCommandLine(text);
    };
    QString start;
    QString shown = process.commandLine;
    if (command) {
        const QString folder =
            launchDetails && launchDetails->startFolder ? startFolderText(*launchDetails->startFolder) : QString();
        const qsizetype at = !folder.isEmpty() && command->startsWith(folder) ? folder.size() : 0;
        start = command->first(at);
        shown = command->sliced(at);
    }
    server.displayCommandLine = (start.isEmpty() ? QString() : redacted(start.trimmed()) + u' ') +
                                LaunchEnvironment::shownAssignments(server.launchEnvironment) + redacted(shown);

    const ActiveConnections active = connections.activeConnections(server.pid, server.port);
    server.activeConnectionCount = active.count;
    server.activeConnectionClients = active.clients;
    server.managedProcessIDs = prepared.facts.managed;
    server.isPaused = process.state.contains(u'T');
    server.processExecutable = process.executable;
    server.parentProcessSummary = LocalServerDetector::parentProcessSummary(process, candidate.ancestors);

    if (const auto probe = probeResults.constFind(server.url); probe != probeResults.cend()) {
        server.httpStatus = probe->statusCode;
        server.pageTitle = probe->title;
    }
    if (details)
        applyCandidateDetails(server, *details);
    return server;
}

// What the detector's worker thread keeps from one scan for the next.
struct KeptWork
{
    ChainMemo chains;
    ServerURLs urls;
    DevCommandCache devCommands;
    KeptAcrossScans<QString, QString> redactedLines;
    KeptLaunches launches;
};

// What a scan works out from its two listings before it looks up folders and probes.
struct ScanPlan
{
    QList<PreparedCandidate> candidates;
    ConnectionIndex connections;
    // Start times and arguments, taken right after the listing.
    CandidateDetails identities;
    // The working folders the listing read with the candidates' rows, and the candidates whose folder it did not
    // read.
    WorkingDirectories folders;
    QList<qint32> foldersToLookUp;
};

std::shared_ptr<const ScanPlan> planScan(const QList<ProcessRow>& processes, const QList<ConnectionRow>& connections,
                                         KeptWork& kept, LoginEnvironmentSource* loginEnvironment,
                                         const QList<QByteArray>& ownEnvironment)
{
    ProcessIndex processesByID;
    processesByID.reserve(processes.size());
    for (const ProcessRow& row : processes) {
        if (!processesByID.contains(row.pid))
            processesByID.insert(row.pid, row);
    }
    auto plan = std::make_shared<ScanPlan>();
    plan->candidates = prepareCandidates(listenerRows(connections), processesByID, &kept.chains, &kept.urls);
    plan->connections = ConnectionIndex(connections);
    readIdentities(plan->candidates, plan->identities, loginEnvironment, ownEnvironment, &kept.launches);
    for (const PreparedCandidate& prepared : std::as_const(plan->candidates)) {
        const ProcessRow& process = prepared.candidate.process;
        if (!process.workingDirectory)
            plan->foldersToLookUp.append(process.pid);
        else if (!process.workingDirectory->isEmpty())
            plan->folders.insert(process.pid, *process.workingDirectory);
    }
    return plan;
}

// A project's dev command is read only for a server whose command needs it, and mostly kept from the scan before.
QList<LocalServer> assembleServers(const ScanPlan& plan, const WorkingDirectories& folders,
                                   const ProbeResults& probeResults, const QList<QDateTime>& seenAt, KeptWork& kept)
{
    const DevCommandLookup devCommandOf = [&kept](const QString& folder) {
        return kept.devCommands.devCommand(folder);
    };
    QList<LocalServer> servers;
    servers.reserve(plan.candidates.size());
    for (qsizetype i = 0; i < plan.candidates.size(); ++i)
        servers.append(assemble(plan.candidates.at(i), folders, probeResults, plan.connections, seenAt.at(i),
                                &plan.identities, devCommandOf, &kept.redactedLines));
    kept.devCommands.endScan();
    kept.redactedLines.endScan();
    return mergeDuplicateServers(sortDetectedServers(std::move(servers)));
}

// Probes one URL and records its result when it completes, so that of two candidates with one URL the later
// answer stands for both.
QCoro::Task<> probeInto(const ServerProbeService* service, QUrl url, std::shared_ptr<ProbeResults> results)
{
    QCoro::Task<ProbeResult> probe = service->probe(url);
    const ProbeResult result = co_await probe;
    results->insert(url, result);
}

} // namespace

struct LocalServerDetector::ScanMemory : KeptWork
{
};

LocalServerDetector::LocalServerDetector(ListenerSnapshotService* listenerService,
                                         ProcessSnapshotService* processService,
                                         ConnectionSnapshotService* connectionService, ServerProbeService* probeService,
                                         const Clock* clock, std::shared_ptr<LoginEnvironmentSource> loginEnvironment,
                                         QObject* parent)
    : QObject(parent)
    , m_listenerService(listenerService)
    , m_processService(processService)
    , m_connectionService(connectionService)
    , m_probeService(probeService)
    , m_clock(clock ? clock : &SystemClock::shared())
    , m_loginEnvironment(std::move(loginEnvironment))
    , m_ownEnvironment(ProcessIdentity::ownEnvironment())
    , m_memory(std::make_unique<ScanMemory>())
{
    Q_ASSERT(m_processService && m_connectionService && m_probeService);
    m_pool.setMaxThreadCount(1);
}

LocalServerDetector::~LocalServerDetector() = default;

QCoro::Task<QList<LocalServer>> LocalServerDetector::detectServers()
{
    return scan();
}

QCoro::Task<QList<LocalServer>> LocalServerDetector::scan()
{
    QPointer<LocalServerDetector> self(this);

    // Both listings run at once on their own services.
    QCoro::Task<QList<ProcessRow>> processListing = m_processService->processes();
    QCoro::Task<QList<ConnectionRow>> connectionListing = m_connectionService->connections();
    QList<ProcessRow> processes;
    std::exception_ptr processFailure;
    try {
        processes = co_await processListing;
    } catch (...) {
        processFailure = std::current_exception();
    }
    if (processFailure) {
        // Leave nothing running behind a failed scan: the socket listing ends first, whatever its outcome.
        try {
            const QList<ConnectionRow> ignored = co_await connectionListing;
            Q_UNUSED(ignored);
        } catch (...) {
        }
        std::rethrow_exception(processFailure);
    }
    QList<ConnectionRow> connections = co_await connectionListing;
    if (!self)
        co_return {};

    // Indexing and the candidates' chains grow with the listings: worked out on the detector's own thread, which
    // also frees the rows.
    auto prepare =
        AsyncWork::runOn(&m_pool, [processes = std::move(processes), connections = std::move(connections),
                                   memory = m_memory.get(), login = m_loginEnvironment, own = m_ownEnvironment] {
            return planScan(processes, connections, *memory, login.get(), own);
        });
    std::shared_ptr<const ScanPlan> plan = co_await prepare;
    if (!self)
        co_return {};

    WorkingDirectories folders = plan->folders;
    if (!plan->foldersToLookUp.isEmpty()) {
        QCoro::Task<WorkingDirectories> folderLookup = m_processService->workingDirectories(plan->foldersToLookUp);
        const WorkingDirectories found = co_await folderLookup;
        if (!self)
            co_return {};
        for (const qint32 pid : plan->foldersToLookUp) {
            if (const auto folder = found.constFind(pid); folder != found.cend())
                folders.insert(pid, *folder);
        }
    }

    // Every probe starts before the first is awaited, so the probing takes as long as the slowest one.
    auto probeResults = std::make_shared<ProbeResults>();
    std::vector<QCoro::Task<>> probes;
    probes.reserve(std::size_t(plan->candidates.size()));
    for (const PreparedCandidate& prepared : plan->candidates)
        probes.push_back(probeInto(m_probeService, prepared.candidate.url, probeResults));
    for (QCoro::Task<>& probe : probes)
        co_await probe;
    if (!self)
        co_return {};

    // One clock reading per candidate, as it is assembled.
    QList<QDateTime> seenAt;
    seenAt.reserve(plan->candidates.size());
    for (qsizetype i = 0; i < plan->candidates.size(); ++i)
        seenAt.append(m_clock->now());
    auto assembly = AsyncWork::runOn(
        &m_pool, [plan = std::move(plan), folders, results = *probeResults, seenAt, memory = m_memory.get()] {
            return assembleServers(*plan, folders, results, seenAt, *memory);
        });
    co_return co_await assembly;
}

QList<ProcessRow> LocalServerDetector::ancestors(const ProcessRow& process, const ProcessIndex& processesByID)
{
    QList<ProcessRow> chain;
    qint32 next = process.parentPid;
    while (chain.size() < maxAncestors) {
        const auto found = processesByID.constFind(next);
        if (found == processesByID.cend())
            break;
        chain.append(*found);
        next = found->parentPid;
    }
    return chain;
}

bool LocalServerDetector::isLocalBindAddress(const QString& bindAddress)
{
    if (bindAddress == u"*"_s || bindAddress == u"0.0.0.0"_s || bindAddress == u"::"_s)
        return true;
    return isLoopbackHost(bindAddress);
}

std::optional<QString> LocalServerDetector::resolveCommandLine(const std::optional<ProcessRow>& launch,
                                                               const std::optional<QString>& projectPath,
                                                               const DevCommandLookup& devCommandOf,
                                                               const LaunchDetails* details)
{
    const auto projectDevCommand = [&devCommandOf](const QString& folder) {
        return devCommandOf ? devCommandOf(folder) : LaunchCommand::projectDevCommand(folder);
    };
    // Without a folder nothing is launched; the command only tells servers apart.
    if (!projectPath) {
        if (!launch)
            return std::nullopt;
        if (details && details->exact)
            return shellCommandLine(*details->exact);
        return launch->commandLine;
    }
    const QString listed = launch ? launch->commandLine.trimmed() : QString();
    if (launch && details && isReplayableCommandLine(listed)) {
        using Arguments = LaunchDetails::Arguments;
        // What npm ran stands for its rewritten title in the rules below.
        const QString text = details->recovered ? shellCommandLine(*details->recovered) : listed;
        if (isPackageManagerDevVariant(text)) {
            if (std::optional<QString> devCommand = projectDevCommand(*projectPath))
                return devCommand;
        }
        if (!details->environment)
            return std::nullopt;
        switch (details->arguments) {
        case Arguments::Exact:
            // A script runs again from where it was started; the relaunch itself starts in the project folder.
            if (details->startFolder && *details->startFolder != *projectPath)
                return startFolderText(*details->startFolder) + shellCommandLine(*details->exact);
            return shellCommandLine(*details->exact);
        case Arguments::Rewritten:
            if (details->recovered)
                return text;
            return std::nullopt;
        case Arguments::NotText:
            return std::nullopt;
        case Arguments::Unread:
            // Each listed word alone: nothing in a line another process shows runs as shell code.
            return shellCommandLine(LaunchCommand::splitWords(listed));
        }
    }
    if (launch && details && details->arguments == LaunchDetails::Arguments::NotText)
        return std::nullopt;
    const QString& text = listed;
    if (isReplayableCommandLine(text)) {
        if (isPackageManagerDevVariant(text)) {
            if (std::optional<QString> devCommand = projectDevCommand(*projectPath))
                return devCommand;
        }
        return text;
    }
    if (std::optional<QString> devCommand = projectDevCommand(*projectPath))
        return devCommand;
    if (launch)
        return launch->commandLine;
    return std::nullopt;
}

ActiveConnections LocalServerDetector::activeConnections(qint32 pid, qint64 port,
                                                         const QList<ConnectionRow>& connectionRows)
{
    return ConnectionIndex(connectionRows).activeConnections(pid, port);
}

ConnectionIndex::ConnectionIndex(const QList<ConnectionRow>& connectionRows)
{
    QSet<std::pair<qint64, QString>> seen;
    for (const ConnectionRow& row : connectionRows) {
        if (!isEstablished(row))
            continue;
        if (const std::optional<qint64> local = endpointPort(localSide(row.endpoint)))
            ++m_accepted[{row.pid, *local}];
        const QStringList sides = row.endpoint.split(u"->"_s);
        if (sides.size() != 2)
            continue;
        const std::optional<qint64> remote = endpointPort(sides.at(1));
        if (!remote)
            continue;
        // The text holds the process id, so dropping repeats before the server's own rows are left out drops the
        // same ones as after.
        QString text = row.command + u" pid "_s + QString::number(row.pid);
        if (!seen.contains({*remote, text})) {
            seen.insert({*remote, text});
            m_clients[*remote].append({row.pid, std::move(text)});
        }
    }
}

ActiveConnections ConnectionIndex::activeConnections(qint32 pid, qint64 port) const
{
    ActiveConnections result;
    result.count = m_accepted.value({pid, port});
    const auto clients = m_clients.constFind(port);
    if (clients == m_clients.cend())
        return result;
    for (const Client& client : *clients) {
        if (client.pid != pid)
            result.clients.append(client.text);
    }
    return result;
}

std::optional<QString> LocalServerDetector::parentProcessSummary(const ProcessRow& process,
                                                                 const QList<ProcessRow>& ancestors)
{
    if (!ancestors.isEmpty()) {
        const ProcessRow& parent = ancestors.first();
        return lastPathComponent(parent.executable) + u" pid "_s + QString::number(parent.pid);
    }
    if (process.parentPid == 1)
        return DetectionPlatform::initProcessSummary();
    return std::nullopt;
}

QList<ServerCandidate> LocalServerDetector::candidateServers(const QList<ListenerRow>& listeners,
                                                             const ProcessIndex& processesByID)
{
    QList<ServerCandidate> candidates;
    for (PreparedCandidate& prepared : prepareCandidates(listeners, processesByID))
        candidates.append(std::move(prepared.candidate));
    return candidates;
}

LocalServer LocalServerDetector::makeServer(const ServerCandidate& candidate, const WorkingDirectories& folders,
                                            const ProbeResults& probeResults,
                                            const QList<ConnectionRow>& connectionRows, const QDateTime& seenAt,
                                            const CandidateDetails* details)
{
    return assemble(prepared(candidate), folders, probeResults, ConnectionIndex(connectionRows), seenAt, details);
}

CandidateDetails LocalServerDetector::readCandidateDetails(const QList<ServerCandidate>& candidates,
                                                           LoginEnvironmentSource* loginEnvironment)
{
    QList<PreparedCandidate> preparedCandidates;
    preparedCandidates.reserve(candidates.size());
    for (const ServerCandidate& candidate : candidates)
        preparedCandidates.append(prepared(candidate));
    CandidateDetails details;
    readIdentities(preparedCandidates, details, loginEnvironment, ProcessIdentity::ownEnvironment());
    return details;
}

QList<LocalServer> sortDetectedServers(QList<LocalServer> servers)
{
    std::stable_sort(servers.begin(), servers.end(), [](const LocalServer& a, const LocalServer& b) {
        if (a.httpStatus.has_value() != b.httpStatus.has_value())
            return a.httpStatus.has_value();
        return a.port < b.port;
    });
    return servers;
}

QList<LocalServer> mergeDuplicateServers(const QList<LocalServer>& servers)
{
    QList<LocalServer> merged;
    QHash<QString, qsizetype> positions;
    for (const LocalServer& server : servers) {
        if (!server.projectPath || server.rawCommandLine.isEmpty()) {
            merged.append(server);
            continue;
        }
        const QString key = *server.projectPath + QChar(u'\0') + server.rawCommandLine;
        const auto known = positions.constFind(key);
        if (known == positions.cend()) {
            positions.insert(key, merged.size());
            merged.append(server);
        } else {
            merged[*known] = merged.at(*known).mergingProcessesOf(server);
        }
    }
    return merged;
}
