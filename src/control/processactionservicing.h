#pragma once

#include "control/serverlogsession.h"
#include "discovery/localserver.h"
#include "discovery/rememberedproject.h"

#include <QCoroTask>
#include <QList>
#include <QString>

// What the store needs of the component that touches other processes. Failures are thrown: ActionError
// with its fixed texts, or SystemError for a signal that could not be sent.
class ProcessActionServicing
{
public:
    virtual ~ProcessActionServicing() = default;

    // The ids a signal for the server goes to.
    virtual QList<qint32> targetProcessIDs(const LocalServer& server) const = 0;
    // False when the server has no project folder or nothing could be asked to show it.
    virtual bool revealProject(const LocalServer& server) = 0;
    virtual bool revealPath(const QString& path) = 0;
    // Sends `signal` to every target id; a process that is already gone counts as signalled.
    virtual void sendSignal(int signal, const LocalServer& server) = 0;
    virtual void forceTerminate(const LocalServer& server) = 0;
    virtual void pause(const LocalServer& server) = 0;
    virtual void resume(const LocalServer& server) = 0;
    // Stops the server's processes and starts its command again; the new launch's log session.
    virtual QCoro::Task<ServerLogSession> restart(LocalServer server) = 0;
    // Starts a remembered project's command; the launch's log session.
    virtual QCoro::Task<ServerLogSession> startProject(RememberedProject project) = 0;
};
