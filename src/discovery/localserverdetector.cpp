#include "discovery/localserverdetector.h"

#include "discovery/connectionsnapshotservice.h"
#include "discovery/launchcommand.h"
#include "discovery/pathtext.h"
#include "discovery/processsnapshotservice.h"
#include "platform/asyncwork.h"
#include "platform/clock.h"
#include "platform/detectionplatform.h"
#include "platform/processidentity.h"
#include "telemetry/redaction.h"

#include <QPointer>

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

bool containsAny(const QString& text, std::initializer_list<QStringView> needles)
{
    return std::any_of(needles.begin(), needles.end(), [&](QStringView needle) { return text.contains(needle); });
}

bool matchesAny(const QString& text, const QList<DetectionPlatform::ProcessTextRule>& rules)
{
    return std::any_of(rules.cbegin(), rules.cend(),
                       [&](const DetectionPlatform::ProcessTextRule& rule) { return rule.matches(text); });
}

QString localSide(const QString& endpoint)
{
    const qsizetype arrow = endpoint.indexOf(u"->"_s);
    return arrow < 0 ? endpoint : endpoint.left(arrow);
}

bool isEstablished(const ConnectionRow& row)
{
    return row.state && *row.state == u"ESTABLISHED"_s;
}

QList<ProcessRow> chainOf(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    QList<ProcessRow> chain;
    chain.reserve(ancestors.size() + 1);
    chain.append(process);
    chain.append(ancestors);
    return chain;
}

// The launch process's own arguments, quoted for the shell, where the command replays it as it is listed: the
// listed line has lost where one argument ends and the next begins. And the identity of each managed process.
void applyCandidateDetails(LocalServer& server, const std::optional<ProcessRow>& launch,
                           const CandidateDetails& details)
{
    if (launch && !server.rawCommandLine.isEmpty() &&
        (server.rawCommandLine == launch->commandLine || server.rawCommandLine == launch->commandLine.trimmed())) {
        if (const auto arguments = details.arguments.constFind(launch->pid); arguments != details.arguments.cend())
            server.rawCommandLine = shellCommandLine(*arguments);
    }
    for (const qint32 pid : std::as_const(server.managedProcessIDs)) {
        if (const auto start = details.startTimes.constFind(pid); start != details.startTimes.cend())
            server.processStartTimes.insert(pid, *start);
    }
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

LocalServerDetector::LocalServerDetector(ListenerSnapshotService* listenerService,
                                         ProcessSnapshotService* processService,
                                         ConnectionSnapshotService* connectionService, ServerProbeService* probeService,
                                         const Clock* clock, QObject* parent)
    : QObject(parent)
    , m_listenerService(listenerService)
    , m_processService(processService)
    , m_connectionService(connectionService)
    , m_probeService(probeService)
    , m_clock(clock ? clock : &SystemClock::shared())
{
    Q_ASSERT(m_processService && m_connectionService && m_probeService);
    m_detailPool.setMaxThreadCount(1);
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
    const QList<ConnectionRow> connections = co_await connectionListing;
    if (!self)
        co_return {};

    ProcessIndex processesByID;
    processesByID.reserve(processes.size());
    for (const ProcessRow& row : std::as_const(processes)) {
        if (!processesByID.contains(row.pid))
            processesByID.insert(row.pid, row);
    }
    const QList<ServerCandidate> candidates = candidateServers(listenerRows(connections), processesByID);

    QList<qint32> pids;
    pids.reserve(candidates.size());
    for (const ServerCandidate& candidate : candidates)
        pids.append(candidate.listener.pid);
    QCoro::Task<WorkingDirectories> folderLookup = m_processService->workingDirectories(pids);
    const WorkingDirectories folders = co_await folderLookup;
    if (!self)
        co_return {};

    // Read while the probes run.
    auto detailRead =
        AsyncWork::runOn(&m_detailPool, [candidates, folders] { return readCandidateDetails(candidates, folders); });

    // Every probe starts before the first is awaited, so the probing takes as long as the slowest one.
    auto probeResults = std::make_shared<ProbeResults>();
    std::vector<QCoro::Task<>> probes;
    probes.reserve(std::size_t(candidates.size()));
    for (const ServerCandidate& candidate : candidates)
        probes.push_back(probeInto(m_probeService, candidate.url, probeResults));
    for (QCoro::Task<>& probe : probes)
        co_await probe;
    const CandidateDetails details = co_await detailRead;
    if (!self)
        co_return {};

    QList<LocalServer> servers;
    servers.reserve(candidates.size());
    for (const ServerCandidate& candidate : candidates)
        servers.append(makeServer(candidate, folders, *probeResults, connections, m_clock->now(), &details));
    co_return mergeDuplicateServers(sortDetectedServers(std::move(servers)));
}

QString LocalServerDetector::processText(const ProcessRow& row)
{
    return (row.executable + u' ' + row.commandLine).toLower();
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

bool LocalServerDetector::isDevCommand(const ProcessRow& row)
{
    return containsAny(processText(row), {u"node", u"/npm", u" npm ", u"/pnpm", u" pnpm ", u"/yarn", u" yarn ", u"/bun",
                                          u" bun ", u"tsx", u"next", u"vite"});
}

bool LocalServerDetector::hasDevToolInChain(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    return isDevCommand(process) || std::any_of(ancestors.cbegin(), ancestors.cend(), &isDevCommand);
}

bool LocalServerDetector::isAgentBrowserProcess(const ProcessRow& row)
{
    const QString text = processText(row);
    return containsAny(text, {u"/agent-browser/bin/agent-browser-", u"/agent-browser/bin/agent-browser.js"}) ||
           text.endsWith(u"/agent-browser"_s);
}

bool LocalServerDetector::isAppHelperProcess(const ProcessRow& row)
{
    return matchesAny(processText(row), DetectionPlatform::appHelperRules());
}

bool LocalServerDetector::isBrowserDebugPortProcess(const ProcessRow& row)
{
    return matchesAny(processText(row), DetectionPlatform::browserDebugPortRules());
}

bool LocalServerDetector::isPackageManagerDevProcess(const ProcessRow& row)
{
    const QString text = processText(row);
    return containsAny(text, {u"pnpm", u"npm", u"yarn", u"bun"}) && text.contains(u"dev"_s);
}

RuntimeKind LocalServerDetector::classifyRuntime(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    if (isAgentBrowserProcess(process))
        return RuntimeKind::AgentBrowser;
    QStringList members;
    for (const ProcessRow& row : chainOf(process, ancestors))
        members.append(row.executable + u' ' + row.commandLine);
    const QString text = members.join(u' ').toLower();
    if (text.contains(u"next"_s))
        return RuntimeKind::Next;
    if (text.contains(u"vite"_s))
        return RuntimeKind::Vite;
    if (containsAny(text, {u"/bun", u" bun "}))
        return RuntimeKind::Bun;
    return RuntimeKind::Node;
}

std::optional<ProcessRow> LocalServerDetector::launchProcess(const ProcessRow& process,
                                                             const QList<ProcessRow>& ancestors)
{
    for (const ProcessRow& ancestor : ancestors) {
        if (isPackageManagerDevProcess(ancestor))
            return ancestor;
    }
    for (const ProcessRow& row : chainOf(process, ancestors)) {
        if (isReplayableCommandLine(row.commandLine) &&
            containsAny(row.commandLine.toLower(), {u" dev", u"next dev", u"vite", u"tsx"}))
            return row;
    }
    static const QStringList tools = {u"node"_s, u"npm"_s, u"pnpm"_s, u"yarn"_s,
                                      u"bun"_s,  u"tsx"_s, u"vite"_s, u"next"_s};
    if (isReplayableCommandLine(process.commandLine) && tools.contains(lastPathComponent(process.executable).toLower()))
        return process;
    return std::nullopt;
}

std::optional<QString> LocalServerDetector::resolveCommandLine(const std::optional<ProcessRow>& launch,
                                                               const std::optional<QString>& projectPath,
                                                               const DevCommandLookup& devCommandOf)
{
    const auto projectDevCommand = [&devCommandOf](const QString& folder) {
        return devCommandOf ? devCommandOf(folder) : LaunchCommand::projectDevCommand(folder);
    };
    if (!projectPath) {
        if (!launch)
            return std::nullopt;
        return launch->commandLine;
    }
    const QString text = launch ? launch->commandLine.trimmed() : QString();
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

QList<qint32> LocalServerDetector::managedProcessIDs(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    const QList<ProcessRow> chain = chainOf(process, ancestors);
    qsizetype outermost = -1;
    for (qsizetype i = chain.size() - 1; i >= 0; --i) {
        if (isPackageManagerDevProcess(chain.at(i))) {
            outermost = i;
            break;
        }
    }
    if (outermost < 0) {
        if (const std::optional<ProcessRow> launch = launchProcess(process, ancestors)) {
            const auto member = std::find_if(chain.cbegin(), chain.cend(),
                                             [&](const ProcessRow& row) { return row.pid == launch->pid; });
            if (member != chain.cend())
                outermost = member - chain.cbegin();
        }
    }
    if (outermost < 0)
        return {process.pid};

    // A self-parented or cyclic chain repeats its rows; each process is signalled once, the listening one last.
    QList<qint32> ids;
    for (qsizetype i = 0; i <= outermost; ++i) {
        if (!ids.contains(chain.at(i).pid))
            ids.append(chain.at(i).pid);
    }
    std::reverse(ids.begin(), ids.end());
    return ids;
}

ActiveConnections LocalServerDetector::activeConnections(qint32 pid, qint64 port,
                                                         const QList<ConnectionRow>& connectionRows)
{
    ActiveConnections result;
    for (const ConnectionRow& row : connectionRows) {
        if (!isEstablished(row))
            continue;
        if (row.pid == pid) {
            if (endpointPort(localSide(row.endpoint)) == port)
                ++result.count;
            continue;
        }
        const QStringList sides = row.endpoint.split(u"->"_s);
        if (sides.size() != 2 || endpointPort(sides.at(1)) != port)
            continue;
        const QString client = row.command + u" pid "_s + QString::number(row.pid);
        if (!result.clients.contains(client))
            result.clients.append(client);
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
    for (const ListenerRow& listener : listeners) {
        if (!isLocalBindAddress(listener.bindAddress))
            continue;
        const auto found = processesByID.constFind(listener.pid);
        if (found == processesByID.cend())
            continue;
        const ProcessRow& process = *found;
        QList<ProcessRow> chain = ancestors(process, processesByID);
        // The helper, browser and agent-browser tests look at the listening process alone.
        const bool wanted = (isAgentBrowserProcess(process) || hasDevToolInChain(process, chain)) &&
                            !isAppHelperProcess(process) && !isBrowserDebugPortProcess(process);
        if (!wanted)
            continue;
        candidates.append(
            {listener, process, std::move(chain), loopbackServerURL(listener.bindAddress, listener.port)});
    }
    return candidates;
}

LocalServer LocalServerDetector::makeServer(const ServerCandidate& candidate, const WorkingDirectories& folders,
                                            const ProbeResults& probeResults,
                                            const QList<ConnectionRow>& connectionRows, const QDateTime& seenAt,
                                            const CandidateDetails* details)
{
    const ProcessRow& process = candidate.process;
    LocalServer server;
    server.pid = candidate.listener.pid;
    server.port = candidate.listener.port;
    server.url = candidate.url;
    server.lastSeenAt = seenAt;
    server.runtimeKind = classifyRuntime(process, candidate.ancestors);
    if (const auto folder = folders.constFind(server.pid); folder != folders.cend())
        server.processWorkingDirectory = *folder;
    if (server.runtimeKind != RuntimeKind::AgentBrowser)
        server.projectPath = server.processWorkingDirectory;

    const std::optional<ProcessRow> launch = launchProcess(process, candidate.ancestors);
    DevCommandLookup devCommandOf;
    if (details) {
        devCommandOf = [details](const QString& folder) {
            const auto known = details->devCommands.constFind(folder);
            return known != details->devCommands.cend() ? *known : projectDevCommand(folder);
        };
    }
    const std::optional<QString> command = resolveCommandLine(launch, server.projectPath, devCommandOf);
    server.rawCommandLine = command.value_or(QString());
    server.displayCommandLine = redactCommandLine(command ? *command : process.commandLine);

    const ActiveConnections connections = activeConnections(server.pid, server.port, connectionRows);
    server.activeConnectionCount = connections.count;
    server.activeConnectionClients = connections.clients;
    server.managedProcessIDs = managedProcessIDs(process, candidate.ancestors);
    server.isPaused = process.state.contains(u'T');
    server.processExecutable = process.executable;
    server.parentProcessSummary = parentProcessSummary(process, candidate.ancestors);

    if (const auto probe = probeResults.constFind(server.url); probe != probeResults.cend()) {
        server.httpStatus = probe->statusCode;
        server.pageTitle = probe->title;
    }
    if (details)
        applyCandidateDetails(server, launch, *details);
    return server;
}

CandidateDetails LocalServerDetector::readCandidateDetails(const QList<ServerCandidate>& candidates,
                                                           const WorkingDirectories& folders)
{
    CandidateDetails details;
    for (const ServerCandidate& candidate : candidates) {
        for (const qint32 pid : managedProcessIDs(candidate.process, candidate.ancestors)) {
            if (details.startTimes.contains(pid))
                continue;
            if (const std::optional<quint64> start = ProcessIdentity::startTime(pid))
                details.startTimes.insert(pid, *start);
        }
        if (const std::optional<ProcessRow> launch = launchProcess(candidate.process, candidate.ancestors)) {
            if (!details.arguments.contains(launch->pid)) {
                if (std::optional<QStringList> arguments = ProcessIdentity::arguments(launch->pid, launch->commandLine))
                    details.arguments.insert(launch->pid, std::move(*arguments));
            }
        }
        const auto folder = folders.constFind(candidate.listener.pid);
        if (folder != folders.cend() && !isAgentBrowserProcess(candidate.process) &&
            !details.devCommands.contains(*folder))
            details.devCommands.insert(*folder, projectDevCommand(*folder));
    }
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
