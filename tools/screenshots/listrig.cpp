#include "listrig.h"

#include "control/actionerror.h"
#include "support/awaittask.h"
#include "telemetry/redaction.h"

using namespace Qt::StringLiterals;

namespace {

// A date `daysAgo` calendar days back, at noon; today's is an hour ahead, so that it stays "Today" even when
// the clock passes midnight while a test runs.
QDateTime daysBack(int daysAgo)
{
    if (daysAgo <= 0)
        return QDateTime::currentDateTime().addSecs(3600);
    return QDateTime(QDate::currentDate().addDays(-daysAgo), QTime(12, 0));
}

} // namespace

ListRig::ListRig(QObject* parent)
    : QObject(parent)
    , m_rig(std::make_unique<StoreRig>(m_logs.path()))
{
    m_rig->clock.set(QDateTime::currentDateTimeUtc());
    m_rig->makeStore();
    m_context = std::make_unique<WindowContext>(m_rig->analytics, *m_rig->workspace, m_clipboard);
    m_rig->actions->launchHandler = [this](const QString& path) {
        if (m_failStatus) {
            const int status = *std::exchange(m_failStatus, std::nullopt);
            throw ActionError::launchFailed(status, u"Error: listen EADDRINUSE"_s,
                                            m_rig->sessionWithLog(path, "Error: listen EADDRINUSE\n"));
        }
        return FakeProcessActions::sessionFor(path);
    };
}

ListRig::~ListRig()
{
    // A held launch is never released (a task of the store may keep the fake alive and resume it later), and
    // may not reach back into this rig.
    m_rig->actions->launchHandler = nullptr;
    // A scan left open would outlive the store it reports to.
    answerOpenScans(m_servers);
}

QStringList ListRig::openedURLs() const
{
    QStringList urls;
    for (const QUrl& url : std::as_const(m_rig->workspace->openedURLs))
        urls.append(url.toString());
    return urls;
}

void ListRig::setHoldScans(bool hold)
{
    if (m_rig->detector->hold == hold)
        return;
    m_rig->detector->hold = hold;
    Q_EMIT recorded();
}

void ListRig::setHoldLaunches(bool hold)
{
    if (m_rig->actions->holdLaunches == hold)
        return;
    m_rig->actions->holdLaunches = hold;
    Q_EMIT recorded();
}

LocalServer ListRig::serverFrom(const QVariantMap& d, const QDateTime& seen)
{
    const qint32 pid = d.value(u"pid"_s, 4100).toInt();
    const qint64 port = d.value(u"port"_s, 3000).toLongLong();
    const RuntimeKind kind =
        RuntimeKinds::fromRawValue(d.value(u"kind"_s, u"node"_s).toString()).value_or(RuntimeKind::Node);
    std::optional<QString> path;
    if (d.contains(u"path"_s))
        path = d.value(u"path"_s).toString();
    LocalServer server =
        StoreValues::server(pid, port, path, d.value(u"command"_s, u"npm run dev"_s).toString(), kind, seen);
    server.url = QUrl(u"http://localhost:%1/"_s.arg(port));
    // The variables given on its command line, shown as the scan shows them.
    const QVariantMap environment = d.value(u"environment"_s).toMap();
    for (auto variable = environment.cbegin(); variable != environment.cend(); ++variable)
        server.launchEnvironment.insert(variable.key(), variable.value().toString());
    if (!environment.isEmpty())
        server.displayCommandLine =
            LaunchEnvironment::shownAssignments(server.launchEnvironment) + redactCommandLine(server.rawCommandLine);
    server.isPaused = d.value(u"paused"_s).toBool();
    server.processExecutable = d.value(u"executable"_s, u"/usr/bin/node"_s).toString();
    if (d.contains(u"cwd"_s))
        server.processWorkingDirectory = d.value(u"cwd"_s).toString();
    else
        server.processWorkingDirectory = path;
    if (d.contains(u"parent"_s))
        server.parentProcessSummary = d.value(u"parent"_s).toString();
    if (d.contains(u"title"_s))
        server.pageTitle = d.value(u"title"_s).toString();
    if (d.contains(u"http"_s))
        server.httpStatus = d.value(u"http"_s).toLongLong();
    server.activeConnectionCount = d.value(u"connections"_s).toLongLong();
    server.activeConnectionClients = d.value(u"clients"_s).toStringList();
    return server;
}

void ListRig::scan(const QVariantList& servers)
{
    m_servers.clear();
    for (const QVariant& description : servers)
        m_servers.append(serverFrom(description.toMap(), m_rig->clock.now()));
    scanWith(m_servers);
}

void ListRig::remember(const QVariantList& projects)
{
    QList<LocalServer> seen = m_servers;
    qint32 pid = 90000;
    for (const QVariant& value : projects) {
        QVariantMap description = value.toMap();
        description.insert(u"pid"_s, ++pid);
        description.insert(u"port"_s, 40000 + pid % 10000);
        seen.append(serverFrom(description, daysBack(description.value(u"daysAgo"_s).toInt())));
    }
    scanWith(seen);
    scanWith(m_servers);
}

void ListRig::failStartsWith(int status)
{
    m_failStatus = status;
}

void ListRig::capture(const QString& projectPath, const QString& output)
{
    awaitTask(m_rig->store->recordLogSession(m_rig->sessionWithLog(projectPath, output.toUtf8() + '\n')));
    Q_EMIT recorded();
}

void ListRig::releaseLaunches()
{
    m_rig->actions->releaseLaunches();
}

std::optional<LocalServer> ListRig::listed(const QString& key) const
{
    for (const LocalServer& server : m_rig->store->servers()) {
        if (server.id() == key)
            return server;
    }
    return std::nullopt;
}

void ListRig::pause(const QString& key)
{
    if (const auto server = listed(key))
        m_rig->store->pauseServer(*server);
}

void ListRig::restart(const QString& key)
{
    if (const auto server = listed(key))
        m_rig->store->restartServer(*server);
}

void ListRig::start(const QString& projectPath)
{
    for (const RememberedProject& project : m_rig->store->savedProjects()) {
        if (project.projectPath == projectPath) {
            m_rig->store->startRememberedProject(project);
            return;
        }
    }
}

void ListRig::scanWith(const QList<LocalServer>& servers)
{
    answerOpenScans(servers);
    const bool hold = m_rig->detector->hold;
    m_rig->detector->hold = false;
    m_rig->detector->servers = servers;
    m_rig->refresh();
    m_rig->detector->hold = hold;
    Q_EMIT recorded();
}

void ListRig::answerOpenScans(const QList<LocalServer>& servers)
{
    m_rig->detector->finishWaiting(servers);
}
