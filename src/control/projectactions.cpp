#include "control/projectactions.h"

#include "control/actionerror.h"
#include "control/operationfailure.h"
#include "control/processactionservicing.h"
#include "control/serverlogservice.h"
#include "control/serverstore.h"
#include "telemetry/analyticsclient.h"
#include "telemetry/redaction.h"
#include "telemetry/telemetryclient.h"

#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

ProjectActions::ProjectActions(ServerStore& store)
    : m_store(store)
{}

QCoro::Task<> ProjectActions::start(const RememberedProject& project)
{
    return startTask(project);
}

QCoro::Task<> ProjectActions::startTask(RememberedProject project)
{
    QPointer<ServerStore> store(&m_store);
    auto perform = performStart(std::move(project));
    const bool started = co_await perform;
    if (!store || !started)
        co_return;
    for (const std::chrono::milliseconds delay : {ServerStore::startSettleDelay, ServerStore::startFollowUpDelay}) {
        auto refresh = store->refreshAfter(delay);
        if (!co_await refresh)
            co_return;
    }
}

QCoro::Task<bool> ProjectActions::performStart(RememberedProject project)
{
    QPointer<ServerStore> store(&m_store);
    const QString path = project.projectPath;
    if (m_store.m_pendingProjectActions.contains(path) || m_store.m_activeProjectActionPaths.contains(path))
        co_return false;
    m_store.setActiveProjectPath(path, true);
    m_store.m_analytics.capture(
        AnalyticsEvent::projectActionRequested(ProjectAnalyticsAction::Start, project.runtimeKind));
    m_store.setProjectMark(path, ProjectActionFeedback::Starting);
    m_store.setProjectError(path, std::nullopt);

    // It may have come up by itself since the last scan; only a scan begun now can tell.
    auto refresh = m_store.freshRefresh();
    co_await refresh;
    if (!store)
        co_return false;
    const QList<LocalServer>& servers = m_store.m_servers;
    const bool running = std::any_of(servers.cbegin(), servers.cend(),
                                     [&path](const LocalServer& server) { return server.projectPath == path; });
    if (running) {
        m_store.setProjectMark(path, std::nullopt);
        m_store.setActiveProjectPath(path, false);
        co_return false;
    }

    // Kept here so the launch may finish even when the store goes first.
    const std::shared_ptr<ProcessActionServicing> actions = m_store.m_actions;
    auto launch = actions->startProject(project);
    auto launched = m_store.recordLaunch(std::move(launch));
    const std::optional<OperationFailure> failure = co_await launched;
    if (!store)
        co_return false;
    m_store.setProjectMark(path, std::nullopt);
    if (failure) {
        m_store.setProjectError(path, failure->description);
        failure->reportProcessFailure(TelemetryOperation::ProjectStart);
    }
    m_store.setActiveProjectPath(path, false);
    co_return !failure;
}

void ProjectActions::reveal(const RememberedProject& project)
{
    m_store.m_analytics.capture(
        AnalyticsEvent::projectActionRequested(ProjectAnalyticsAction::RevealProject, project.runtimeKind));
    if (m_store.m_actions->revealPath(project.projectPath))
        return;
    // Nothing could be asked to show the folder: a failure the row shows, not a silent success.
    sharedTelemetryClient().captureMessage(
        redactTelemetryText(u"Remembered project path could not be revealed"_s), TelemetryOperation::ProjectReveal,
        telemetryContext({{u"runtime_kind"_s, RuntimeKinds::rawValue(project.runtimeKind)}}));
    m_store.setProjectError(project.projectPath, ActionError::missingProjectPath().description());
}

void ProjectActions::forget(const RememberedProject& project, bool recordAnalytics)
{
    const QString path = project.projectPath;
    if (m_store.m_pendingProjectActions.contains(path) || m_store.m_activeProjectActionPaths.contains(path)) {
        m_store.setProjectError(path, u"Wait for Start to finish"_s);
        return;
    }
    if (recordAnalytics)
        m_store.m_analytics.capture(
            AnalyticsEvent::projectActionRequested(ProjectAnalyticsAction::Remove, project.runtimeKind));

    QList<RememberedProject> remaining;
    for (const RememberedProject& entry : std::as_const(m_store.m_rememberedProjects)) {
        if (entry.projectPath != path)
            remaining.append(entry);
    }
    m_store.setRememberedProjects(std::move(remaining));
    m_store.setProjectMark(path, std::nullopt);
    m_store.setProjectError(path, std::nullopt);

    if (m_store.m_logSessionsByProjectPath.contains(path)) {
        const ServerLogSession forgotten = m_store.m_logSessionsByProjectPath.value(path);
        m_store.setLogSession(path, std::nullopt);
        m_store.setLogPreview(path, std::nullopt);
        auto discard = discardSessionQuietly(m_store.m_logService, forgotten);
        Q_UNUSED(discard);
    }
    m_store.m_storage.save(m_store.m_rememberedProjects);
}

QCoro::Task<> ProjectActions::discardSessionQuietly(std::shared_ptr<ServerLogService> logs, ServerLogSession session)
{
    try {
        auto discard = logs->discardSession(session);
        co_await discard;
    } catch (...) {
        // The file stays for retention to remove.
    }
}

QCoro::Task<> ProjectActions::recordLogSession(const ServerLogSession& session)
{
    return recordLogSessionTask(session);
}

QCoro::Task<> ProjectActions::recordLogSessionTask(ServerLogSession session)
{
    m_store.setLogSession(session.projectPath, session);
    auto preview = m_store.refreshLogPreview(session.projectPath);
    co_await preview;
}

QCoro::Task<> ProjectActions::refreshLogPreview(const QString& projectPath)
{
    return refreshLogPreviewTask(projectPath);
}

QCoro::Task<> ProjectActions::refreshLogPreviewTask(QString projectPath)
{
    QPointer<ServerStore> store(&m_store);
    const auto found = m_store.m_logSessionsByProjectPath.constFind(projectPath);
    if (found == m_store.m_logSessionsByProjectPath.cend())
        co_return;
    const ServerLogSession session = *found;
    const std::shared_ptr<ServerLogService> logs = m_store.m_logService;

    QString preview;
    try {
        auto snapshot = logs->snapshot(session);
        preview = (co_await snapshot).preview;
    } catch (...) {
        preview = u"Log unavailable"_s;
    }
    if (!store)
        co_return;
    // A newer launch or a forget came in between: this read is of no use any more.
    const auto current = m_store.m_logSessionsByProjectPath.constFind(projectPath);
    if (current == m_store.m_logSessionsByProjectPath.cend() || current->id != session.id)
        co_return;
    m_store.setLogPreview(projectPath, preview);
}
