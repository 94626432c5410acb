#include "control/serverstore.h"

#include "control/asyncwork.h"
#include "control/filenameorder.h"
#include "control/processactionservicing.h"
#include "control/serverlogservice.h"
#include "control/sleeper.h"
#include "discovery/serverdetecting.h"
#include "platform/clock.h"
#include "platform/userdefaults.h"
#include "platform/workspace.h"
#include "telemetry/analyticsclient.h"
#include "telemetry/apperror.h"
#include "telemetry/redaction.h"

#include <QJsonDocument>
#include <QThreadPool>

#include <algorithm>

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

} // namespace

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
    // A save still encoding would be lost with the store; the newest list is written now instead.
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
        const QString what = QString::fromUtf8(other.what()).trimmed();
        if (!what.isEmpty())
            failure.description = what;
    } catch (...) {
    }
    return failure;
}

void ServerStore::captureError(const Failure& failure, TelemetryOperation operation,
                               const TelemetryProperties& properties)
{
    try {
        if (failure.error)
            std::rethrow_exception(failure.error);
    } catch (const std::exception& error) {
        sharedTelemetryClient().captureError(error, operation, properties);
        return;
    } catch (...) {
    }
    sharedTelemetryClient().captureError(UnexpectedError(), operation, properties);
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
        auto pause = sleeper->sleep(pollingInterval);
        co_await pause;
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
        if (bytes)
            defaults->setValue(rememberedProjectsKey, *bytes);
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
    defaults.setValue(unreadableRememberedProjectsKey, stored);
    return {};
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
