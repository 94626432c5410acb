#include "chromerig.h"

#include "support/awaittask.h"

using namespace Qt::StringLiterals;

namespace {

LocalServer numberedServer(int i, const QDateTime& seen)
{
    static const RuntimeKind kinds[] = {RuntimeKind::Node, RuntimeKind::Vite, RuntimeKind::Next, RuntimeKind::Bun};
    static const QString folders[] = {u"shop"_s, u"blog"_s, u"docs"_s, u"admin"_s, u"api"_s, u"site"_s};
    const QString folder = folders[i % 6] + (i >= 6 ? QString::number(i) : QString());
    return StoreValues::server(4100 + i, 3000 + i, u"/home/dev/code/"_s + folder, u"npm run dev"_s, kinds[i % 4], seen);
}

} // namespace

ChromeRig::ChromeRig(QObject* parent)
    : QObject(parent)
    , m_rig(std::make_unique<StoreRig>(m_logs.path()))
{
    m_rig->clock.set(QDateTime::currentDateTimeUtc());
    m_rig->makeStore();
    m_context = std::make_unique<WindowContext>(m_rig->analytics, *m_rig->workspace, m_clipboard);
    connect(m_context.get(), &WindowContext::dismissRequested, this, [this] {
        ++m_dismissCount;
        Q_EMIT recorded();
    });
    connect(m_context.get(), &WindowContext::quitRequested, this, [this] {
        ++m_quitCount;
        Q_EMIT recorded();
    });
}

ChromeRig::~ChromeRig()
{
    // A scan left open would outlive the store it reports to.
    answerOpenScans();
}

QStringList ChromeRig::eventNames() const
{
    return m_rig->analytics.eventNames();
}

void ChromeRig::setHoldScans(bool hold)
{
    if (m_rig->detector->hold == hold)
        return;
    m_rig->detector->hold = hold;
    Q_EMIT recorded();
}

void ChromeRig::showServers(int count)
{
    m_servers.clear();
    for (int i = 0; i < count; ++i)
        m_servers.append(numberedServer(i, m_rig->clock.now()));
    scanWith(m_servers);
}

void ChromeRig::showSavedProjects(int count)
{
    QList<LocalServer> running = m_servers;
    for (int i = 0; i < count; ++i)
        running.append(numberedServer(int(m_servers.size()) + i, m_rig->clock.now()));
    scanWith(running);
    scanWith(m_servers);
}

void ChromeRig::startScan()
{
    setHoldScans(true);
    auto scan = m_rig->store->refresh();
    Q_UNUSED(scan)
}

void ChromeRig::finishScan()
{
    setHoldScans(false);
    m_rig->detector->finish(m_rig->detector->scanCount(), m_servers);
}

void ChromeRig::failScan(const QString& message)
{
    m_rig->detector->hold = false;
    m_rig->detector->error = std::make_exception_ptr(std::runtime_error(message.toStdString()));
    m_rig->refresh();
    m_rig->detector->error = nullptr;
    Q_EMIT recorded();
}

QVariant ChromeRig::logSelection(const QString& title) const
{
    const ServerLogSession session{QUuid::createUuid(), u"/home/dev/code/"_s + title,
                                   QUrl::fromLocalFile(m_logs.filePath(title + u".log"_s)), m_rig->clock.now()};
    return QVariant::fromValue(LogSelection{session, title, std::nullopt});
}

void ChromeRig::scanWith(const QList<LocalServer>& servers)
{
    m_rig->detector->hold = false;
    m_rig->detector->servers = servers;
    m_rig->refresh();
}

void ChromeRig::answerOpenScans()
{
    m_rig->detector->finishWaiting({});
}

void ChromeSettingsFake::setLaunchAtLoginEnabled(bool enabled)
{
    launchAtLoginEnabled = enabled;
    Q_EMIT changed();
}

void ChromeSettingsFake::updateGroupAgentBrowserSessions(bool group)
{
    groupAgentBrowserSessions = group;
    Q_EMIT changed();
}
