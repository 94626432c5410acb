#pragma once

#include "discovery/localserver.h"
#include "discovery/rememberedproject.h"
#include "savedbucket.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// One entry of the Running section: a server, or every agent-browser session folded into one row.
struct RunningItem
{
    enum class Kind
    {
        Server,
        AgentBrowserGroup
    };

    Kind kind = Kind::Server;
    // One server for Kind::Server; the sessions, in list order, for the group.
    QList<LocalServer> servers;

    static inline const QString groupID = QStringLiteral("agent-browser-group");

    static RunningItem server(LocalServer server) { return {Kind::Server, {std::move(server)}}; }
    static RunningItem group(QList<LocalServer> sessions) { return {Kind::AgentBrowserGroup, std::move(sessions)}; }

    // The server key for a server, "agent-browser-group" for the group.
    QString id() const { return kind == Kind::Server ? servers.constFirst().id() : groupID; }

    friend bool operator==(const RunningItem&, const RunningItem&) = default;
};

// One Saved section as the list shows it.
struct SavedBucketPresentation
{
    static constexpr int defaultCollapsedLimit = 5;

    SavedBucket bucket;
    bool isExpanded = false;
    int collapsedLimit = defaultCollapsedLimit;
    // Projects shown even while the section is collapsed: a failed start must be read, and a start the user
    // pressed must not vanish behind the disclosure row while it runs.
    QSet<QString> pinnedPaths;

    // All projects when expanded, else the first collapsedLimit and, in their places, the pinned ones after them.
    QList<RememberedProject> shownProjects() const;
    // A section with projects that collapsed it does not show ends with a disclosure row, expanded or not.
    bool hasDisclosure() const { return hiddenCount() > 0; }
    // The projects the collapsed section does not show, the same number expanded or not.
    int hiddenCount() const { return int(bucket.projects.size() - collapsedProjects().size()); }
    QString disclosureID() const { return bucket.label + QStringLiteral("-disclosure"); }

    friend bool operator==(const SavedBucketPresentation&, const SavedBucketPresentation&) = default;

private:
    QList<RememberedProject> collapsedProjects() const;
};

// Everything the list shows, computed in one pass.
struct MenuContentSnapshot
{
    QList<RunningItem> runningItems;
    // Running servers after the filter; a group counts each of its sessions.
    int runningCount = 0;
    QList<SavedBucketPresentation> savedBuckets;
    // Recent saved projects before the filter.
    int savedTotal = 0;
    // Kinds among the running servers and the recent saved projects, in case order.
    QList<RuntimeKind> filterKinds;
    std::optional<RuntimeKind> activeFilter;
    // No running server and no recent saved project, before the filter.
    bool isEmptyOverall = true;

    friend bool operator==(const MenuContentSnapshot&, const MenuContentSnapshot&) = default;
};

// What a snapshot is built from: the store's lists, the grouping setting, the window's state and one moment.
struct MenuContentInput
{
    QList<LocalServer> servers;
    QList<RememberedProject> savedProjects;
    bool groupAgentBrowserSessions = true;
    std::optional<RuntimeKind> runtimeFilter;
    QSet<QString> expandedSavedBucketIDs;
    // Project paths with a start running or a failure to show (the store's project errors).
    QSet<QString> pinnedProjectPaths;
    QDateTime now;
};

// The pure data step behind the list. Heights are in logical pixels.
namespace MenuContent {

inline constexpr qreal serverRowHeight = 54;
inline constexpr qreal groupRowHeight = 36;
inline constexpr qreal savedRowHeight = 36;
inline constexpr qreal headerHeight = 30;
inline constexpr qreal listPadding = 6;
inline constexpr qreal minimumListHeight = 54;
// What the window's header, footer and rules take from the screen, without and with the filter rail.
inline constexpr qreal chromeHeight = 190;
inline constexpr qreal chromeHeightWithFilterRail = 221;

MenuContentSnapshot makeSnapshot(const MenuContentInput& input);

// Stable: by kind in case order, then by port.
QList<LocalServer> sortRunningServers(QList<LocalServer> servers);
// With grouping on and two or more agent-browser sessions, the sessions leave their places and form one last
// item; otherwise every server is its own item.
QList<RunningItem> makeRunningItems(const QList<LocalServer>& servers, bool groupAgentBrowserSessions);

// The list's height from arithmetic alone, so rows need not be measured.
qreal estimatedContentHeight(const MenuContentSnapshot& snapshot);
// Never taller than the screen allows, never shorter than one server row; short lists take their estimate.
qreal listHeight(const MenuContentSnapshot& snapshot, qreal availableHeight);

// The running items' ids, then per section its label, its shown projects' paths and, with a disclosure row,
// the label followed by "-disclosure".
QStringList animationIdentities(const MenuContentSnapshot& snapshot);
// The appearance order of the j-th shown project of section b: running rows, then earlier sections' shown
// rows and disclosure rows; headers are not counted.
int staggerIndex(const MenuContentSnapshot& snapshot, int bucket, int project);
// Folder names, as the saved rows show them, that occur more than once among all projects of all sections,
// collapsed ones included.
QSet<QString> ambiguousFolderNames(const MenuContentSnapshot& snapshot);

} // namespace MenuContent
