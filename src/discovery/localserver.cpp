#include "discovery/localserver.h"

#include "discovery/pathtext.h"

QString LocalServer::id() const
{
    return QString::number(pid) + QLatin1Char(':') + QString::number(port);
}

QString LocalServer::displayTitle() const
{
    if (runtimeKind == RuntimeKind::AgentBrowser)
        return RuntimeKinds::displayName(RuntimeKind::AgentBrowser);
    if (projectPath) {
        // The root folder has no name worth a title.
        const QString name = lastPathComponent(*projectPath);
        if (!name.isEmpty() && name != QStringLiteral("/"))
            return name;
    }
    if (pageTitle && !pageTitle->isEmpty() && !pageTitle->startsWith(QLatin1String("http://")) &&
        !pageTitle->startsWith(QLatin1String("https://")))
        return *pageTitle;
    return RuntimeKinds::displayName(runtimeKind) + QStringLiteral(" server");
}

LocalServer LocalServer::withPauseState(std::optional<bool> paused) const
{
    LocalServer copy = *this;
    if (paused)
        copy.isPaused = *paused;
    return copy;
}

LocalServer LocalServer::mergingManagedProcessIDs(const QList<qint32>& ids) const
{
    LocalServer copy = *this;
    copy.managedProcessIDs.clear();
    for (const QList<qint32>* list : {&managedProcessIDs, &ids}) {
        for (qint32 id : *list) {
            if (!copy.managedProcessIDs.contains(id))
                copy.managedProcessIDs.append(id);
        }
    }
    return copy;
}

LocalServer LocalServer::mergingProcessesOf(const LocalServer& other) const
{
    LocalServer copy = mergingManagedProcessIDs(other.managedProcessIDs);
    for (auto it = other.processStartTimes.cbegin(); it != other.processStartTimes.cend(); ++it) {
        if (!copy.processStartTimes.contains(it.key()))
            copy.processStartTimes.insert(it.key(), it.value());
    }
    return copy;
}
