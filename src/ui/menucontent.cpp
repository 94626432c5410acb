#include "menucontent.h"

#include "discovery/pathtext.h"
#include "savedrowlogic.h"

#include <algorithm>

QList<RememberedProject> SavedBucketPresentation::shownProjects() const
{
    return isExpanded ? bucket.projects : collapsedProjects();
}

QList<RememberedProject> SavedBucketPresentation::collapsedProjects() const
{
    QList<RememberedProject> shown = bucket.projects.mid(0, collapsedLimit);
    for (qsizetype i = collapsedLimit; i < bucket.projects.size(); ++i) {
        if (pinnedPaths.contains(bucket.projects.at(i).projectPath))
            shown.append(bucket.projects.at(i));
    }
    return shown;
}

namespace MenuContent {

namespace {

qsizetype kindPosition(RuntimeKind kind)
{
    const qsizetype position = RuntimeKinds::allCases().indexOf(kind);
    return position < 0 ? RuntimeKinds::allCases().size() : position;
}

} // namespace

MenuContentSnapshot makeSnapshot(const MenuContentInput& input)
{
    MenuContentSnapshot snapshot;
    // One moment for the whole snapshot: the recent list and the sections must agree on what is recent.
    const QList<RememberedProject> recent = SavedBucket::recentProjects(input.savedProjects, input.now);

    QSet<RuntimeKind> present;
    for (const LocalServer& server : input.servers)
        present.insert(server.runtimeKind);
    for (const RememberedProject& project : recent)
        present.insert(project.runtimeKind);
    for (RuntimeKind kind : RuntimeKinds::allCases()) {
        if (present.contains(kind))
            snapshot.filterKinds.append(kind);
    }

    // A filter whose kind is gone is ignored, not forgotten: it applies again once the kind is back.
    if (input.runtimeFilter && present.contains(*input.runtimeFilter))
        snapshot.activeFilter = input.runtimeFilter;

    QList<LocalServer> running = sortRunningServers(input.servers);
    QList<RememberedProject> shownSaved = recent;
    if (snapshot.activeFilter) {
        const RuntimeKind kind = *snapshot.activeFilter;
        running.removeIf([kind](const LocalServer& server) { return server.runtimeKind != kind; });
        shownSaved.removeIf([kind](const RememberedProject& project) { return project.runtimeKind != kind; });
    }

    for (SavedBucket& bucket : SavedBucket::buckets(shownSaved, input.now)) {
        SavedBucketPresentation section;
        section.isExpanded = input.expandedSavedBucketIDs.contains(bucket.label);
        section.bucket = std::move(bucket);
        for (const RememberedProject& project : std::as_const(section.bucket.projects)) {
            if (input.pinnedProjectPaths.contains(project.projectPath))
                section.pinnedPaths.insert(project.projectPath);
        }
        snapshot.savedBuckets.append(std::move(section));
    }

    snapshot.runningItems = makeRunningItems(running, input.groupAgentBrowserSessions);
    snapshot.runningCount = int(running.size());
    snapshot.savedTotal = int(recent.size());
    snapshot.isEmptyOverall = input.servers.isEmpty() && recent.isEmpty();
    return snapshot;
}

QList<LocalServer> sortRunningServers(QList<LocalServer> servers)
{
    std::stable_sort(servers.begin(), servers.end(), [](const LocalServer& a, const LocalServer& b) {
        const qsizetype kindA = kindPosition(a.runtimeKind);
        const qsizetype kindB = kindPosition(b.runtimeKind);
        if (kindA != kindB)
            return kindA < kindB;
        return a.port < b.port;
    });
    return servers;
}

QList<RunningItem> makeRunningItems(const QList<LocalServer>& servers, bool groupAgentBrowserSessions)
{
    QList<RunningItem> items;
    QList<LocalServer> sessions;
    if (groupAgentBrowserSessions) {
        for (const LocalServer& server : servers) {
            if (server.runtimeKind == RuntimeKind::AgentBrowser)
                sessions.append(server);
        }
    }
    const bool grouped = sessions.size() >= 2;
    for (const LocalServer& server : servers) {
        if (!grouped || server.runtimeKind != RuntimeKind::AgentBrowser)
            items.append(RunningItem::server(server));
    }
    if (grouped)
        items.append(RunningItem::group(std::move(sessions)));
    return items;
}

qreal estimatedContentHeight(const MenuContentSnapshot& snapshot)
{
    qsizetype headers = snapshot.savedBuckets.size() + (snapshot.runningItems.isEmpty() ? 0 : 1);
    qsizetype savedRows = 0;
    for (const SavedBucketPresentation& section : snapshot.savedBuckets)
        savedRows += section.shownProjects().size() + (section.hasDisclosure() ? 1 : 0);
    qreal runningRows = 0;
    for (const RunningItem& item : snapshot.runningItems)
        runningRows += item.kind == RunningItem::Kind::Server ? serverRowHeight : groupRowHeight;
    return 2 * listPadding + headerHeight * qreal(headers) + savedRowHeight * qreal(savedRows) + runningRows;
}

qreal listHeight(const MenuContentSnapshot& snapshot, qreal availableHeight)
{
    const qreal chrome = snapshot.filterKinds.size() >= 2 ? chromeHeightWithFilterRail : chromeHeight;
    return std::min(estimatedContentHeight(snapshot), std::max(minimumListHeight, availableHeight - chrome));
}

QStringList animationIdentities(const MenuContentSnapshot& snapshot)
{
    QStringList ids;
    for (const RunningItem& item : snapshot.runningItems)
        ids.append(item.id());
    for (const SavedBucketPresentation& section : snapshot.savedBuckets) {
        ids.append(section.bucket.label);
        for (const RememberedProject& project : section.shownProjects())
            ids.append(project.projectPath);
        if (section.hasDisclosure())
            ids.append(section.disclosureID());
    }
    return ids;
}

int staggerIndex(const MenuContentSnapshot& snapshot, int bucket, int project)
{
    qsizetype index = snapshot.runningItems.size();
    for (int b = 0; b < bucket && b < snapshot.savedBuckets.size(); ++b) {
        const SavedBucketPresentation& section = snapshot.savedBuckets.at(b);
        index += section.shownProjects().size() + (section.hasDisclosure() ? 1 : 0);
    }
    return int(index) + project;
}

QSet<QString> ambiguousFolderNames(const MenuContentSnapshot& snapshot)
{
    QSet<QString> seen;
    QSet<QString> repeated;
    for (const SavedBucketPresentation& section : snapshot.savedBuckets) {
        for (const RememberedProject& project : section.bucket.projects) {
            // As the rows show it, so names that differ only in what is not shown count as the same.
            const QString name = SavedRowLogic::title(project);
            if (seen.contains(name))
                repeated.insert(name);
            else
                seen.insert(name);
        }
    }
    return repeated;
}

} // namespace MenuContent
