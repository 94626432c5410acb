#include "control/serverstore.h"

#include "base/asyncwork.h"
#include "control/filenameorder.h"
#include "control/processactionservice.h"
#include "control/processactionservicing.h"
#include "control/serverlogservice.h"
#include "control/sleeper.h"
#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/listenersnapshotservice.h"
#include "discovery/localserverdetector.h"
#include "discovery/loginenvironment.h"
#include "discovery/pathtext.h"
#include "discovery/processsnapshotservice.h"
#include "discovery/serverdetecting.h"
#include "discovery/serverprobeservice.h"
#include "platform/desktop/workspace.h"
#include "platform/storage/userdefaults.h"
#include "platform/system/clock.h"
#include "telemetry/analyticsclient.h"
#include "telemetry/redaction.h"
#include "telemetry/telemetryclient.h"

#include <algorithm>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// The detector and what it scans with. Members are destroyed in reverse order, so the detector goes first.
struct DetectionGraph
{
    explicit DetectionGraph(const QString& loginShell)
        : detector(&listeners, &processes, &connections, &probe, nullptr,
                   std::make_shared<LoginShellEnvironment>(loginShell))
    {}

    CommandRunner runner;
    ListenerSnapshotService listeners{&runner};
    ProcessSnapshotService processes{&runner};
    ConnectionSnapshotService connections{&runner};
    ServerProbeService probe{ServerStore::probeTimeout, ServerStore::probeByteLimit};
    LocalServerDetector detector;
};

} // namespace

ServerStore::Services ServerStore::productionServices(AnalyticsCapturing& analytics, const QString& loginShell)
{
    const auto graph = std::make_shared<DetectionGraph>(loginShell);
    // Shares the graph's lifetime: the services stay as long as anybody holds the detector.
    std::shared_ptr<ServerDetecting> detector(graph, &graph->detector);
    auto logs = std::make_shared<ServerLogService>(ServerLogService::defaultRootDirectory(), SystemClock::shared(),
                                                   logTailByteLimit);
    auto workspace = std::make_shared<SystemWorkspace>();
    Services services;
    services.detector = std::move(detector);
    LaunchSetup setup;
    setup.shell = loginShell;
    services.actions = std::make_shared<ProcessActionService>(logs, workspace, startupObservation, setup);
    services.logService = std::move(logs);
    services.defaults = std::make_shared<SettingsUserDefaults>(reportSettingsProblem);
    services.workspace = std::move(workspace);
    services.analytics = &analytics;
    services.clock = &SystemClock::shared();
    services.sleeper = std::make_shared<PreciseSleeper>();
    return services;
}

ServerStore::ServerStore(AnalyticsCapturing& analytics, QObject* parent)
    : ServerStore(productionServices(analytics), parent)
{}

ServerStore::ServerStore(Services services, QObject* parent)
    : QObject(parent)
    , m_detector(std::move(services.detector))
    , m_actions(std::move(services.actions))
    , m_logService(std::move(services.logService))
    , m_defaults(std::move(services.defaults))
    , m_workspace(std::move(services.workspace))
    , m_analytics(*services.analytics)
    , m_clock(services.clock ? *services.clock : SystemClock::shared())
    , m_sleeper(services.sleeper ? std::move(services.sleeper) : std::make_shared<PreciseSleeper>())
    , m_storage(m_defaults)
{
    Q_ASSERT(m_detector && m_actions && m_logService && m_defaults && m_workspace && services.analytics);
    setRememberedProjects(m_storage.load());
}

ServerStore::~ServerStore() = default;

// ---- Refresh cycle ----

QCoro::Task<> ServerStore::refresh()
{
    return refreshTask();
}

QCoro::Task<> ServerStore::refreshTask()
{
    if (!m_scansInFlight.empty()) {
        auto wait = waitForScansThrough(m_startedScans);
        co_await wait;
        co_return;
    }
    auto scan = scanTask();
    co_await scan;
}

QCoro::Task<> ServerStore::freshRefresh()
{
    return scanTask();
}

QCoro::Task<> ServerStore::waitForScansThrough(quint64 scan)
{
    QPointer<ServerStore> self(this);
    while (self && self->hasScanInFlightThrough(scan)) {
        auto step = AsyncWork::sleepPrecisely(refreshWaitStep);
        co_await step;
    }
}

bool ServerStore::hasScanInFlightThrough(quint64 scan) const
{
    return !m_scansInFlight.empty() && *m_scansInFlight.begin() <= scan;
}

bool ServerStore::hasScanInFlightAfter(quint64 scan) const
{
    return !m_scansInFlight.empty() && *m_scansInFlight.rbegin() > scan;
}

QCoro::Task<> ServerStore::scanTask()
{
    QPointer<ServerStore> self(this);
    // Kept here so the scan may finish even when the store goes first.
    const std::shared_ptr<ServerDetecting> detector = m_detector;
    const quint64 scan = ++m_startedScans;
    m_scansInFlight.insert(scan);
    setRefreshState(RefreshState::refreshing());

    std::optional<QList<LocalServer>> result;
    std::exception_ptr error;
    try {
        auto detect = detector->detectServers();
        result = co_await detect;
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;
    try {
        if (result)
            applyScanResult(scan, *result);
        else
            applyScanFailure(scan, OperationFailure::describe(error));
    } catch (...) {
        // Whatever went wrong while applying, the scan is over and must not hold later refreshes.
    }
    finishScan(scan);
}

void ServerStore::applyScanResult(quint64 scan, const QList<LocalServer>& result)
{
    if (scan < m_appliedScan)
        return;
    m_appliedScan = scan;
    setServers(result);
    updateRememberedProjects(result);
    pruneActionState(result);
    setRefreshState(hasScanInFlightAfter(scan) ? RefreshState::refreshing() : RefreshState::idle());
    m_analytics.capture(
        AnalyticsEvent::serverRefreshCompleted(result.size(), m_savedProjects.size(), runtimeCounts(result)));
}

void ServerStore::applyScanFailure(quint64 scan, const OperationFailure& failure)
{
    if (scan < m_appliedScan)
        return;
    m_appliedScan = scan;
    const bool hadServers = !m_servers.isEmpty();
    m_analytics.capture(AnalyticsEvent::serverRefreshFailed(hadServers, refreshFailureCategory(failure.description)));
    if (!hasScanInFlightAfter(scan))
        setRefreshState(hadServers ? RefreshState::stale(failure.description)
                                   : RefreshState::failed(failure.description));
    reportRefreshFailure(failure);
}

void ServerStore::finishScan(quint64 scan)
{
    m_scansInFlight.erase(scan);
    if (m_scansInFlight.empty() && m_refreshState.kind == RefreshState::Kind::Refreshing)
        setRefreshState(RefreshState::idle());
}

void ServerStore::reportRefreshFailure(const OperationFailure& failure)
{
    const QString signature = failure.typeName + u':' + redactTelemetryText(failure.description);
    const QDateTime now = m_clock.now();
    const auto last = m_refreshFailureTelemetrySentAt.constFind(signature);
    if (last != m_refreshFailureTelemetrySentAt.cend() && last->secsTo(now) < refreshFailureReportInterval)
        return;
    FailureReportDates sentAt = m_refreshFailureTelemetrySentAt;
    sentAt.insert(signature, now);
    assign(m_refreshFailureTelemetrySentAt, std::move(sentAt), &ServerStore::refreshFailureTelemetrySentAtChanged);

    const TelemetryProperties properties{
        {u"had_servers"_s, m_servers.isEmpty() ? u"false"_s : u"true"_s},
        {u"known_server_count"_s, QString::number(m_servers.size())},
    };
    failure.capture(TelemetryOperation::DetectorRefresh, telemetryContext(properties));
}

void ServerStore::pruneActionState(const QList<LocalServer>& result)
{
    ActionMarks pruned = prunedActionMarks({m_pendingServerActions, m_pendingProjectActions, m_projectErrors},
                                           m_activeRestartServerIDs, m_activeProjectActionPaths, result);
    assign(m_pendingServerActions, std::move(pruned.serverActions), &ServerStore::pendingServerActionsChanged);
    assign(m_pendingProjectActions, std::move(pruned.projectActions), &ServerStore::pendingProjectActionsChanged);
    assign(m_projectErrors, std::move(pruned.projectErrors), &ServerStore::projectErrorsChanged);
}

ServerStore::ActionMarks ServerStore::prunedActionMarks(ActionMarks marks, const QSet<QString>& activeRestartServerIDs,
                                                        const QSet<QString>& activeProjectActionPaths,
                                                        const QList<LocalServer>& result)
{
    QSet<QString> keys;
    QSet<QString> paths;
    for (const LocalServer& server : result) {
        keys.insert(server.id());
        if (server.projectPath)
            paths.insert(*server.projectPath);
    }
    for (auto it = marks.serverActions.begin(); it != marks.serverActions.end();) {
        const bool keep =
            (it.value() == ServerActionFeedback::Restarting && activeRestartServerIDs.contains(it.key())) ||
            (it.value() == ServerActionFeedback::Killing && keys.contains(it.key()));
        it = keep ? std::next(it) : marks.serverActions.erase(it);
    }
    for (auto it = marks.projectActions.begin(); it != marks.projectActions.end();) {
        const bool keep = activeProjectActionPaths.contains(it.key()) || !paths.contains(it.key());
        it = keep ? std::next(it) : marks.projectActions.erase(it);
    }
    for (auto it = marks.projectErrors.begin(); it != marks.projectErrors.end();)
        it = paths.contains(it.key()) ? marks.projectErrors.erase(it) : std::next(it);
    return marks;
}

QMap<RuntimeKind, qint64> ServerStore::runtimeCounts(const QList<LocalServer>& servers)
{
    QMap<RuntimeKind, qint64> counts;
    for (const LocalServer& server : servers)
        ++counts[server.runtimeKind];
    return counts;
}

// ---- Polling ----

void ServerStore::startPolling()
{
    if (m_polling)
        return;
    m_polling = true;
    Q_EMIT pollingChanged();
    auto loop = pollLoop(QPointer<ServerStore>(this), m_sleeper, ++m_pollingGeneration);
    Q_UNUSED(loop);
}

void ServerStore::stopPolling()
{
    if (!m_polling)
        return;
    m_polling = false;
    ++m_pollingGeneration;
    Q_EMIT pollingChanged();
}

QCoro::Task<> ServerStore::pollLoop(QPointer<ServerStore> store, std::shared_ptr<Sleeper> sleeper, quint64 generation)
{
    while (store && store->m_pollingGeneration == generation) {
        {
            auto refresh = store->refresh();
            co_await refresh;
        }
        if (!store || store->m_pollingGeneration != generation)
            co_return;
        try {
            auto pause = sleeper->sleep(pollingInterval);
            co_await pause;
        } catch (...) {
            // A failed wait has waited enough; polling goes on.
        }
    }
}

// ---- Remembered projects ----

void ServerStore::updateRememberedProjects(const QList<LocalServer>& servers)
{
    // One entry per path; the order so far decides between entries that compare equal.
    QList<RememberedProject> merged;
    QHash<QString, qsizetype> indexByPath;
    const auto put = [&merged, &indexByPath](RememberedProject project) {
        const auto found = indexByPath.constFind(project.projectPath);
        if (found != indexByPath.cend()) {
            merged[*found] = std::move(project);
            return;
        }
        indexByPath.insert(project.projectPath, merged.size());
        merged.append(std::move(project));
    };
    for (const RememberedProject& project : std::as_const(m_rememberedProjects))
        put(project);
    for (const LocalServer& server : servers) {
        if (!server.projectPath || server.rawCommandLine.isEmpty())
            continue;
        put(*RememberedProject::fromServer(server));
    }
    std::stable_sort(merged.begin(), merged.end(), &ServerStore::rememberedProjectPrecedes);
    setRememberedProjects(std::move(merged));
    m_storage.save(m_rememberedProjects);
}

bool ServerStore::rememberedProjectPrecedes(const RememberedProject& a, const RememberedProject& b)
{
    if (a.lastSeenAt != b.lastSeenAt)
        return a.lastSeenAt > b.lastSeenAt;
    return compareFileNames(lastPathComponent(a.projectPath), lastPathComponent(b.projectPath)) < 0;
}

// ---- Actions ----

void ServerStore::openServerURL(const LocalServer& server)
{
    m_serverActions.open(server);
}

void ServerStore::revealServerProject(const LocalServer& server)
{
    m_serverActions.revealProject(server);
}

void ServerStore::forceTerminateServer(const LocalServer& server)
{
    m_serverActions.forceTerminate(server);
}

void ServerStore::pauseServer(const LocalServer& server)
{
    m_serverActions.pause(server);
}

void ServerStore::resumeServer(const LocalServer& server)
{
    m_serverActions.resume(server);
}

QCoro::Task<> ServerStore::restartServer(const LocalServer& server)
{
    return m_serverActions.restart(server);
}

QCoro::Task<> ServerStore::startRememberedProject(const RememberedProject& project)
{
    return m_projectActions.start(project);
}

void ServerStore::revealRememberedProject(const RememberedProject& project)
{
    m_projectActions.reveal(project);
}

void ServerStore::forgetRememberedProject(const RememberedProject& project, bool recordAnalytics)
{
    m_projectActions.forget(project, recordAnalytics);
}

QCoro::Task<> ServerStore::refreshLogPreview(const QString& projectPath)
{
    return m_projectActions.refreshLogPreview(projectPath);
}

QCoro::Task<> ServerStore::recordLogSession(const ServerLogSession& session)
{
    return m_projectActions.recordLogSession(session);
}

QCoro::Task<std::optional<OperationFailure>> ServerStore::recordLaunch(QCoro::Task<ServerLogSession> launch)
{
    QPointer<ServerStore> self(this);
    std::optional<ServerLogSession> session;
    std::exception_ptr error;
    try {
        session = co_await launch;
    } catch (...) {
        error = std::current_exception();
    }
    std::optional<OperationFailure> failure;
    if (!session) {
        failure = OperationFailure::describe(error);
        session = failure->failedLaunchSession();
    }
    if (self && session) {
        auto record = self->recordLogSession(*session);
        co_await record;
    }
    co_return failure;
}

QCoro::Task<bool> ServerStore::refreshAfter(std::chrono::milliseconds delay)
{
    QPointer<ServerStore> self(this);
    const std::shared_ptr<Sleeper> sleeper = m_sleeper;
    try {
        auto sleep = sleeper->sleep(delay);
        co_await sleep;
    } catch (...) {
        // A wait that failed has waited enough; the refresh still follows.
    }
    if (!self)
        co_return false;
    auto refresh = freshRefresh();
    co_await refresh;
    co_return !self.isNull();
}

// ---- Observed state ----

void ServerStore::setServers(QList<LocalServer> servers)
{
    if (assign(m_servers, std::move(servers), &ServerStore::serversChanged))
        updateDerivedState();
}

void ServerStore::setRememberedProjects(QList<RememberedProject> projects)
{
    if (assign(m_rememberedProjects, std::move(projects), &ServerStore::rememberedProjectsChanged))
        updateDerivedState();
}

void ServerStore::setRefreshState(RefreshState state)
{
    assign(m_refreshState, std::move(state), &ServerStore::refreshStateChanged);
}

void ServerStore::updateDerivedState()
{
    QSet<QString> runningPaths;
    int running = 0;
    for (const LocalServer& server : std::as_const(m_servers)) {
        if (server.projectPath)
            runningPaths.insert(*server.projectPath);
        if (server.runtimeKind != RuntimeKind::AgentBrowser)
            ++running;
    }
    QList<RememberedProject> saved;
    for (const RememberedProject& project : std::as_const(m_rememberedProjects)) {
        if (!runningPaths.contains(project.projectPath))
            saved.append(project);
    }
    assign(m_savedProjects, std::move(saved), &ServerStore::savedProjectsChanged);
    assign(m_runningServerCount, running, &ServerStore::runningServerCountChanged);
}
