#pragma once

#include "control/refreshstate.h"
#include "discovery/localserver.h"
#include "telemetry/analyticsevent.h"
#include "telemetry/telemetryclient.h"

#include <QCoroTask>

#include <optional>

class ProcessActionServicing;
class ServerStore;

// The store's actions on a listed server: open, reveal, force kill, pause, resume and restart. They set the
// server's marks and the header's failure text through the store, which owns that state and tells its views.
class ServerActions
{
public:
    explicit ServerActions(ServerStore& store);

    ServerActions(const ServerActions&) = delete;
    ServerActions& operator=(const ServerActions&) = delete;

    void open(const LocalServer& server);
    void revealProject(const LocalServer& server);
    void forceTerminate(const LocalServer& server);
    void pause(const LocalServer& server);
    void resume(const LocalServer& server);
    QCoro::Task<> restart(const LocalServer& server);

    // "runtime_kind", "http_status" ("none" without one) and "active_connection_count".
    static TelemetryProperties telemetryProperties(const LocalServer& server);

private:
    // What differs between force kill, pause and resume.
    struct SignalAction
    {
        ServerAnalyticsAction event;
        ServerActionFeedback mark;
        // What the row shows at once; a kill leaves the flag alone.
        std::optional<bool> paused;
        void (ProcessActionServicing::*send)(const LocalServer&);
        TelemetryOperation report;
    };
    void signal(const LocalServer& server, const SignalAction& action);
    QCoro::Task<> signalTask(LocalServer server, SignalAction action);
    QCoro::Task<> restartTask(LocalServer server);
    QCoro::Task<bool> performRestart(LocalServer server);
    void finishRestart(const LocalServer& server);
    void captureAction(ServerAnalyticsAction action, const LocalServer& server);
    // The common failure step: the mark goes, the header shows the text.
    void setFeedback(const QString& message, const LocalServer& server);
    void setPaused(const LocalServer& server, bool paused);

    // Owns this; a coroutine that finds the store gone after an await stops there.
    ServerStore& m_store;
};
