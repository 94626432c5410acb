// The real application started as a session starts it, on a real X server (Xvfb) and without a tray, so its
// window appears only when a second start asks for it: beside a lock left damaged or by another host, with a
// folder in the way of its socket, beside an instance that does not answer, and drawn without loading a GPU
// driver into the process unless the user chose one.
#include "platform/desktop/singleinstance.h"
#include "platform/updates/bundleinfo.h"
#include "support/testhome.h"
#include "support/xserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <map>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int startTimeout = 30000;

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void damagedLockIsTakenOver_data();
    void damagedLockIsTakenOver();
    void folderAtTheSocketPath();
    void instanceThatDoesNotAnswer();
    void windowDrawnWithoutGpuDriver_data();
    void windowDrawnWithoutGpuDriver();

private:
    QProcessEnvironment environment() const;
    QProcess* start(const QProcessEnvironment& environment);
    // Until the started application holds the lock and listens for later starts.
    bool waitUntilListening(QProcess* app);
    // The output of a second start that has ended.
    QByteArray secondStart(const QProcessEnvironment& environment, int& exitCode);
    // Until `app` wrote `text` on its standard error, or ended; what it wrote.
    QByteArray waitForSaid(QProcess* app, const QByteArray& text);

    XServer m_x;
    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<SingleInstance> m_paths;
    std::vector<QProcess*> m_apps;
    std::map<QProcess*, QByteArray> m_said;
};

void TestStartup::initTestCase()
{
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
        QSKIP("Xvfb is not installed (scripts/setup installs it)");
    QVERIFY(m_x.start());
}

void TestStartup::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_runtime->isValid());
    QVERIFY(QFile::setPermissions(m_runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    // Only for the paths of the lock and the socket the application uses.
    m_paths = std::make_unique<SingleInstance>(
        m_runtime->path(), BundleInfo::main().value(u"CFBundleIdentifier"_s).value_or(u"porthive"_s));
}

void TestStartup::cleanup()
{
    for (QProcess* app : m_apps) {
        if (app->state() != QProcess::NotRunning) {
            ::kill(pid_t(app->processId()), SIGCONT);
            app->kill();
            app->waitForFinished(startTimeout);
        }
        delete app;
    }
    m_apps.clear();
    m_said.clear();
}

QProcessEnvironment TestStartup::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_runtime->path());
    environment.insert(u"DISPLAY"_s, QString::fromLatin1(m_x.display()));
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.remove(u"XDG_SESSION_TYPE"_s);
    // The renderer is the application's own choice unless a test makes it the user's.
    environment.remove(u"QT_QUICK_BACKEND"_s);
    environment.remove(u"QSG_RHI_BACKEND"_s);
    // No session bus, so no tray: no real desktop service is asked.
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/porthive-test-bus"_s);
    environment.insert(u"QT_LOGGING_RULES"_s, u"porthive.window.info=true"_s);
    return environment;
}

QProcess* TestStartup::start(const QProcessEnvironment& environment)
{
    auto* app = new QProcess;
    m_apps.push_back(app);
    app->setProcessEnvironment(environment);
    app->setStandardInputFile(QProcess::nullDevice());
    app->start(QStringLiteral(PORTHIVE_APP_PATH), {});
    return app;
}

bool TestStartup::waitUntilListening(QProcess* app)
{
    if (!app->waitForStarted(startTimeout))
        return false;
    const QByteArray pid = QByteArray::number(app->processId()) + '\n';
    const auto listening = [&] {
        QFile lock(m_paths->lockPath());
        return lock.open(QIODevice::ReadOnly) && lock.readAll() == pid && QFile::exists(m_paths->socketPath());
    };
    return QTest::qWaitFor([&] { return listening() || app->state() == QProcess::NotRunning; }, startTimeout) &&
           app->state() == QProcess::Running;
}

QByteArray TestStartup::secondStart(const QProcessEnvironment& environment, int& exitCode)
{
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setStandardInputFile(QProcess::nullDevice());
    second.start(QStringLiteral(PORTHIVE_APP_PATH), {});
    exitCode = -1;
    if (!second.waitForFinished(startTimeout)) {
        second.kill();
        second.waitForFinished(startTimeout);
        return "the second start did not end";
    }
    exitCode = second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    return second.readAllStandardError();
}

QByteArray TestStartup::waitForSaid(QProcess* app, const QByteArray& text)
{
    QByteArray& said = m_said[app];
    const auto heard = [&] {
        said += app->readAllStandardError();
        return said.contains(text);
    };
    if (!QTest::qWaitFor([&] { return heard() || app->state() == QProcess::NotRunning; }, startTimeout))
        said += "\n(no sign of: " + text + ')';
    return said;
}

void TestStartup::damagedLockIsTakenOver_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("garbage") << QByteArray("\x01\x02 garbage \xff\n\n");
    QTest::newRow("another host's") << QByteArray::number(QCoreApplication::applicationPid()) +
                                           "\nporthive\nhost-before-the-rename\n";
}

void TestStartup::damagedLockIsTakenOver()
{
    QFETCH(QByteArray, content);
    QFile lock(m_paths->lockPath());
    QVERIFY(lock.open(QIODevice::WriteOnly));
    QCOMPARE(lock.write(content), content.size());
    lock.close();

    QProcess* app = start(environment());
    QVERIFY(waitUntilListening(app));

    // A later start still shows this instance's window and ends.
    int exitCode = -1;
    const QByteArray said = secondStart(environment(), exitCode);
    QVERIFY2(exitCode == 0, said.constData());
    const QByteArray appSaid = waitForSaid(app, "porthive.window: scene graph");
    QVERIFY2(appSaid.contains("porthive.window: scene graph"), appSaid.constData());
    QVERIFY(!appSaid.contains("porthive: "));
    QCOMPARE(app->state(), QProcess::Running);
}

void TestStartup::folderAtTheSocketPath()
{
    QVERIFY(QDir().mkpath(m_paths->socketPath() + u"/kept"_s));
    QProcess* app = start(environment());
    const QByteArray warning = "porthive: later starts cannot reach this Porthive: " + m_paths->socketPath().toUtf8() +
                               " is a folder, not a socket\n";
    const QByteArray appSaid = waitForSaid(app, warning);
    QVERIFY2(appSaid.contains(warning), appSaid.constData());
    QCOMPARE(app->state(), QProcess::Running);

    int exitCode = -1;
    const QByteArray said = secondStart(environment(), exitCode);
    QCOMPARE(exitCode, 1);
    QCOMPARE(said, "porthive: Porthive is already running (process " + QByteArray::number(app->processId()) +
                       ") but cannot be reached: " + m_paths->socketPath().toUtf8() + " is not a socket\n");
    QVERIFY(QFileInfo(m_paths->socketPath() + u"/kept"_s).isDir());
    QCOMPARE(app->state(), QProcess::Running);
}

void TestStartup::instanceThatDoesNotAnswer()
{
    QProcess* app = start(environment());
    QVERIFY(waitUntilListening(app));
    ::kill(pid_t(app->processId()), SIGSTOP);

    int exitCode = -1;
    const QByteArray said = secondStart(environment(), exitCode);
    ::kill(pid_t(app->processId()), SIGCONT);
    QCOMPARE(exitCode, 1);
    QCOMPARE(said, "porthive: Porthive is already running (process " + QByteArray::number(app->processId()) +
                       ") but does not answer; end it and start Porthive again\n");
}

void TestStartup::windowDrawnWithoutGpuDriver_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QByteArray>("renderer");
    QTest::addColumn<bool>("gpuDriver");
    QTest::newRow("no choice: software") << QString() << QByteArray("software") << false;
    QTest::newRow("the user's OpenGL") << u"QSG_RHI_BACKEND=opengl"_s << QByteArray("opengl") << true;
}

void TestStartup::windowDrawnWithoutGpuDriver()
{
    QFETCH(QString, chosen);
    QFETCH(QByteArray, renderer);
    QFETCH(bool, gpuDriver);
    QProcessEnvironment env = environment();
    if (!chosen.isEmpty())
        env.insert(chosen.section(u'=', 0, 0), chosen.section(u'=', 1));
    QProcess* app = start(env);
    QVERIFY(waitUntilListening(app));
    int exitCode = -1;
    const QByteArray said = secondStart(env, exitCode);
    QVERIFY2(exitCode == 0, said.constData());
    const QByteArray line = "porthive.window: scene graph \"" + renderer + '"';
    const QByteArray appSaid = waitForSaid(app, line);
    QVERIFY2(appSaid.contains(line), appSaid.constData());

    // Mesa's drivers live in its dri folder; the GL dispatch libraries alone are small.
    QFile maps(u"/proc/%1/maps"_s.arg(app->processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    QCOMPARE(mapped.contains("/dri/"), gpuDriver);
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QCoreApplication app(argc, argv);
    TestStartup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
