#include "serverlistmodel.h"

#include "control/serverstore.h"
#include "platform/system/clock.h"

#include <QDir>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QVariantMap segmentMap(const RowAction& action)
{
    return {
        {u"symbol"_s, action.symbol},
        {u"help"_s, action.help},
        {u"accessibilityLabel"_s, action.accessibilityLabel},
        {u"accessibilityHint"_s, action.accessibilityHint},
        {u"destructive"_s, action.destructive},
        {u"tint"_s, action.tint.isValid() ? QVariant(action.tint) : QVariant()},
        {u"loading"_s, action.loading},
        {u"disabled"_s, action.disabled},
    };
}

QVariantMap accentBarMap(const AccentBarLook& look)
{
    return {{u"color"_s, look.color}, {u"visible"_s, look.visible}, {u"dimmed"_s, look.dimmed}};
}

RuntimeKind kindOf(const QString& raw)
{
    return RuntimeKinds::fromRawValue(raw).value_or(RuntimeKind::Node);
}

} // namespace

ServerListModel::ServerListModel(QObject* parent)
    : QAbstractListModel(parent)
    , m_revealHelpText(u"Reveal in Finder"_s)
    , m_home(QDir::homePath())
{}

ServerListModel::~ServerListModel() = default;

int ServerListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QHash<int, QByteArray> ServerListModel::roleNames() const
{
    return {
        {RowTypeRole, "rowType"},
        {KeyRole, "key"},
        {ShowsDividerRole, "showsDivider"},
        {StaggerIndexRole, "staggerIndex"},
        {TitleRole, "title"},
        {CountRole, "count"},
        {SecondaryAccentRole, "secondaryAccent"},
        {KindRole, "kind"},
        {PortTextRole, "portText"},
        {PausedRole, "paused"},
        {PendingTagRole, "pendingTag"},
        {PendingTagColorRole, "pendingTagColor"},
        {HasPendingRole, "hasPending"},
        {LiveRole, "live"},
        {HttpStatusRole, "httpStatus"},
        {ConnectionCountRole, "connectionCount"},
        {HasLogSessionRole, "hasLogSession"},
        {LogHelpTextRole, "logHelpText"},
        {LogPreviewTextRole, "logPreviewText"},
        {LocationTextRole, "locationText"},
        {DetailTooltipRole, "detailTooltip"},
        {OpenHelpRole, "openHelp"},
        {ActionsRole, "actions"},
        {SessionsTextRole, "sessionsText"},
        {SummaryTextRole, "summaryText"},
        {TooltipTextRole, "tooltipText"},
        {StatusTagTextRole, "statusTagText"},
        {StatusTagColorRole, "statusTagColor"},
        {StatusTagSpinningRole, "statusTagSpinning"},
        {CommandTextRole, "commandText"},
        {IsStartingRole, "isStarting"},
        {HiddenCountRole, "hiddenCount"},
        {IsExpandedRole, "isExpanded"},
        {BucketLabelRole, "bucketLabel"},
        {DisclosureTextRole, "disclosureText"},
        {DisclosureHintRole, "disclosureHint"},
        {ConfirmingRole, "confirming"},
    };
}

QVariant ServerListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    return rowData(m_rows.at(index.row()), role);
}

QVariant ServerListModel::rowData(const ServerListRow& row, int role) const
{
    switch (role) {
    case RowTypeRole:
        switch (row.type) {
        case ServerListRow::Type::Header:
            return u"header"_s;
        case ServerListRow::Type::Server:
            return u"server"_s;
        case ServerListRow::Type::Group:
            return u"group"_s;
        case ServerListRow::Type::Saved:
            return u"saved"_s;
        case ServerListRow::Type::Disclosure:
            return u"disclosure"_s;
        }
        return {};
    case KeyRole:
        return row.key;
    case ConfirmingRole:
        return m_viewStates.isConfirming(row.key);
    case ShowsDividerRole:
        return row.showsDivider;
    case StaggerIndexRole:
        return row.staggerIndex;
    default:
        break;
    }

    switch (row.type) {
    case ServerListRow::Type::Header:
        switch (role) {
        case TitleRole:
            return row.title;
        case CountRole:
            return row.count;
        case SecondaryAccentRole:
            return row.secondaryAccent;
        default:
            return {};
        }
    case ServerListRow::Type::Server: {
        const LocalServer& server = row.servers.constFirst();
        const ServerRowFacts& facts = row.serverFacts;
        switch (role) {
        case TitleRole:
            return ServerRowLogic::title(server);
        case KindRole:
            return RuntimeKinds::rawValue(server.runtimeKind);
        case PortTextRole:
            return QString(u":"_s + QString::number(server.port));
        case PausedRole:
            return server.isPaused;
        case PendingTagRole:
            return facts.pending ? ServerRowLogic::pendingTagText(*facts.pending) : QString();
        case PendingTagColorRole:
            return facts.pending ? ServerRowLogic::pendingTagColor(*facts.pending) : QColor(Qt::transparent);
        case HasPendingRole:
            return facts.pending.has_value();
        case LiveRole:
            return ServerRowLogic::isLive(server, facts);
        case HttpStatusRole:
            return server.httpStatus ? int(*server.httpStatus) : -1;
        case ConnectionCountRole:
            return int(server.activeConnectionCount);
        case HasLogSessionRole:
            return ServerRowLogic::makeLogSelection(server, facts).has_value();
        case LogHelpTextRole:
            return ServerRowLogic::logHelpText(server, facts);
        case LogPreviewTextRole:
            return ServerRowLogic::logPreviewText(server, facts);
        case LocationTextRole:
            return ServerRowLogic::shownLocationText(server);
        case DetailTooltipRole:
            return ServerRowLogic::detailTooltip(server, facts, m_home);
        case OpenHelpRole:
            return ServerRowLogic::openHelpText(server);
        case ActionsRole: {
            const ServerRowLogic::Actions actions = ServerRowLogic::actions(server, facts, m_revealHelpText);
            QVariantMap map{
                {u"pauseResume"_s, segmentMap(actions.pauseResume)}, {u"restart"_s, segmentMap(actions.restart)},
                {u"showOutput"_s, segmentMap(actions.showOutput)},   {u"forceKill"_s, segmentMap(actions.forceKill)},
                {u"hasReveal"_s, actions.reveal.has_value()},
            };
            map.insert(u"reveal"_s, segmentMap(actions.reveal.value_or(RowAction{})));
            return map;
        }
        default:
            return {};
        }
    }
    case ServerListRow::Type::Group:
        switch (role) {
        case KindRole:
            return RuntimeKinds::rawValue(RuntimeKind::AgentBrowser);
        case TitleRole:
            return RuntimeKinds::displayName(RuntimeKind::AgentBrowser);
        case SessionsTextRole:
            return AgentBrowserGroupLogic::sessionsText(row.servers);
        case SummaryTextRole:
            return AgentBrowserGroupLogic::summaryText(row.servers);
        case TooltipTextRole:
            return AgentBrowserGroupLogic::tooltipText(row.servers);
        default:
            return {};
        }
    case ServerListRow::Type::Saved: {
        const SavedRowFacts& facts = row.savedFacts;
        switch (role) {
        case TitleRole:
            return SavedRowLogic::title(row.project);
        case KindRole:
            return RuntimeKinds::rawValue(row.project.runtimeKind);
        case StatusTagTextRole: {
            const auto tag = SavedRowLogic::statusTag(facts);
            return tag ? tag->text : QString();
        }
        case StatusTagColorRole: {
            const auto tag = SavedRowLogic::statusTag(facts);
            return tag ? tag->color : QColor(Qt::transparent);
        }
        case StatusTagSpinningRole: {
            const auto tag = SavedRowLogic::statusTag(facts);
            return tag && tag->spinning;
        }
        case CommandTextRole:
            return SavedRowLogic::commandText(row.project, row.showsDisambiguation);
        case HasLogSessionRole:
            return facts.session.has_value();
        case LogHelpTextRole:
            return SavedRowLogic::logHelpText(facts);
        case LogPreviewTextRole:
            return SavedRowLogic::logStatusText(facts);
        case TooltipTextRole:
            return SavedRowLogic::rowTooltip(row.project, facts, m_home);
        case IsStartingRole:
            return facts.isStarting;
        case ActionsRole: {
            const SavedRowLogic::Actions actions = SavedRowLogic::actions(facts, m_revealHelpText);
            return QVariantMap{
                {u"start"_s, segmentMap(actions.start)},
                {u"showOutput"_s, segmentMap(actions.showOutput)},
                {u"reveal"_s, segmentMap(actions.reveal)},
                {u"forget"_s, segmentMap(actions.forget)},
            };
        }
        default:
            return {};
        }
    }
    case ServerListRow::Type::Disclosure:
        switch (role) {
        case HiddenCountRole:
            return row.hiddenCount;
        case IsExpandedRole:
            return row.isExpanded;
        case BucketLabelRole:
            return row.bucketLabel;
        case DisclosureTextRole:
            return row.isExpanded ? u"Show less"_s
                                  : QString(u"Show "_s + QString::number(row.hiddenCount) + u" more"_s);
        case DisclosureHintRole:
            return row.isExpanded ? u"Collapse this saved-project section"_s
                                  : u"Show every saved project in this section"_s;
        default:
            return {};
        }
    }
    return {};
}

void ServerListModel::classBegin()
{
    m_complete = false;
}

void ServerListModel::componentComplete()
{
    m_complete = true;
    refresh();
}

void ServerListModel::setStore(ServerStore* store)
{
    if (m_store == store)
        return;
    for (const QMetaObject::Connection& connection : std::as_const(m_storeConnections))
        disconnect(connection);
    m_storeConnections.clear();
    m_store = store;
    if (store) {
        // Everything a row or the sections read; the refresh state too, so that the date sections follow the
        // clock at least once per poll.
        for (auto changed :
             {&ServerStore::serversChanged, &ServerStore::savedProjectsChanged, &ServerStore::refreshStateChanged,
              &ServerStore::pendingServerActionsChanged, &ServerStore::pendingProjectActionsChanged,
              &ServerStore::projectErrorsChanged, &ServerStore::logSessionsByProjectPathChanged,
              &ServerStore::logPreviewsByProjectPathChanged})
            m_storeConnections.append(connect(store, changed, this, &ServerListModel::refresh));
        m_storeConnections.append(connect(store, &QObject::destroyed, this, &ServerListModel::refresh));
    }
    Q_EMIT storeChanged();
    refresh();
}

void ServerListModel::setGroupAgentBrowserSessions(bool group)
{
    if (m_groupAgentBrowserSessions == group)
        return;
    m_groupAgentBrowserSessions = group;
    Q_EMIT groupAgentBrowserSessionsChanged();
    refresh();
}

void ServerListModel::setRuntimeFilter(const QString& kind)
{
    if (m_runtimeFilter == kind)
        return;
    m_runtimeFilter = kind;
    Q_EMIT runtimeFilterChanged();
    refresh();
}

void ServerListModel::setExpandedSavedBucketIDs(const QStringList& labels)
{
    if (m_expandedSavedBucketIDs == labels)
        return;
    m_expandedSavedBucketIDs = labels;
    Q_EMIT expandedSavedBucketIDsChanged();
    refresh();
}

void ServerListModel::setAvailableHeight(qreal height)
{
    if (qFuzzyCompare(m_availableHeight, height))
        return;
    m_availableHeight = height;
    Q_EMIT availableHeightChanged();
    Q_EMIT contentChanged();
}

void ServerListModel::setRevealHelpText(const QString& text)
{
    if (m_revealHelpText == text)
        return;
    m_revealHelpText = text;
    Q_EMIT revealHelpTextChanged();
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1), {ActionsRole});
}

void ServerListModel::setClock(const Clock* clock)
{
    m_clock = clock;
    refresh();
}

void ServerListModel::setHomePath(const QString& home)
{
    m_home = home;
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1), {DetailTooltipRole, TooltipTextRole});
}

QStringList ServerListModel::filterKinds() const
{
    QStringList kinds;
    for (RuntimeKind kind : m_snapshot.filterKinds)
        kinds.append(RuntimeKinds::rawValue(kind));
    return kinds;
}

QVariantList ServerListModel::filterChoices() const
{
    QVariantList choices;
    for (RuntimeKind kind : m_snapshot.filterKinds)
        choices.append(
            QVariantMap{{u"kind"_s, RuntimeKinds::rawValue(kind)}, {u"label"_s, RuntimeKinds::displayName(kind)}});
    return choices;
}

QString ServerListModel::activeFilter() const
{
    return m_snapshot.activeFilter ? RuntimeKinds::rawValue(*m_snapshot.activeFilter) : QString();
}

QString ServerListModel::filterEmptyText() const
{
    const QString label = m_snapshot.activeFilter ? RuntimeKinds::displayName(*m_snapshot.activeFilter) : u"matching"_s;
    return u"No "_s + label + u" servers"_s;
}

qreal ServerListModel::listHeight() const
{
    return MenuContent::listHeight(m_snapshot, m_availableHeight);
}

MenuContentInput ServerListModel::makeInput() const
{
    MenuContentInput input;
    if (m_store) {
        input.servers = m_store->servers();
        input.savedProjects = m_store->savedProjects();
        for (auto it = m_store->projectErrors().cbegin(); it != m_store->projectErrors().cend(); ++it)
            input.pinnedProjectPaths.insert(it.key());
        for (auto it = m_store->pendingProjectActions().cbegin(); it != m_store->pendingProjectActions().cend(); ++it)
            input.pinnedProjectPaths.insert(it.key());
    }
    input.groupAgentBrowserSessions = m_groupAgentBrowserSessions;
    input.runtimeFilter = RuntimeKinds::fromRawValue(m_runtimeFilter);
    input.expandedSavedBucketIDs = QSet<QString>(m_expandedSavedBucketIDs.cbegin(), m_expandedSavedBucketIDs.cend());
    input.now = (m_clock ? *m_clock : static_cast<const Clock&>(SystemClock::shared())).now();
    return input;
}

void ServerListModel::refresh()
{
    if (!m_complete)
        return;
    MenuContentSnapshot snapshot = MenuContent::makeSnapshot(makeInput());
    QList<ServerListRow> rows = m_store ? makeListRows(snapshot, *m_store) : QList<ServerListRow>{};
    const bool changed = !(snapshot == m_snapshot);
    m_snapshot = std::move(snapshot);
    apply(std::move(rows));
    if (changed)
        Q_EMIT contentChanged();
    const bool scanning = m_store && m_store->refreshState().kind == RefreshState::Kind::Refreshing;
    if (scanning != m_isScanning) {
        m_isScanning = scanning;
        Q_EMIT isScanningChanged();
    }
}

void ServerListModel::apply(QList<ServerListRow> rows)
{
    QSet<QString> newKeys;
    for (const ServerListRow& row : rows)
        newKeys.insert(row.key);
    removeMissing(newKeys);

    QSet<QString> oldKeys;
    for (const ServerListRow& row : std::as_const(m_rows))
        oldKeys.insert(row.key);
    QStringList commonTarget;
    for (const ServerListRow& row : rows) {
        if (oldKeys.contains(row.key))
            commonTarget.append(row.key);
    }
    moveCommon(commonTarget);
    insertNew(rows);

    // Now every key sits where the new list has it; rows whose content differs report it, in runs.
    Q_ASSERT(m_rows.size() == rows.size());
    qsizetype runStart = -1;
    for (qsizetype i = 0; i <= rows.size(); ++i) {
        const bool differs = i < rows.size() && !(m_rows.at(i) == rows.at(i));
        if (differs) {
            m_rows[i] = rows.at(i);
            if (runStart < 0)
                runStart = i;
        } else if (runStart >= 0) {
            Q_EMIT dataChanged(index(int(runStart)), index(int(i - 1)));
            runStart = -1;
        }
    }
}

void ServerListModel::removeMissing(const QSet<QString>& kept)
{
    // From the bottom up, one signal per run of neighbours.
    qsizetype i = m_rows.size() - 1;
    while (i >= 0) {
        if (kept.contains(m_rows.at(i).key)) {
            --i;
            continue;
        }
        qsizetype first = i;
        while (first > 0 && !kept.contains(m_rows.at(first - 1).key))
            --first;
        beginRemoveRows({}, int(first), int(i));
        for (qsizetype gone = first; gone <= i; ++gone)
            m_viewStates.remove(m_rows.at(gone).key);
        m_rows.remove(first, i - first + 1);
        endRemoveRows();
        i = first - 1;
    }
}

void ServerListModel::moveCommon(const QStringList& target)
{
    // The rows that keep their relative order form the longest increasing run of target positions; only the
    // others move, each to just after the row that precedes it in the target.
    Q_ASSERT(target.size() == m_rows.size());
    QHash<QString, qsizetype> targetPosition;
    for (qsizetype i = 0; i < target.size(); ++i)
        targetPosition.insert(target.at(i), i);
    const qsizetype n = m_rows.size();
    QList<qsizetype> sequence(n);
    for (qsizetype i = 0; i < n; ++i)
        sequence[i] = targetPosition.value(m_rows.at(i).key);

    // Patience sorting with back links.
    QList<qsizetype> tails;
    QList<qsizetype> tailIndex;
    QList<qsizetype> previous(n, -1);
    for (qsizetype i = 0; i < n; ++i) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), sequence.at(i));
        const qsizetype length = at - tails.begin();
        if (length > 0)
            previous[i] = tailIndex.at(length - 1);
        if (at == tails.end()) {
            tails.append(sequence.at(i));
            tailIndex.append(i);
        } else {
            *at = sequence.at(i);
            tailIndex[length] = i;
        }
    }
    QSet<QString> stable;
    for (qsizetype i = tailIndex.isEmpty() ? -1 : tailIndex.constLast(); i >= 0; i = previous.at(i))
        stable.insert(m_rows.at(i).key);

    for (qsizetype t = 0; t < target.size(); ++t) {
        if (stable.contains(target.at(t)))
            continue;
        const qsizetype from = rowOf(target.at(t));
        const qsizetype after = t == 0 ? -1 : rowOf(target.at(t - 1));
        // The position the row takes once it has left its own.
        const qsizetype to = from > after ? after + 1 : after;
        if (from == to)
            continue;
        // Qt counts the destination before the move, so a move down names the row after the place.
        beginMoveRows({}, int(from), int(from), {}, int(from < to ? to + 1 : to));
        m_rows.move(from, to);
        endMoveRows();
    }
}

void ServerListModel::insertNew(const QList<ServerListRow>& rows)
{
    qsizetype i = 0;
    while (i < rows.size()) {
        if (i < m_rows.size() && m_rows.at(i).key == rows.at(i).key) {
            ++i;
            continue;
        }
        // The keys that are new here run until the row that is already present at this place.
        const QString present = i < m_rows.size() ? m_rows.at(i).key : QString();
        qsizetype last = i;
        while (last + 1 < rows.size() && (present.isNull() || rows.at(last + 1).key != present))
            ++last;
        beginInsertRows({}, int(i), int(last));
        for (qsizetype k = i; k <= last; ++k)
            m_rows.insert(k, rows.at(k));
        endInsertRows();
        i = last + 1;
    }
}

qsizetype ServerListModel::rowOf(const QString& key) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).key == key)
            return i;
    }
    return -1;
}

std::optional<LocalServer> ServerListModel::currentServer(const QString& key) const
{
    if (!m_store)
        return std::nullopt;
    for (const LocalServer& server : m_store->servers()) {
        if (server.id() == key)
            return server;
    }
    return std::nullopt;
}

std::optional<RememberedProject> ServerListModel::currentProject(const QString& path) const
{
    if (!m_store)
        return std::nullopt;
    for (const RememberedProject& project : m_store->savedProjects()) {
        if (project.projectPath == path)
            return project;
    }
    return std::nullopt;
}

void ServerListModel::openServer(const QString& key)
{
    if (const auto server = currentServer(key))
        m_store->openServerURL(*server);
}

void ServerListModel::pauseOrResumeServer(const QString& key)
{
    const auto server = currentServer(key);
    if (!server)
        return;
    if (server->isPaused)
        m_store->resumeServer(*server);
    else
        m_store->pauseServer(*server);
}

void ServerListModel::restartServer(const QString& key)
{
    if (const auto server = currentServer(key))
        m_store->restartServer(*server);
}

void ServerListModel::revealServer(const QString& key)
{
    if (const auto server = currentServer(key))
        m_store->revealServerProject(*server);
}

void ServerListModel::forceKillServer(const QString& key)
{
    if (const auto server = currentServer(key))
        m_store->forceTerminateServer(*server);
}

QVariant ServerListModel::serverLogSelection(const QString& key) const
{
    const auto server = currentServer(key);
    if (!server)
        return {};
    const ServerRowFacts facts =
        ServerRowFacts::of(*server, m_store->pendingServerActions(), m_store->logSessionsByProjectPath(),
                           m_store->logPreviewsByProjectPath());
    const std::optional<LogSelection> selection = ServerRowLogic::makeLogSelection(*server, facts);
    return selection ? QVariant::fromValue(*selection) : QVariant();
}

void ServerListModel::refreshServerPreview(const QString& key)
{
    const auto server = currentServer(key);
    if (!server || !server->projectPath || !m_store->logSessionsByProjectPath().contains(*server->projectPath))
        return;
    m_store->refreshLogPreview(*server->projectPath);
}

void ServerListModel::openAgentBrowserGroup()
{
    if (!m_store)
        return;
    QList<LocalServer> sessions;
    for (const LocalServer& server : MenuContent::sortRunningServers(m_store->servers())) {
        if (server.runtimeKind == RuntimeKind::AgentBrowser)
            sessions.append(server);
    }
    if (const auto primary = AgentBrowserGroupLogic::primaryServer(sessions))
        m_store->openServerURL(*primary);
}

void ServerListModel::startProject(const QString& path)
{
    if (const auto project = currentProject(path))
        m_store->startRememberedProject(*project);
}

void ServerListModel::revealProject(const QString& path)
{
    if (const auto project = currentProject(path))
        m_store->revealRememberedProject(*project);
}

void ServerListModel::forgetProject(const QString& path)
{
    if (const auto project = currentProject(path))
        m_store->forgetRememberedProject(*project, true);
}

QVariant ServerListModel::projectLogSelection(const QString& path) const
{
    const auto project = currentProject(path);
    if (!project)
        return {};
    const SavedRowFacts facts =
        SavedRowFacts::of(*project, m_store->pendingProjectActions(), m_store->projectErrors(),
                          m_store->logSessionsByProjectPath(), m_store->logPreviewsByProjectPath());
    const std::optional<LogSelection> selection = SavedRowLogic::makeLogSelection(*project, facts);
    return selection ? QVariant::fromValue(*selection) : QVariant();
}

void ServerListModel::refreshProjectPreview(const QString& path)
{
    if (currentProject(path) && m_store->logSessionsByProjectPath().contains(path))
        m_store->refreshLogPreview(path);
}

QColor ServerListModel::serverRowBackground(const QString& kind, bool paused, bool hovering, bool confirming) const
{
    return ServerRowLogic::rowBackground(kindOf(kind), paused, hovering, confirming);
}

QVariantMap ServerListModel::serverAccentBar(const QString& kind, bool live, bool hovering, bool confirming) const
{
    return accentBarMap(ServerRowLogic::accentBar(kindOf(kind), live, hovering, confirming));
}

QColor ServerListModel::groupRowBackground(bool hovering) const
{
    return AgentBrowserGroupLogic::background(hovering);
}

QVariantMap ServerListModel::groupAccentBar(bool hovering) const
{
    return accentBarMap(AgentBrowserGroupLogic::accentBar(hovering));
}

QColor ServerListModel::savedRowBackground(bool hovering, bool confirming, const QColor& primaryInk) const
{
    return SavedRowLogic::rowBackground(hovering, confirming, primaryInk);
}

QVariantMap ServerListModel::savedAccentBar(const QString& kind, bool hovering, bool confirming) const
{
    return accentBarMap(SavedRowLogic::accentBar(kindOf(kind), hovering, confirming));
}

bool ServerListModel::isServerRevealed(bool hovering, bool confirming, bool hasPending) const
{
    return ServerRowLogic::isRevealed(hovering, confirming, hasPending);
}

bool ServerListModel::savedControlsShown(bool hovering, bool confirming, bool isStarting) const
{
    return SavedRowLogic::controlsShown(hovering, confirming, isStarting);
}

void ServerListModel::setSwapGuardInterval(int milliseconds)
{
    if (m_viewStates.setGuardInterval(std::chrono::milliseconds(milliseconds)))
        Q_EMIT swapGuardIntervalChanged();
}

void ServerListModel::setSwapGuardDistance(int pixels)
{
    if (m_viewStates.setGuardDistance(pixels))
        Q_EMIT swapGuardDistanceChanged();
}

bool ServerListModel::hasAppeared(const QString& key) const
{
    return m_viewStates.hasAppeared(key);
}

void ServerListModel::markAppeared(const QString& key)
{
    if (rowOf(key) >= 0)
        m_viewStates.markAppeared(key);
}

void ServerListModel::setConfirming(const QString& key, bool confirming)
{
    const qsizetype row = rowOf(key);
    if (row >= 0 && m_viewStates.setConfirming(key, confirming))
        Q_EMIT dataChanged(index(int(row)), index(int(row)), {ConfirmingRole});
}

bool ServerListModel::acceptActionPress(const QString& key, QPointF point)
{
    return rowOf(key) < 0 || m_viewStates.acceptPress(key, point);
}
