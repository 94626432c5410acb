#include "base/oneshotsignal.h"
#include "discovery/keptacrossscans.h"
#include "discovery/launchchain.h"
#include "discovery/localserverdetector.h"
#include "platform/listings/detectionplatform.h"
#include "platform/listings/processidentity.h"
#include "support/awaittask.h"
#include "support/discoveryprinting.h"
#include "support/fakeloginenvironment.h"
#include "support/fakesnapshotservices.h"
#include "support/manualclock.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

using ProcessRows = QList<ProcessRow>;
using ConnectionRows = QList<ConnectionRow>;
using ListenerRows = QList<ListenerRow>;
using ProcessIDs = QList<qint32>;
using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalText)

namespace {

ProcessRow proc(qint32 pid, qint32 parentPid, const QString& executable, const QString& commandLine,
                const QString& state = u"S"_s)
{
    return ProcessRow{pid, parentPid, state, executable, commandLine};
}

// As a listing from /proc reads it.
ProcessRow withArguments(ProcessRow row, const QStringList& arguments)
{
    row.startTime = 1;
    row.arguments = arguments;
    return row;
}

ConnectionRow socket(qint32 pid, const QString& command, const QString& endpoint, OptionalText state)
{
    return ConnectionRow{pid, command, endpoint, std::move(state)};
}

ProcessIndex indexOf(const ProcessRows& rows)
{
    ProcessIndex index;
    for (const ProcessRow& row : rows)
        index.insert(row.pid, row);
    return index;
}

// The first row is the process; its ancestors come from the whole table.
QList<ProcessRow> ancestorsOf(const ProcessRows& table)
{
    return LocalServerDetector::ancestors(table.first(), indexOf(table));
}

bool onLinux()
{
    return QSysInfo::kernelType() == u"linux"_s;
}

const ProcessRow nodeServer = proc(300, 200, u"/usr/local/bin/node"_s, u"node server.js"_s);
const ProcessRow shell = proc(200, 100, u"/bin/zsh"_s, u"-zsh"_s);

LocalServer server(qint32 pid, qint64 port, std::optional<qint64> status = std::nullopt)
{
    LocalServer s;
    s.pid = pid;
    s.port = port;
    s.managedProcessIDs = {pid};
    s.httpStatus = status;
    return s;
}

LocalServer projectServer(qint32 pid, qint64 port, const QString& project, const QString& command,
                          const ProcessIDs& ids)
{
    LocalServer s = server(pid, port);
    s.projectPath = project;
    s.rawCommandLine = command;
    s.managedProcessIDs = ids;
    return s;
}

QStringList serverKeys(const QList<LocalServer>& servers)
{
    QStringList keys;
    for (const LocalServer& s : servers)
        keys.append(s.id());
    return keys;
}

// A socket listing that ends only when the test lets it, and tells when it has.
class GatedConnectionService : public FakeConnectionSnapshotService
{
public:
    OneShotSignal gate;
    bool ended = false;

    QCoro::Task<QList<ConnectionRow>> connections() override
    {
        ++calls;
        return waitThenAnswer(this);
    }

private:
    static QCoro::Task<QList<ConnectionRow>> waitThenAnswer(GatedConnectionService* self)
    {
        QCoro::Task<> opened = untilFired(&self->gate);
        co_await opened;
        self->ended = true;
        co_return self->rows;
    }
};

// Every probe waits until the test answers it, so a test sees how many are in flight at once and decides the
// order in which they complete.
class GatedProbeService : public ServerProbeService
{
public:
    struct Call
    {
        QUrl url;
        OneShotSignal gate;
        ProbeResult result;
    };

    GatedProbeService()
        : ServerProbeService(standardTimeout, standardByteLimit)
    {}

    mutable QList<std::shared_ptr<Call>> calls;

    QCoro::Task<ProbeResult> probe(const QUrl& url) const override
    {
        auto call = std::make_shared<Call>();
        call->url = url;
        calls.append(call);
        return waitForAnswer(call);
    }

    void answer(qsizetype index, const ProbeResult& result) const
    {
        calls.at(index)->result = result;
        calls.at(index)->gate.fire();
    }

    int pending() const
    {
        return int(
            std::count_if(calls.cbegin(), calls.cend(), [](const auto& call) { return !call->gate.hasFired(); }));
    }

private:
    static QCoro::Task<ProbeResult> waitForAnswer(std::shared_ptr<Call> call)
    {
        QCoro::Task<> answered = untilFired(&call->gate);
        co_await answered;
        co_return call->result;
    }
};

template<typename Error>
std::optional<Error> thrownBy(QCoro::Task<QList<LocalServer>> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const Error& error) {
        return error;
    } catch (...) {
    }
    return std::nullopt;
}

} // namespace

class TestLocalServerDetector : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void ancestors_data();
    void ancestors();
    void localBindAddress_data();
    void localBindAddress();
    void wordTests_data();
    void wordTests();
    void linuxExclusions_data();
    void linuxExclusions();
    void devToolInChain_data();
    void devToolInChain();
    void classifyRuntime_data();
    void classifyRuntime();
    void launchProcess_data();
    void launchProcess();
    void resolveCommandLine_data();
    void resolveCommandLine();
    void managedProcessIDs_data();
    void managedProcessIDs();
    void activeConnections_data();
    void activeConnections();
    void oneConnectionIndexForEveryServer();
    void parentProcessSummary_data();
    void parentProcessSummary();
    void candidates_data();
    void candidates();
    void makeServer();
    void makeServerWithoutCommand();
    void makeAgentBrowserServer();
    void detailsOfListedProcessesAreTheirOwn();
    void scriptRunsAgainFromWhereItStarted_data();
    void scriptRunsAgainFromWhereItStarted();
    void givenVariablesAreWhatTheUsersEnvironmentLacks();
    void pausedState_data();
    void pausedState();
    void sort_data();
    void sort();
    void merge_data();
    void merge();

    void scanJoinsListingsProbesAndMerges();
    void scanOfSameProcessAtTwoAddresses();
    void laterScansFollowChangedChains();
    void workIsKeptOnlyForKeysAskedAgain();
    void failedProcessListingWaitsForSocketListing();
    void failedSocketListingFailsTheScan();
    void failedFolderLookupGivesServersWithoutFolders();
    void foldersReadWithTheRowsAreNotLookedUp();
    void probesRunConcurrentlyAndLastAnswerStands();
    void detectorGoneMidScan();

private:
    QString project(const QString& name) const;

    QTemporaryDir m_projects;
};

void TestLocalServerDetector::initTestCase()
{
    QVERIFY(m_projects.isValid());
    const auto write = [this](const QString& folder, const QString& file, const QByteArray& content) {
        QVERIFY(QDir(m_projects.path()).mkpath(folder));
        QFile out(m_projects.filePath(folder + u'/' + file));
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(content), content.size());
    };
    write(u"npm-dev"_s, u"package.json"_s, R"({"scripts": {"dev": "vite"}})");
    write(u"pnpm-dev"_s, u"package.json"_s, R"({"scripts": {"dev": "vite"}})");
    write(u"pnpm-dev"_s, u"pnpm-lock.yaml"_s, "lockfileVersion: '9.0'\n");
    write(u"no-dev"_s, u"package.json"_s, R"({"scripts": {"start": "node ."}})");
    QVERIFY(QDir(m_projects.path()).mkpath(u"empty"_s));
}

QString TestLocalServerDetector::project(const QString& name) const
{
    return m_projects.filePath(name);
}

void TestLocalServerDetector::ancestors_data()
{
    QTest::addColumn<ProcessRows>("table");
    QTest::addColumn<ProcessIDs>("expected");

    QTest::newRow("no parent in the table") << ProcessRows{proc(10, 9, u"node"_s, u"node a.js"_s)} << ProcessIDs{};
    QTest::newRow("nearest first, ends at a missing parent")
        << ProcessRows{proc(10, 9, u"node"_s, u"node a.js"_s), proc(9, 8, u"sh"_s, u"sh -c"_s),
                       proc(8, 7, u"npm"_s, u"npm run dev"_s)}
        << ProcessIDs{9, 8};
    QTest::newRow("stops after the fourth")
        << ProcessRows{proc(10, 9, u"a"_s, u"a"_s), proc(9, 8, u"b"_s, u"b"_s), proc(8, 7, u"c"_s, u"c"_s),
                       proc(7, 6, u"d"_s, u"d"_s),  proc(6, 5, u"e"_s, u"e"_s), proc(5, 1, u"f"_s, u"f"_s)}
        << ProcessIDs{9, 8, 7, 6};
    QTest::newRow("self-parented ends after four rows")
        << ProcessRows{proc(10, 5, u"node"_s, u"node"_s), proc(5, 5, u"loop"_s, u"loop"_s)} << ProcessIDs{5, 5, 5, 5};
    QTest::newRow("a cycle ends after four rows")
        << ProcessRows{proc(5, 6, u"a"_s, u"a"_s), proc(6, 5, u"b"_s, u"b"_s)} << ProcessIDs{6, 5, 6, 5};
}

void TestLocalServerDetector::ancestors()
{
    QFETCH(ProcessRows, table);
    QFETCH(ProcessIDs, expected);
    ProcessIDs ids;
    for (const ProcessRow& row : ancestorsOf(table))
        ids.append(row.pid);
    QCOMPARE(ids, expected);
}

void TestLocalServerDetector::localBindAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("expected");

    for (const QString& address :
         {u"*"_s, u"0.0.0.0"_s, u"::"_s, u"::1"_s, u"[::1]"_s, u"127.0.0.1"_s, u"localhost"_s, u"LOCALHOST"_s})
        QTest::newRow(qPrintable(address)) << address << true;
    for (const QString& address : {u"192.168.1.20"_s, u"fe80::1"_s, u"127.0.0.2"_s, u"[::]"_s, u""_s, u" 127.0.0.1"_s,
                                   u"::ffff:10.0.0.1"_s, u"localhost.example"_s})
        QTest::newRow(qPrintable(u"not "_s + address)) << address << false;
}

void TestLocalServerDetector::localBindAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, expected);
    QCOMPARE(LocalServerDetector::isLocalBindAddress(address), expected);
}

void TestLocalServerDetector::wordTests_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("dev");
    QTest::addColumn<bool>("agentBrowser");
    QTest::addColumn<bool>("appHelper");
    QTest::addColumn<bool>("debugBrowser");
    QTest::addColumn<bool>("packageManagerDev");

    QTest::newRow("node server") << u"/usr/local/bin/node"_s << u"node server.js"_s << true << false << false << false
                                 << false;
    QTest::newRow("npm run dev") << u"/usr/local/bin/npm"_s << u"npm run dev"_s << true << false << false << false
                                 << true;
    QTest::newRow("pnpm dev in capitals")
        << u"/opt/homebrew/bin/PNPM"_s << u"PNPM DEV"_s << true << false << false << false << true;
    QTest::newRow("bare npm without dev") << u"npm"_s << u"npm"_s << false << false << false << false << false;
    QTest::newRow("yarn start") << u"/usr/bin/yarn"_s << u"yarn start"_s << true << false << false << false << false;
    QTest::newRow("vite inside a longer word")
        << u"/usr/bin/python3"_s << u"python3 invitees.py"_s << true << false << false << false << false;
    QTest::newRow("python http server") << u"/usr/bin/python3"_s << u"python3 -m http.server 8000"_s << false << false
                                        << false << false << false;
    QTest::newRow("agent-browser binary")
        << u"/opt/tools/agent-browser/bin/agent-browser-linux-x64"_s << u"agent-browser-linux-x64 serve"_s << false
        << true << false << false << false;
    QTest::newRow("agent-browser script")
        << u"/usr/local/bin/node"_s << u"node /opt/agent-browser/bin/agent-browser.js"_s << true << true << false
        << false << false;
    QTest::newRow("ends with agent-browser") << u"/usr/local/bin/agent-browser"_s << u"/usr/local/bin/agent-browser"_s
                                             << false << true << false << false << false;
    QTest::newRow("agent-browser in the middle only")
        << u"/usr/local/bin/agent-browser"_s << u"/usr/local/bin/agent-browser --help"_s << false << false << false
        << false << false;
    QTest::newRow("browser node service helper")
        << u"/Applications/Google"_s
        << u"Chrome.app/Contents/Frameworks/Google Chrome Framework.framework/Helpers/Google Chrome Helper.app/"
           u"Contents/MacOS/Google Chrome Helper --type=utility --utility-sub-type=node.mojom.NodeService --lang=en"_s
        << true << false << true << false << false;
    QTest::newRow("electron helper") << u"/Applications/Code.app/Contents/Frameworks/Electron"_s
                                     << u"Helper.app/Contents/MacOS/Electron Helper --inspect-port=0"_s << false
                                     << false << true << false << false;
    QTest::newRow("bundle path without a helper flag")
        << u"/Applications/Tool.app/Contents/MacOS/node"_s << u"node server.js"_s << true << false << false << false
        << false;
    QTest::newRow("browser with a debugging port")
        << u"/Applications/Google"_s
        << u"Chrome.app/Contents/MacOS/Google Chrome --remote-debugging-port=9222 --user-data-dir=/tmp/p"_s << false
        << false << false << true << false;
    QTest::newRow("browser without a debugging port")
        << u"/Applications/Google"_s << u"Chrome.app/Contents/MacOS/Google Chrome"_s << false << false << false << false
        << false;
    QTest::newRow("chromium with a debugging port")
        << u"/Applications/Chromium.app/Contents/MacOS/Chromium"_s << u"Chromium --remote-debugging-port=0"_s << false
        << false << false << true << false;
    QTest::newRow("bun dev") << u"/Users/me/.bun/bin/bun"_s << u"bun dev"_s << true << false << false << false << true;
}

void TestLocalServerDetector::wordTests()
{
    QFETCH(QString, executable);
    QFETCH(QString, commandLine);
    const ProcessRow row = proc(42, 1, executable, commandLine);
    QTEST(LaunchChain::isDevCommand(row), "dev");
    QTEST(LaunchChain::isAgentBrowserProcess(row), "agentBrowser");
    QTEST(LaunchChain::isAppHelperProcess(row), "appHelper");
    QTEST(LaunchChain::isBrowserDebugPortProcess(row), "debugBrowser");
    QTEST(LaunchChain::isPackageManagerDevProcess(row), "packageManagerDev");
}

void TestLocalServerDetector::linuxExclusions_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("appHelper");
    QTest::addColumn<bool>("debugBrowser");

    QTest::newRow("editor node service")
        << u"/usr/share/code/code"_s
        << u"/usr/share/code/code --type=utility --utility-sub-type=node.mojom.NodeService --lang=en-US"_s << true
        << false;
    QTest::newRow("browser renderer") << u"/opt/google/chrome/chrome"_s
                                      << u"/opt/google/chrome/chrome --type=renderer --lang=en-US"_s << true << false;
    QTest::newRow("chrome with a debugging port")
        << u"/opt/google/chrome/chrome"_s << u"/opt/google/chrome/chrome --remote-debugging-port=9222"_s << false
        << true;
    QTest::newRow("chromium with a debugging port")
        << u"/usr/lib/chromium/chromium"_s << u"/usr/lib/chromium/chromium --remote-debugging-port=0"_s << false
        << true;
    QTest::newRow("headless shell")
        << u"/home/me/.cache/ms-playwright/chromium_headless_shell-1169/chrome-linux/headless_shell"_s
        << u"/home/me/.cache/puppeteer/chrome-headless-shell/linux-131/chrome-headless-shell "
           u"--remote-debugging-port=0"_s
        << false << true;
    QTest::newRow("edge with a debugging port")
        << u"/opt/microsoft/msedge/msedge"_s << u"/opt/microsoft/msedge/msedge --remote-debugging-port=9229"_s << false
        << true;
    QTest::newRow("chrome without a debugging port")
        << u"/opt/google/chrome/chrome"_s << u"/opt/google/chrome/chrome"_s << false << false;
    QTest::newRow("node with an inspector port")
        << u"/usr/bin/node"_s << u"node --inspect=9229 server.js"_s << false << false;
}

void TestLocalServerDetector::linuxExclusions()
{
    if (!onLinux())
        QSKIP("the Linux forms of browsers and helpers");
    QFETCH(QString, executable);
    QFETCH(QString, commandLine);
    const ProcessRow row = proc(42, 1, executable, commandLine);
    QTEST(LaunchChain::isAppHelperProcess(row), "appHelper");
    QTEST(LaunchChain::isBrowserDebugPortProcess(row), "debugBrowser");
}

void TestLocalServerDetector::devToolInChain_data()
{
    QTest::addColumn<ProcessRows>("table");
    QTest::addColumn<bool>("expected");

    const ProcessRow python = proc(10, 9, u"/usr/bin/python3"_s, u"python3 app.py"_s);
    QTest::newRow("nothing in the chain") << ProcessRows{python, proc(9, 1, u"/bin/zsh"_s, u"zsh"_s)} << false;
    QTest::newRow("the process itself") << ProcessRows{nodeServer} << true;
    QTest::newRow("the fourth ancestor") << ProcessRows{python, proc(9, 8, u"/bin/sh"_s, u"sh"_s),
                                                        proc(8, 7, u"/bin/sh"_s, u"sh"_s),
                                                        proc(7, 6, u"/bin/sh"_s, u"sh"_s),
                                                        proc(6, 5, u"/usr/bin/npx"_s, u"npx tsx watch"_s)}
                                         << true;
    QTest::newRow("the fifth ancestor is too far") << ProcessRows{python,
                                                                  proc(9, 8, u"/bin/sh"_s, u"sh"_s),
                                                                  proc(8, 7, u"/bin/sh"_s, u"sh"_s),
                                                                  proc(7, 6, u"/bin/sh"_s, u"sh"_s),
                                                                  proc(6, 5, u"/bin/sh"_s, u"sh"_s),
                                                                  proc(5, 1, u"/usr/bin/npx"_s, u"npx tsx watch"_s)}
                                                   << false;
}

void TestLocalServerDetector::devToolInChain()
{
    QFETCH(ProcessRows, table);
    QTEST(LaunchChain::hasDevToolInChain(table.first(), ancestorsOf(table)), "expected");
}

void TestLocalServerDetector::classifyRuntime_data()
{
    QTest::addColumn<ProcessRows>("table");
    QTest::addColumn<RuntimeKind>("expected");

    QTest::newRow("plain node") << ProcessRows{nodeServer} << RuntimeKind::Node;
    QTest::newRow("tsx is node") << ProcessRows{proc(1, 0, u"/usr/bin/node"_s, u"node /app/node_modules/.bin/tsx"_s)}
                                 << RuntimeKind::Node;
    QTest::newRow("no development word at all")
        << ProcessRows{proc(1, 0, u"/usr/bin/ruby"_s, u"ruby app.rb"_s)} << RuntimeKind::Node;
    QTest::newRow("next server title") << ProcessRows{proc(1, 0, u"/usr/bin/node"_s, u"next-server (v15.0.0)"_s)}
                                       << RuntimeKind::Next;
    QTest::newRow("vite") << ProcessRows{proc(1, 0, u"/usr/bin/node"_s, u"node /app/node_modules/.bin/vite"_s)}
                          << RuntimeKind::Vite;
    QTest::newRow("vite under a path holding next")
        << ProcessRows{proc(2, 1, u"/usr/bin/node"_s, u"node node_modules/.bin/vite"_s),
                       proc(1, 0, u"/Users/me/nextgen/bin/pnpm"_s, u"pnpm dev"_s)}
        << RuntimeKind::Next;
    QTest::newRow("next run by bun") << ProcessRows{proc(2, 1, u"/Users/me/.bun/bin/bun"_s, u"bun next dev"_s)}
                                     << RuntimeKind::Next;
    QTest::newRow("bun by path") << ProcessRows{proc(2, 1, u"/Users/me/.bun/bin/bun"_s, u"bun server.ts"_s)}
                                 << RuntimeKind::Bun;
    QTest::newRow("bun as a word of an ancestor")
        << ProcessRows{proc(2, 1, u"node"_s, u"node server.js"_s), proc(1, 0, u"sh"_s, u"sh -c bun run dev"_s)}
        << RuntimeKind::Bun;
    QTest::newRow("agent browser before next")
        << ProcessRows{proc(2, 1, u"/opt/agent-browser/bin/agent-browser-linux-x64"_s, u"agent-browser-linux-x64"_s),
                       proc(1, 0, u"node"_s, u"next dev"_s)}
        << RuntimeKind::AgentBrowser;
    QTest::newRow("agent browser only counts on the process")
        << ProcessRows{proc(2, 1, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(1, 0, u"/opt/agent-browser/bin/agent-browser-linux-x64"_s, u"agent-browser-linux-x64"_s)}
        << RuntimeKind::Node;
}

void TestLocalServerDetector::classifyRuntime()
{
    QFETCH(ProcessRows, table);
    QTEST(LaunchChain::classifyRuntime(table.first(), ancestorsOf(table)), "expected");
}

void TestLocalServerDetector::launchProcess_data()
{
    QTest::addColumn<ProcessRows>("table");
    QTest::addColumn<qint32>("expected"); // 0: none

    QTest::newRow("nearest package-manager ancestor")
        << ProcessRows{proc(30, 20, u"/usr/local/bin/node"_s, u"node server.js"_s),
                       proc(20, 10, u"/usr/local/bin/npm"_s, u"npm run dev"_s),
                       proc(10, 1, u"/usr/local/bin/pnpm"_s, u"pnpm dev"_s)}
        << 20;
    QTest::newRow("a package-manager ancestor before the process's own dev line")
        << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"node /app/node_modules/.bin/vite"_s),
                       proc(20, 10, u"/usr/local/bin/npm"_s, u"npm run dev"_s)}
        << 20;
    QTest::newRow("plain node server") << ProcessRows{nodeServer, shell} << 300;
    QTest::newRow("next server under next dev")
        << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"next-server (v15.0.0)"_s),
                       proc(20, 10, u"/usr/bin/node"_s, u"node /app/node_modules/.bin/next dev"_s)}
        << 20;
    QTest::newRow("the process first among replayable ones")
        << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"node /app/node_modules/.bin/vite"_s),
                       proc(20, 10, u"/usr/bin/node"_s, u"node /app/node_modules/.bin/tsx watch"_s)}
        << 30;
    QTest::newRow("an esbuild service under vite")
        << ProcessRows{proc(30, 20, u"/app/node_modules/@esbuild/linux-x64/bin/esbuild"_s, u"esbuild --service"_s),
                       proc(20, 10, u"/usr/bin/node"_s, u"node /app/node_modules/.bin/vite"_s)}
        << 20;
    QTest::newRow("parenthesised name") << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"(node)"_s), shell} << 0;
    QTest::newRow("first word run") << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"run dev"_s), shell} << 0;
    QTest::newRow("not a development tool")
        << ProcessRows{proc(30, 20, u"/usr/bin/python3"_s, u"python3 -m http.server"_s), shell} << 0;
    QTest::newRow("bun by executable name")
        << ProcessRows{proc(30, 20, u"/Users/me/.bun/bin/BUN"_s, u"bun server.ts"_s), shell} << 30;

    // What started the command (a program that ran `bash -c`, which ran it in its own process) is no part of it,
    // whatever its words read like.
    QTest::newRow("under tmux, whose session reads like a dev line")
        << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(20, 1, u"/usr/bin/tmux"_s, u"tmux new -s dev"_s)}
        << 30;
    QTest::newRow("under a task runner whose words read like npm and dev")
        << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(20, 10, u"/opt/editor/editor"_s, u"/opt/editor/editor --folder=/home/me/dev-npmtools"_s),
                       proc(10, 1, u"/usr/bin/pnpm"_s, u"pnpm dev"_s)}
        << 30;
    QTest::newRow("the user's shell, whose words read like npm and dev")
        << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(20, 1, u"/usr/bin/bash"_s, u"bash --rcfile /home/me/dev/npm.rc"_s)}
        << 30;
    QTest::newRow("this program") << ProcessRows{proc(30, qint32(QCoreApplication::applicationPid()),
                                                      u"/usr/bin/node"_s, u"node server.js"_s),
                                                 proc(qint32(QCoreApplication::applicationPid()), 1,
                                                      u"/opt/dev/porthive"_s, u"/opt/dev/porthive npm dev"_s)}
                                  << 30;
    QTest::newRow("through a command string")
        << ProcessRows{proc(30, 25, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(25, 20, u"/usr/bin/dash"_s, u"sh -c node server.js; echo done"_s),
                       proc(20, 10, u"/usr/bin/make"_s, u"make dev"_s), proc(10, 1, u"/usr/bin/pnpm"_s, u"pnpm dev"_s)}
        << 30;
    // A start script is what the user ran.
    QTest::newRow("a start script") << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"node server.js --verbose"_s),
                                                   proc(20, 10, u"/usr/bin/bash"_s, u"/bin/bash ./dev.sh --verbose"_s),
                                                   proc(10, 1, u"/usr/bin/bash"_s, u"-bash"_s)}
                                    << 20;
    QTest::newRow("a start script on PATH, under tmux")
        << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(20, 10, u"/usr/bin/bash"_s, u"bash -e /home/me/bin/devserve"_s),
                       proc(10, 1, u"/usr/bin/tmux"_s, u"tmux"_s)}
        << 20;
    QTest::newRow("a start script around npm")
        << ProcessRows{proc(40, 35, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(35, 30, u"/usr/bin/dash"_s, u"sh -c node server.js"_s),
                       proc(30, 20, u"/usr/bin/node"_s, u"npm run dev"_s),
                       proc(20, 10, u"/usr/bin/bash"_s, u"/bin/bash ./dev.sh"_s),
                       proc(10, 1, u"/usr/bin/zsh"_s, u"-zsh"_s)}
        << 20;
    QTest::newRow("npm running a start script")
        << ProcessRows{proc(40, 30, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(30, 20, u"/usr/bin/bash"_s, u"bash ./scripts/dev.sh"_s),
                       proc(20, 10, u"/usr/bin/node"_s, u"npm run dev"_s), proc(10, 1, u"/usr/bin/zsh"_s, u"zsh -i"_s)}
        << 20;
}

void TestLocalServerDetector::launchProcess()
{
    QFETCH(ProcessRows, table);
    QFETCH(qint32, expected);
    const std::optional<ProcessRow> launch = LaunchChain::launchProcess(table.first(), ancestorsOf(table));
    QCOMPARE(launch ? launch->pid : 0, expected);
}

void TestLocalServerDetector::resolveCommandLine_data()
{
    QTest::addColumn<OptionalText>("launchCommand");
    QTest::addColumn<QString>("projectFolder"); // empty: no project folder
    QTest::addColumn<OptionalText>("expected");

    const OptionalText none;
    QTest::newRow("no folder: the listed line as it stands")
        << OptionalText(u"  npm run dev "_s) << QString() << OptionalText(u"  npm run dev "_s);
    QTest::newRow("no folder, not replayable") << OptionalText(u"(node)"_s) << QString() << OptionalText(u"(node)"_s);
    QTest::newRow("no folder, no launch") << none << QString() << none;
    QTest::newRow("replayable, trimmed") << OptionalText(u"  vite --port 5173 \n"_s) << u"npm-dev"_s
                                         << OptionalText(u"vite --port 5173"_s);
    QTest::newRow("dev variant becomes the project's command")
        << OptionalText(u"pnpm dev:web"_s) << u"pnpm-dev"_s << OptionalText(u"pnpm dev"_s);
    QTest::newRow("dev variant without a dev script stays")
        << OptionalText(u"pnpm dev:web"_s) << u"no-dev"_s << OptionalText(u"pnpm dev:web"_s);
    QTest::newRow("not replayable: the project's command")
        << OptionalText(u"next-server (v15.0.0)"_s) << u"npm-dev"_s << OptionalText(u"npm run dev"_s);
    QTest::newRow("not replayable without a project command: the listed line")
        << OptionalText(u" next-server (v15.0.0)"_s) << u"empty"_s << OptionalText(u" next-server (v15.0.0)"_s);
    QTest::newRow("no launch: the project's command") << none << u"pnpm-dev"_s << OptionalText(u"pnpm dev"_s);
    QTest::newRow("no launch, no project command") << none << u"no-dev"_s << none;
}

void TestLocalServerDetector::resolveCommandLine()
{
    QFETCH(OptionalText, launchCommand);
    QFETCH(QString, projectFolder);
    QFETCH(OptionalText, expected);
    std::optional<ProcessRow> launch;
    if (launchCommand)
        launch = proc(20, 10, u"/usr/bin/node"_s, *launchCommand);
    const OptionalText folder = projectFolder.isEmpty() ? OptionalText() : OptionalText(project(projectFolder));
    QCOMPARE(optionalText(LocalServerDetector::resolveCommandLine(launch, folder)), optionalText(expected));
}

void TestLocalServerDetector::managedProcessIDs_data()
{
    QTest::addColumn<ProcessRows>("table");
    QTest::addColumn<ProcessIDs>("expected");

    QTest::newRow("outermost package manager inward")
        << ProcessRows{proc(30, 20, u"/usr/local/bin/node"_s, u"node server.js"_s),
                       proc(20, 10, u"/usr/local/bin/npm"_s, u"npm run dev"_s),
                       proc(10, 5, u"/usr/local/bin/pnpm"_s, u"pnpm dev"_s), proc(5, 1, u"/bin/zsh"_s, u"-zsh"_s)}
        << ProcessIDs{10, 20, 30};
    QTest::newRow("through a shell") << ProcessRows{proc(30, 25, u"/usr/bin/node"_s, u"node server.js"_s),
                                                    proc(25, 20, u"/bin/sh"_s, u"sh -c node server.js"_s),
                                                    proc(20, 1, u"/usr/bin/node"_s, u"npm run dev"_s)}
                                     << ProcessIDs{20, 25, 30};
    QTest::newRow("plain node server") << ProcessRows{nodeServer, shell} << ProcessIDs{300};
    QTest::newRow("from the launch process")
        << ProcessRows{proc(30, 20, u"/app/node_modules/@esbuild/linux-x64/bin/esbuild"_s, u"esbuild --service"_s),
                       proc(20, 10, u"/usr/bin/node"_s, u"node /app/node_modules/.bin/vite"_s),
                       proc(10, 1, u"/bin/zsh"_s, u"-zsh"_s)}
        << ProcessIDs{20, 30};
    QTest::newRow("no launch process") << ProcessRows{proc(30, 20, u"/usr/bin/node"_s, u"(node)"_s), shell}
                                       << ProcessIDs{30};
    QTest::newRow("self-parented package manager, once")
        << ProcessRows{proc(30, 5, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(5, 5, u"/usr/bin/node"_s, u"npm run dev"_s)}
        << ProcessIDs{5, 30};
    QTest::newRow("self-parented listening process")
        << ProcessRows{proc(5, 5, u"/usr/bin/pnpm"_s, u"pnpm dev"_s)} << ProcessIDs{5};
    QTest::newRow("cycle keeps the listening process last")
        << ProcessRows{proc(5, 6, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(6, 5, u"/usr/bin/node"_s, u"npm run dev"_s)}
        << ProcessIDs{6, 5};
    QTest::newRow("not what started the command")
        << ProcessRows{proc(30, 25, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(25, 20, u"/usr/bin/dash"_s, u"sh -c node server.js"_s),
                       proc(20, 10, u"/usr/bin/node"_s, u"npm run dev"_s),
                       proc(10, 1, u"/opt/ci/runner"_s, u"/opt/ci/runner --job npm-dev"_s)}
        << ProcessIDs{20, 25, 30};
    QTest::newRow("a start script and what it started")
        << ProcessRows{proc(40, 35, u"/usr/bin/node"_s, u"node server.js"_s),
                       proc(35, 30, u"/usr/bin/dash"_s, u"sh -c node server.js"_s),
                       proc(30, 20, u"/usr/bin/node"_s, u"npm run dev"_s),
                       proc(20, 10, u"/usr/bin/bash"_s, u"/bin/bash ./dev.sh"_s),
                       proc(10, 1, u"/usr/bin/bash"_s, u"bash"_s)}
        << ProcessIDs{20, 30, 35, 40};
}

void TestLocalServerDetector::managedProcessIDs()
{
    QFETCH(ProcessRows, table);
    QTEST(LaunchChain::managedProcessIDs(table.first(), ancestorsOf(table)), "expected");
}

void TestLocalServerDetector::activeConnections_data()
{
    QTest::addColumn<ConnectionRows>("rows");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QStringList>("clients");

    const OptionalText established = u"ESTABLISHED"_s;
    const ConnectionRow listening = socket(100, u"node"_s, u"127.0.0.1:3000"_s, u"LISTEN"_s);
    const ConnectionRow accepted = socket(100, u"node"_s, u"127.0.0.1:3000->127.0.0.1:51234"_s, established);
    const ConnectionRow browser = socket(812, u"chrome"_s, u"127.0.0.1:51234->127.0.0.1:3000"_s, established);

    QTest::newRow("listening socket alone") << ConnectionRows{listening} << qint64(0) << QStringList{};
    QTest::newRow("one accepted connection and its client")
        << ConnectionRows{listening, accepted, browser} << qint64(1) << QStringList{u"chrome pid 812"_s};
    QTest::newRow("one client with several sockets, in listing order")
        << ConnectionRows{browser, socket(900, QString(), u"[::1]:50001->[::1]:3000"_s, established),
                          socket(812, u"chrome"_s, u"127.0.0.1:51240->127.0.0.1:3000"_s, established)}
        << qint64(0) << QStringList{u"chrome pid 812"_s, u" pid 900"_s};
    QTest::newRow("not established")
        << ConnectionRows{socket(100, u"node"_s, u"127.0.0.1:3000->127.0.0.1:51234"_s, u"CLOSE_WAIT"_s),
                          socket(812, u"chrome"_s, u"127.0.0.1:51234->127.0.0.1:3000"_s, OptionalText()),
                          socket(813, u"curl"_s, u"127.0.0.1:51235->127.0.0.1:3000"_s, u"TIME_WAIT"_s)}
        << qint64(0) << QStringList{};
    QTest::newRow("the server's own outgoing connection")
        << ConnectionRows{socket(100, u"node"_s, u"127.0.0.1:40000->127.0.0.1:5432"_s, established),
                          socket(100, u"node"_s, u"127.0.0.1:40001->127.0.0.1:3000"_s, established)}
        << qint64(0) << QStringList{};
    QTest::newRow("other ports")
        << ConnectionRows{socket(100, u"node"_s, u"127.0.0.1:3001->127.0.0.1:51234"_s, established),
                          socket(812, u"chrome"_s, u"127.0.0.1:3000->127.0.0.1:3001"_s, established)}
        << qint64(0) << QStringList{};
    QTest::newRow("a bare endpoint of another process is no client")
        << ConnectionRows{socket(812, u"chrome"_s, u"127.0.0.1:3000"_s, established)} << qint64(0) << QStringList{};
}

void TestLocalServerDetector::activeConnections()
{
    QFETCH(ConnectionRows, rows);
    QFETCH(qint64, count);
    QFETCH(QStringList, clients);
    const ActiveConnections result = LocalServerDetector::activeConnections(100, 3000, rows);
    QCOMPARE(result.count, count);
    QCOMPARE(result.clients, clients);
}

void TestLocalServerDetector::oneConnectionIndexForEveryServer()
{
    const OptionalText established = u"ESTABLISHED"_s;
    // Two servers, 100 on 3000 and 200 on 3001; 200 is also a client of 100, and 812 of both.
    const ConnectionIndex index(ConnectionRows{
        socket(100, u"node"_s, u"127.0.0.1:3000"_s, u"LISTEN"_s),
        socket(200, u"vite"_s, u"[::1]:3001"_s, u"LISTEN"_s),
        socket(812, u"chrome"_s, u"127.0.0.1:51000->127.0.0.1:3001"_s, established),
        socket(200, u"vite"_s, u"127.0.0.1:40000->127.0.0.1:3000"_s, established),
        socket(100, u"node"_s, u"127.0.0.1:3000->127.0.0.1:40000"_s, established),
        socket(812, u"chrome"_s, u"127.0.0.1:51001->127.0.0.1:3000"_s, established),
        socket(812, u"chrome"_s, u"127.0.0.1:51002->127.0.0.1:3000"_s, established),
        socket(100, u"node"_s, u"127.0.0.1:3000->127.0.0.1:51001"_s, established),
        socket(200, u"vite"_s, u"[::1]:3001->[::1]:51000"_s, established),
    });
    QCOMPARE(index.activeConnections(100, 3000), (ActiveConnections{2, {u"vite pid 200"_s, u"chrome pid 812"_s}}));
    QCOMPARE(index.activeConnections(200, 3001), (ActiveConnections{1, {u"chrome pid 812"_s}}));
    // The server's own connection to a port is neither accepted there nor a client of it.
    QCOMPARE(index.activeConnections(200, 3000), (ActiveConnections{0, {u"chrome pid 812"_s}}));
    QCOMPARE(index.activeConnections(300, 4000), ActiveConnections{});
}

void TestLocalServerDetector::parentProcessSummary_data()
{
    QTest::addColumn<ProcessRows>("table");
    QTest::addColumn<OptionalText>("expected");

    const QString initSummary = QSysInfo::kernelType() == u"darwin"_s ? u"launchd pid 1"_s : u"init pid 1"_s;
    QTest::newRow("nearest ancestor's file name")
        << ProcessRows{nodeServer, shell, proc(100, 1, u"a"_s, u"a"_s)} << OptionalText(u"zsh pid 200"_s);
    QTest::newRow("pid 1 in the table") << ProcessRows{proc(10, 1, u"node"_s, u"node"_s),
                                                       proc(1, 0, u"/sbin/launchd"_s, u"/sbin/launchd"_s)}
                                        << OptionalText(u"launchd pid 1"_s);
    QTest::newRow("pid 1 not in the table")
        << ProcessRows{proc(10, 1, u"node"_s, u"node"_s)} << OptionalText(initSummary);
    QTest::newRow("other parent not in the table") << ProcessRows{proc(10, 42, u"node"_s, u"node"_s)} << OptionalText();
}

void TestLocalServerDetector::parentProcessSummary()
{
    QFETCH(ProcessRows, table);
    QFETCH(OptionalText, expected);
    QCOMPARE(optionalText(LocalServerDetector::parentProcessSummary(table.first(), ancestorsOf(table))),
             optionalText(expected));
}

void TestLocalServerDetector::candidates_data()
{
    QTest::addColumn<ProcessRows>("table");
    QTest::addColumn<ListenerRows>("listeners");
    QTest::addColumn<QStringList>("expected"); // pid and URL of each candidate

    const ProcessRow helper =
        proc(50, 1, u"/Applications/Google"_s,
             u"Chrome.app/Contents/Frameworks/Google Chrome Helper.app/Contents/MacOS/Google Chrome Helper "
             u"--type=utility --utility-sub-type=node.mojom.NodeService"_s);
    const ProcessRow debugBrowser = proc(51, 60, u"/Applications/Google"_s,
                                         u"Chrome.app/Contents/MacOS/Google Chrome --remote-debugging-port=9222"_s);
    const ProcessRow browser = proc(52, 60, u"/Applications/Google"_s, u"Chrome.app/Contents/MacOS/Google Chrome"_s);
    const ProcessRow testRunner = proc(60, 1, u"/usr/local/bin/node"_s, u"node e2e.js"_s);
    const ProcessRow lonelyBrowser = proc(53, 1, u"/Applications/Safari.app/Contents/MacOS/Safari"_s, u"Safari"_s);
    const ProcessRow agent = proc(54, 1, u"/opt/agent-browser/bin/agent-browser-linux-x64"_s, u"agent serve"_s);
    const ProcessRows table{nodeServer, shell, helper, debugBrowser, browser, testRunner, lonelyBrowser, agent};

    QTest::newRow("address forms") << table << ListenerRows{{300, u"*"_s, 3000},         {300, u"192.168.1.20"_s, 3000},
                                                            {300, u"fe80::1"_s, 3000},   {300, u"::1"_s, 5173},
                                                            {300, u"LOCALHOST"_s, 8080}, {300, u"127.0.0.1"_s, 8081},
                                                            {300, u"127.0.0.2"_s, 8082}, {300, u"0.0.0.0"_s, 80}}
                                   << QStringList{u"300 http://localhost:3000"_s, u"300 http://[::1]:5173"_s,
                                                  u"300 http://localhost:8080"_s, u"300 http://127.0.0.1:8081"_s,
                                                  u"300 http://localhost:80"_s};
    QTest::newRow("exclusions and chains")
        << table << ListenerRows{{50, u"127.0.0.1"_s, 9000}, {51, u"127.0.0.1"_s, 9222}, {52, u"127.0.0.1"_s, 9223},
                                 {53, u"127.0.0.1"_s, 9224}, {54, u"127.0.0.1"_s, 9225}, {999, u"127.0.0.1"_s, 9226}}
        << QStringList{u"52 http://127.0.0.1:9223"_s, u"54 http://127.0.0.1:9225"_s};
}

void TestLocalServerDetector::candidates()
{
    QFETCH(ProcessRows, table);
    QFETCH(ListenerRows, listeners);
    QFETCH(QStringList, expected);
    QStringList found;
    const ProcessIndex index = indexOf(table);
    for (const ServerCandidate& candidate : LocalServerDetector::candidateServers(listeners, index)) {
        found.append(QString::number(candidate.process.pid) + u' ' + candidate.url.toString());
        QCOMPARE(candidate.ancestors, LocalServerDetector::ancestors(candidate.process, index));
    }
    QCOMPARE(found, expected);
}

void TestLocalServerDetector::makeServer()
{
    const ProcessRow vite = proc(300, 200, u"/usr/local/bin/node"_s, u"node /Users/me/app/node_modules/.bin/vite "_s);
    const ServerCandidate candidate{{300, u"*"_s, 3000}, vite, {shell}, QUrl(u"http://localhost:3000"_s)};
    const ConnectionRows rows{socket(300, u"node"_s, u"127.0.0.1:3000->127.0.0.1:51234"_s, u"ESTABLISHED"_s),
                              socket(812, u"curl"_s, u"127.0.0.1:51234->127.0.0.1:3000"_s, u"ESTABLISHED"_s)};
    const QDateTime seen(QDate(2026, 2, 1), QTime(9, 30), Qt::UTC);
    const LocalServer made = LocalServerDetector::makeServer(
        candidate, {{300, u"/Users/me/app"_s}}, {{QUrl(u"http://localhost:3000"_s), {200, u"App"_s}}}, rows, seen);

    LocalServer expected;
    expected.pid = 300;
    expected.managedProcessIDs = {300};
    expected.port = 3000;
    expected.url = QUrl(u"http://localhost:3000"_s);
    expected.runtimeKind = RuntimeKind::Vite;
    expected.rawCommandLine = u"node /Users/me/app/node_modules/.bin/vite"_s;
    expected.displayCommandLine = expected.rawCommandLine;
    expected.projectPath = u"/Users/me/app"_s;
    expected.processExecutable = u"/usr/local/bin/node"_s;
    expected.processWorkingDirectory = u"/Users/me/app"_s;
    expected.parentProcessSummary = u"zsh pid 200"_s;
    expected.activeConnectionCount = 1;
    expected.activeConnectionClients = {u"curl pid 812"_s};
    expected.httpStatus = 200;
    expected.pageTitle = u"App"_s;
    expected.lastSeenAt = seen;
    QCOMPARE(made, expected);
}

// A row read from /proc carries the start time and arguments of the very process it lists; they are taken from
// it, not read again (by then the id could be another process's). Without them (a ps row) they are read.
void TestLocalServerDetector::detailsOfListedProcessesAreTheirOwn()
{
    // No process has this id: anything read for it would be missing.
    constexpr qint32 gone = 0x7ffffff0;
    ProcessRow pnpm = proc(gone - 1, 1, u"/usr/bin/pnpm"_s, u"pnpm dev --port 5173"_s);
    pnpm.startTime = 4100;
    pnpm.arguments = QStringList{u"pnpm"_s, u"dev"_s, u"--port"_s, u"5173"_s};
    ProcessRow node = proc(gone, gone - 1, u"/usr/bin/node"_s, u"node vite"_s);
    node.startTime = 4200;
    const ServerCandidate listed{{gone, u"127.0.0.1"_s, 5173}, node, {pnpm}, QUrl(u"http://127.0.0.1:5173"_s)};
    const CandidateDetails details = LocalServerDetector::readCandidateDetails({listed});
    QCOMPARE(details.startTimes, (QHash<qint32, quint64>{{gone - 1, 4100}, {gone, 4200}}));
    QCOMPARE(details.launches.keys(), QList<qint32>{gone - 1});
    QCOMPARE(details.launches.value(gone - 1).exact, pnpm.arguments);

    // A title the process rewrote: the row has no arguments, and none are read.
    pnpm.arguments.reset();
    const CandidateDetails retitled =
        LocalServerDetector::readCandidateDetails({{listed.listener, node, {pnpm}, listed.url}});
    QCOMPARE(retitled.launches.value(gone - 1).exact, std::nullopt);

    // From ps: read now, and this process is gone.
    const CandidateDetails fromPs =
        LocalServerDetector::readCandidateDetails({{listed.listener,
                                                    proc(gone, gone - 1, u"/usr/bin/node"_s, u"node vite"_s),
                                                    {proc(gone - 1, 1, u"/usr/bin/pnpm"_s, u"pnpm dev --port 5173"_s)},
                                                    listed.url}});
    QVERIFY(fromPs.startTimes.isEmpty());
    QCOMPARE(fromPs.launches.value(gone - 1).exact, std::nullopt);
}

void TestLocalServerDetector::scriptRunsAgainFromWhereItStarted_data()
{
    QTest::addColumn<OptionalText>("startFolder");
    QTest::addColumn<QString>("expected");
    // With PORT given: the variables in front of the script, after the folder it starts from.
    QTest::addColumn<QString>("shown");
    const QString script = u"/bin/bash ./dev.sh --verbose"_s;
    QTest::newRow("from the project folder") << OptionalText(u"/home/me/app"_s) << script << u"PORT=4502 "_s + script;
    QTest::newRow("from the folder above")
        << OptionalText(u"/home/me"_s) << u"cd /home/me && "_s + script << u"cd /home/me && PORT=4502 "_s + script;
    QTest::newRow("from a folder that needs quoting")
        << OptionalText(u"/home/me/my work && x"_s) << u"cd '/home/me/my work && x' && "_s + script
        << u"cd '/home/me/my work && x' && PORT=4502 "_s + script;
    QTest::newRow("not a script") << OptionalText() << script << u"PORT=4502 "_s + script;
}

void TestLocalServerDetector::scriptRunsAgainFromWhereItStarted()
{
    QFETCH(OptionalText, startFolder);
    QFETCH(QString, expected);
    QFETCH(QString, shown);
    const ProcessRow script = proc(20, 10, u"/usr/bin/bash"_s, u"/bin/bash ./dev.sh --verbose"_s);
    LaunchDetails details;
    details.arguments = LaunchDetails::Arguments::Exact;
    details.exact = QStringList{u"/bin/bash"_s, u"./dev.sh"_s, u"--verbose"_s};
    details.startFolder = startFolder;
    QCOMPARE(optionalText(LocalServerDetector::resolveCommandLine(script, u"/home/me/app"_s, {}, &details)),
             optionalText(expected));

    details.environment = LaunchEnvironment::Variables{{u"PORT"_s, u"4502"_s}};
    CandidateDetails candidateDetails;
    candidateDetails.launches.insert(20, details);
    const ProcessRow node = proc(30, 20, u"/usr/bin/node"_s, u"node server.js --verbose"_s);
    const ServerCandidate candidate{{30, u"127.0.0.1"_s, 4502}, node, {script}, QUrl(u"http://127.0.0.1:4502"_s)};
    const LocalServer made =
        LocalServerDetector::makeServer(candidate, {{30, u"/home/me/app"_s}}, {}, {}, {}, &candidateDetails);
    QCOMPARE(made.rawCommandLine, expected);
    QCOMPARE(made.displayCommandLine, shown);
    QCOMPARE(made.managedProcessIDs, (ProcessIDs{20, 30}));
}

// What the user's own environment has is never given, wherever the launch came from. The login environment is
// asked for only where a launch is read, and a launch read while it could not be read is read again once it can.
void TestLocalServerDetector::givenVariablesAreWhatTheUsersEnvironmentLacks()
{
    if (!onLinux())
        QSKIP("reads the environment of a real process from /proc");
    QProcess launcher;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PORT"_s, u"4321"_s);
    environment.insert(u"MYTOOL_DIR"_s, u"/opt/mytool"_s);
    launcher.setProcessEnvironment(environment);
    launcher.start(u"sleep"_s, {u"600"_s});
    QVERIFY(launcher.waitForStarted());
    const auto pid = qint32(launcher.processId());
    const auto stop = qScopeGuard([&] {
        launcher.kill();
        launcher.waitForFinished();
    });

    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    FakeConnectionSnapshotService connections;
    FakeServerProbeService probe;
    const auto login = std::make_shared<FakeLoginEnvironment>();
    LocalServerDetector detector(&listeners, &processes, &connections, &probe, nullptr, login);
    QVERIFY(awaitTask(detector.detectServers()).isEmpty());
    QCOMPARE(login->calls, 0);
    // Started by a program that is no shell, as `bash -c` leaves it.
    ProcessRow node =
        withArguments(proc(pid, qint32(QCoreApplication::applicationPid()), u"/usr/bin/node"_s, u"node server.js"_s),
                      {u"node"_s, u"server.js"_s});
    node.startTime = ProcessIdentity::startTime(pid);
    processes.rows = {node};
    processes.folders = {{pid, project(u"empty"_s)}};
    connections.rows = {socket(pid, u"node"_s, u"127.0.0.1:3000"_s, u"LISTEN"_s)};

    const auto given = [&] {
        const QList<LocalServer> found = awaitTask(detector.detectServers());
        return found.size() == 1 ? found.first().launchEnvironment : LaunchEnvironment::Variables{{u"?"_s, {}}};
    };
    // While the login environment cannot be read, only this program's own stands for the user's.
    login->set(std::nullopt);
    QCOMPARE(given(), (LaunchEnvironment::Variables{{u"MYTOOL_DIR"_s, u"/opt/mytool"_s}, {u"PORT"_s, u"4321"_s}}));

    QList<QByteArray> loginEntries = ProcessIdentity::ownEnvironment();
    loginEntries.append("MYTOOL_DIR=/opt/mytool");
    login->set(loginEntries);
    QCOMPARE(given(), (LaunchEnvironment::Variables{{u"PORT"_s, u"4321"_s}}));
}

void TestLocalServerDetector::makeServerWithoutCommand()
{
    const ProcessRow odd = proc(300, 200, u"/usr/local/bin/node"_s, u"(node) --token=abc123"_s);
    const ServerCandidate candidate{{300, u"127.0.0.1"_s, 3000}, odd, {shell}, QUrl(u"http://127.0.0.1:3000"_s)};

    const LocalServer withDevScript =
        LocalServerDetector::makeServer(candidate, {{300, project(u"npm-dev"_s)}}, {}, {}, {});
    QCOMPARE(withDevScript.rawCommandLine, u"npm run dev"_s);
    QCOMPARE(withDevScript.displayCommandLine, u"npm run dev"_s);

    const LocalServer withoutDevScript =
        LocalServerDetector::makeServer(candidate, {{300, project(u"no-dev"_s)}}, {}, {}, {});
    QCOMPARE(withoutDevScript.rawCommandLine, QString());
    QCOMPARE(withoutDevScript.displayCommandLine, u"(node) --token=<redacted>"_s);
    QCOMPARE(withoutDevScript.httpStatus, std::nullopt);
    QCOMPARE(withoutDevScript.pageTitle, std::nullopt);
    QCOMPARE(withoutDevScript.managedProcessIDs, ProcessIDs{300});

    const LocalServer withoutFolder = LocalServerDetector::makeServer(candidate, {}, {}, {}, {});
    QCOMPARE(withoutFolder.projectPath, std::nullopt);
    QCOMPARE(withoutFolder.processWorkingDirectory, std::nullopt);
    QCOMPARE(withoutFolder.rawCommandLine, QString());
}

void TestLocalServerDetector::makeAgentBrowserServer()
{
    const ProcessRow agent =
        proc(54, 1, u"/opt/agent-browser/bin/agent-browser-linux-x64"_s, u"agent-browser-linux-x64 serve --headed"_s);
    const ServerCandidate candidate{{54, u"127.0.0.1"_s, 9300}, agent, {}, QUrl(u"http://127.0.0.1:9300"_s)};
    const LocalServer made = LocalServerDetector::makeServer(candidate, {{54, u"/home/me/site"_s}},
                                                             {{candidate.url, {200, u"Shop"_s}}}, {}, {});
    QCOMPARE(made.runtimeKind, RuntimeKind::AgentBrowser);
    QCOMPARE(made.projectPath, std::nullopt);
    QCOMPARE(made.processWorkingDirectory, u"/home/me/site"_s);
    QCOMPARE(made.displayTitle(), u"Agent Browser"_s);
    QCOMPARE(made.rawCommandLine, QString());
    QCOMPARE(made.displayCommandLine, u"agent-browser-linux-x64 serve --headed"_s);
    QCOMPARE(made.parentProcessSummary, DetectionPlatform::initProcessSummary());
}

void TestLocalServerDetector::pausedState_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("paused");
    QTest::newRow("stopped in the foreground") << u"T+"_s << true;
    QTest::newRow("stopped") << u"T"_s << true;
    QTest::newRow("sleeping") << u"S"_s << false;
    QTest::newRow("running") << u"R+"_s << false;
    QTest::newRow("traced, lower case") << u"t"_s << false;
}

void TestLocalServerDetector::pausedState()
{
    QFETCH(QString, state);
    const ProcessRow row = proc(300, 200, u"/usr/bin/node"_s, u"node server.js"_s, state);
    const ServerCandidate candidate{{300, u"127.0.0.1"_s, 3000}, row, {}, QUrl(u"http://127.0.0.1:3000"_s)};
    QTEST(LocalServerDetector::makeServer(candidate, {}, {}, {}, {}).isPaused, "paused");
}

void TestLocalServerDetector::sort_data()
{
    QTest::addColumn<QList<LocalServer>>("servers");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("answering first, then by port")
        << QList<LocalServer>{server(1, 3001, 200), server(2, 3000), server(3, 5173, 404)}
        << QStringList{u"1:3001"_s, u"3:5173"_s, u"2:3000"_s};
    QTest::newRow("stable for equal keys")
        << QList<LocalServer>{server(9, 3000, 500), server(4, 3000, 200), server(7, 3000), server(5, 3000)}
        << QStringList{u"9:3000"_s, u"4:3000"_s, u"7:3000"_s, u"5:3000"_s};
    QTest::newRow("empty") << QList<LocalServer>{} << QStringList{};
}

void TestLocalServerDetector::sort()
{
    QFETCH(QList<LocalServer>, servers);
    QTEST(serverKeys(sortDetectedServers(servers)), "expected");
}

void TestLocalServerDetector::merge_data()
{
    QTest::addColumn<QList<LocalServer>>("servers");
    QTest::addColumn<QStringList>("expected"); // key and managed ids

    const QString app = u"/Users/me/app"_s;
    QTest::newRow("one project on two ports")
        << QList<LocalServer>{projectServer(31, 3000, app, u"pnpm dev"_s, {10, 31}),
                              projectServer(32, 3001, app, u"pnpm dev"_s, {10, 32})}
        << QStringList{u"31:3000 [10, 31, 32]"_s};
    QTest::newRow("first occurrence keeps its place")
        << QList<LocalServer>{projectServer(31, 3000, app, u"pnpm dev"_s, {31}), server(40, 4000),
                              projectServer(32, 3001, app, u"pnpm dev"_s, {32}),
                              projectServer(33, 3002, app, u"pnpm dev"_s, {33, 31})}
        << QStringList{u"31:3000 [31, 32, 33]"_s, u"40:4000 [40]"_s};
    QTest::newRow("different commands stay apart")
        << QList<LocalServer>{projectServer(31, 3000, app, u"pnpm dev"_s, {31}),
                              projectServer(32, 3001, app, u"pnpm storybook"_s, {32})}
        << QStringList{u"31:3000 [31]"_s, u"32:3001 [32]"_s};
    QTest::newRow("no project folder is never merged")
        << QList<LocalServer>{projectServer(31, 3000, app, u"node a.js"_s, {31}), server(31, 3000), server(31, 3000)}
        << QStringList{u"31:3000 [31]"_s, u"31:3000 [31]"_s, u"31:3000 [31]"_s};
    QTest::newRow("no command is never merged") << QList<LocalServer>{projectServer(31, 3000, app, QString(), {31}),
                                                                      projectServer(32, 3001, app, QString(), {32})}
                                                << QStringList{u"31:3000 [31]"_s, u"32:3001 [32]"_s};
    QTest::newRow("the key does not run folder and command together")
        << QList<LocalServer>{projectServer(31, 3000, u"/a"_s, u"b c"_s, {31}),
                              projectServer(32, 3001, u"/a b"_s, u"c"_s, {32})}
        << QStringList{u"31:3000 [31]"_s, u"32:3001 [32]"_s};
}

void TestLocalServerDetector::merge()
{
    QFETCH(QList<LocalServer>, servers);
    QFETCH(QStringList, expected);
    QStringList found;
    for (const LocalServer& s : mergeDuplicateServers(servers))
        found.append(s.id() + u' ' + idList(s.managedProcessIDs));
    QCOMPARE(found, expected);
}

void TestLocalServerDetector::scanJoinsListingsProbesAndMerges()
{
    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    FakeConnectionSnapshotService connections;
    FakeServerProbeService probe;
    ManualClock clock;
    LocalServerDetector detector(&listeners, &processes, &connections, &probe, &clock);

    const QString app = project(u"pnpm-dev"_s);
    processes.rows = {proc(10, 5, u"/usr/local/bin/pnpm"_s, u"pnpm dev"_s),
                      proc(31, 10, u"/usr/local/bin/node"_s, u"node web.js"_s),
                      proc(32, 10, u"/usr/local/bin/node"_s, u"node api.js"_s),
                      proc(5, 1, u"/bin/zsh"_s, u"-zsh"_s),
                      proc(40, 5, u"/usr/bin/python3"_s, u"python3 -m http.server"_s),
                      proc(54, 1, u"/opt/agent-browser/bin/agent-browser-linux-x64"_s, u"agent serve"_s)};
    connections.rows = {socket(31, u"node"_s, u"*:3000"_s, u"LISTEN"_s),
                        socket(32, u"node"_s, u"127.0.0.1:3001"_s, u"LISTEN"_s),
                        socket(40, u"python3"_s, u"*:8000"_s, u"LISTEN"_s),
                        socket(54, u"agent"_s, u"127.0.0.1:9300"_s, u"LISTEN"_s),
                        socket(31, u"node"_s, u"127.0.0.1:3000->127.0.0.1:50000"_s, u"ESTABLISHED"_s),
                        socket(54, u"agent"_s, u"127.0.0.1:50000->127.0.0.1:3000"_s, u"ESTABLISHED"_s),
                        socket(99, u"node"_s, u"*:7000"_s, u"LISTEN"_s)};
    processes.folders = {{31, app}, {32, app}, {54, u"/home/me"_s}};
    probe.results = {{QUrl(u"http://127.0.0.1:3001"_s), {200, u"API"_s}}};

    const QList<LocalServer> found = awaitTask(detector.detectServers());

    QCOMPARE(processes.processCalls, 1);
    QCOMPARE(connections.calls, 1);
    QCOMPARE(listeners.calls, 0);
    QCOMPARE(processes.workingDirectoryRequests, QList<ProcessIDs>{(ProcessIDs{31, 32, 54})});
    QCOMPARE(QSet<QUrl>(probe.probedUrls.cbegin(), probe.probedUrls.cend()),
             (QSet<QUrl>{QUrl(u"http://localhost:3000"_s), QUrl(u"http://127.0.0.1:3001"_s),
                         QUrl(u"http://127.0.0.1:9300"_s)}));
    QCOMPARE(probe.probedUrls.size(), 3);

    LocalServer api;
    api.pid = 32;
    api.managedProcessIDs = {10, 32, 31};
    api.port = 3001;
    api.url = QUrl(u"http://127.0.0.1:3001"_s);
    api.runtimeKind = RuntimeKind::Node;
    api.rawCommandLine = u"pnpm dev"_s;
    api.displayCommandLine = u"pnpm dev"_s;
    api.projectPath = app;
    api.processExecutable = u"/usr/local/bin/node"_s;
    api.processWorkingDirectory = app;
    api.parentProcessSummary = u"pnpm pid 10"_s;
    api.httpStatus = 200;
    api.pageTitle = u"API"_s;
    api.lastSeenAt = clock.now();

    LocalServer agent;
    agent.pid = 54;
    agent.managedProcessIDs = {54};
    agent.port = 9300;
    agent.url = QUrl(u"http://127.0.0.1:9300"_s);
    agent.runtimeKind = RuntimeKind::AgentBrowser;
    agent.processExecutable = u"/opt/agent-browser/bin/agent-browser-linux-x64"_s;
    agent.processWorkingDirectory = u"/home/me"_s;
    agent.parentProcessSummary = DetectionPlatform::initProcessSummary();
    agent.lastSeenAt = clock.now();
    // Not replayable by any rule: the agent's own line is shown.
    agent.displayCommandLine = u"agent serve"_s;

    QCOMPARE(describeServers(found), describeServers({api, agent}));
}

// A detector keeps what a listener's chain gave while its rows stay the same; any change of the process or of an
// ancestor shows in the next scan.
void TestLocalServerDetector::laterScansFollowChangedChains()
{
    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    FakeConnectionSnapshotService connections;
    FakeServerProbeService probe;
    LocalServerDetector detector(&listeners, &processes, &connections, &probe);
    connections.rows = {socket(31, u"node"_s, u"*:3000"_s, u"LISTEN"_s)};
    const ProcessRow zsh = proc(5, 1, u"/bin/zsh"_s, u"-zsh"_s);

    struct Step
    {
        const char* name;
        ProcessRows rows;
        // Empty: no server.
        QString command;
        RuntimeKind runtime = RuntimeKind::Node;
        ProcessIDs managed;
    };
    const QList<Step> steps{
        {"node", {zsh, proc(31, 5, u"/usr/bin/node"_s, u"node web.js"_s)}, u"node web.js"_s, RuntimeKind::Node, {31}},
        {"retitled", {zsh, proc(31, 5, u"/usr/bin/node"_s, u"node vite"_s)}, u"node vite"_s, RuntimeKind::Vite, {31}},
        {"new parent",
         {zsh, proc(10, 5, u"/usr/bin/pnpm"_s, u"pnpm dev"_s), proc(31, 10, u"/usr/bin/node"_s, u"node vite"_s)},
         u"pnpm dev"_s,
         RuntimeKind::Vite,
         {10, 31}},
        {"parent changed alone",
         {zsh, proc(10, 5, u"/usr/bin/pnpm"_s, u"pnpm start"_s), proc(31, 10, u"/usr/bin/node"_s, u"node vite"_s)},
         u"node vite"_s,
         RuntimeKind::Vite,
         {31}},
        {"paused",
         {zsh, proc(31, 5, u"/usr/bin/node"_s, u"node web.js"_s, u"T"_s)},
         u"node web.js"_s,
         RuntimeKind::Node,
         {31}},
        {"no development tool",
         {zsh, proc(31, 5, u"/usr/bin/python3"_s, u"python3 -m http.server"_s)},
         {},
         RuntimeKind::Node,
         {}},
        {"node again",
         {zsh, proc(31, 5, u"/usr/bin/node"_s, u"node web.js"_s)},
         u"node web.js"_s,
         RuntimeKind::Node,
         {31}},
        // One listed line, other arguments: what the launch process was read with this time counts.
        {"arguments",
         {zsh, withArguments(proc(31, 5, u"/usr/bin/node"_s, u"node my app.js"_s), {u"node"_s, u"my app.js"_s})},
         u"node 'my app.js'"_s,
         RuntimeKind::Node,
         {31}},
        {"same line, other arguments",
         {zsh, withArguments(proc(31, 5, u"/usr/bin/node"_s, u"node my app.js"_s), {u"node"_s, u"my"_s, u"app.js"_s})},
         u"node my app.js"_s,
         RuntimeKind::Node,
         {31}},
    };
    for (const Step& step : steps) {
        processes.rows = step.rows;
        const QList<LocalServer> found = awaitTask(detector.detectServers());
        if (step.command.isEmpty()) {
            QVERIFY2(found.isEmpty(), step.name);
            continue;
        }
        QVERIFY2(found.size() == 1, step.name);
        QCOMPARE(found.first().rawCommandLine, step.command);
        QCOMPARE(found.first().runtimeKind, step.runtime);
        QCOMPARE(found.first().managedProcessIDs, step.managed);
        QCOMPARE(found.first().isPaused, step.rows.last().state == u"T"_s);
    }
}

void TestLocalServerDetector::scanOfSameProcessAtTwoAddresses()
{
    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    FakeConnectionSnapshotService connections;
    FakeServerProbeService probe;
    LocalServerDetector detector(&listeners, &processes, &connections, &probe);

    processes.rows = {proc(31, 1, u"/usr/local/bin/node"_s, u"node server.js"_s)};
    connections.rows = {socket(31, u"node"_s, u"127.0.0.1:3000"_s, u"LISTEN"_s),
                        socket(31, u"node"_s, u"[::1]:3000"_s, u"LISTEN"_s)};

    // Without a folder both stay; with one they are one server.
    QCOMPARE(serverKeys(awaitTask(detector.detectServers())), (QStringList{u"31:3000"_s, u"31:3000"_s}));
    processes.folders = {{31, project(u"empty"_s)}};
    const QList<LocalServer> merged = awaitTask(detector.detectServers());
    QCOMPARE(merged.size(), 1);
    QCOMPARE(merged.first().url, QUrl(u"http://127.0.0.1:3000"_s));
    QCOMPARE(merged.first().rawCommandLine, u"node server.js"_s);
}

void TestLocalServerDetector::workIsKeptOnlyForKeysAskedAgain()
{
    KeptAcrossScans<QString, QString> kept;
    QStringList worked;
    const auto upper = [&worked](const QString& key) {
        worked.append(key);
        return key.toUpper();
    };
    QCOMPARE(kept.value(u"a"_s, upper), u"A"_s);
    QCOMPARE(kept.value(u"a"_s, upper), u"A"_s);
    QCOMPARE(kept.value(u"b"_s, upper), u"B"_s);
    kept.endScan();
    // The next scan asks for "a" only: "b" is forgotten after it.
    QCOMPARE(kept.value(u"a"_s, upper), u"A"_s);
    kept.endScan();
    QCOMPARE(kept.value(u"b"_s, upper), u"B"_s);
    QCOMPARE(kept.value(u"a"_s, upper), u"A"_s);
    QCOMPARE(worked, (QStringList{u"a"_s, u"b"_s, u"b"_s}));
}

void TestLocalServerDetector::failedProcessListingWaitsForSocketListing()
{
    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    GatedConnectionService connections;
    FakeServerProbeService probe;
    LocalServerDetector detector(&listeners, &processes, &connections, &probe);
    processes.error = CommandRunnerError::timedOut(u"/bin/ps"_s);
    connections.rows = {socket(31, u"node"_s, u"127.0.0.1:3000"_s, u"LISTEN"_s)};

    QCoro::Task<QList<LocalServer>> scan = detector.detectServers();
    QCOMPARE(connections.calls, 1);
    QCoreApplication::processEvents();
    QVERIFY2(!scan.isReady(), "the scan must not end while the socket listing runs");

    connections.gate.fire();
    const std::optional<CommandRunnerError> error = thrownBy<CommandRunnerError>(std::move(scan));
    QVERIFY(connections.ended);
    QVERIFY(error);
    QCOMPARE(*error, CommandRunnerError::timedOut(u"/bin/ps"_s));
    QVERIFY(processes.workingDirectoryRequests.isEmpty());
    QVERIFY(probe.probedUrls.isEmpty());
}

void TestLocalServerDetector::failedSocketListingFailsTheScan()
{
    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    FakeConnectionSnapshotService connections;
    FakeServerProbeService probe;
    LocalServerDetector detector(&listeners, &processes, &connections, &probe);
    processes.rows = {nodeServer};
    const CommandRunnerError lsofFailed = CommandRunnerError::failed(u"/usr/sbin/lsof"_s, 1, u"lsof: bad\n"_s);
    connections.error = lsofFailed;

    std::optional<CommandRunnerError> error = thrownBy<CommandRunnerError>(detector.detectServers());
    QVERIFY(error);
    QCOMPARE(*error, lsofFailed);
    QVERIFY(processes.workingDirectoryRequests.isEmpty());

    // With both failing, the process listing's error is the one reported.
    processes.error = CommandRunnerError::launchFailed(u"no ps"_s);
    error = thrownBy<CommandRunnerError>(detector.detectServers());
    QVERIFY(error);
    QCOMPARE(*error, CommandRunnerError::launchFailed(u"no ps"_s));
}

void TestLocalServerDetector::failedFolderLookupGivesServersWithoutFolders()
{
    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    FakeConnectionSnapshotService connections;
    FakeServerProbeService probe;
    LocalServerDetector detector(&listeners, &processes, &connections, &probe);
    // A dev parent with a line that is not replayable: without a folder the listed line is kept as it stands.
    processes.rows = {proc(31, 10, u"/usr/local/bin/node"_s, u"node server.js"_s),
                      proc(32, 10, u"/usr/local/bin/node"_s, u"node server.js"_s),
                      proc(10, 1, u"/usr/local/bin/npm"_s, u" npm run dev"_s)};
    connections.rows = {socket(31, u"node"_s, u"127.0.0.1:3000"_s, u"LISTEN"_s),
                        socket(32, u"node"_s, u"127.0.0.1:3001"_s, u"LISTEN"_s)};

    const QList<LocalServer> found = awaitTask(detector.detectServers());
    QCOMPARE(serverKeys(found), (QStringList{u"31:3000"_s, u"32:3001"_s}));
    for (const LocalServer& s : found) {
        QCOMPARE(s.projectPath, std::nullopt);
        QCOMPARE(s.processWorkingDirectory, std::nullopt);
        QCOMPARE(s.rawCommandLine, u" npm run dev"_s);
    }
}

void TestLocalServerDetector::foldersReadWithTheRowsAreNotLookedUp()
{
    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    FakeConnectionSnapshotService connections;
    FakeServerProbeService probe;
    LocalServerDetector detector(&listeners, &processes, &connections, &probe);
    const auto withFolder = [](ProcessRow row, const QString& folder) {
        row.workingDirectory = folder;
        return row;
    };
    // 31's folder was read, 32 has none that is there, 33's was not read.
    processes.rows = {withFolder(proc(31, 1, u"/usr/local/bin/node"_s, u"node a.js"_s), u"/work/a"_s),
                      withFolder(proc(32, 1, u"/usr/local/bin/node"_s, u"node b.js"_s), {}),
                      proc(33, 1, u"/usr/local/bin/node"_s, u"node c.js"_s)};
    connections.rows = {socket(31, u"node"_s, u"127.0.0.1:3000"_s, u"LISTEN"_s),
                        socket(32, u"node"_s, u"127.0.0.1:3001"_s, u"LISTEN"_s),
                        socket(33, u"node"_s, u"127.0.0.1:3002"_s, u"LISTEN"_s)};
    processes.folders = {{31, u"/elsewhere"_s}, {32, u"/elsewhere"_s}, {33, u"/work/c"_s}};

    QList<LocalServer> found = awaitTask(detector.detectServers());
    QCOMPARE(processes.workingDirectoryRequests, QList<ProcessIDs>{ProcessIDs{33}});
    QCOMPARE(serverKeys(found), (QStringList{u"31:3000"_s, u"32:3001"_s, u"33:3002"_s}));
    QCOMPARE(found[0].processWorkingDirectory, std::optional(u"/work/a"_s));
    QCOMPARE(found[1].processWorkingDirectory, std::nullopt);
    QCOMPARE(found[2].processWorkingDirectory, std::optional(u"/work/c"_s));

    // Every folder read with the rows: nothing is looked up.
    processes.rows[2] = withFolder(processes.rows[2], u"/work/c"_s);
    found = awaitTask(detector.detectServers());
    QCOMPARE(processes.workingDirectoryRequests.size(), 1);
    QCOMPARE(found[2].processWorkingDirectory, std::optional(u"/work/c"_s));
}

void TestLocalServerDetector::probesRunConcurrentlyAndLastAnswerStands()
{
    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    FakeConnectionSnapshotService connections;
    GatedProbeService probe;
    LocalServerDetector detector(&listeners, &processes, &connections, &probe);

    processes.rows = {proc(31, 1, u"/usr/bin/node"_s, u"node a.js"_s), proc(32, 1, u"/usr/bin/node"_s, u"node b.js"_s),
                      proc(33, 1, u"/usr/bin/node"_s, u"node c.js"_s)};
    // 31 listens on the wildcard twice, so two candidates share one URL.
    connections.rows = {socket(31, u"node"_s, u"*:3000"_s, u"LISTEN"_s),
                        socket(31, u"node"_s, u"0.0.0.0:3000"_s, u"LISTEN"_s),
                        socket(32, u"node"_s, u"127.0.0.1:3001"_s, u"LISTEN"_s),
                        socket(33, u"node"_s, u"127.0.0.1:3002"_s, u"LISTEN"_s)};

    QCoro::Task<QList<LocalServer>> scan = detector.detectServers();
    // Every probe is in flight before any has an answer.
    QTRY_COMPARE(probe.pending(), 4);
    QCOMPARE(probe.calls.at(0)->url, probe.calls.at(1)->url);
    probe.answer(3, {404, std::nullopt});
    probe.answer(1, {500, u"second"_s});
    probe.answer(2, {200, u"b"_s});
    QCoreApplication::processEvents();
    QVERIFY(!scan.isReady());
    probe.answer(0, {201, u"first"_s});

    const QList<LocalServer> found = awaitTask(std::move(scan));
    QStringList summary;
    for (const LocalServer& s : found)
        summary.append(s.id() + u' ' + optionalNumber(s.httpStatus) + u' ' + optionalText(s.pageTitle));
    QCOMPARE(summary, (QStringList{u"31:3000 201 \"first\""_s, u"31:3000 201 \"first\""_s, u"32:3001 200 \"b\""_s,
                                   u"33:3002 404 absent"_s}));
}

void TestLocalServerDetector::detectorGoneMidScan()
{
    FakeListenerSnapshotService listeners;
    FakeProcessSnapshotService processes;
    FakeConnectionSnapshotService connections;
    GatedProbeService probe;
    auto detector = std::make_unique<LocalServerDetector>(&listeners, &processes, &connections, &probe);
    processes.rows = {nodeServer};
    connections.rows = {socket(300, u"node"_s, u"127.0.0.1:3000"_s, u"LISTEN"_s)};

    QCoro::Task<QList<LocalServer>> scan = detector->detectServers();
    QTRY_COMPARE(probe.pending(), 1);
    detector.reset();
    probe.answer(0, {200, std::nullopt});
    QCOMPARE(awaitTask(std::move(scan)), QList<LocalServer>{});
}

PORTHIVE_TEST_MAIN(TestLocalServerDetector)
#include "tst_localserverdetector.moc"
