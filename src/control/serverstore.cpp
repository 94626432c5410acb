#include "control/serverstore.h"

#include "base/apperror.h"
#include "base/asyncwork.h"
#include "control/actionerror.h"
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

#include <QJsonDocument>
#include <QThreadPool>

#include <algorithm>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// Stands in for anything thrown that is not a standard exception, so it can still be reported.
class UnexpectedError final : public AppError
{
public:
    QString description() const override { return u"Unknown error"_s; }
    QString typeName() const override { return fallbackTypeName(); }

    static QString fallbackTypeName() { return u"UnexpectedError"_s; }
};

QThreadPool* backgroundPool()
{
    return QThreadPool::globalInstance();
}

// Hands what was thrown to `use` as a standard exception; anything else stands in as an UnexpectedError.
template<typename Use>
void withException(const std::exception_ptr& error, Use use)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& thrown) {
        use(thrown);
        return;
    } catch (...) {
    }
    use(UnexpectedError());
}

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
{
    Q_ASSERT(m_detector && m_actions && m_logService && m_defaults && m_workspace && services.analytics);
    setRememberedProjects(loadRememberedProjects(*m_defaults));
}

ServerStore::~ServerStore()
{
    // A save still encoding or writing would be lost with the store; the newest list is written now instead,
    // after any write already under way.
    if (m_writtenSaves < m_requestedSaves)
        m_defaults->setValue(rememberedProjectsKey, encodeRememberedProjects(m_latestSave));
}

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
            applyScanFailure(scan, describe(error));
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

void ServerStore::applyScanFailure(quint64 scan, const Failure& failure)
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

void ServerStore::reportRefreshFailure(const Failure& failure)
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
    captureError(failure, TelemetryOperation::DetectorRefresh, telemetryContext(properties));
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

ServerStore::Failure ServerStore::describe(std::exception_ptr error)
{
    Failure failure{error, UnexpectedError::fallbackTypeName(), UnexpectedError().description()};
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const AppError& appError) {
        failure.typeName = appError.typeName();
        failure.description = appError.description();
    } catch (const std::exception& other) {
        // Only our own errors carry a fixed type name; runtime type text is not stable enough to key on.
        const QString what = QString::fromUtf8(other.what()).trimmed();
        if (!what.isEmpty())
            failure.description = what;
    } catch (...) {
    }
    return failure;
}

void ServerStore::reportProcessFailure(const Failure& failure, TelemetryOperation operation)
{
    withException(failure.error,
                  [operation](const std::exception& error) { reportProcessActionFailure(error, operation); });
}

bool ServerStore::failedBeforeStopping(const Failure& failure)
{
    try {
        if (failure.error)
            std::rethrow_exception(failure.error);
    } catch (const ActionError& error) {
        using Kind = ActionError::Kind;
        return error.kind() == Kind::MissingProjectPath || error.kind() == Kind::MissingLaunchCommand ||
               error.kind() == Kind::LogUnavailable || error.kind() == Kind::CommandNotReplayable;
    } catch (...) {
    }
    return false;
}

std::optional<ServerLogSession> ServerStore::failedLaunchSession(const Failure& failure)
{
    try {
        if (failure.error)
            std::rethrow_exception(failure.error);
    } catch (const ActionError& error) {
        if (error.kind() == ActionError::Kind::LaunchFailed)
            return error.session();
    } catch (...) {
    }
    return std::nullopt;
}

void ServerStore::captureError(const Failure& failure, TelemetryOperation operation,
                               const TelemetryProperties& properties)
{
    withException(failure.error, [operation, &properties](const std::exception& error) {
        sharedTelemetryClient().captureError(error, operation, properties);
    });
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
    saveRememberedProjects(m_rememberedProjects);
}

bool ServerStore::rememberedProjectPrecedes(const RememberedProject& a, const RememberedProject& b)
{
    if (a.lastSeenAt != b.lastSeenAt)
        return a.lastSeenAt > b.lastSeenAt;
    return compareFileNames(lastPathComponent(a.projectPath), lastPathComponent(b.projectPath)) < 0;
}

void ServerStore::saveRememberedProjects(QList<RememberedProject> projects)
{
    m_latestSave = projects;
    m_waitingSave = std::move(projects);
    ++m_requestedSaves;
    if (m_saving)
        return;
    m_saving = true;
    auto queue = saveQueueTask();
    Q_UNUSED(queue);
}

QCoro::Task<> ServerStore::saveQueueTask()
{
    QPointer<ServerStore> self(this);
    while (self && self->m_waitingSave) {
        const QList<RememberedProject> projects = std::move(*self->m_waitingSave);
        self->m_waitingSave.reset();
        const quint64 request = self->m_requestedSaves;
        const std::shared_ptr<UserDefaults> defaults = self->m_defaults;

        std::optional<QByteArray> bytes;
        try {
            auto encode = AsyncWork::runOn(backgroundPool(), [projects] { return encodeRememberedProjects(projects); });
            bytes = co_await encode;
        } catch (...) {
            // Nothing is written; the list stored before stays.
        }
        if (!self)
            co_return;
        if (bytes) {
            // The file is written and synced off the GUI thread.
            auto write = defaults->persistValue(rememberedProjectsKey, *bytes);
            co_await write;
            if (!self)
                co_return;
        }
        self->m_writtenSaves = request;
    }
    if (self)
        self->m_saving = false;
}

QByteArray ServerStore::encodeRememberedProjects(const QList<RememberedProject>& projects)
{
    return QJsonDocument(RememberedProject::encodeList(projects)).toJson(QJsonDocument::Compact);
}

std::optional<QList<RememberedProject>> ServerStore::decodeRememberedProjects(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    return RememberedProject::decodeList(document.array());
}

QList<RememberedProject> ServerStore::loadRememberedProjects(UserDefaults& defaults)
{
    const QVariant stored = defaults.value(rememberedProjectsKey);
    if (!stored.isValid())
        return {};
    if (stored.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = stored.toByteArray();
        if (bytes.isEmpty())
            return {};
        if (auto projects = decodeRememberedProjects(bytes))
            return *projects;
    }
    // Kept for a look later: never over an earlier backup, and the same value only once.
    for (int n = 1;; ++n) {
        const QString key =
            n == 1 ? unreadableRememberedProjectsKey : unreadableRememberedProjectsKey + u'.' + QString::number(n);
        if (!defaults.contains(key)) {
            defaults.setValue(key, stored);
            return {};
        }
        if (defaults.value(key) == stored)
            return {};
    }
}

// ---- Server actions ----

TelemetryProperties ServerStore::serverTelemetryProperties(const LocalServer& server)
{
    return {
        {u"runtime_kind"_s, RuntimeKinds::rawValue(server.runtimeKind)},
        {u"http_status"_s, server.httpStatus ? QString::number(*server.httpStatus) : u"none"_s},
        {u"active_connection_count"_s, QString::number(server.activeConnectionCount)},
    };
}

void ServerStore::captureServerAction(ServerAnalyticsAction action, const LocalServer& server)
{
    std::optional<int> status;
    if (server.httpStatus)
        status = int(*server.httpStatus);
    m_analytics.capture(
        AnalyticsEvent::serverActionRequested(action, server.runtimeKind, server.projectPath.has_value(), status));
}

void ServerStore::openServerURL(const LocalServer& server)
{
    captureServerAction(ServerAnalyticsAction::Open, server);
    if (m_workspace->openURL(server.url))
        return;
    sharedTelemetryClient().captureMessage(redactTelemetryText(u"Server URL could not be opened"_s),
                                           TelemetryOperation::ServerOpen,
                                           telemetryContext(serverTelemetryProperties(server)));
    setServerFeedback(u"Could not open URL"_s, server);
}

void ServerStore::revealServerProject(const LocalServer& server)
{
    captureServerAction(ServerAnalyticsAction::RevealProject, server);
    if (m_actions->revealProject(server))
        return;
    sharedTelemetryClient().captureMessage(redactTelemetryText(u"Server project path could not be revealed"_s),
                                           TelemetryOperation::ServerRevealProject,
                                           telemetryContext(serverTelemetryProperties(server)));
    setServerFeedback(ActionError::missingProjectPath().description(), server);
}

void ServerStore::forceTerminateServer(const LocalServer& server)
{
    signalServer(server, {ServerAnalyticsAction::ForceTerminate, ServerActionFeedback::Killing, std::nullopt,
                          &ProcessActionServicing::forceTerminate, TelemetryOperation::ServerForceTerminate});
}

void ServerStore::pauseServer(const LocalServer& server)
{
    signalServer(server, {ServerAnalyticsAction::Pause, ServerActionFeedback::Pausing, true,
                          &ProcessActionServicing::pause, TelemetryOperation::ServerPause});
}

void ServerStore::resumeServer(const LocalServer& server)
{
    signalServer(server, {ServerAnalyticsAction::Resume, ServerActionFeedback::Resuming, false,
                          &ProcessActionServicing::resume, TelemetryOperation::ServerResume});
}

void ServerStore::signalServer(const LocalServer& server, const SignalAction& action)
{
    // A signal during a restart would break it (and take its mark); the restart decides what runs.
    if (m_activeRestartServerIDs.contains(server.id()))
        return;
    captureServerAction(action.event, server);
    setServerMark(server.id(), action.mark);
    if (action.paused)
        setServerPaused(server, *action.paused);
    auto task = signalTask(server, action);
    Q_UNUSED(task);
}

QCoro::Task<> ServerStore::signalTask(LocalServer server, SignalAction action)
{
    QPointer<ServerStore> self(this);
    const std::shared_ptr<ProcessActionServicing> actions = m_actions;
    auto send = [actions, server, operation = action.send] {
        (actions.get()->*operation)(server);
    };
    std::exception_ptr error;
    try {
        auto sent = AsyncWork::runOn(backgroundPool(), std::move(send));
        co_await sent;
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;

    if (!error) {
        auto refresh = refreshAfter(signalSettleDelay);
        co_await refresh;
        co_return;
    }

    const Failure failure = describe(error);
    setServerMark(server.id(), std::nullopt);
    if (action.paused)
        setServerPaused(server, server.isPaused);
    captureError(failure, action.report, telemetryContext(serverTelemetryProperties(server)));
    setServerFeedback(failure.description, server);
}

QCoro::Task<> ServerStore::restartServer(const LocalServer& server)
{
    return restartTask(server);
}

QCoro::Task<> ServerStore::restartTask(LocalServer server)
{
    QPointer<ServerStore> self(this);
    auto perform = performRestart(std::move(server));
    const bool started = co_await perform;
    if (!self || !started)
        co_return;
    auto refresh = refreshAfter(restartSettleDelay);
    co_await refresh;
}

QCoro::Task<bool> ServerStore::performRestart(LocalServer server)
{
    QPointer<ServerStore> self(this);
    const QString key = server.id();
    if (!server.projectPath || server.projectPath->isEmpty()) {
        const ActionError error = ActionError::missingProjectPath();
        reportProcessActionFailure(error, TelemetryOperation::ServerRestart);
        setServerFeedback(error.description(), server);
        co_return false;
    }
    const QString path = *server.projectPath;
    if (m_pendingServerActions.contains(key) || m_activeProjectActionPaths.contains(path))
        co_return false;
    setActiveProjectPath(path, true);
    setActiveRestart(key, true);
    captureServerAction(ServerAnalyticsAction::Restart, server);
    setServerMark(key, ServerActionFeedback::Restarting);

    // Kept here so the launch may finish even when the store goes first.
    const std::shared_ptr<ProcessActionServicing> actions = m_actions;
    auto restart = actions->restart(server);
    auto launched = recordLaunch(std::move(restart));
    const std::optional<Failure> failure = co_await launched;
    if (!self)
        co_return false;
    if (!failure) {
        setServerMark(key, std::nullopt);
        finishRestart(server);
        co_return true;
    }
    reportProcessFailure(*failure, TelemetryOperation::ServerRestart);
    setServerFeedback(failure->description, server);
    finishRestart(server);
    if (!failedBeforeStopping(*failure)) {
        // The old server was stopped, or is stopping: the list follows the machine, and the failure stays shown.
        auto refresh = freshRefresh();
        co_await refresh;
        if (self && self->m_refreshState.kind == RefreshState::Kind::Idle)
            self->setRefreshState(RefreshState::failed(failure->description));
    }
    co_return false;
}

QCoro::Task<std::optional<ServerStore::Failure>> ServerStore::recordLaunch(QCoro::Task<ServerLogSession> launch)
{
    QPointer<ServerStore> self(this);
    std::optional<ServerLogSession> session;
    std::exception_ptr error;
    try {
        session = co_await launch;
    } catch (...) {
        error = std::current_exception();
    }
    std::optional<Failure> failure;
    if (!session) {
        failure = describe(error);
        session = failedLaunchSession(*failure);
    }
    if (self && session) {
        auto record = self->recordLogSession(*session);
        co_await record;
    }
    co_return failure;
}

void ServerStore::finishRestart(const LocalServer& server)
{
    setActiveRestart(server.id(), false);
    if (server.projectPath)
        setActiveProjectPath(*server.projectPath, false);
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

void ServerStore::setServerFeedback(const QString& message, const LocalServer& server)
{
    setServerMark(server.id(), std::nullopt);
    setRefreshState(RefreshState::failed(message));
}

void ServerStore::setServerPaused(const LocalServer& server, bool paused)
{
    const QString key = server.id();
    for (qsizetype i = 0; i < m_servers.size(); ++i) {
        if (m_servers.at(i).id() != key)
            continue;
        QList<LocalServer> servers = m_servers;
        servers[i] = servers.at(i).withPauseState(paused);
        setServers(std::move(servers));
        return;
    }
}

// ---- Project actions and log previews ----

QCoro::Task<> ServerStore::startRememberedProject(const RememberedProject& project)
{
    return startTask(project);
}

QCoro::Task<> ServerStore::startTask(RememberedProject project)
{
    QPointer<ServerStore> self(this);
    auto perform = performProjectStart(std::move(project));
    const bool started = co_await perform;
    if (!self || !started)
        co_return;
    for (const std::chrono::milliseconds delay : {startSettleDelay, startFollowUpDelay}) {
        auto refresh = self->refreshAfter(delay);
        if (!co_await refresh)
            co_return;
    }
}

QCoro::Task<bool> ServerStore::performProjectStart(RememberedProject project)
{
    QPointer<ServerStore> self(this);
    const QString path = project.projectPath;
    if (m_pendingProjectActions.contains(path) || m_activeProjectActionPaths.contains(path))
        co_return false;
    setActiveProjectPath(path, true);
    m_analytics.capture(AnalyticsEvent::projectActionRequested(ProjectAnalyticsAction::Start, project.runtimeKind));
    setProjectMark(path, ProjectActionFeedback::Starting);
    setProjectError(path, std::nullopt);

    // It may have come up by itself since the last scan; only a scan begun now can tell.
    auto refresh = freshRefresh();
    co_await refresh;
    if (!self)
        co_return false;
    const bool running = std::any_of(m_servers.cbegin(), m_servers.cend(),
                                     [&path](const LocalServer& server) { return server.projectPath == path; });
    if (running) {
        setProjectMark(path, std::nullopt);
        setActiveProjectPath(path, false);
        co_return false;
    }

    // Kept here so the launch may finish even when the store goes first.
    const std::shared_ptr<ProcessActionServicing> actions = m_actions;
    auto start = actions->startProject(project);
    auto launched = recordLaunch(std::move(start));
    const std::optional<Failure> failure = co_await launched;
    if (!self)
        co_return false;
    setProjectMark(path, std::nullopt);
    if (failure) {
        setProjectError(path, failure->description);
        reportProcessFailure(*failure, TelemetryOperation::ProjectStart);
    }
    setActiveProjectPath(path, false);
    co_return !failure;
}

void ServerStore::revealRememberedProject(const RememberedProject& project)
{
    m_analytics.capture(
        AnalyticsEvent::projectActionRequested(ProjectAnalyticsAction::RevealProject, project.runtimeKind));
    if (m_actions->revealPath(project.projectPath))
        return;
    // Nothing could be asked to show the folder: a failure the row shows, not a silent success.
    sharedTelemetryClient().captureMessage(
        redactTelemetryText(u"Remembered project path could not be revealed"_s), TelemetryOperation::ProjectReveal,
        telemetryContext({{u"runtime_kind"_s, RuntimeKinds::rawValue(project.runtimeKind)}}));
    setProjectError(project.projectPath, ActionError::missingProjectPath().description());
}

void ServerStore::forgetRememberedProject(const RememberedProject& project, bool recordAnalytics)
{
    const QString path = project.projectPath;
    if (m_pendingProjectActions.contains(path) || m_activeProjectActionPaths.contains(path)) {
        setProjectError(path, u"Wait for Start to finish"_s);
        return;
    }
    if (recordAnalytics)
        m_analytics.capture(
            AnalyticsEvent::projectActionRequested(ProjectAnalyticsAction::Remove, project.runtimeKind));

    QList<RememberedProject> remaining;
    for (const RememberedProject& entry : std::as_const(m_rememberedProjects)) {
        if (entry.projectPath != path)
            remaining.append(entry);
    }
    setRememberedProjects(std::move(remaining));
    setProjectMark(path, std::nullopt);
    setProjectError(path, std::nullopt);

    if (m_logSessionsByProjectPath.contains(path)) {
        const ServerLogSession forgotten = m_logSessionsByProjectPath.value(path);
        setEntry(m_logSessionsByProjectPath, path, std::nullopt, &ServerStore::logSessionsByProjectPathChanged);
        setEntry(m_logPreviewsByProjectPath, path, std::nullopt, &ServerStore::logPreviewsByProjectPathChanged);
        auto discard = discardSessionQuietly(m_logService, forgotten);
        Q_UNUSED(discard);
    }
    saveRememberedProjects(m_rememberedProjects);
}

QCoro::Task<> ServerStore::discardSessionQuietly(std::shared_ptr<ServerLogService> logs, ServerLogSession session)
{
    try {
        auto discard = logs->discardSession(session);
        co_await discard;
    } catch (...) {
        // The file stays for retention to remove.
    }
}

QCoro::Task<> ServerStore::recordLogSession(const ServerLogSession& session)
{
    return recordLogSessionTask(session);
}

QCoro::Task<> ServerStore::recordLogSessionTask(ServerLogSession session)
{
    setEntry(m_logSessionsByProjectPath, session.projectPath, session, &ServerStore::logSessionsByProjectPathChanged);
    auto preview = refreshLogPreview(session.projectPath);
    co_await preview;
}

QCoro::Task<> ServerStore::refreshLogPreview(const QString& projectPath)
{
    return refreshLogPreviewTask(projectPath);
}

QCoro::Task<> ServerStore::refreshLogPreviewTask(QString projectPath)
{
    QPointer<ServerStore> self(this);
    const auto found = m_logSessionsByProjectPath.constFind(projectPath);
    if (found == m_logSessionsByProjectPath.cend())
        co_return;
    const ServerLogSession session = *found;
    const std::shared_ptr<ServerLogService> logs = m_logService;

    QString preview;
    try {
        auto snapshot = logs->snapshot(session);
        preview = (co_await snapshot).preview;
    } catch (...) {
        preview = u"Log unavailable"_s;
    }
    if (!self)
        co_return;
    // A newer launch or a forget came in between: this read is of no use any more.
    const auto current = m_logSessionsByProjectPath.constFind(projectPath);
    if (current == m_logSessionsByProjectPath.cend() || current->id != session.id)
        co_return;
    setEntry(m_logPreviewsByProjectPath, projectPath, preview, &ServerStore::logPreviewsByProjectPathChanged);
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
