#pragma once

#include "control/serverlogsession.h"
#include "discovery/rememberedproject.h"

#include <QCoroTask>
#include <QString>

#include <memory>

class ServerLogService;
class ServerStore;

// The store's actions on a remembered project (start, reveal, forget) and the log sessions and previews kept per
// project folder. They set the folder's marks and texts through the store, which owns that state and tells its
// views.
class ProjectActions
{
public:
    explicit ProjectActions(ServerStore& store);

    ProjectActions(const ProjectActions&) = delete;
    ProjectActions& operator=(const ProjectActions&) = delete;

    QCoro::Task<> start(const RememberedProject& project);
    void reveal(const RememberedProject& project);
    void forget(const RememberedProject& project, bool recordAnalytics);
    QCoro::Task<> refreshLogPreview(const QString& projectPath);
    QCoro::Task<> recordLogSession(const ServerLogSession& session);

private:
    QCoro::Task<> startTask(RememberedProject project);
    QCoro::Task<bool> performStart(RememberedProject project);
    QCoro::Task<> refreshLogPreviewTask(QString projectPath);
    QCoro::Task<> recordLogSessionTask(ServerLogSession session);
    static QCoro::Task<> discardSessionQuietly(std::shared_ptr<ServerLogService> logs, ServerLogSession session);

    // Owns this; a coroutine that finds the store gone after an await stops there.
    ServerStore& m_store;
};
