#pragma once

#include "control/serverlogservice.h"
#include "control/serverstore.h"
#include "support/awaittask.h"
#include "support/fakedetector.h"
#include "support/fakeprocessactions.h"
#include "support/manualclock.h"
#include "support/recordinganalyticsclient.h"
#include "support/recordingsleeper.h"
#include "support/recordingtelemetryclient.h"
#include "support/recordinguserdefaults.h"
#include "support/recordingworkspace.h"

#include <QFile>
#include <QTest>

#include <memory>

// Values for the store's tests.
namespace StoreValues {

inline const QDateTime baseTime(QDate(2026, 3, 2), QTime(9, 30), Qt::UTC);

inline LocalServer server(qint32 pid, qint64 port, std::optional<QString> path = std::nullopt,
                          QString command = QStringLiteral("npm run dev"), RuntimeKind kind = RuntimeKind::Node,
                          QDateTime seen = baseTime)
{
    LocalServer s;
    s.pid = pid;
    s.managedProcessIDs = {pid};
    s.port = port;
    s.url = QUrl(QStringLiteral("http://localhost:%1").arg(port));
    s.runtimeKind = kind;
    s.rawCommandLine = command;
    s.displayCommandLine = command;
    s.projectPath = std::move(path);
    s.lastSeenAt = std::move(seen);
    return s;
}

inline RememberedProject project(const QString& path, QDateTime seen = baseTime,
                                 QString command = QStringLiteral("npm run dev"), RuntimeKind kind = RuntimeKind::Node)
{
    return RememberedProject{path, command, command, kind, std::move(seen)};
}

} // namespace StoreValues

// Everything a store is built from, with fakes that record.
struct StoreRig
{
    explicit StoreRig(const QString& logFolder)
        : logs(std::make_shared<ServerLogService>(logFolder, clock))
        , telemetry(RecordingTelemetryClient::installShared())
    {}

    ServerStore::Services services()
    {
        return {detector, actions, logs, defaults, workspace, &analytics, &clock, sleeper};
    }
    ServerStore& makeStore()
    {
        store = std::make_unique<ServerStore>(services());
        return *store;
    }
    // Runs one refresh to its end.
    void refresh() { awaitTask(store->refresh()); }

    // A session of the real log service whose file holds `output`.
    ServerLogSession sessionWithLog(const QString& projectPath, const QByteArray& output)
    {
        const ServerLogSession session = awaitTask(logs->startSession(projectPath));
        QFile file(session.fileURL.toLocalFile());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(output) != output.size())
            qFatal("could not write the test log");
        return session;
    }

    QList<AnalyticsEvent> eventsNamed(const QString& name) const
    {
        QList<AnalyticsEvent> found;
        for (const AnalyticsEvent& event : analytics.events) {
            if (event.name() == name)
                found.append(event);
        }
        return found;
    }

    std::shared_ptr<FakeDetector> detector = std::make_shared<FakeDetector>();
    std::shared_ptr<FakeProcessActions> actions = std::make_shared<FakeProcessActions>();
    ManualClock clock;
    std::shared_ptr<ServerLogService> logs;
    std::shared_ptr<RecordingUserDefaults> defaults = std::make_shared<RecordingUserDefaults>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    RecordingAnalyticsClient analytics;
    std::shared_ptr<RecordingSleeper> sleeper = std::make_shared<RecordingSleeper>();
    RecordingTelemetryClient* telemetry;
    std::unique_ptr<ServerStore> store;
};

// Readable failure output for the store's values.
inline char* toString(const RefreshState& state)
{
    static const char* const names[] = {"stale", "failed", "idle", "refreshing"};
    return QTest::toString(QString::fromLatin1(names[int(state.kind)]) + QStringLiteral("(\"") + state.message +
                           QStringLiteral("\")"));
}
