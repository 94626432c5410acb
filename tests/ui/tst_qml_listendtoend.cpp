#include "control/processactionservice.h"
#include "control/serverstore.h"
#include "platform/desktop/clipboard.h"
#include "platform/storage/userdefaults.h"
#include "support/childguard.h"
#include "support/nodeserver.h"
#include "support/ownnetwork.h"
#include "support/quicktestsetup.h"
#include "support/recordinganalyticsclient.h"
#include "support/recordingtelemetryclient.h"
#include "support/recordingworkspace.h"
#include "windowcontext.h"

#include <QDir>
#include <QFile>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQuickTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class NullClipboard final : public Clipboard
{
public:
    void setPlainText(const QString&) override {}
};

} // namespace

// The real store with the real detector, a project folder whose dev script is a small node server, and the
// server itself, started by the test. Every process the test or the store starts for the project is killed by
// its own pid when the rig goes. Addresses and folders are recorded, not opened.
class EndToEndRig : public QObject
{
    Q_OBJECT
    Q_PROPERTY(ServerStore* store READ store CONSTANT)
    Q_PROPERTY(WindowContext* context READ context CONSTANT)
    Q_PROPERTY(QString folder READ folder CONSTANT)
    Q_PROPERTY(QString folderName READ folderName CONSTANT)

public:
    EndToEndRig()
        : m_telemetry(RecordingTelemetryClient::installShared())
    {
        // The login shell reads the temporary home's start-up files; npm must not look for updates.
        writeFile(QDir::homePath() + u"/.zshrc"_s, {});
        qputenv("npm_config_update_notifier", "false");
        qputenv("NO_UPDATE_NOTIFIER", "1");
        m_folder = m_projects.filePath(u"webshop"_s);
        QDir().mkpath(m_folder);
        m_folder = QDir(m_folder).canonicalPath();
        writeFile(m_folder + u"/package.json"_s,
                  R"({"name":"webshop","version":"1.0.0","scripts":{"dev":"node server.js"}})");
        writeFile(m_folder + u"/server.js"_s, NodeServer::serverScript().toUtf8() + '\n');

        ServerStore::Services services = ServerStore::productionServices(m_analytics);
        services.defaults = std::make_shared<SettingsUserDefaults>(QDir::homePath() + u"/defaults/porthive.json"_s);
        services.workspace = m_workspace;
        // The list waits for the store's own refreshes after each action; the start-up watch decides nothing here,
        // so it is short.
        services.actions = std::make_shared<ProcessActionService>(services.logService, m_workspace, 200ms);
        m_store = std::make_unique<ServerStore>(std::move(services));
        m_context = std::make_unique<WindowContext>(m_analytics, *m_workspace, m_clipboard);
    }

    ~EndToEndRig() override
    {
        m_store.reset();
        m_node.reset();
        ChildGuard::killAll();
    }

    ServerStore* store() const { return m_store.get(); }
    WindowContext* context() const { return m_context.get(); }
    QString folder() const { return m_folder; }
    QString folderName() const { return QDir(m_folder).dirName(); }

    // Starts `node server.js` in the project folder; its pid:port key, or "" with the reason in a warning.
    Q_INVOKABLE QString startServer()
    {
        NodeServer::Options options;
        options.workingDirectory = m_folder;
        options.scriptFile = u"server.js"_s;
        m_node = std::make_unique<NodeServer>(options);
        if (!m_node->start()) {
            qWarning("%s", qPrintable(m_node->errorText()));
            return {};
        }
        ChildGuard::track(qint32(m_node->pid()));
        return QString::number(m_node->pid()) + u':' + QString::number(m_node->port());
    }

    Q_INVOKABLE void refresh() { m_store->refresh(); }

    // The key (pid:port) of the listed server of the project folder, "" while none is listed. Every process
    // of a listed server is tracked, so that it is killed however the test ends.
    Q_INVOKABLE QString listedKey()
    {
        for (const LocalServer& server : m_store->servers()) {
            if (server.projectPath == m_folder) {
                for (const qint32 pid : server.managedProcessIDs)
                    ChildGuard::track(pid);
                ChildGuard::track(server.pid);
                return server.id();
            }
        }
        return {};
    }

    // What the store holds about the project's server, for a failure message.
    Q_INVOKABLE QString describe() const
    {
        QStringList parts{
            u"refresh state %1 \"%2\""_s.arg(int(m_store->refreshState().kind)).arg(m_store->refreshState().message)};
        for (const LocalServer& server : m_store->servers()) {
            if (server.projectPath != m_folder)
                continue;
            QStringList pids;
            for (const qint32 pid : server.managedProcessIDs)
                pids.append(QString::number(pid) + u'=' + processState(pid));
            parts.append(
                u"server %1 paused %2 processes %3"_s.arg(server.id()).arg(server.isPaused).arg(pids.join(u' ')));
        }
        for (auto mark = m_store->pendingServerActions().cbegin(); mark != m_store->pendingServerActions().cend();
             ++mark)
            parts.append(u"mark %1 %2"_s.arg(mark.key()).arg(int(mark.value())));
        return parts.join(u"; "_s);
    }

    // The state letter of /proc/<pid>/stat ("T" while stopped); "" once the process is gone or a zombie.
    Q_INVOKABLE QString processState(int pid) const
    {
        QFile file(u"/proc/%1/stat"_s.arg(pid));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray stat = file.readAll();
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0 || close + 2 >= stat.size() || stat.at(close + 2) == 'Z')
            return {};
        return QString(QLatin1Char(stat.at(close + 2)));
    }

private:
    RecordingAnalyticsClient m_analytics;
    RecordingTelemetryClient* m_telemetry;
    std::shared_ptr<RecordingWorkspace> m_workspace = std::make_shared<RecordingWorkspace>();
    NullClipboard m_clipboard;
    QTemporaryDir m_projects;
    QString m_folder;
    std::unique_ptr<ServerStore> m_store;
    std::unique_ptr<WindowContext> m_context;
    std::unique_ptr<NodeServer> m_node;
};

class ListEndToEndSetup : public PorthiveQuickTestSetup
{
    Q_OBJECT

public:
    // Made before any thread: the servers of tests running beside this one must not move its rows under a click.
    ListEndToEndSetup()
    {
        if (!enterOwnNetwork())
            qInfo("no network of its own: other programs' servers show in the list");
    }

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine* engine) override
    {
        PorthiveQuickTestSetup::qmlEngineAvailable(engine);
        ChildGuard::installTerminateHandler();
        qmlRegisterType<EndToEndRig>("PorthiveTest", 1, 0, "EndToEndRig");
    }
};

QUICK_TEST_MAIN_WITH_SETUP(listendtoend, ListEndToEndSetup)

#include "tst_qml_listendtoend.moc"
