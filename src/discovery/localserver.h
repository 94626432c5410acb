#pragma once

#include "base/runtimekind.h"
#include "discovery/launchenvironment.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// One detected development server.
struct LocalServer
{
    qint32 pid = 0;
    // Outermost launcher first, the listening process last; merged servers' ids follow.
    QList<qint32> managedProcessIDs;
    qint64 port = 0;
    QUrl url;
    RuntimeKind runtimeKind = RuntimeKind::Node;
    bool isPaused = false;
    // The command that would start the server again, quoted for a POSIX shell; empty when none could be inferred.
    QString rawCommandLine;
    // The variables the user gave its launch (`PORT=4200 npm run dev`), set again for a restart.
    LaunchEnvironment::Variables launchEnvironment;
    QString displayCommandLine;
    std::optional<QString> projectPath;
    QString processExecutable;
    std::optional<QString> processWorkingDirectory;
    std::optional<QString> parentProcessSummary;
    qint64 activeConnectionCount = 0;
    QStringList activeConnectionClients;
    std::optional<qint64> httpStatus;
    std::optional<QString> pageTitle;
    QDateTime lastSeenAt;
    // When each managed process started, where the platform tells (ProcessIdentity): a signal goes only to the
    // process that was listed, never to one that took its id since.
    QHash<qint32, quint64> processStartTimes;

    // The server key: pid, a colon and the port.
    QString id() const;
    QString displayTitle() const;
    LocalServer withPauseState(std::optional<bool> paused) const;
    LocalServer mergingManagedProcessIDs(const QList<qint32>& ids) const;
    // mergingManagedProcessIDs with the other's ids, keeping the start times of both.
    LocalServer mergingProcessesOf(const LocalServer& other) const;

    friend bool operator==(const LocalServer&, const LocalServer&) = default;
};

Q_DECLARE_METATYPE(LocalServer)
