#pragma once

#include "control/operationfailure.h"
#include "control/projectactions.h"
#include "control/refreshstate.h"
#include "control/rememberedprojectstorage.h"
#include "control/serveractions.h"
#include "control/serverlogsession.h"
#include "discovery/localserver.h"
#include "discovery/rememberedproject.h"
#include "telemetry/analyticsevent.h"
#include "telemetry/telemetryclient.h"

#include <QByteArray>
#include <QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <set>

class AnalyticsCapturing;
class Clock;
class ProcessActionServicing;
class ServerDetecting;
class ServerLogService;
class Sleeper;
class UserDefaults;
class Workspace;

using PendingServerActions = QHash<QString, ServerActionFeedback>;
using PendingProjectActions = QHash<QString, ProjectActionFeedback>;
using ProjectTexts = QHash<QString, QString>;
using LogSessionsByProjectPath = QHash<QString, ServerLogSession>;
using FailureReportDates = QHash<QString, QDateTime>;

// The application's one observable state object: the server list and the header state of the last scan,
// the remembered projects, polling, and the per-server and per-project marks and texts that actions set and a
// successful refresh prunes. Lives on the GUI thread, as does all its state. The remembered projects' persistence
// and the two kinds of action are parts of their own that it owns and hands its public calls to.
//
// Every property notifies only when its value really changes; an equal assignment notifies nobody.
class ServerStore final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<LocalServer> servers READ servers NOTIFY serversChanged)
    Q_PROPERTY(QList<RememberedProject> rememberedProjects READ rememberedProjects NOTIFY rememberedProjectsChanged)
    Q_PROPERTY(QList<RememberedProject> savedProjects READ savedProjects NOTIFY savedProjectsChanged)
    Q_PROPERTY(RefreshState refreshState READ refreshState NOTIFY refreshStateChanged)
    Q_PROPERTY(int runningServerCount READ runningServerCount NOTIFY runningServerCountChanged)
    Q_PROPERTY(PendingServerActions pendingServerActions READ pendingServerActions NOTIFY pendingServerActionsChanged)
    Q_PROPERTY(
        PendingProjectActions pendingProjectActions READ pendingProjectActions NOTIFY pendingProjectActionsChanged)
    Q_PROPERTY(ProjectTexts projectErrors READ projectErrors NOTIFY projectErrorsChanged)
    Q_PROPERTY(LogSessionsByProjectPath logSessionsByProjectPath READ logSessionsByProjectPath NOTIFY
                   logSessionsByProjectPathChanged)
    Q_PROPERTY(
        ProjectTexts logPreviewsByProjectPath READ logPreviewsByProjectPath NOTIFY logPreviewsByProjectPathChanged)
    Q_PROPERTY(
        QSet<QString> activeProjectActionPaths READ activeProjectActionPaths NOTIFY activeProjectActionPathsChanged)
    Q_PROPERTY(QSet<QString> activeRestartServerIDs READ activeRestartServerIDs NOTIFY activeRestartServerIDsChanged)
    Q_PROPERTY(FailureReportDates refreshFailureTelemetrySentAt READ refreshFailureTelemetrySentAt NOTIFY
                   refreshFailureTelemetrySentAtChanged)
    Q_PROPERTY(bool polling READ isPolling NOTIFY pollingChanged)

public:
    static constexpr std::chrono::milliseconds pollingInterval{60000};
    static constexpr std::chrono::milliseconds refreshWaitStep{25};
    static constexpr qint64 refreshFailureReportInterval = 1800; // seconds
    // How long the machine gets to settle after an action before the list is scanned again.
    static constexpr std::chrono::milliseconds signalSettleDelay{250};
    static constexpr std::chrono::milliseconds restartSettleDelay{750};
    static constexpr std::chrono::milliseconds startSettleDelay{750};
    static constexpr std::chrono::milliseconds startFollowUpDelay{3000};
    static constexpr std::chrono::milliseconds probeTimeout{750};
    static constexpr qint64 probeByteLimit = 65536;
    static constexpr qint64 logTailByteLimit = 131072;
    static constexpr std::chrono::milliseconds startupObservation{3000};

    static inline const QString& rememberedProjectsKey = RememberedProjectStorage::key;
    static inline const QString& unreadableRememberedProjectsKey = RememberedProjectStorage::unreadableKey;

    struct Services
    {
        std::shared_ptr<ServerDetecting> detector;
        std::shared_ptr<ProcessActionServicing> actions;
        std::shared_ptr<ServerLogService> logService;
        std::shared_ptr<UserDefaults> defaults;
        std::shared_ptr<Workspace> workspace;
        // Not owned; outlives the store.
        AnalyticsCapturing* analytics = nullptr;
        // Not owned; the system clock when null.
        const Clock* clock = nullptr;
        // The precise sleeper when null.
        std::shared_ptr<Sleeper> sleeper;
    };

    // Takes the services as given and loads the remembered projects from `services.defaults`.
    explicit ServerStore(Services services, QObject* parent = nullptr);
    // The application's store: the real detector over one command runner, the probe, the private log
    // service, the process action service, the desktop workspace and the standard user defaults.
    explicit ServerStore(AnalyticsCapturing& analytics, QObject* parent = nullptr);

    // The service graph of the application's store, for `analytics`. Launches run in `loginShell` (empty: the
    // user's own), and the user's environment that given variables are told from is that shell's.
    static Services productionServices(AnalyticsCapturing& analytics, const QString& loginShell = {});
    ~ServerStore() override;

    ServerStore(const ServerStore&) = delete;
    ServerStore& operator=(const ServerStore&) = delete;

    // The last successful scan's servers, in the scan's order.
    const QList<LocalServer>& servers() const { return m_servers; }
    // Every project seen running, newest first.
    const QList<RememberedProject>& rememberedProjects() const { return m_rememberedProjects; }
    // The remembered projects that no listed server runs.
    const QList<RememberedProject>& savedProjects() const { return m_savedProjects; }
    const RefreshState& refreshState() const { return m_refreshState; }
    // Listed servers that are not agent-browser sessions.
    int runningServerCount() const { return m_runningServerCount; }
    // By server key (pid:port).
    const PendingServerActions& pendingServerActions() const { return m_pendingServerActions; }
    // By project path, as do the maps and sets below.
    const PendingProjectActions& pendingProjectActions() const { return m_pendingProjectActions; }
    const ProjectTexts& projectErrors() const { return m_projectErrors; }
    const LogSessionsByProjectPath& logSessionsByProjectPath() const { return m_logSessionsByProjectPath; }
    const ProjectTexts& logPreviewsByProjectPath() const { return m_logPreviewsByProjectPath; }
    const QSet<QString>& activeProjectActionPaths() const { return m_activeProjectActionPaths; }
    const QSet<QString>& activeRestartServerIDs() const { return m_activeRestartServerIDs; }
    const FailureReportDates& refreshFailureTelemetrySentAt() const { return m_refreshFailureTelemetrySentAt; }
    bool isPolling() const { return m_polling; }
    // The private log service the store launches into, for views that read a session's output.
    std::shared_ptr<ServerLogService> logService() const { return m_logService; }

    // Scans once and applies the result. Called while another refresh is scanning, it starts no scan of its
    // own: it returns once the scans running at the call have ended, with their result in place. Never fails.
    QCoro::Task<> refresh();
    // Refreshes at once and then every polling interval after the end of the previous refresh, until
    // stopped. Holds the store weakly. Starting twice starts one loop.
    void startPolling();
    // The loop ends at its next step (no refresh starts after this call).
    void stopPolling();

    // Server actions, for a server as its row holds it. A failure shows its text as the failed refresh state
    // until the next refresh; pause, resume and force kill are refused while the server is being restarted.
    void openServerURL(const LocalServer& server);
    void revealServerProject(const LocalServer& server);
    // These three return at once; the signal goes out from a worker thread, a refresh follows after a settle.
    void forceTerminateServer(const LocalServer& server);
    void pauseServer(const LocalServer& server);
    void resumeServer(const LocalServer& server);
    // Refused silently while the server carries a mark or its folder is being started or restarted.
    QCoro::Task<> restartServer(const LocalServer& server);

    // Project actions. A failure or refusal shows its text in `projectErrors` for the project's folder.
    // Starting scans first and launches nothing when the project already runs.
    QCoro::Task<> startRememberedProject(const RememberedProject& project);
    void revealRememberedProject(const RememberedProject& project);
    // Refused while a start or restart of the folder runs; deletes the folder's log of this run.
    void forgetRememberedProject(const RememberedProject& project, bool recordAnalytics = true);
    // Reads the one-line preview of the folder's latest session; dropped when a newer one came meanwhile.
    QCoro::Task<> refreshLogPreview(const QString& projectPath);
    // Makes the session the folder's latest and reads its preview.
    QCoro::Task<> recordLogSession(const ServerLogSession& session);

    // "runtime_kind", "http_status" ("none" without one) and "active_connection_count".
    static TelemetryProperties serverTelemetryProperties(const LocalServer& server)
    {
        return ServerActions::telemetryProperties(server);
    }

    static QMap<RuntimeKind, qint64> runtimeCounts(const QList<LocalServer>& servers);

    // The per-item marks and texts that a successful scan prunes.
    struct ActionMarks
    {
        PendingServerActions serverActions;
        PendingProjectActions projectActions;
        ProjectTexts projectErrors;

        friend bool operator==(const ActionMarks&, const ActionMarks&) = default;
    };
    // What a successful scan leaves: a restart mark while its restart runs, a kill mark while the server is
    // listed, no pause or resume mark; a start mark while its start runs or until the project is listed; a
    // project's error text until the project is listed.
    static ActionMarks prunedActionMarks(ActionMarks marks, const QSet<QString>& activeRestartServerIDs,
                                         const QSet<QString>& activeProjectActionPaths,
                                         const QList<LocalServer>& result);
    // Newest first; on equal dates by folder name as a file browser orders them.
    static bool rememberedProjectPrecedes(const RememberedProject& a, const RememberedProject& b);
    // The stored list, as RememberedProjectStorage reads and writes it.
    static QList<RememberedProject> loadRememberedProjects(UserDefaults& defaults)
    {
        return RememberedProjectStorage::load(defaults);
    }
    static QByteArray encodeRememberedProjects(const QList<RememberedProject>& projects)
    {
        return RememberedProjectStorage::encode(projects);
    }
    static std::optional<QList<RememberedProject>> decodeRememberedProjects(const QByteArray& bytes)
    {
        return RememberedProjectStorage::decode(bytes);
    }

Q_SIGNALS:
    void serversChanged();
    void rememberedProjectsChanged();
    void savedProjectsChanged();
    void refreshStateChanged();
    void runningServerCountChanged();
    void pendingServerActionsChanged();
    void pendingProjectActionsChanged();
    void projectErrorsChanged();
    void logSessionsByProjectPathChanged();
    void logPreviewsByProjectPathChanged();
    void activeProjectActionPathsChanged();
    void activeRestartServerIDsChanged();
    void refreshFailureTelemetrySentAtChanged();
    void pollingChanged();

private:
    // The action parts set the store's marks and texts through its setters, so every change notifies.
    friend class ServerActions;
    friend class ProjectActions;

    // Awaits a launch and records its session, also that of a launch that failed once started, so its output
    // can be shown. The failure, or none when the launch succeeded.
    QCoro::Task<std::optional<OperationFailure>> recordLaunch(QCoro::Task<ServerLogSession> launch);
    // Lets the machine settle for `delay` (a failed wait is ignored), then scans anew; false when the store went
    // meanwhile.
    QCoro::Task<bool> refreshAfter(std::chrono::milliseconds delay);
    void setServerMark(const QString& key, std::optional<ServerActionFeedback> mark)
    {
        setEntry(m_pendingServerActions, key, mark, &ServerStore::pendingServerActionsChanged);
    }
    void setProjectMark(const QString& path, std::optional<ProjectActionFeedback> mark)
    {
        setEntry(m_pendingProjectActions, path, mark, &ServerStore::pendingProjectActionsChanged);
    }
    void setProjectError(const QString& path, std::optional<QString> text)
    {
        setEntry(m_projectErrors, path, std::move(text), &ServerStore::projectErrorsChanged);
    }
    void setLogSession(const QString& path, std::optional<ServerLogSession> session)
    {
        setEntry(m_logSessionsByProjectPath, path, std::move(session), &ServerStore::logSessionsByProjectPathChanged);
    }
    void setLogPreview(const QString& path, std::optional<QString> preview)
    {
        setEntry(m_logPreviewsByProjectPath, path, std::move(preview), &ServerStore::logPreviewsByProjectPathChanged);
    }
    void setActiveProjectPath(const QString& path, bool active)
    {
        setMember(m_activeProjectActionPaths, path, active, &ServerStore::activeProjectActionPathsChanged);
    }
    void setActiveRestart(const QString& key, bool active)
    {
        setMember(m_activeRestartServerIDs, key, active, &ServerStore::activeRestartServerIDsChanged);
    }

    QCoro::Task<> refreshTask();
    // A refresh whose scan starts now, even while another runs, so that it sees what an action just did.
    QCoro::Task<> freshRefresh();
    // Starts a scan now, even while others run, and applies its outcome unless a newer one is in place.
    QCoro::Task<> scanTask();
    QCoro::Task<> waitForScansThrough(quint64 scan);
    bool hasScanInFlightThrough(quint64 scan) const;
    bool hasScanInFlightAfter(quint64 scan) const;
    void applyScanResult(quint64 scan, const QList<LocalServer>& result);
    void applyScanFailure(quint64 scan, const OperationFailure& failure);
    void finishScan(quint64 scan);
    void reportRefreshFailure(const OperationFailure& failure);
    void pruneActionState(const QList<LocalServer>& result);

    void updateRememberedProjects(const QList<LocalServer>& servers);

    static QCoro::Task<> pollLoop(QPointer<ServerStore> store, std::shared_ptr<Sleeper> sleeper, quint64 generation);

    template<typename T>
    bool assign(T& field, T value, void (ServerStore::*changed)())
    {
        if (field == value)
            return false;
        field = std::move(value);
        Q_EMIT(this->*changed)();
        return true;
    }
    // Sets (or, with none, removes) one entry of an observed map through the setter rule.
    template<typename Map>
    void setEntry(Map& field, const QString& key, std::optional<typename Map::mapped_type> value,
                  void (ServerStore::*changed)())
    {
        Map entries = field;
        if (value)
            entries.insert(key, std::move(*value));
        else
            entries.remove(key);
        assign(field, std::move(entries), changed);
    }
    void setMember(QSet<QString>& field, const QString& key, bool member, void (ServerStore::*changed)())
    {
        QSet<QString> members = field;
        if (member)
            members.insert(key);
        else
            members.remove(key);
        assign(field, std::move(members), changed);
    }
    void setServers(QList<LocalServer> servers);
    void setRememberedProjects(QList<RememberedProject> projects);
    void setRefreshState(RefreshState state);
    void updateDerivedState();

    const std::shared_ptr<ServerDetecting> m_detector;
    const std::shared_ptr<ProcessActionServicing> m_actions;
    const std::shared_ptr<ServerLogService> m_logService;
    const std::shared_ptr<UserDefaults> m_defaults;
    const std::shared_ptr<Workspace> m_workspace;
    AnalyticsCapturing& m_analytics;
    const Clock& m_clock;
    const std::shared_ptr<Sleeper> m_sleeper;

    QList<LocalServer> m_servers;
    QList<RememberedProject> m_rememberedProjects;
    QList<RememberedProject> m_savedProjects;
    RefreshState m_refreshState;
    int m_runningServerCount = 0;
    PendingServerActions m_pendingServerActions;
    PendingProjectActions m_pendingProjectActions;
    ProjectTexts m_projectErrors;
    LogSessionsByProjectPath m_logSessionsByProjectPath;
    ProjectTexts m_logPreviewsByProjectPath;
    QSet<QString> m_activeProjectActionPaths;
    QSet<QString> m_activeRestartServerIDs;
    FailureReportDates m_refreshFailureTelemetrySentAt;

    // Scans are numbered as they start; a result older than the one applied is dropped.
    quint64 m_startedScans = 0;
    quint64 m_appliedScan = 0;
    std::set<quint64> m_scansInFlight;

    bool m_polling = false;
    quint64 m_pollingGeneration = 0;

    RememberedProjectStorage m_storage;
    ServerActions m_serverActions{*this};
    ProjectActions m_projectActions{*this};
};
