#include "control/serverlogservice.h"
#include "control/serverstore.h"
#include "platform/launching/processsignals.h"
#include "platform/storage/userdefaults.h"
#include "support/awaittask.h"
#include "support/childguard.h"
#include "support/ownnetwork.h"
#include "support/processfiles.h"
#include "support/recordinganalyticsclient.h"
#include "support/recordingtelemetryclient.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using namespace ProcessFiles;

namespace {

constexpr int settleTimeout = 30000;
constexpr auto actionTimeout = 90s;
// The arguments a process runs with, each whole.
QStringList argumentsOf(qint32 pid)
{
    QStringList arguments = QString::fromUtf8(readFile(u"/proc/%1/cmdline"_s.arg(pid))).split(u'\0');
    arguments.removeLast();
    return arguments;
}

const QByteArray devServerScript = R"(const http = require('http');
const server = http.createServer((request, response) => response.end('ok\n'));
server.listen(0, '127.0.0.1', () => {
    console.log(`devserver pid=${process.pid} port=${server.address().port}`);
});
)";

} // namespace

class TestStoreEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void detectsAndRemembersARealServer();
    void controlsAProjectItStarted();
    void failingDevScriptShowsItsOutput();
    void restartRunsExactlyWhatRan();

private:
    // A project folder with a dev script and the small server it runs; its canonical path.
    QString makeProject(const QString& name, const QByteArray& devScript, const QByteArray& code);
    std::unique_ptr<ServerStore> makeStore();
    static std::optional<LocalServer> serverIn(const ServerStore& store, const QString& folder);
    void trackServer(const LocalServer& server);

    QTemporaryDir m_projects;
    RecordingAnalyticsClient m_analytics;
    RecordingTelemetryClient* m_telemetry = nullptr;
    QString m_defaultsFile;
};

void TestStoreEndToEnd::initTestCase()
{
    QVERIFY(m_projects.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(u"node"_s).isEmpty(), "node is needed");
    // The login shell reads the temporary home's start-up files; npm must not look for updates.
    QVERIFY(writeFile(QDir::homePath() + u"/.zshrc"_s, {}));
    qputenv("npm_config_update_notifier", "false");
    qputenv("NO_UPDATE_NOTIFIER", "1");
    ChildGuard::installTerminateHandler();
    // Other tests' servers stay out of what the store lists.
    if (!enterOwnNetwork())
        qInfo("no network of its own: other programs' servers show in the store");
    m_telemetry = RecordingTelemetryClient::installShared();
    m_defaultsFile = QDir::homePath() + u"/defaults/porthive.json"_s;
}

void TestStoreEndToEnd::cleanup()
{
    for (const qint32 pid : ChildGuard::killAll())
        QTRY_VERIFY_WITH_TIMEOUT(isGone(pid), settleTimeout);
}

QString TestStoreEndToEnd::makeProject(const QString& name, const QByteArray& devScript, const QByteArray& code)
{
    const QString folder = m_projects.filePath(name);
    if (!QDir().mkpath(folder))
        return {};
    const QByteArray manifest =
        R"({"name":")" + name.toUtf8() + R"(","version":"1.0.0","scripts":{"dev":")" + devScript + R"("}})";
    if (!writeFile(folder + u"/package.json"_s, manifest) || !writeFile(folder + u"/server.js"_s, code))
        return {};
    return QDir(folder).canonicalPath();
}

std::unique_ptr<ServerStore> TestStoreEndToEnd::makeStore()
{
    ServerStore::Services services = ServerStore::productionServices(m_analytics);
    services.defaults = std::make_shared<SettingsUserDefaults>(m_defaultsFile);
    return std::make_unique<ServerStore>(std::move(services));
}

std::optional<LocalServer> TestStoreEndToEnd::serverIn(const ServerStore& store, const QString& folder)
{
    for (const LocalServer& server : store.servers()) {
        if (server.projectPath == folder)
            return server;
    }
    return std::nullopt;
}

void TestStoreEndToEnd::trackServer(const LocalServer& server)
{
    for (const qint32 pid : server.managedProcessIDs)
        ChildGuard::track(pid);
    ChildGuard::track(server.pid);
}

void TestStoreEndToEnd::detectsAndRemembersARealServer()
{
    const QString folder = makeProject(u"seen"_s, "node server.js", devServerScript);
    QVERIFY(!folder.isEmpty());

    QProcess node;
    node.setWorkingDirectory(folder);
    node.setProcessChannelMode(QProcess::MergedChannels);
    node.start(QStandardPaths::findExecutable(u"node"_s), {u"server.js"_s});
    QVERIFY(node.waitForStarted());
    ChildGuard::track(qint32(node.processId()));
    QTRY_VERIFY_WITH_TIMEOUT(node.canReadLine(), settleTimeout);
    const QRegularExpressionMatch line = QRegularExpression(u"port=(\\d+)"_s).match(QString::fromUtf8(node.readLine()));
    QVERIFY(line.hasMatch());
    const qint64 port = line.captured(1).toLongLong();

    auto store = makeStore();
    awaitTask(store->refresh(), actionTimeout);
    QCOMPARE(store->refreshState(), RefreshState::idle());
    const std::optional<LocalServer> found = serverIn(*store, folder);
    QVERIFY2(found, qPrintable(u"no server in "_s + folder));
    QCOMPARE(found->pid, qint32(node.processId()));
    QCOMPARE(found->port, port);
    QCOMPARE(found->httpStatus, std::optional<qint64>(200));
    QVERIFY(!store->savedProjects().contains(*RememberedProject::fromServer(*found)));

    const auto remembered = std::find_if(store->rememberedProjects().cbegin(), store->rememberedProjects().cend(),
                                         [&folder](const RememberedProject& p) { return p.projectPath == folder; });
    QVERIFY(remembered != store->rememberedProjects().cend());
    QVERIFY2(remembered->launchCommand.endsWith(u"node server.js"_s), qPrintable(remembered->launchCommand));
    const RememberedProject expected = *remembered;

    // Written to the file, as data, and read back by a store on the same defaults.
    QTRY_VERIFY_WITH_TIMEOUT(readFile(m_defaultsFile).contains("rememberedProjects.v1"), settleTimeout);
    store.reset();
    SettingsUserDefaults reread(m_defaultsFile);
    QCOMPARE(reread.value(ServerStore::rememberedProjectsKey).typeId(), QMetaType::QByteArray);
    auto next = makeStore();
    QVERIFY(next->rememberedProjects().contains(expected));

    // Once the server is gone, the project stays remembered and is listed as saved.
    node.kill();
    QVERIFY(node.waitForFinished());
    awaitTask(next->refresh(), actionTimeout);
    QVERIFY(!serverIn(*next, folder));
    QVERIFY(next->savedProjects().contains(expected));
}

void TestStoreEndToEnd::controlsAProjectItStarted()
{
    const QString folder = makeProject(u"web"_s, "node server.js", devServerScript);
    QVERIFY(!folder.isEmpty());
    const RememberedProject project{folder, u"node server.js"_s, u"node server.js"_s, RuntimeKind::Node,
                                    QDateTime::currentDateTimeUtc().addDays(-1)};
    {
        SettingsUserDefaults defaults(m_defaultsFile);
        defaults.setValue(ServerStore::rememberedProjectsKey, ServerStore::encodeRememberedProjects({project}));
    }
    auto store = makeStore();
    QVERIFY(store->rememberedProjects().contains(project));

    // Start: the server comes up in the list with its log preview.
    awaitTask(store->startRememberedProject(project), actionTimeout);
    QVERIFY(store->projectErrors().isEmpty());
    QVERIFY(store->pendingProjectActions().isEmpty());
    std::optional<LocalServer> running = serverIn(*store, folder);
    QVERIFY2(running, "the started project is not listed");
    trackServer(*running);
    QCOMPARE(store->logPreviewsByProjectPath().value(folder),
             u"devserver pid=%1 port=%2"_s.arg(running->pid).arg(running->port));
    const ServerLogSession firstSession = store->logSessionsByProjectPath().value(folder);
    QVERIFY(QFile::exists(firstSession.fileURL.toLocalFile()));

    // Pause: the row shows it at once, the process stops, the next scan agrees.
    store->pauseServer(*running);
    QVERIFY(serverIn(*store, folder) && serverIn(*store, folder)->isPaused);
    QTRY_COMPARE_WITH_TIMEOUT(processState(running->pid), 'T', settleTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(store->pendingServerActions().isEmpty() && store->refreshState() == RefreshState::idle(),
                             settleTimeout);
    QVERIFY(serverIn(*store, folder) && serverIn(*store, folder)->isPaused);

    // Resume: it runs again.
    store->resumeServer(*serverIn(*store, folder));
    QTRY_VERIFY_WITH_TIMEOUT(processState(running->pid) != 'T', settleTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(store->pendingServerActions().isEmpty() && serverIn(*store, folder) &&
                                 !serverIn(*store, folder)->isPaused,
                             settleTimeout);

    // Starting what already runs launches nothing.
    const qsizetype logFiles = QDir(ServerLogService::defaultRootDirectory()).entryList(QDir::Files).size();
    awaitTask(store->startRememberedProject(project), actionTimeout);
    QVERIFY(serverIn(*store, folder));
    QCOMPARE(serverIn(*store, folder)->pid, running->pid);
    QCOMPARE(store->logSessionsByProjectPath().value(folder), firstSession);
    QCOMPARE(QDir(ServerLogService::defaultRootDirectory()).entryList(QDir::Files).size(), logFiles);
    QVERIFY(store->projectErrors().isEmpty());

    // Restart, twice: a new process each time, with its own log.
    for (int round = 1; round <= 2; ++round) {
        QVERIFY(serverIn(*store, folder));
        const LocalServer before = *serverIn(*store, folder);
        awaitTask(store->restartServer(before), actionTimeout);
        QCOMPARE(store->refreshState(), RefreshState::idle());
        QTRY_VERIFY_WITH_TIMEOUT(isGone(before.pid), settleTimeout);
        const std::optional<LocalServer> after = serverIn(*store, folder);
        QVERIFY2(after, qPrintable(u"not listed after restart %1"_s.arg(round)));
        trackServer(*after);
        QVERIFY(after->pid != before.pid);
        QVERIFY(store->pendingServerActions().isEmpty());
        QCOMPARE(store->logPreviewsByProjectPath().value(folder),
                 u"devserver pid=%1 port=%2"_s.arg(after->pid).arg(after->port));
    }

    // Force kill: the process goes and the list follows.
    QVERIFY(serverIn(*store, folder));
    const LocalServer last = *serverIn(*store, folder);
    store->forceTerminateServer(last);
    QTRY_VERIFY_WITH_TIMEOUT(isGone(last.pid), settleTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(!serverIn(*store, folder) && store->pendingServerActions().isEmpty(), settleTimeout);
    const auto remembered = std::find_if(store->rememberedProjects().cbegin(), store->rememberedProjects().cend(),
                                         [&folder](const RememberedProject& p) { return p.projectPath == folder; });
    QVERIFY(remembered != store->rememberedProjects().cend());
    QVERIFY(store->savedProjects().contains(*remembered));
}

void TestStoreEndToEnd::failingDevScriptShowsItsOutput()
{
    const QString folder = makeProject(u"broken"_s, "node server.js",
                                       "console.log('loading config');\n"
                                       "console.error('fatal: config missing');\n"
                                       "process.exit(1);\n");
    QVERIFY(!folder.isEmpty());
    const RememberedProject project{folder, u"npm run dev"_s, u"npm run dev"_s, RuntimeKind::Node,
                                    QDateTime::currentDateTimeUtc()};
    auto store = makeStore();

    awaitTask(store->startRememberedProject(project), actionTimeout);
    QCOMPARE(store->projectErrors().value(folder), u"Launch failed (1) \u2014 open logs for details"_s);
    QCOMPARE(store->logPreviewsByProjectPath().value(folder), u"fatal: config missing"_s);
    QVERIFY(store->pendingProjectActions().isEmpty());
    QVERIFY(!serverIn(*store, folder));
    const QByteArray log = readFile(store->logSessionsByProjectPath().value(folder).fileURL.toLocalFile());
    QVERIFY(log.contains("loading config"));
}

void TestStoreEndToEnd::restartRunsExactlyWhatRan()
{
    const QString folder = makeProject(u"arguments"_s, "node server.js", devServerScript);
    QVERIFY(!folder.isEmpty());
    const QString marker = m_projects.filePath(u"marker"_s);
    const QStringList arguments{QStandardPaths::findExecutable(u"node"_s), u"server.js"_s,
                                u"$(touch "_s + marker + u')', u"--name=My App"_s};

    QProcess node;
    node.setWorkingDirectory(folder);
    node.setProcessChannelMode(QProcess::MergedChannels);
    node.start(arguments.first(), arguments.mid(1));
    QVERIFY(node.waitForStarted());
    ChildGuard::track(qint32(node.processId()));
    QTRY_VERIFY_WITH_TIMEOUT(node.canReadLine(), settleTimeout);

    auto store = makeStore();
    awaitTask(store->refresh(), actionTimeout);
    const std::optional<LocalServer> before = serverIn(*store, folder);
    QVERIFY2(before, qPrintable(u"no server in "_s + folder));
    awaitTask(store->restartServer(*before), actionTimeout);
    QCOMPARE(store->refreshState(), RefreshState::idle());
    QTRY_VERIFY_WITH_TIMEOUT(node.state() == QProcess::NotRunning, settleTimeout);
    const std::optional<LocalServer> after = serverIn(*store, folder);
    QVERIFY2(after, "not listed after the restart");
    trackServer(*after);

    // The new server runs exactly the arguments the old one ran, and nothing in them ran as shell code.
    QVERIFY(after->pid != before->pid);
    QCOMPARE(argumentsOf(after->pid), arguments);
    QVERIFY(!QFile::exists(marker));
}

PORTHIVE_TEST_MAIN(TestStoreEndToEnd)
#include "tst_storeendtoend.moc"
