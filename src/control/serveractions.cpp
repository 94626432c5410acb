#include "control/serveractions.h"

#include "base/asyncwork.h"
#include "control/actionerror.h"
#include "control/operationfailure.h"
#include "control/processactionservicing.h"
#include "control/serverstore.h"
#include "platform/desktop/workspace.h"
#include "telemetry/analyticsclient.h"
#include "telemetry/redaction.h"

#include <QPointer>
#include <QThreadPool>

using namespace Qt::StringLiterals;

ServerActions::ServerActions(ServerStore& store)
    : m_store(store)
{}

TelemetryProperties ServerActions::telemetryProperties(const LocalServer& server)
{
    return {
        {u"runtime_kind"_s, RuntimeKinds::rawValue(server.runtimeKind)},
        {u"http_status"_s, server.httpStatus ? QString::number(*server.httpStatus) : u"none"_s},
        {u"active_connection_count"_s, QString::number(server.activeConnectionCount)},
    };
}

void ServerActions::captureAction(ServerAnalyticsAction action, const LocalServer& server)
{
    std::optional<int> status;
    if (server.httpStatus)
        status = int(*server.httpStatus);
    m_store.m_analytics.capture(
        AnalyticsEvent::serverActionRequested(action, server.runtimeKind, server.projectPath.has_value(), status));
}

void ServerActions::open(const LocalServer& server)
{
    captureAction(ServerAnalyticsAction::Open, server);
    if (m_store.m_workspace->openURL(server.url))
        return;
    sharedTelemetryClient().captureMessage(redactTelemetryText(u"Server URL could not be opened"_s),
                                           TelemetryOperation::ServerOpen,
                                           telemetryContext(telemetryProperties(server)));
    setFeedback(u"Could not open URL"_s, server);
}

void ServerActions::revealProject(const LocalServer& server)
{
    captureAction(ServerAnalyticsAction::RevealProject, server);
    if (m_store.m_actions->revealProject(server))
        return;
    sharedTelemetryClient().captureMessage(redactTelemetryText(u"Server project path could not be revealed"_s),
                                           TelemetryOperation::ServerRevealProject,
                                           telemetryContext(telemetryProperties(server)));
    setFeedback(ActionError::missingProjectPath().description(), server);
}

void ServerActions::forceTerminate(const LocalServer& server)
{
    signal(server, {ServerAnalyticsAction::ForceTerminate, ServerActionFeedback::Killing, std::nullopt,
                    &ProcessActionServicing::forceTerminate, TelemetryOperation::ServerForceTerminate});
}

void ServerActions::pause(const LocalServer& server)
{
    signal(server, {ServerAnalyticsAction::Pause, ServerActionFeedback::Pausing, true, &ProcessActionServicing::pause,
                    TelemetryOperation::ServerPause});
}

void ServerActions::resume(const LocalServer& server)
{
    signal(server, {ServerAnalyticsAction::Resume, ServerActionFeedback::Resuming, false,
                    &ProcessActionServicing::resume, TelemetryOperation::ServerResume});
}

void ServerActions::signal(const LocalServer& server, const SignalAction& action)
{
    // A signal during a restart would break it (and take its mark); the restart decides what runs.
    if (m_store.m_activeRestartServerIDs.contains(server.id()))
        return;
    captureAction(action.event, server);
    m_store.setServerMark(server.id(), action.mark);
    if (action.paused)
        setPaused(server, *action.paused);
    auto task = signalTask(server, action);
    Q_UNUSED(task);
}

QCoro::Task<> ServerActions::signalTask(LocalServer server, SignalAction action)
{
    QPointer<ServerStore> store(&m_store);
    const std::shared_ptr<ProcessActionServicing> actions = m_store.m_actions;
    auto send = [actions, server, operation = action.send] {
        (actions.get()->*operation)(server);
    };
    std::exception_ptr error;
    try {
        auto sent = AsyncWork::runOn(QThreadPool::globalInstance(), std::move(send));
        co_await sent;
    } catch (...) {
        error = std::current_exception();
    }
    if (!store)
        co_return;

    if (!error) {
        auto refresh = m_store.refreshAfter(ServerStore::signalSettleDelay);
        co_await refresh;
        co_return;
    }

    const OperationFailure failure = OperationFailure::describe(error);
    m_store.setServerMark(server.id(), std::nullopt);
    if (action.paused)
        setPaused(server, server.isPaused);
    failure.capture(action.report, telemetryContext(telemetryProperties(server)));
    setFeedback(failure.description, server);
}

QCoro::Task<> ServerActions::restart(const LocalServer& server)
{
    return restartTask(server);
}

QCoro::Task<> ServerActions::restartTask(LocalServer server)
{
    QPointer<ServerStore> store(&m_store);
    auto perform = performRestart(std::move(server));
    const bool started = co_await perform;
    if (!store || !started)
        co_return;
    auto refresh = m_store.refreshAfter(ServerStore::restartSettleDelay);
    co_await refresh;
}

QCoro::Task<bool> ServerActions::performRestart(LocalServer server)
{
    QPointer<ServerStore> store(&m_store);
    const QString key = server.id();
    if (!server.projectPath || server.projectPath->isEmpty()) {
        const ActionError error = ActionError::missingProjectPath();
        reportProcessActionFailure(error, TelemetryOperation::ServerRestart);
        setFeedback(error.description(), server);
        co_return false;
    }
    const QString path = *server.projectPath;
    if (m_store.m_pendingServerActions.contains(key) || m_store.m_activeProjectActionPaths.contains(path))
        co_return false;
    m_store.setActiveProjectPath(path, true);
    m_store.setActiveRestart(key, true);
    captureAction(ServerAnalyticsAction::Restart, server);
    m_store.setServerMark(key, ServerActionFeedback::Restarting);

    // Kept here so the launch may finish even when the store goes first.
    const std::shared_ptr<ProcessActionServicing> actions = m_store.m_actions;
    auto restart = actions->restart(server);
    auto launched = m_store.recordLaunch(std::move(restart));
    const std::optional<OperationFailure> failure = co_await launched;
    if (!store)
        co_return false;
    if (!failure) {
        m_store.setServerMark(key, std::nullopt);
        finishRestart(server);
        co_return true;
    }
    failure->reportProcessFailure(TelemetryOperation::ServerRestart);
    setFeedback(failure->description, server);
    finishRestart(server);
    if (!failure->failedBeforeStopping()) {
        // The old server was stopped, or is stopping: the list follows the machine, and the failure stays shown.
        auto refresh = m_store.freshRefresh();
        co_await refresh;
        if (store && store->m_refreshState.kind == RefreshState::Kind::Idle)
            store->setRefreshState(RefreshState::failed(failure->description));
    }
    co_return false;
}

void ServerActions::finishRestart(const LocalServer& server)
{
    m_store.setActiveRestart(server.id(), false);
    if (server.projectPath)
        m_store.setActiveProjectPath(*server.projectPath, false);
}

void ServerActions::setFeedback(const QString& message, const LocalServer& server)
{
    m_store.setServerMark(server.id(), std::nullopt);
    m_store.setRefreshState(RefreshState::failed(message));
}

void ServerActions::setPaused(const LocalServer& server, bool paused)
{
    const QString key = server.id();
    const QList<LocalServer>& listed = m_store.m_servers;
    for (qsizetype i = 0; i < listed.size(); ++i) {
        if (listed.at(i).id() != key)
            continue;
        QList<LocalServer> servers = listed;
        servers[i] = servers.at(i).withPauseState(paused);
        m_store.setServers(std::move(servers));
        return;
    }
}
